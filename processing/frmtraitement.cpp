#include "frmtraitement.h"

#include "prompts.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

frmTraitement::frmTraitement(const QList<QString> &files, const QString &configuration)
    : m_files(new QListWidget(this))
    , m_configuration(new QLineEdit(configuration, this))
{
    setWindowTitle(tr("Lancement d'un calcul"));
    auto *layout = new QVBoxLayout(this);

    auto *filesBox = new QGroupBox(tr("Fichiers IOB à traiter"), this);
    filesBox->setMinimumWidth(600);
    auto *filesLayout = new QHBoxLayout(filesBox);
    m_files->setSelectionMode(QAbstractItemView::SingleSelection);
    m_files->addItems(files);
    filesLayout->addWidget(m_files);
    auto *fileButtons = new QVBoxLayout;
    auto *addButton = new QPushButton(tr("Ajouter"), filesBox);
    auto *deleteButton = new QPushButton(tr("Supprimer"), filesBox);
    fileButtons->addWidget(addButton);
    fileButtons->addWidget(deleteButton);
    fileButtons->addStretch();
    filesLayout->addLayout(fileButtons);
    layout->addWidget(filesBox);

    auto *configurationBox = new QGroupBox(tr("Fichier CFG à utiliser"), this);
    auto *configurationLayout = new QHBoxLayout(configurationBox);
    auto *selectButton = new QPushButton(tr("Sélectionner"), configurationBox);
    configurationLayout->addWidget(m_configuration);
    configurationLayout->addWidget(selectButton);
    layout->addWidget(configurationBox);

    auto *runButtons = new QHBoxLayout;
    auto *processButton = new QPushButton(tr("Lancer le traitement"), this);
    auto *cancelButton = new QPushButton(tr("Annuler"), this);
    runButtons->addWidget(processButton);
    runButtons->addWidget(cancelButton);
    layout->addLayout(runButtons);

    connect(addButton, &QPushButton::clicked, this, &frmTraitement::selectIOB);
    connect(deleteButton, &QPushButton::clicked, this, &frmTraitement::deleteIOB);
    connect(selectButton, &QPushButton::clicked, this, &frmTraitement::selectCFG);
    connect(processButton, &QPushButton::clicked, this, &frmTraitement::process);
    connect(cancelButton, &QPushButton::clicked, this, &frmTraitement::annuler);
}

QList<QString> frmTraitement::files() const
{
    QList<QString> paths;
    for (int row = 0; row < m_files->count(); ++row)
        paths.append(m_files->item(row)->text());
    return paths;
}

QString frmTraitement::configuration() const
{
    return m_configuration->text();
}

void frmTraitement::selectIOB()
{
    // Duplicates are kept: the same file listed twice is processed twice.
    m_files->addItems(prompts::openFileNames(this, tr("Ajout de fichier(s) IOB"), QString(),
                                             QStringLiteral("*.iob")));
}

void frmTraitement::deleteIOB()
{
    qDeleteAll(m_files->selectedItems());
}

void frmTraitement::selectCFG()
{
    const QString path =
        prompts::openFileName(this, tr("Choix du fichier CFG"), QString(), QStringLiteral("*.cfg"));
    if (!path.isEmpty())
        m_configuration->setText(path);
}

void frmTraitement::process()
{
    if (m_files->count() == 0 || m_configuration->text().isEmpty())
        return;
    emit majLastProcessed(files(), m_configuration->text());
    emit afterProcess();
    close();
}

void frmTraitement::annuler()
{
    close();
}
