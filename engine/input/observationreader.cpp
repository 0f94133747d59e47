#include "engine/input/observationreader.h"

#include "engine/base/largepages.h"
#include "engine/base/text.h"

#include <algorithm>
#include <unordered_map>

namespace engine {

namespace fs = std::filesystem;

const FieldSpan *RecordLayout::find(Field field) const
{
    for (const FieldSpan &span : fields) {
        if (span.field == field)
            return &span;
    }
    return nullptr;
}

const std::vector<RecordLayout> &recordLayouts()
{
    using F = Field;
    static const std::vector<FieldSpan> matrixHeader = {
        {F::CoordinateType, 7, 8}, {F::MatrixType, 10, 13},       {F::AllConstant, 15, 24},
        {F::AllFactor, 26, 35},    {F::DiagonalConstant, 37, 46}, {F::DiagonalFactor, 48, 57},
        {F::DiagonalPpm, 59, 68},  {F::UpConstant, 70, 79},       {F::UpFactor, 81, 90},
        {F::Unit, 92, 93}};
    // The columns of the workbench's record catalogue, which the field editor writes.
    static const std::vector<RecordLayout> layouts = {
        {"TITL", {{F::Text, 7, 79}}},
        {"GRP", {{F::Text, 7, 79}}},
        {"ANGT", {{F::AngleUnit, 7, 9}}},
        {"AUX",
         {{F::ObservationType, 7, 9},
          {F::GroupName, 11, 22},
          {F::Parameter1, 24, 27},
          {F::Parameter2, 29, 32},
          {F::Parameter3, 34, 37},
          {F::Parameter4, 39, 42},
          {F::Parameter5, 44, 47},
          {F::Parameter6, 49, 52},
          {F::Parameter7, 54, 57}}},
        {"SIGM",
         {{F::SigmaId, 7, 9},
          {F::Constant, 11, 20},
          {F::Ppm, 22, 31},
          {F::CentringPoint, 33, 42},
          {F::CentringStation, 44, 53},
          {F::CentringTarget, 55, 64},
          {F::Secondary, 66, 77},
          {F::Unit, 79, 80}}},
        {"LENU",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::East, 24, 41},
          {F::North, 43, 60},
          {F::Up, 62, 77},
          {F::Unit, 81, 82}}},
        {"LNEU",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::North, 24, 41},
          {F::East, 43, 60},
          {F::Up, 62, 77},
          {F::Unit, 81, 82}}},
        {"HI", {{F::Point, 11, 22}, {F::Height, 24, 33}, {F::Unit, 35, 36}}},
        {"HT", {{F::Point, 11, 22}, {F::Height, 24, 33}, {F::Unit, 35, 36}}},
        {"UNHI", {{F::Point, 11, 22}, {F::Height, 24, 33}, {F::Unit, 35, 36}}},
        {"UNHT", {{F::Point, 11, 22}, {F::Height, 24, 33}, {F::Unit, 35, 36}}},
        {"DSET", {{F::SigmaId, 7, 9}}},
        {"DIR",
         {{F::SigmaId, 7, 9},
          {F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::Value, 50, 64},
          {F::StdDev, 66, 75}}},
        {"AZIM",
         {{F::SigmaId, 7, 9},
          {F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::Value, 50, 64},
          {F::StdDev, 66, 75}}},
        {"ZANG",
         {{F::SigmaId, 7, 9},
          {F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::Value, 50, 64},
          {F::StdDev, 66, 75},
          {F::Refraction, 77, 86}}},
        {"DIST",
         {{F::SigmaId, 7, 9},
          {F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::Value, 50, 64},
          {F::StdDev, 66, 75},
          {F::Unit, 77, 78}}},
        {"OHDF",
         {{F::SigmaId, 7, 9},
          {F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::Value, 50, 64},
          {F::StdDev, 66, 75},
          {F::Length, 77, 90},
          {F::Unit, 93, 94}}},
        {"RSET", {{F::RefractionSigma, 7, 16}}},
        {"XYZ",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::X, 24, 41},
          {F::Y, 43, 60},
          {F::Z, 62, 79},
          {F::Unit, 81, 82}}},
        {"PLH",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::Latitude, 24, 40},
          {F::Longitude, 42, 58},
          {F::Height, 60, 71},
          {F::Unit, 73, 74}}},
        {"PLHD",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::Latitude, 24, 40},
          {F::Longitude, 42, 58},
          {F::Height, 60, 71},
          {F::Unit, 73, 74}}},
        {"ELIP",
         {{F::Text, 7, 22}, {F::SemiMajor, 24, 36}, {F::SemiMinor, 38, 50}, {F::Unit, 79, 80}}},
        {"3DC", {{F::SigmaId, 7, 9}}},
        {"3DD", {{F::SigmaId, 7, 9}}},
        {"DXYZ",
         {{F::Station, 11, 22},
          {F::Target, 24, 35},
          {F::X, 37, 49},
          {F::Y, 51, 63},
          {F::Z, 65, 77},
          {F::Unit, 79, 80}}},
        {"COV", matrixHeader},
        {"CORR", matrixHeader},
        {"WGT", matrixHeader},
        {"ELEM",
         {{F::Element1, 7, 29}, {F::Element2, 31, 53}, {F::Element3, 55, 77}, {F::Unit, 79, 80}}},
        {"PMOY", {{F::Latitude, 7, 23}}},
        {"PLO",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::Latitude, 24, 40},
          {F::Longitude, 42, 58},
          {F::Height, 60, 71},
          {F::Unit, 73, 74}}},
        {"PLOD",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::Latitude, 24, 40},
          {F::Longitude, 42, 58},
          {F::Height, 60, 71},
          {F::Unit, 73, 74}}},
        {"NEH",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::North, 24, 39},
          {F::East, 41, 56},
          {F::Height, 58, 67},
          {F::Projection, 69, 75},
          {F::Unit, 77, 78}}},
        {"NEO",
         {{F::Flags, 7, 9},
          {F::Point, 11, 22},
          {F::North, 24, 39},
          {F::East, 41, 56},
          {F::Height, 58, 67},
          {F::Projection, 69, 75},
          {F::Unit, 77, 78}}},
        {"TMER",
         {{F::Text, 7, 13},
          {F::Longitude, 15, 21},
          {F::Latitude, 23, 29},
          {F::FalseNorthing, 31, 42},
          {F::FalseEasting, 44, 55},
          {F::ScaleFactor, 57, 68},
          {F::Unit, 70, 71}}},
        {"XTMR",
         {{F::Text, 7, 13},
          {F::Longitude, 15, 31},
          {F::Latitude, 33, 49},
          {F::FalseNorthing, 51, 62},
          {F::FalseEasting, 64, 75},
          {F::ScaleFactor, 77, 88},
          {F::Unit, 90, 91}}},
        {"LAMB",
         {{F::Text, 7, 13},
          {F::Latitude, 15, 21},
          {F::Longitude, 23, 29},
          {F::FalseNorthing, 31, 42},
          {F::FalseEasting, 44, 55},
          {F::FirstParallel, 57, 63},
          {F::SecondParallel, 65, 71},
          {F::Unit, 73, 74}}},
        {"XLAM",
         {{F::Text, 7, 13},
          {F::Latitude, 15, 31},
          {F::Longitude, 33, 49},
          {F::FalseNorthing, 51, 62},
          {F::FalseEasting, 64, 75},
          {F::FirstParallel, 77, 93},
          {F::SecondParallel, 95, 111},
          {F::Unit, 113, 114}}},
        // The azimuth ends at column 66 so that the false northing has columns of its own.
        {"OMER",
         {{F::Text, 7, 13},
          {F::Longitude, 15, 31},
          {F::Latitude, 33, 49},
          {F::Azimuth, 51, 66},
          {F::FalseNorthing, 68, 79},
          {F::FalseEasting, 80, 91},
          {F::ScaleFactor, 93, 104},
          {F::Unit, 106, 107}}},
        {"STGR",
         {{F::Text, 7, 13},
          {F::Latitude, 15, 31},
          {F::Longitude, 33, 49},
          {F::FalseNorthing, 51, 62},
          {F::FalseEasting, 64, 75},
          {F::ScaleFactor, 77, 88},
          {F::Unit, 90, 91}}},
        {"GEOI",
         {{F::Point, 11, 22},
          {F::DeflectionNorth, 24, 40},
          {F::DeflectionEast, 42, 58},
          {F::Undulation, 60, 71},
          {F::Unit, 73, 74}}},
        {"GFIL", {{F::Text, 7, 70}}},
        {"EPOC", {{F::Text, 7, 46}}},
    };
    return layouts;
}

