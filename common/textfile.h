#ifndef TEXTFILE_H
#define TEXTFILE_H

#include <QString>

// Text files (observation, configuration, report) are Latin-1: one byte per character, so that
// fixed columns count the same in the editor and in the engine. The line ending found on reading
// is given back on writing, so opening and saving a file changes no byte.
enum class LineEnding { Lf, CrLf };

// The line ending of files the workbench creates: the platform's own.
LineEnding platformLineEnding();

struct TextFileContent
{
    QString text; // lines separated by '\n'
    LineEnding lineEnding = platformLineEnding();
};

// Reads `path` whole. On failure returns false and sets `error` to the system's reason.
bool readTextFile(const QString &path, TextFileContent &content, QString &error);

// Writes `content` atomically: the old file stays whole when anything fails. Characters that
// Latin-1 cannot store are written as "?". On failure returns false and sets `error`.
bool writeTextFile(const QString &path, const TextFileContent &content, QString &error);

// Index of the first character Latin-1 cannot store, or -1 when there is none.
int firstNonLatin1Character(const QString &text);

#endif // TEXTFILE_H
