#include "engine/output/reportwriter.h"

#include "engine/base/chunkedloop.h"
#include "engine/output/reportstream.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace engine {

namespace {

// Entries a thread formats at a time, and chunks formatted before they are joined to the text:
// the text of a batch stays small beside the report.
constexpr std::size_t kChunkEntries = 512;
constexpr std::size_t kBatchChunks = 64;
// Text held before it goes to the stream: large writes, a small buffer beside the report.
constexpr std::size_t kStreamPiece = std::size_t(1) << 20;

} // namespace

ReportWriter::ReportWriter(const char *lineEnd, ReportStream *stream)
    : m_lineEnd(lineEnd)
    , m_stream(stream)
{
    if (m_stream)
        m_text.reserve(kStreamPiece + kStreamPiece / 4);
}

void ReportWriter::line(std::string_view latin1)
{
    m_text += latin1;
    m_text += m_lineEnd;
    flushIfFull();
}

void ReportWriter::flushIfFull()
{
    if (m_stream && m_text.size() >= kStreamPiece)
        flush();
}

void ReportWriter::flush()
{
    if (!m_text.empty())
        m_stream->write(m_text);
    m_text.clear();
}

void ReportWriter::heading(const std::string &latin1)
{
    line();
    line(kReportRule);
    line(" " + latin1);
    line(kReportRule);
}

void ReportWriter::entries(std::size_t count, const EntryFormat &format)
{
    const std::size_t chunks = (count + kChunkEntries - 1) / kChunkEntries;
    std::vector<std::string> texts(std::min(chunks, kBatchChunks));
    const std::size_t start = m_text.size();
    for (std::size_t first = 0; first < chunks; first += kBatchChunks) {
        const std::size_t batch = std::min(kBatchChunks, chunks - first);
        forEachChunk(batch, 1, [&](std::size_t slot, std::size_t) {
            texts[slot].clear();
            const std::size_t begin = (first + slot) * kChunkEntries;
            const std::size_t end = std::min(begin + kChunkEntries, count);
            for (std::size_t k = begin; k < end; ++k)
                format(k, texts[slot]);
        });
        if (m_stream) {
            // A large chunk goes as it is, a small one with the text around it.
            for (std::size_t slot = 0; slot < batch; ++slot) {
                if (texts[slot].size() < kStreamPiece / 8) {
                    m_text += texts[slot];
                    flushIfFull();
                } else {
                    flush();
                    m_stream->write(texts[slot]);
                }
            }
            continue;
        }
        for (std::size_t slot = 0; slot < batch; ++slot)
            m_text += texts[slot];
        // Room for the rest at the size of the entries so far, with a margin: a long listing is
        // not copied again and again as the text grows.
        const std::size_t done = std::min(count, (first + kBatchChunks) * kChunkEntries);
        if (first == 0 && done < count) {
            const double perEntry = static_cast<double>(m_text.size() - start) / done;
            m_text.reserve(m_text.size() +
                           static_cast<std::size_t>(1.125 * perEntry * (count - done)));
        }
    }
}

std::string ReportWriter::text() &&
{
    if (m_stream)
        flush();
    return std::move(m_text);
}

} // namespace engine
