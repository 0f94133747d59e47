#ifndef ENGINE_OUTPUT_REPORTWRITER_H
#define ENGINE_OUTPUT_REPORTWRITER_H

#include <string>

namespace engine {

// The rules that frame the report's sections and tables.
inline constexpr char kReportRule[] =
    "================================================================================";
inline constexpr char kReportThinRule[] =
    "--------------------------------------------------------------------------------";

// A report's text, built line by line with the processing's line end. Texts are Latin-1.
class ReportWriter
{
public:
    explicit ReportWriter(const char *lineEnd);

    void line(const std::string &latin1 = std::string());
    // A section heading: a blank line, then the title between two rules.
    void heading(const std::string &latin1);

    std::string text() &&;

private:
    const char *m_lineEnd;
    std::string m_text;
};

} // namespace engine

#endif // ENGINE_OUTPUT_REPORTWRITER_H
