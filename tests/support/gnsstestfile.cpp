#include "gnsstestfile.h"

#include <QStringList>

QString gnssRecord(QChar first, const QString &code, const QList<QPair<int, QString>> &fields)
{
    QString line = QString(first) + code.leftJustified(4, QLatin1Char(' '));
    for (const auto &field : fields) {
        const int start = field.first - 1;
        if (line.size() < start + field.second.size())
            line = line.leftJustified(start + field.second.size(), QLatin1Char(' '));
        line.replace(start, field.second.size(), field.second);
    }
    return line;
}

QString gnssBlock(QChar first, const QString &station, const QString &target, const QString &factor,
                  const QString &ppm)
{
    const QStringList lines{
        gnssRecord(first, QStringLiteral("3DD"), {{7, QStringLiteral("GPS")}}),
        gnssRecord(first, QStringLiteral("DXYZ"),
                   {{11, station},
                    {24, target},
                    {37, QStringLiteral("  1523.41270")},
                    {51, QStringLiteral("  -842.10055")},
                    {65, QStringLiteral("   311.90412")},
                    {79, QStringLiteral("m ")}}),
        gnssRecord(first, QStringLiteral("COV"),
                   {{7, QStringLiteral("CT")},
                    {10, QStringLiteral("UPPR")},
                    {26, factor},
                    {59, ppm},
                    {92, QStringLiteral("m ")}}),
        gnssRecord(first, QStringLiteral("ELEM"),
                   {{7, QStringLiteral("        2.41000000E-07")},
                    {31, QStringLiteral("       -3.02000000E-08")},
                    {55, QStringLiteral("        1.17000000E-08")},
                    {79, QStringLiteral("m ")}}),
        gnssRecord(first, QStringLiteral("ELEM"),
                   {{7, QStringLiteral("        1.93000000E-07")},
                    {31, QStringLiteral("       -2.25000000E-08")},
                    {79, QStringLiteral("m ")}}),
        gnssRecord(first, QStringLiteral("ELEM"),
                   {{7, QStringLiteral("        3.88000000E-07")}, {79, QStringLiteral("m ")}}),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
