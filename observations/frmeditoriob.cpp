#include "frmeditoriob.h"

#include "prompts.h"
#include "recordhelp.h"
#include "recordline.h"

#include <QColor>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kSelectorWidth = 500;
constexpr int kMaximumTextWidth = 800;
constexpr int kIncludeMinimumWidth = 300;
constexpr int kCommentMinimumWidth = 400;

// An input as wide as its field's characters, within 20 pixels either way; a choice never so
// narrow that it hides its own item (a 2-character unit would lose its second letter under the
// arrow).
void sizeForField(QWidget *input, int width)
{
    const int needed = qobject_cast<QComboBox *>(input) ? input->minimumSizeHint().width() : 0;
    input->setMinimumWidth(qMax(0, 10 * width - 20));
    input->setMaximumWidth(qMax(10 * width + 20, needed));
}

} // namespace

frmEditorIOB::frmEditorIOB(QWidget *parent)
    : QDialog(parent)
{
    populateRecords();

    setWindowTitle(tr("Editeur de Champs"));
    auto *layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignTop);

    auto *buttons = new QHBoxLayout;
    m_quitButton = new QPushButton(tr("Quitter"), this);
    m_addButton = new QPushButton(tr("Ajouter"), this);
    m_replaceButton = new QPushButton(tr("Remplacer"), this);
    m_previousButton = new QPushButton(tr("Ligne precedente"), this);
    m_nextButton = new QPushButton(tr("Ligne suivante"), this);
    for (QPushButton *button :
         {m_quitButton, m_addButton, m_replaceButton, m_previousButton, m_nextButton}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_quitButton, &QPushButton::clicked, this, &frmEditorIOB::quiteditor);
    connect(m_addButton, &QPushButton::clicked, this, &frmEditorIOB::addline);
    connect(m_replaceButton, &QPushButton::clicked, this, &frmEditorIOB::replace);
    connect(m_previousButton, &QPushButton::clicked, this, &frmEditorIOB::previous);
    connect(m_nextButton, &QPushButton::clicked, this, &frmEditorIOB::next);

    m_entrySelector = new QComboBox(this);
    m_entrySelector->setObjectName(QStringLiteral("entrySelector"));
    m_entrySelector->setFixedWidth(kSelectorWidth);
    const QString notRead = tr("Pas encore traité par le moteur de calcul");
    for (const RecordType &type : qAsConst(m_records)) {
        m_entrySelector->addItem(type.code + QLatin1Char(' ') + type.description);
        if (!RecordCatalogue::engineReads(type.code)) {
            const int item = m_entrySelector->count() - 1;
            m_entrySelector->setItemData(item, QColor(Qt::gray), Qt::ForegroundRole);
            m_entrySelector->setItemData(item, notRead, Qt::ToolTipRole);
        }
    }
    m_entrySelector->addItem(tr("#include : lien vers fichier IOB externe"));
    m_entrySelector->addItem(tr("*commentaire : ligne de commentaire"));
    layout->addWidget(m_entrySelector);
    m_engineNote = new QLabel(
        tr("Type pas encore traité par le moteur de calcul : il refusera cette ligne."), this);
    m_engineNote->setObjectName(QStringLiteral("engineNote"));
    m_engineNote->setStyleSheet(QStringLiteral("color: #8B0000;"));
    layout->addWidget(m_engineNote);
    connect(m_entrySelector, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &frmEditorIOB::reDrawEditor);

    // Captions line up: every label is as wide as the widest caption.
    int captionWidth = 0;
    for (const RecordType &type : qAsConst(m_records)) {
        for (const FieldSpec &field : type.fields)
            captionWidth = qMax(captionWidth, fontMetrics().horizontalAdvance(field.caption));
    }
    for (int row = 0; row < kRowCount; ++row) {
        auto *rowLayout = new QHBoxLayout;
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("fieldLabel%1").arg(row));
        label->setMinimumWidth(captionWidth + 8);
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("fieldEdit%1").arg(row));
        // Fixed pitch, as in the file: the blanks inside an angle keep their width.
        edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        auto *choice = new QComboBox(this);
        choice->setObjectName(QStringLiteral("fieldChoice%1").arg(row));
        choice->setSizeAdjustPolicy(QComboBox::AdjustToContents); // rows change their items
        edit->installEventFilter(this);
        choice->installEventFilter(this);
        rowLayout->addWidget(label);
        rowLayout->addWidget(edit);
        rowLayout->addWidget(choice);
        rowLayout->addStretch();
        layout->addLayout(rowLayout);
        m_labels.append(label);
        m_edits.append(edit);
        m_choices.append(choice);
    }

    m_fieldInfo = new QLabel(this);
    m_fieldInfo->setObjectName(QStringLiteral("fieldInfo"));
    layout->addWidget(m_fieldInfo);

    m_entrySelector->setCurrentIndex(commentEntry());
}

bool frmEditorIOB::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        int row = m_edits.indexOf(qobject_cast<QLineEdit *>(watched));
        if (row < 0)
            row = m_choices.indexOf(qobject_cast<QComboBox *>(watched));
        showFieldInfo(row);
    }
    return QDialog::eventFilter(watched, event);
}

void frmEditorIOB::showFieldInfo(int row)
{
    const int entry = m_entrySelector->currentIndex();
    if (entry < 0 || entry >= m_records.size() || row < 0 ||
        row >= m_records.at(entry).fields.size()) {
        m_fieldInfo->clear();
        return;
    }
    const RecordType &type = m_records.at(entry);
    const FieldSpec &field = type.fields.at(row);
    QString text = fieldName(field) + QStringLiteral(" : ") + fieldColumns(field);
    const QString unit = fieldUnit(type, row);
    if (!unit.isEmpty())
        text += tr(" ; unité : %1").arg(unit);
    m_fieldInfo->setText(text);
}

