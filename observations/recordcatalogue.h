#ifndef RECORDCATALOGUE_H
#define RECORDCATALOGUE_H

#include <QString>
#include <QStringList>
#include <QVector>

// A record line of an observation file has a blank in column 1, its code left-aligned in columns
// 2 to 5, and its fields at fixed columns after that. The catalogue lists every record type the
// workbench can write, with the layout, kind and user texts of each field.

// How a field's value is entered and written; the values are stored, keep their order.
enum class FieldKind {
    Number,      // formatNumberField
    Choice,      // one item of the field's choice list, written as it stands
    Text,        // formatTextField
    AngleDms,    // formatDmsField
    FixFlags,    // formatFlagsField
    AngleDecimal // formatDecimalDegreesField
};

struct FieldSpec
{
    int column = 1; // first column, counted from 1
    int width = 0;  // characters
    QString tooltip;
    QString caption;
    FieldKind kind = FieldKind::Text;
    QString choices; // Choice fields: the items joined by "|", each exactly `width` characters

    int lastColumn() const { return column + width - 1; }
    // The items of a Choice field in display order; an item of blanks is kept.
    QStringList choiceItems() const { return choices.split(QLatin1Char('|')); }
};

struct RecordType
{
    QString code; // 2 to 4 upper-case letters or digits
    QString description;
    QVector<FieldSpec> fields; // in increasing column order

    // Characters of a line holding every field: the last field's last column.
    int lineLength() const { return fields.isEmpty() ? 5 : fields.constLast().lastColumn(); }
};

class RecordCatalogue
{
public:
    // Builds the 43 record types, their texts passed through translation.
    RecordCatalogue();

    const QVector<RecordType> &types() const { return m_types; }
    int size() const { return m_types.size(); }
    const RecordType &at(int index) const { return m_types.at(index); }
    // Catalogue index of the record type with `code` (exact, case-sensitive), or -1.
    int indexOf(const QString &code) const;

    // The record codes the syntax colouring knows: every code of the catalogue but STGR and
    // XTMR, plus XMTR (42 codes).
    static QStringList highlighterKeywords();

    // The record codes the adjustment engine reads; it refuses every other record with a message
    // at its line. docs/engine.md lists the same.
    static QStringList engineRecordCodes();
    static bool engineReads(const QString &code);

private:
    QVector<RecordType> m_types;
};

#endif // RECORDCATALOGUE_H
