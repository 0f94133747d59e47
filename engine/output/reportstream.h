#ifndef ENGINE_OUTPUT_REPORTSTREAM_H
#define ENGINE_OUTPUT_REPORTSTREAM_H

#include <string>
#include <string_view>

namespace engine {

// Where a report goes while it is made: its text in pieces, in order, so that a long report is
// never held whole; then commit() puts it at its place whole, or leaves nothing of it.
class ReportStream
{
public:
    virtual ~ReportStream() = default;

    // The next piece of the text (Latin-1). A piece that cannot be written fails the commit.
    virtual void write(std::string_view latin1) = 0;
    // False with the reason (Latin-1) when the report could not be written whole.
    virtual bool commit(std::string &reason) = 0;
};

} // namespace engine

#endif // ENGINE_OUTPUT_REPORTSTREAM_H
