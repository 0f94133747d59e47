#include "filestamp.h"

#include <QFileInfo>
#include <QThread>

namespace {

// Longer than the tick of the clocks that stamp files on the usual file systems.
constexpr qint64 kClockTickMs = 50;

} // namespace

FileStamp::FileStamp(const QString &path)
{
    const QFileInfo info(path);
    m_exists = info.exists();
    if (m_exists) {
        m_size = info.size();
        m_modified = info.lastModified();
    }
}

FileStamp FileStamp::beforeWrite(const QString &path)
{
    const QDateTime modified = QFileInfo(path).lastModified();
    if (modified.isValid()) {
        // A time in the future (another machine's clock) is waited for only as long as a tick.
        const qint64 age = modified.msecsTo(QDateTime::currentDateTime());
        if (age > -kClockTickMs && age < kClockTickMs)
            QThread::msleep(static_cast<unsigned long>(kClockTickMs - age));
    }
    return FileStamp(path);
}

bool FileStamp::operator==(const FileStamp &other) const
{
    return m_exists == other.m_exists && m_size == other.m_size && m_modified == other.m_modified;
}
