#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QString>

// The path of `relativePath` within tests/data.
QString dataFile(const QString &relativePath);

// The whole content of the file at `path`; empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// The bytes of a file written on this platform from text with '\n' line ends.
QByteArray platformBytes(QByteArray bytes);

#endif // TESTFILES_H