const RecordLayout *recordLayout(std::string_view code)
{
    // Every record line looks its layout up.
    static const std::unordered_map<std::string_view, const RecordLayout *> byCode = [] {
        std::unordered_map<std::string_view, const RecordLayout *> layouts;
        for (const RecordLayout &layout : recordLayouts())
            layouts.emplace(layout.code, &layout);
        return layouts;
    }();
    const auto found = byCode.find(code);
    return found == byCode.end() ? nullptr : found->second;
}

std::vector<std::pair<int, int>> columnsOutsideFields(std::string_view line,
                                                      const RecordLayout &layout)
{
    std::size_t length = line.size();
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t'))
        --length;
    std::vector<std::pair<int, int>> runs;
    // Columns from `first` (from 1) up to the line's end or `last`, outside every field.
    auto scan = [&](int first, int last) {
        for (int column = first; column <= last && column <= static_cast<int>(length); ++column) {
            if (line[static_cast<std::size_t>(column - 1)] == ' ')
                continue;
            if (!runs.empty() && runs.back().second == column - 1)
                runs.back().second = column;
            else
                runs.emplace_back(column, column);
        }
    };
    scan(1, kCodeFirst - 1);
    int next = kCodeLast + 1;
    for (const FieldSpan &span : layout.fields) {
        scan(next, span.first - 1);
        next = span.last + 1;
    }
    scan(next, static_cast<int>(length));
    return runs;
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
    // Without `keepLines`, only the files are listed: their texts and record lines are let go.
    Reader(const FileLoader &loader, Diagnostics &diagnostics, bool keepLines)
        : m_loader(loader)
        , m_diagnostics(diagnostics)
        , m_keepLines(keepLines)
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
        const bool firstMet = known == result.files.end();
        if (firstMet) {
            result.files.push_back(path);
            fileNumber = static_cast<int>(result.files.size());
        } else {
            fileNumber = static_cast<int>(known - result.files.begin()) + 1;
        }
        m_stack.push_back(path);
        if (firstMet)
            warnOfUtf8(content, path);
        if (m_keepLines) {
            result.contents.push_back(std::make_unique<const std::string>(std::move(content)));
            readLines(*result.contents.back(), path, fileNumber);
        } else {
            readLines(content, path, fileNumber);
        }
        m_stack.pop_back();
    }

