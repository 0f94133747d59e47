#ifndef FILESTAMP_H
#define FILESTAMP_H

#include <QDateTime>
#include <QString>

// What a file looked like at one moment: whether it existed, its size and its modification time.
// The engine reports through the files it writes, so comparing the stamps taken before and after
// a call tells whether the call wrote the file or left an earlier one in place.
class FileStamp
{
public:
    // The file at `path` as it is now.
    explicit FileStamp(const QString &path);
    // The same, taken before a program may write the file. File system clocks advance by ticks,
    // so a file written within the last tick could be written again with the same modification
    // time: in that case this waits for the tick to pass first (a few tens of milliseconds).
    static FileStamp beforeWrite(const QString &path);

    bool exists() const { return m_exists; }
    bool operator==(const FileStamp &other) const;
    bool operator!=(const FileStamp &other) const { return !(*this == other); }

private:
    bool m_exists = false;
    qint64 m_size = -1;
    QDateTime m_modified;
};

#endif // FILESTAMP_H
