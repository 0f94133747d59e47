#include "frmconvert.h"

#include "engineconversion.h"
#include "prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The import kinds in the order of the selector; the selector's index plus one is the kind code
// the engine receives.
struct ImportKind
{
    const char *text;
    const char *filter;
    int optionCount;
    const char *firstOption;
    const char *secondOption;
};

constexpr ImportKind kImportKinds[] = {
    {QT_TRANSLATE_NOOP("frmConvert", "Importation d'une Géobase Covadis"),
     QT_TRANSLATE_NOOP("frmConvert", "Geobase Covadis (*.geo);;Tous (*.*)"), 0, nullptr, nullptr},
    {QT_TRANSLATE_NOOP("frmConvert", "Importation de vecteurs GNSS au format Leica SKI"),
     QT_TRANSLATE_NOOP("frmConvert", "Vecteur Ski (*.asc);;Tous (*.*)"), 2,
     QT_TRANSLATE_NOOP("frmConvert", "Inclure les coordonnées des points"),
     QT_TRANSLATE_NOOP("frmConvert", "Inclure un champs SIGM")},
    {QT_TRANSLATE_NOOP("frmConvert", "Importation de vecteurs GNSS au format RTKLib"),
     QT_TRANSLATE_NOOP("frmConvert", "Vecteur RTKLib (*.pos);;Tous (*.*)"), 2,
     QT_TRANSLATE_NOOP("frmConvert", "Inclure les coordonnées des points"),
     QT_TRANSLATE_NOOP("frmConvert", "Inclure un champs SIGM")},
    {QT_TRANSLATE_NOOP("frmConvert", "Importation de fichier Leica GSI"),
     QT_TRANSLATE_NOOP("frmConvert", "Fichier Leica GSI (*.gsi);;Tous (*.*)"), 1,
     QT_TRANSLATE_NOOP("frmConvert", "Coordonnées en NEO"), nullptr},
};
constexpr int kImportKindCount = int(sizeof(kImportKinds) / sizeof(kImportKinds[0]));

// Files whose failure is told in the status label; the others are counted.
constexpr int kFailuresShown = 5;

QChar yesNo(bool yes)
{
    return yes ? QLatin1Char('O') : QLatin1Char('N');
}

} // namespace

