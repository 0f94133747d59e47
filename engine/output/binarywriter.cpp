#include "engine/output/binarywriter.h"

#include "engine/base/atomicfile.h"

#include <cstring>

namespace engine {

BinaryWriter::BinaryWriter(AtomicFile &file)
    : m_file(&file)
{
    m_bytes.reserve(kChunk + 64);
}

char *BinaryWriter::putF64(char *at, double value)
{
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value, "binary64 expected");
    std::memcpy(&bits, &value, sizeof bits);
    return putI64(at, static_cast<std::int64_t>(bits));
}

void BinaryWriter::f64(double value)
{
    char bytes[8];
    putF64(bytes, value);
    m_bytes.append(bytes, sizeof bytes);
    spill();
}

void BinaryWriter::text(const std::string &value)
{
    const std::size_t words = (value.size() + 7) / 8;
    i64(static_cast<std::int64_t>(words));
    m_bytes += value;
    m_bytes.append(words * 8 - value.size(), ' ');
    spill();
}

void BinaryWriter::zeros(std::size_t count)
{
    if (!m_file || count < kHoleFrom) {
        m_bytes.append(count, '\0');
        spill();
        return;
    }
    handOver();
    if (!m_file->skip(static_cast<long long>(count)))
        m_failed = true;
}

void BinaryWriter::handOver()
{
    if (!m_file->write(m_bytes))
        m_failed = true;
    m_bytes.clear();
}

bool BinaryWriter::flush()
{
    if (!m_file)
        return false;
    handOver();
    return !m_failed;
}

bool BinaryWriter::finish()
{
    return flush() && m_file->commit();
}

} // namespace engine
