#include "fieldformat.h"

#include <QStringList>

#include <cmath>

namespace {

// The prefix chosen by the first character of an angle, or a blank when it is part of the value.
QChar anglePrefix(const QString &trimmed)
{
    if (trimmed.isEmpty())
        return QLatin1Char(' ');
    switch (trimmed.at(0).toUpper().unicode()) {
    case 'N':
        return QLatin1Char('N');
    case 'O': // ouest
    case 'W':
        return QLatin1Char('W');
    case 'E':
        return QLatin1Char('E');
    case 'S':
        return QLatin1Char('S');
    case '+':
        return QLatin1Char('+');
    case '-':
        return QLatin1Char('-');
    default:
        return QLatin1Char(' ');
    }
}

// The text after its prefix character, when it has one.
QString withoutPrefix(const QString &trimmed, QChar prefix)
{
    return prefix == QLatin1Char(' ') ? trimmed : trimmed.mid(1);
}

} // namespace

QString formatNumberField(const QString &text, int w)
{
    const QString number = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).trimmed();
    if (number.isEmpty())
        return QString(qMax(w, 0), QLatin1Char(' '));

    const int point = number.indexOf(QLatin1Char('.'));
    const int integralLength = point < 0 ? number.size() : point;
    const int typedDecimals = point < 0 ? 0 : number.size() - point - 1;
    const int decimals = qMax(0, qMin(typedDecimals, w - integralLength - 2));

    bool ok = false;
    double value = number.toDouble(&ok);
    // "inf" and "nan" parse, but no field of the engine can hold them.
    if (!ok || !std::isfinite(value))
        value = 0.0;
    return QString::number(value, 'f', decimals).rightJustified(w, QLatin1Char(' '));
}

QString formatTextField(const QString &text, int w)
{
    return text.leftJustified(w, QLatin1Char(' '), true);
}

QString formatFlagsField(const QString &text, int w)
{
    return text.trimmed().leftJustified(w, QLatin1Char(' '));
}

QString formatDmsField(const QString &text, int w)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QString(qMax(w, 0), QLatin1Char(' '));

    const QChar prefix = anglePrefix(trimmed);
    const QStringList parts =
        withoutPrefix(trimmed, prefix).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString degrees = parts.value(0, QStringLiteral("0"));
    const QString minutes = parts.value(1, QStringLiteral("00"));
    const QString seconds = parts.value(2, QStringLiteral("0"));

    QString result = prefix + degrees.rightJustified(3, QLatin1Char(' ')) + QLatin1Char(' ') +
                     minutes.rightJustified(2, QLatin1Char(' '));
    if (w >= 8)
        result += QLatin1Char(' ') + formatNumberField(seconds, w - 8);
    return result;
}

QString formatDecimalDegreesField(const QString &text, int w)
{
    const QString trimmed = text.trimmed();
    const QChar prefix = anglePrefix(trimmed);
    return prefix + formatNumberField(withoutPrefix(trimmed, prefix), w - 1);
}
