#ifndef ENGINE_BASE_DIAGNOSTICS_H
#define ENGINE_BASE_DIAGNOSTICS_H

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
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

// The messages of one run. A file of millions of bad lines must not take memory and report space
// in proportion: the first kDetailedLimit messages are kept whole, the following ones are only
// counted by kind (see OmittedKind), so the report stays short while the error count stays exact.
class Diagnostics
{
public:
    static constexpr std::size_t kDetailedLimit = 500;
    // Kinds counted one by one; the messages of further kinds are counted together.
    static constexpr std::size_t kKindLimit = 100;

    // Messages beyond the detailed ones that share a kind: the same severity and the same text
    // once the parts that vary from line to line are left out (what stands between « and », and
    // the numbers). An empty `example` gathers the kinds beyond kKindLimit.
    struct OmittedKind
    {
        Diagnostic::Severity severity = Diagnostic::Severity::Error;
        std::string example; // the first message of the kind, Latin-1
        long long count = 0;
    };

    void error(std::string file, int line, std::string text)
    {
        add(Diagnostic::Severity::Error, std::move(file), line, std::move(text));
        if (m_errorCount < INT_MAX)
            ++m_errorCount;
    }
    void warning(std::string file, int line, std::string text)
    {
        add(Diagnostic::Severity::Warning, std::move(file), line, std::move(text));
    }

    // The messages of `other`, which counted none by kind, after these, as if they had come here
    // one by one.
    void append(const Diagnostics &other)
    {
        for (const Diagnostic &d : other.m_items) {
            if (d.severity == Diagnostic::Severity::Error)
                error(d.file, d.line, d.text);
            else
                warning(d.file, d.line, d.text);
        }
    }

    bool hasErrors() const { return m_errorCount > 0; }
    int errorCount() const { return m_errorCount; }
    // The messages kept whole, in the order they came.
    const std::vector<Diagnostic> &items() const { return m_items; }
    // The kinds of the messages that came after, in the order first met.
    const std::vector<OmittedKind> &omitted() const { return m_omitted; }

private:
    void add(Diagnostic::Severity severity, std::string file, int line, std::string text)
    {
        if (m_items.size() < kDetailedLimit) {
            m_items.push_back({severity, std::move(file), line, std::move(text)});
            return;
        }
        std::string key = kindKey(severity, text);
        auto found = m_kinds.find(key);
        if (found == m_kinds.end()) {
            if (m_kinds.size() >= kKindLimit) {
                key = severity == Diagnostic::Severity::Error ? "E" : "W";
                found = m_kinds.find(key);
                if (found == m_kinds.end())
                    found = m_kinds.emplace(std::move(key), newKind(severity, std::string())).first;
            } else {
                found = m_kinds.emplace(std::move(key), newKind(severity, std::move(text))).first;
            }
        }
        ++m_omitted[found->second].count;
    }

    std::size_t newKind(Diagnostic::Severity severity, std::string example)
    {
        m_omitted.push_back({severity, std::move(example), 0});
        return m_omitted.size() - 1;
    }

    // The severity, then the text with the quoted parts emptied and each run of digits as one
    // "0". Only kinds that are counted get a key longer than one letter.
    static std::string kindKey(Diagnostic::Severity severity, std::string_view text)
    {
        constexpr char kOpenQuote = '\xAB';  // « in Latin-1
        constexpr char kCloseQuote = '\xBB'; // »
        std::string key(1, severity == Diagnostic::Severity::Error ? 'e' : 'w');
        bool quoted = false;
        for (const char c : text) {
            if (quoted) {
                quoted = c != kCloseQuote;
                if (!quoted)
                    key += c;
            } else if (c >= '0' && c <= '9') {
                if (key.back() != '0')
                    key += '0';
            } else {
                key += c;
                quoted = c == kOpenQuote;
            }
        }
        return key;
    }

    std::vector<Diagnostic> m_items;
    std::vector<OmittedKind> m_omitted;
    std::unordered_map<std::string, std::size_t> m_kinds; // key -> index in m_omitted
    int m_errorCount = 0;
};

} // namespace engine

#endif // ENGINE_BASE_DIAGNOSTICS_H
