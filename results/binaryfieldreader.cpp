#include "binaryfieldreader.h"

#include <QtEndian>

#include <cstring>
#include <limits>

BinaryFieldReader::BinaryFieldReader(const uchar *data, qint64 size)
    : m_data(data)
    , m_size(data ? qMax<qint64>(size, 0) : 0)
{}

qint64 BinaryFieldReader::readI64()
{
    if (remaining() < 8) {
        m_position = m_size;
        return 0;
    }
    const qint64 value = qFromLittleEndian<qint64>(m_data + m_position);
    m_position += 8;
    return value;
}

double BinaryFieldReader::readF64()
{
    const quint64 bits = static_cast<quint64>(readI64());
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QString BinaryFieldReader::readText()
{
    const qint64 words = readI64();
    if (words <= 0)
        return QString();
    const qint64 wanted = qMin<qint64>(words > remaining() / 8 ? remaining() : words * 8,
                                       std::numeric_limits<int>::max());
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(m_data + m_position), int(wanted));
    m_position += wanted;
    return text.trimmed();
}

qint64 BinaryFieldReader::boundedCount(qint64 count, qint64 fieldBytes) const
{
    if (count <= 0 || fieldBytes <= 0)
        return 0;
    return qMin(count, remaining() / fieldBytes);
}