private:
    void warnOfUtf8(const std::string &content, const std::string &path)
    {
        const auto offset = firstUtf8Sequence(content);
        if (!offset)
            return;
        const auto line = std::count(content.begin(),
                                     content.begin() + static_cast<std::ptrdiff_t>(*offset), '\n');
        m_diagnostics.warning(
            path, static_cast<int>(line) + 1,
            fr("Ce fichier est écrit en UTF-8 et non en Latin-1 (ISO 8859-1) : à partir de "
               "cette ligne, chaque caractère accentué y occupe plusieurs colonnes et décale les "
               "champs qui le suivent. Enregistrez-le en Latin-1."));
    }

    // A comment line that begins with a tab in place of the record line's leading blank: its
    // first word is a record code.
    void warnOfTabbedRecord(std::string_view line, const std::string &path, int lineNumber)
    {
        const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
        std::size_t start = 0;
        while (start < line.size() && isSpace(line[start]))
            ++start;
        std::size_t end = start;
        while (end < line.size() && !isSpace(line[end]))
            ++end;
        const std::string_view code = line.substr(start, end - start);
        if (!recordLayout(code))
            return;
        m_diagnostics.warning(path, lineNumber,
                              fr("Ligne commençant par une tabulation, lue comme un commentaire : "
                                 "sans la tabulation ce serait un enregistrement ") +
                                  std::string(code) +
                                  fr(" (un enregistrement commence par un blanc en colonne 1)."));
    }

    void readLines(const std::string &content, const std::string &path, int fileNumber)
    {
        // Room for every line at once: a vector that doubles would hold up to twice the records
        // of a large file, and copy them on the way.
        const auto lines =
            static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) + 1;
        const std::size_t needed = result.records.size() + lines;
        if (m_keepLines && needed > result.records.capacity()) {
            result.records.reserve(std::max(needed, 2 * result.records.capacity()));
            adviseLargePages(result.records.data(), result.records.capacity() * sizeof(SourceLine));
        }
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
                if (m_keepLines && !trimmedView(line).empty())
                    result.records.push_back({fileNumber, lineNumber, line});
            } else if (line[0] == '#') {
                include(line, path, lineNumber);
            } else if (line[0] == '\t') {
                warnOfTabbedRecord(line, path, lineNumber);
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
    const bool m_keepLines;
    std::vector<std::string> m_stack;
    int m_includes = 0;
};

} // namespace

ObservationSource readObservationFiles(const std::string &mainPath, const FileLoader &loader,
                                       Diagnostics &diagnostics)
{
    Reader reader(loader, diagnostics, true);
    reader.read(normalizedPath(mainPath), std::string(), 0);
    return std::move(reader.result);
}

std::vector<std::string> listObservationFiles(const std::string &mainPath, const FileLoader &loader,
                                              Diagnostics &diagnostics)
{
    Reader reader(loader, diagnostics, false);
    reader.read(normalizedPath(mainPath), std::string(), 0);
    return std::move(reader.result.files);
}

} // namespace engine
