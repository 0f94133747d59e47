#include "frmgeoid.h"

#include "engineconversion.h"
#include "prompts.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmGeoid::frmGeoid(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Création d'un fichier de géoïde pour Tavlo"));

    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("input"));
    auto *selectInput = new QPushButton(tr("Sélectionner..."), this);
    auto *inputRow = new QHBoxLayout;
    inputRow->addWidget(m_input);
    inputRow->addWidget(selectInput);

    m_output = new QLineEdit(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setMinimumWidth(400);
    auto *selectOutput = new QPushButton(tr("Sélectionner..."), this);
    auto *outputRow = new QHBoxLayout;
    outputRow->addWidget(m_output);
    outputRow->addWidget(selectOutput);

    auto *convert = new QPushButton(tr("Convertir"), this);
    convert->setDefault(true);
    auto *quit = new QPushButton(tr("Quitter"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(convert);
    buttons->addWidget(quit);

    m_status = new QLabel(QStringLiteral("-"), this);
    m_status->setObjectName(QStringLiteral("status"));
    // The engine's reason is shown as it stands, never as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Fichier à convertir"), this));
    layout->addLayout(inputRow);
    layout->addWidget(new QLabel(tr("Fichier à créer"), this));
    layout->addLayout(outputRow);
    layout->addLayout(buttons);
    layout->addWidget(m_status);

    connect(selectInput, &QPushButton::clicked, this, &frmGeoid::selectInput);
    connect(selectOutput, &QPushButton::clicked, this, &frmGeoid::selectOutput);
    connect(convert, &QPushButton::clicked, this, &frmGeoid::convertir);
    connect(quit, &QPushButton::clicked, this, &frmGeoid::quitte);
}

void frmGeoid::selectInput()
{
    const QString file = prompts::openFileName(this, tr("Sélection du fichier de Geoïde"),
                                               QDir::currentPath(), tr("Fichier Geoïde (*.*)"));
    if (file.isEmpty())
        return;
    m_input->setText(file);
    showStatus(QStringLiteral("-"));
}

void frmGeoid::selectOutput()
{
    const QString file = prompts::saveFileName(this, tr("Fichier Geoïde Tavlo à créer"), QString(),
                                               tr("Fichier Geoïde (*.geo)"));
    if (file.isEmpty())
        return;
    m_output->setText(file);
    showStatus(QStringLiteral("-"));
}

void frmGeoid::convertir()
{
    if (m_input->text().isEmpty() || m_output->text().isEmpty())
        return;
    const EngineConversion::Outcome outcome =
        EngineConversion::geoid(m_input->text(), m_output->text());
    showStatus(outcome.done ? tr("Conversion effectuée")
                            : tr("Conversion non effectuée") + QLatin1Char('\n') + outcome.reason);
}

void frmGeoid::showStatus(const QString &text)
{
    m_status->setText(text);
    // A wrapped label does not raise the window's minimum height: its lines would be cut.
    if (layout()->hasHeightForWidth()) {
        const int needed = layout()->totalHeightForWidth(width());
        if (needed > height())
            resize(width(), needed);
    }
}

void frmGeoid::quitte()
{
    close();
}
