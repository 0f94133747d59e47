#ifndef ENGINE_OUTPUT_BINARYWRITER_H
#define ENGINE_OUTPUT_BINARYWRITER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// The fields of the engine's binary files (the result file and the drawing file), little-endian
// whatever the machine: I64 a signed 64-bit integer, F64 an IEEE 754 binary64 real, TEXT an I64
// word count n then 8n Latin-1 bytes padded with blanks.
namespace engine {

class AtomicFile;

class BinaryWriter
{
public:
    // Gathers the bytes in memory, for bytes().
    BinaryWriter() = default;
    // Hands the bytes to `file` a chunk at a time, so that a large file is never held whole.
    explicit BinaryWriter(AtomicFile &file);

    // `value` in the file's encoding at `at`; returns the place after it.
    static char *putI64(char *at, std::int64_t value)
    {
        auto bits = static_cast<std::uint64_t>(value);
        for (int i = 0; i < 8; ++i) {
            at[i] = static_cast<char>(bits & 0xFF);
            bits >>= 8;
        }
        return at + 8;
    }
    static char *putF64(char *at, double value);

    void i64(std::int64_t value)
    {
        char bytes[8];
        putI64(bytes, value);
        m_bytes.append(bytes, sizeof bytes);
        spill();
    }
    void f64(double value);
    // Bytes already in the file's encoding.
    void raw(std::string_view bytes)
    {
        m_bytes += bytes;
        spill();
    }
    void text(const std::string &value);
    // `count` zero bytes: a long run of them goes to the file as a hole.
    void zeros(std::size_t count);

    // Room for `size` bytes, of a writer without a file that knows what it will write.
    void reserve(std::size_t size) { m_bytes.reserve(size); }
    // The bytes gathered, of a writer without a file.
    std::string bytes() && { return std::move(m_bytes); }
    // Hands the last bytes to the file, whose commit is left to the caller; false when any write
    // failed.
    bool flush();
    // Hands the last bytes to the file and commits it; false when any write or the commit failed.
    bool finish();

private:
    // Bytes gathered before they are handed to the file.
    static constexpr std::size_t kChunk = 1 << 20;
    // Zeros from which a run is left as a hole rather than written: the system calls of a hole
    // cost less than writing this many bytes.
    static constexpr std::size_t kHoleFrom = 16 << 10;

    void spill()
    {
        if (m_file && m_bytes.size() >= kChunk)
            handOver();
    }
    void handOver();

    AtomicFile *m_file = nullptr;
    std::string m_bytes;
    bool m_failed = false;
};

} // namespace engine

#endif // ENGINE_OUTPUT_BINARYWRITER_H
