#include "testfiles.h"

#include "textfile.h"

#include <QFile>

QString dataFile(const QString &relativePath)
{
    return QStringLiteral(TAVLO_TEST_DATA_DIR "/") + relativePath;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray platformBytes(QByteArray bytes)
{
    if (platformLineEnding() == LineEnding::CrLf)
        bytes.replace("\n", "\r\n");
    return bytes;
}