void frmEditorIOB::populateRecords()
{
    m_records = RecordCatalogue().types();
}

void frmEditorIOB::setLine(const QString &line)
{
    m_currentLine = line;
    const int previousEntry = m_entrySelector->currentIndex();

    int entry = commentEntry();
    if (line.startsWith(QLatin1Char('#'))) {
        entry = includeEntry();
    } else {
        const QString code = lineCode(line);
        for (int i = 0; i < m_records.size(); ++i) {
            if (m_records.at(i).code.trimmed() == code) {
                entry = i;
                break;
            }
        }
    }

    if (entry != previousEntry)
        m_entrySelector->setCurrentIndex(entry); // redraws through the change signal
    else
        reDrawEditor(entry);
}

void frmEditorIOB::reDrawEditor(int index)
{
    if (index < 0 || index > commentEntry())
        return;
    m_engineNote->setVisible(index < m_records.size() &&
                             !RecordCatalogue::engineReads(m_records.at(index).code));
    // The focused input now holds a field of this form, or none.
    QWidget *focused = focusWidget();
    int focusedRow = m_edits.indexOf(qobject_cast<QLineEdit *>(focused));
    if (focusedRow < 0)
        focusedRow = m_choices.indexOf(qobject_cast<QComboBox *>(focused));

    if (index == includeEntry()) {
        showTextRow(tr("Fichier :"), tr("Nom du fichier à inclure"), m_currentLine.mid(9).trimmed(),
                    kIncludeMinimumWidth);
        hideRowsFrom(1);
    } else if (index == commentEntry()) {
        showTextRow(tr("Commentaire :"), tr("Ligne de commentaire"), m_currentLine.trimmed(),
                    kCommentMinimumWidth);
        hideRowsFrom(1);
    } else {
        const RecordType &type = m_records.at(index);
        for (int row = 0; row < type.fields.size(); ++row) {
            const FieldSpec &field = type.fields.at(row);
            QLabel *label = m_labels.at(row);
            QLineEdit *edit = m_edits.at(row);
            QComboBox *choice = m_choices.at(row);
            label->setText(field.caption);
            label->setToolTip(field.tooltip);
            label->show();
            const QString value = readField(m_currentLine, field);
            if (field.kind == FieldKind::Choice) {
                choice->clear();
                choice->addItems(field.choiceItems());
                sizeForField(choice, field.width);
                choice->setCurrentIndex(qMax(0, choice->findText(value, Qt::MatchExactly)));
                choice->setToolTip(field.tooltip);
                choice->show();
                edit->hide();
            } else {
                sizeForField(edit, field.width);
                edit->setText(value);
                edit->setToolTip(field.tooltip);
                edit->show();
                choice->hide();
            }
        }
        hideRowsFrom(type.fields.size());
    }
    showFieldInfo(focusedRow);
    update();
}

void frmEditorIOB::showTextRow(const QString &caption, const QString &tooltip, const QString &text,
                               int minimumWidth)
{
    m_labels.at(0)->setText(caption);
    m_labels.at(0)->setToolTip(tooltip);
    m_labels.at(0)->show();
    m_choices.at(0)->hide();
    QLineEdit *edit = m_edits.at(0);
    edit->setMinimumWidth(minimumWidth);
    edit->setMaximumWidth(kMaximumTextWidth);
    edit->setText(text);
    edit->setToolTip(tooltip);
    edit->show();
}

void frmEditorIOB::hideRowsFrom(int first)
{
    for (int row = first; row < kRowCount; ++row) {
        m_labels.at(row)->hide();
        m_edits.at(row)->hide();
        m_edits.at(row)->setToolTip(QString());
        m_choices.at(row)->hide();
        m_choices.at(row)->setToolTip(QString());
    }
}

std::optional<QString> frmEditorIOB::buildLine()
{
    const int entry = m_entrySelector->currentIndex();
    if (entry == includeEntry())
        return QStringLiteral("#include ") + m_edits.at(0)->text();
    if (entry == commentEntry())
        return QLatin1Char('!') + m_edits.at(0)->text();

    const RecordType &type = m_records.at(entry);
    QStringList values;
    for (int row = 0; row < type.fields.size(); ++row) {
        values.append(type.fields.at(row).kind == FieldKind::Choice
                          ? m_choices.at(row)->currentText()
                          : m_edits.at(row)->text());
    }
    const BuiltLine built = buildRecordLine(type, values);
    if (!built.fits()) {
        const FieldSpec &field = type.fields.at(built.overflowField);
        prompts::warning(this, windowTitle(),
                         tr("La valeur du champ \"%1\" s'écrit sur %2 caractères, "
                            "mais ce champ n'en contient que %3.\n"
                            "Corrigez la valeur : la ligne n'a pas été écrite.")
                             .arg(fieldName(field))
                             .arg(built.writtenLength)
                             .arg(field.width));
        if (field.kind == FieldKind::Choice)
            m_choices.at(built.overflowField)->setFocus();
        else
            m_edits.at(built.overflowField)->setFocus();
        return std::nullopt;
    }
    return built.line;
}

void frmEditorIOB::quiteditor()
{
    hide();
}

void frmEditorIOB::addline()
{
    if (const std::optional<QString> line = buildLine())
        emit ajoutLigne(*line);
}

void frmEditorIOB::replace()
{
    if (const std::optional<QString> line = buildLine())
        emit remplaceLigne(*line);
}

void frmEditorIOB::previous()
{
    emit precedenteLigne();
}

void frmEditorIOB::next()
{
    emit suivanteLigne();
}
