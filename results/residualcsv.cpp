#include "residualcsv.h"

#include "residualtablemodel.h"
#include "textfile.h"

#include <QStringList>

namespace {

const QLatin1Char kSeparator(';');

QString csvField(const QString &text)
{
    if (!text.contains(kSeparator) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &field : fields)
        quoted.append(csvField(field));
    return quoted.join(kSeparator);
}

bool writeResidualCsv(const ResidualTableModel &model, const QString &path, QString &error)
{
    const int columns = model.columnCount();
    QStringList lines;
    lines.reserve(model.rowCount() + 1);
    QStringList fields;
    for (int column = 0; column < columns; ++column)
        fields.append(model.headerData(column, Qt::Horizontal).toString());
    lines.append(csvLine(fields));
    for (int row = 0; row < model.rowCount(); ++row) {
        fields.clear();
        const int index = model.observationIndex(row);
        for (int column = 0; column < columns; ++column)
            fields.append(model.text(index, column));
        lines.append(csvLine(fields));
    }
    TextFileContent content;
    content.text = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return writeTextFile(path, content, error);
}
