#ifndef ENGINE_DIAGNOSTICS_H
#define ENGINE_DIAGNOSTICS_H

#include <string>
#include <vector>

namespace engine {

// One message for the report: an error stops the run (status 1 in the result file), a warning
// is only printed. `file` is the Latin-1 path of the file concerned (empty when none) and `line`
// its line, from 1 (0 when the message is about no particular line).
struct Diagnostic
{
    enum class Severity { Warning, Error };
    Severity severity = Severity::Error;
    std::string file;
    int line = 0;
    std::string text; // Latin-1
};

class Diagnostics
{
public:
    void error(std::string file, int line, std::string text)
    {
        m_items.push_back({Diagnostic::Severity::Error, std::move(file), line, std::move(text)});
        ++m_errorCount;
    }
    void warning(std::string file, int line, std::string text)
    {
        m_items.push_back({Diagnostic::Severity::Warning, std::move(file), line, std::move(text)});
    }

    bool hasErrors() const { return m_errorCount > 0; }
    int errorCount() const { return m_errorCount; }
    const std::vector<Diagnostic> &items() const { return m_items; }

private:
    std::vector<Diagnostic> m_items;
    int m_errorCount = 0;
};

} // namespace engine

#endif // ENGINE_DIAGNOSTICS_H
