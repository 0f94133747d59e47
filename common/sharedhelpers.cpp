#include "sharedhelpers.h"

#include <QDir>
#include <QFileInfo>

QString siblingPath(const QString &path, const QString &extension)
{
    const QFileInfo info(path);
    return QDir::toNativeSeparators(
        QDir(info.absolutePath()).filePath(info.completeBaseName() + extension));
}

QString formatFixed(double value, int width, int decimals)
{
    return QString::number(value, 'f', decimals).rightJustified(width, QLatin1Char(' '));
}

QString normaliseDecimal(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char(','), QLatin1Char('.'));
    return result.trimmed();
}
