#include "engine/output/reportwriter.h"

#include <utility>

namespace engine {

ReportWriter::ReportWriter(const char *lineEnd)
    : m_lineEnd(lineEnd)
{}

void ReportWriter::line(const std::string &latin1)
{
    m_text += latin1;
    m_text += m_lineEnd;
}

void ReportWriter::heading(const std::string &latin1)
{
    line();
    line(kReportRule);
    line(" " + latin1);
    line(kReportRule);
}

std::string ReportWriter::text() &&
{
    return std::move(m_text);
}

} // namespace engine
