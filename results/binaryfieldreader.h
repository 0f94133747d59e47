#ifndef BINARYFIELDREADER_H
#define BINARYFIELDREADER_H

#include <QString>
#include <QtGlobal>

// Reads the fields of the engine's binary files from bytes in memory: little-endian I64 (signed
// 64-bit integer), F64 (IEEE 754 binary64) and TEXT (an I64 word count n, then 8n Latin-1 bytes,
// trimmed). Nothing read from the file is trusted: past the end every I64 and F64 reads as 0 and
// every TEXT as empty, and a word count larger than the bytes left reads only what is there.
class BinaryFieldReader
{
public:
    BinaryFieldReader(const uchar *data, qint64 size);

    qint64 readI64();
    double readF64();
    QString readText();

    // How many more fields of `fieldBytes` bytes each the remaining bytes can hold, capped at
    // `count` (and 0 for a negative count). Bounds every count taken from the file.
    qint64 boundedCount(qint64 count, qint64 fieldBytes) const;

    qint64 position() const { return m_position; }
    qint64 remaining() const { return m_size - m_position; }
    bool atEnd() const { return m_position >= m_size; }

private:
    const uchar *m_data;
    qint64 m_size;
    qint64 m_position = 0;
};

#endif // BINARYFIELDREADER_H
