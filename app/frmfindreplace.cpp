#include "frmfindreplace.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmFindReplace::frmFindReplace(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Rechercher"));

    m_text = new QLineEdit(this);
    m_text->setMinimumWidth(150);
    auto *group = new QGroupBox(tr("Chercher :"), this);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_text);
    groupLayout->addStretch();

    auto *next = new QPushButton(tr("Cherche suivant"), this);
    auto *previous = new QPushButton(tr("Cherche precedent"), this);
    auto *all = new QPushButton(tr("Cherche tout"), this);
    auto *quit = new QPushButton(tr("Quitter"), this);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addSpacing(5);
    buttons->addWidget(all);
    buttons->addSpacing(5);
    buttons->addWidget(quit);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);

    connect(next, &QPushButton::clicked, this, &frmFindReplace::suivant);
    connect(previous, &QPushButton::clicked, this, &frmFindReplace::precedent);
    connect(all, &QPushButton::clicked, this, &frmFindReplace::chercheTout);
    connect(quit, &QPushButton::clicked, this, &frmFindReplace::quitter);
}

void frmFindReplace::suivant()
{
    if (!m_text->text().isEmpty())
        emit rechercherNext(m_text->text());
}

void frmFindReplace::precedent()
{
    if (!m_text->text().isEmpty())
        emit rechercherPrevious(m_text->text());
}

void frmFindReplace::chercheTout()
{
    if (!m_text->text().isEmpty())
        emit rechercherAll(m_text->text());
}

void frmFindReplace::quitter()
{
    emit rechercherQuit();
    close();
}
