#include "recordline.h"

#include "fieldformat.h"

QString lineCode(const QString &line)
{
    return line.mid(1, 4).trimmed();
}

QString readField(const QString &line, const FieldSpec &field)
{
    const QString text = line.mid(field.column - 1, field.width);
    return field.kind == FieldKind::Choice ? text : text.trimmed();
}

QStringList readFields(const QString &line, const RecordType &type)
{
    QStringList values;
    values.reserve(type.fields.size());
    for (const FieldSpec &field : type.fields)
        values.append(readField(line, field));
    return values;
}

QString writeField(const FieldSpec &field, const QString &value)
{
    switch (field.kind) {
    case FieldKind::Number:
        return formatNumberField(value, field.width);
    case FieldKind::Choice:
        return value;
    case FieldKind::Text:
        return formatTextField(value, field.width);
    case FieldKind::AngleDms:
        return formatDmsField(value, field.width);
    case FieldKind::FixFlags:
        return formatFlagsField(value, field.width);
    case FieldKind::AngleDecimal:
        return formatDecimalDegreesField(value, field.width);
    }
    return value;
}

BuiltLine buildRecordLine(const RecordType &type, const QStringList &values)
{
    BuiltLine built;
    QString line(type.lineLength(), QLatin1Char(' '));
    line.replace(1, type.code.size(), type.code);
    for (int i = 0; i < type.fields.size(); ++i) {
        const FieldSpec &field = type.fields.at(i);
        const QString written = writeField(field, values.value(i));
        if (written.size() > field.width) {
            built.overflowField = i;
            built.writtenLength = written.size();
            return built;
        }
        line.replace(field.column - 1, written.size(), written);
    }
    built.line = line;
    return built;
}