frmConvert::frmConvert(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Importation de données externes"));

    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("kind"));
    for (const ImportKind &kind : kImportKinds)
        m_kind->addItem(tr(kind.text));

    m_inputList = new QListWidget(this);
    m_inputList->setObjectName(QStringLiteral("inputs"));
    m_inputList->setMaximumHeight(50);
    auto *selectInput = new QPushButton(tr("Sélectionner..."), this);
    auto *inputRow = new QHBoxLayout;
    inputRow->addWidget(m_inputList);
    inputRow->addWidget(selectInput);

    m_output = new QLineEdit(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setMinimumWidth(400);
    auto *selectOutput = new QPushButton(tr("Sélectionner..."), this);
    auto *outputRow = new QHBoxLayout;
    outputRow->addWidget(m_output);
    outputRow->addWidget(selectOutput);

    m_firstOption = new QCheckBox(this);
    m_firstOption->setObjectName(QStringLiteral("firstOption"));
    m_secondOption = new QCheckBox(this);
    m_secondOption->setObjectName(QStringLiteral("secondOption"));
    auto *options = new QGroupBox(tr("Options d'importation"), this);
    auto *optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(m_firstOption);
    optionsLayout->addWidget(m_secondOption);

    auto *convert = new QPushButton(tr("Convertir"), this);
    convert->setDefault(true);
    auto *quit = new QPushButton(tr("Quitter"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(convert);
    buttons->addWidget(quit);

    m_status = new QLabel(QStringLiteral("-"), this);
    m_status->setObjectName(QStringLiteral("status"));
    // The engine's reasons are shown as they stand, never as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_status->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Type d'importation"), this));
    layout->addWidget(m_kind);
    layout->addWidget(new QLabel(tr("Fichier(s) à importer"), this));
    layout->addLayout(inputRow);
    layout->addWidget(new QLabel(tr("Fichier IOB à créer"), this));
    layout->addLayout(outputRow);
    layout->addWidget(options);
    layout->addLayout(buttons);
    layout->addWidget(m_status);

    m_firstOption->hide();
    m_secondOption->hide();

    connect(m_kind, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &frmConvert::changeOptions);
    connect(selectInput, &QPushButton::clicked, this, &frmConvert::selectInput);
    connect(selectOutput, &QPushButton::clicked, this, &frmConvert::selectOutput);
    connect(convert, &QPushButton::clicked, this, &frmConvert::convertir);
    connect(quit, &QPushButton::clicked, this, &frmConvert::quitte);
}

QString frmConvert::optionsString(int kindIndex, bool firstOption, bool secondOption,
                                  bool createsOutput)
{
    QString options;
    if (kindIndex >= 0 && kindIndex < kImportKindCount) {
        const int count = kImportKinds[kindIndex].optionCount;
        if (count >= 1)
            options += yesNo(firstOption);
        if (count >= 2)
            options += yesNo(secondOption);
    }
    return options + yesNo(!createsOutput);
}

void frmConvert::changeOptions(int index)
{
    const bool known = index >= 0 && index < kImportKindCount;
    const char *first = known ? kImportKinds[index].firstOption : nullptr;
    const char *second = known ? kImportKinds[index].secondOption : nullptr;
    for (auto [box, text] : {std::pair{m_firstOption, first}, std::pair{m_secondOption, second}}) {
        box->setChecked(false);
        box->setVisible(text != nullptr);
        box->setText(text ? tr(text) : QString());
    }
}

void frmConvert::selectInput()
{
    const int index = m_kind->currentIndex();
    const QString filter =
        index >= 0 && index < kImportKindCount ? tr(kImportKinds[index].filter) : QString();
    const QStringList files =
        prompts::openFileNames(this, tr("Fichier(s) à importer"), QDir::currentPath(), filter);
    if (files.isEmpty())
        return;
    m_inputs = files;
    m_inputList->clear();
    m_inputList->addItems(files);
    showStatus(QStringLiteral("-"));
}

void frmConvert::selectOutput()
{
    const QString file = prompts::saveFileName(this, tr("Fichier IOB à créer"), QString(),
                                               tr("Fichier IOB (*.iob)"));
    if (file.isEmpty())
        return;
    m_output->setText(file);
    showStatus(QStringLiteral("-"));
}

void frmConvert::convertir()
{
    const int index = m_kind->currentIndex();
    const QString output = m_output->text();
    if (m_inputs.isEmpty() || index < 0 || output.isEmpty())
        return;

    int converted = 0;
    QStringList failures;
    for (int i = 0; i < m_inputs.size(); ++i) {
        // Until a call has written the output, the next one creates it: appending would keep
        // whatever an earlier import left there.
        const QString options = optionsString(index, m_firstOption->isChecked(),
                                              m_secondOption->isChecked(), converted == 0);
        const EngineConversion::Outcome outcome =
            EngineConversion::convert(index + 1, m_inputs.at(i), output, options);
        if (outcome.done)
            ++converted;
        else
            failures.append(QFileInfo(m_inputs.at(i)).fileName() + QStringLiteral(" : ") +
                            outcome.reason);
    }

    QStringList lines;
    if (converted >= 1)
        lines.append(tr("Conversion effectuée (%1)").arg(converted));
    if (!failures.isEmpty()) {
        lines.append(tr("Conversion non effectuée"));
        lines.append(failures.mid(0, kFailuresShown));
        if (failures.size() > kFailuresShown)
            lines.append(tr("... et %1 autre(s) fichier(s)").arg(failures.size() - kFailuresShown));
    }
    showStatus(lines.join(QLatin1Char('\n')));
}

void frmConvert::showStatus(const QString &text)
{
    m_status->setText(text);
    // A wrapped label does not raise the window's minimum height: its lines would be cut.
    if (layout()->hasHeightForWidth()) {
        const int needed = layout()->totalHeightForWidth(width());
        if (needed > height())
            resize(width(), needed);
    }
}

void frmConvert::quitte()
{
    close();
}
