#ifndef RECORDLINE_H
#define RECORDLINE_H

#include "recordcatalogue.h"

#include <QString>
#include <QStringList>

// Reading and writing the fields of one record line by the layout of its record type.

// The code a line carries in columns 2 to 5, without surrounding blanks. Column 1 is not looked
// at, so a record line commented out with "!" still gives its code.
QString lineCode(const QString &line);

// The characters at the field's columns (fewer when the line is shorter), trimmed for every kind
// but Choice, whose items may hold blanks.
QString readField(const QString &line, const FieldSpec &field);

// Every field of `type` read from `line`, in field order.
QStringList readFields(const QString &line, const RecordType &type);

// `value` passed through the writing rule of the field's kind; a Choice item is kept as it is.
// The result may be longer than the field when the value does not fit.
QString writeField(const FieldSpec &field, const QString &value);

struct BuiltLine
{
    QString line;           // the record line; empty when a value does not fit
    int overflowField = -1; // index of the first field whose written value is too long
    int writtenLength = 0;  // characters of that written value

    bool fits() const { return overflowField < 0; }
};

// The record line of `type` holding `values` (one per field, in field order; missing values are
// empty): a blank, the code, and each written value at its field's columns. A value written
// longer than its field is refused instead of running into the next field.
BuiltLine buildRecordLine(const RecordType &type, const QStringList &values);

#endif // RECORDLINE_H
