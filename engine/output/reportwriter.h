#ifndef ENGINE_OUTPUT_REPORTWRITER_H
#define ENGINE_OUTPUT_REPORTWRITER_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace engine {

// The rules that frame the report's sections and tables.
inline constexpr char kReportRule[] =
    "================================================================================";
inline constexpr char kReportThinRule[] =
    "--------------------------------------------------------------------------------";

class ReportStream;

// A report's text, built line by line with the processing's line end. Texts are Latin-1. With a
// stream, the text is handed to it in pieces as it grows instead of being held whole.
class ReportWriter
{
public:
    // Formats entry `index` of a listing at the end of `text`, as whole lines each ended by the
    // writer's line end.
    using EntryFormat = std::function<void(std::size_t index, std::string &text)>;

    explicit ReportWriter(const char *lineEnd, ReportStream *stream = nullptr);

    std::string_view lineEnd() const { return m_lineEnd; }

    void line(std::string_view latin1 = std::string_view());
    // A section heading: a blank line, then the title between two rules.
    void heading(const std::string &latin1);
    // The entries 0 to count - 1 of a listing, in order. They are formatted in parallel, a chunk
    // of a fixed size at a time, so that the text does not depend on the number of threads; the
    // formatting must only read what it shares.
    void entries(std::size_t count, const EntryFormat &format);

    // The text; with a stream, the rest of it goes to the stream and the text returned is empty.
    std::string text() &&;

private:
    // Hands the text held so far to the stream once it is large enough to be worth a write.
    void flushIfFull();
    void flush();

    std::string_view m_lineEnd;
    ReportStream *m_stream;
    std::string m_text;
};

} // namespace engine

#endif // ENGINE_OUTPUT_REPORTWRITER_H
