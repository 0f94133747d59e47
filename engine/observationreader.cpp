#include "observationreader.h"

#include "text.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace engine {

namespace fs = std::filesystem;

FileLoader diskFileLoader()
{
    return [](const std::string &path, std::string &content) {
        std::error_code error;
        const fs::path file = pathFromLatin1(path);
        if (!fs::is_regular_file(file, error))
            return false;
        std::ifstream stream(file, std::ios::binary);
        if (!stream)
            return false;
        std::ostringstream buffer;
        buffer << stream.rdbuf();
        if (stream.bad())
            return false;
        content = buffer.str();
        return true;
    };
}

std::string normalizedPath(const std::string &path)
{
    std::error_code error;
    fs::path p = pathFromLatin1(path);
    fs::path absolute = fs::absolute(p, error);
    if (error)
        absolute = p;
    return latin1FromPath(absolute.lexically_normal().make_preferred());
}

std::string resolveInclude(const std::string &includingFile, const std::string &name)
{
    fs::path included = pathFromLatin1(name);
    if (included.is_absolute())
        return normalizedPath(name);
    const fs::path folder = pathFromLatin1(includingFile).parent_path();
    return normalizedPath(latin1FromPath(folder / included));
}

namespace {

class Reader
{
public:
    Reader(const FileLoader &loader, Diagnostics &diagnostics)
        : m_loader(loader)
        , m_diagnostics(diagnostics)
    {}

    ObservationSource result;

    // Reads `path`; `fromFile` and `fromLine` locate the include line (empty for the main file).
    void read(const std::string &path, const std::string &fromFile, int fromLine)
    {
        if (std::find(m_stack.begin(), m_stack.end(), path) != m_stack.end()) {
            m_diagnostics.error(fromFile, fromLine,
                                fr("Inclusion circulaire : le fichier ") + path +
                                    fr(" s'inclut lui-même, directement ou non."));
            return;
        }
        if (static_cast<int>(m_stack.size()) >= kMaxIncludeDepth) {
            m_diagnostics.error(fromFile, fromLine,
                                fr("Trop de niveaux d'inclusion (plus de ") +
                                    std::to_string(kMaxIncludeDepth) + fr(") pour ") + path + ".");
            return;
        }
        std::string content;
        if (!m_loader(path, content)) {
            if (fromFile.empty())
                m_diagnostics.error(path, 0,
                                    fr("Fichier d'observations introuvable ou illisible."));
            else
                m_diagnostics.error(fromFile, fromLine,
                                    fr("Fichier inclus introuvable ou illisible : ") + path);
            return;
        }
        int fileNumber = 0;
        const auto known = std::find(result.files.begin(), result.files.end(), path);
        if (known == result.files.end()) {
            result.files.push_back(path);
            fileNumber = static_cast<int>(result.files.size());
        } else {
            fileNumber = static_cast<int>(known - result.files.begin()) + 1;
        }
        m_stack.push_back(path);
        readLines(content, path, fileNumber);
        m_stack.pop_back();
    }

private:
    void readLines(const std::string &content, const std::string &path, int fileNumber)
    {
        std::size_t start = 0;
        int lineNumber = 0;
        while (start < content.size()) {
            std::size_t end = content.find('\n', start);
            if (end == std::string::npos)
                end = content.size();
            ++lineNumber;
            std::string_view line(content.data() + start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            start = end + 1;
            if (line.empty())
                continue;
            if (line[0] == ' ') {
                if (!trim(line).empty())
                    result.records.push_back({fileNumber, lineNumber, std::string(line)});
            } else if (line[0] == '#') {
                include(line, path, lineNumber);
            }
        }
    }

    void include(std::string_view line, const std::string &path, int lineNumber)
    {
        const bool wellFormed = line.size() > 9 && line.substr(0, 8) == "#include" &&
                                (line[8] == ' ' || line[8] == '\t');
        const std::string name = wellFormed ? trim(columnsFrom(line, 10)) : std::string();
        if (name.empty()) {
            m_diagnostics.error(path, lineNumber,
                                fr("Ligne d'inclusion mal formée : « #include », un blanc, puis "
                                   "le nom du fichier en colonne 10 sont attendus."));
            return;
        }
        if (++m_includes > kMaxIncludes) {
            if (m_includes == kMaxIncludes + 1)
                m_diagnostics.error(path, lineNumber,
                                    fr("Trop d'inclusions (plus de ") +
                                        std::to_string(kMaxIncludes) +
                                        fr(") : les suivantes ne sont pas lues."));
            return;
        }
        read(resolveInclude(path, name), path, lineNumber);
    }

    const FileLoader &m_loader;
    Diagnostics &m_diagnostics;
    std::vector<std::string> m_stack;
    int m_includes = 0;
};

} // namespace

ObservationSource readObservationFiles(const std::string &mainPath, const FileLoader &loader,
                                       Diagnostics &diagnostics)
{
    Reader reader(loader, diagnostics);
    reader.read(normalizedPath(mainPath), std::string(), 0);
    return std::move(reader.result);
}

} // namespace engine
