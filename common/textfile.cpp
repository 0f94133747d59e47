#include "textfile.h"

#include <QFile>
#include <QSaveFile>

LineEnding platformLineEnding()
{
#ifdef Q_OS_WIN
    return LineEnding::CrLf;
#else
    return LineEnding::Lf;
#endif
}

bool readTextFile(const QString &path, TextFileContent &content, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    const int firstLf = bytes.indexOf('\n');
    const bool crlf = firstLf > 0 && bytes.at(firstLf - 1) == '\r';
    content.lineEnding = firstLf < 0 ? platformLineEnding()
                                     : (crlf ? LineEnding::CrLf : LineEnding::Lf);
    if (crlf)
        bytes.replace("\r\n", "\n");
    content.text = QString::fromLatin1(bytes);
    return true;
}

bool writeTextFile(const QString &path, const TextFileContent &content, QString &error)
{
    QByteArray bytes = content.text.toLatin1();
    if (content.lineEnding == LineEnding::CrLf)
        bytes.replace("\n", "\r\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    // QSaveFile::commit() does not notice a failure of the final flush (a full disk, a file
    // size limit) and would replace the old file by a truncated one, so flush first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

int firstNonLatin1Character(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() > 0xFF)
            return i;
    }
    return -1;
}
