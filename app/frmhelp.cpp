#include "frmhelp.h"

#include "helpbrowser.h"
#include "helppages.h"
#include "recordhelp.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

frmHelp::frmHelp(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new HelpBrowser(this))
{
    setWindowTitle(title());
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    auto *indexButton = new QPushButton(tr("Sommaire"), this);
    auto *recordsButton = new QPushButton(tr("Formats des enregistrements"), this);
    auto *manualButton = new QPushButton(tr("Manuel du moteur"), this);
    auto *backButton = new QPushButton(tr("Précédent"), this);
    auto *forwardButton = new QPushButton(tr("Suivant"), this);
    for (QPushButton *button :
         {indexButton, recordsButton, manualButton, backButton, forwardButton})
        buttons->addWidget(button);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    backButton->setEnabled(false);
    forwardButton->setEnabled(false);
    connect(indexButton, &QPushButton::clicked, this, &frmHelp::showIndex);
    connect(recordsButton, &QPushButton::clicked, this, &frmHelp::showRecords);
    connect(manualButton, &QPushButton::clicked, this, &frmHelp::showEngineManual);
    connect(backButton, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forwardButton, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, backButton, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forwardButton, &QPushButton::setEnabled);

    resize(900, 700);
    showIndex();
}

QString frmHelp::title()
{
    return tr("Aide de Tavlo");
}

void frmHelp::showIndex()
{
    m_browser->showPage(helpIndexAddress());
}

void frmHelp::showRecords()
{
    m_browser->showPage(recordIndexAddress());
}

void frmHelp::showEngineManual()
{
    m_browser->showPage(engineManualAddress());
}

void frmHelp::showRecord(const QString &code)
{
    if (!m_browser->showPage(recordPageAddress(code)))
        showRecords();
}
