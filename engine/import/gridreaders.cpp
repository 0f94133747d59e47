#include "engine/import/gridreaders.h"

#include "engine/base/atomicfile.h"
#include "engine/base/files.h"
#include "engine/base/text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace engine::import {

namespace {

constexpr double kFoot = 0.3048;         // international foot, in metres
constexpr double kGtxNoValue = -88.8888; // the GTX marker of a node without value
constexpr std::int64_t kMaxNodes = std::int64_t(1) << 32;

struct Refused
{
    std::string reason;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Blank-separated words of a text, one after the other.
class Words
{
public:
    explicit Words(std::string_view text)
        : m_text(text)
    {}

    bool next(std::string_view &word)
    {
        while (m_at < m_text.size() && isSpace(m_text[m_at]))
            ++m_at;
        if (m_at >= m_text.size())
            return false;
        const std::size_t start = m_at;
        while (m_at < m_text.size() && !isSpace(m_text[m_at]))
            ++m_at;
        word = m_text.substr(start, m_at - start);
        return true;
    }

    // How many words are left, without consuming them.
    std::int64_t remaining() const
    {
        std::int64_t count = 0;
        bool inWord = false;
        for (std::size_t i = m_at; i < m_text.size(); ++i) {
            const bool space = isSpace(m_text[i]);
            if (!space && !inWord)
                ++count;
            inWord = !space;
        }
        return count;
    }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
};

double number(std::string_view word, const char *what)
{
    double value = 0.0;
    const char *first = word.data();
    const char *last = word.data() + word.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || !std::isfinite(value))
        throw Refused{fr("nombre illisible « ") + std::string(word.substr(0, 30)) + fr(" » (") +
                      fr(what) + ")"};
    return value;
}

std::int64_t wholeNumber(std::string_view word, const char *what)
{
    const double value = number(word, what);
    if (value != std::floor(value) || value < 0.0 || value > 1e12)
        throw Refused{fr("entier attendu pour ") + fr(what)};
    return static_cast<std::int64_t>(value);
}

// The number of steps of `step` in `span` when it is a whole number, else -1.
std::int64_t wholeSteps(double span, double step)
{
    if (!(step > 0.0) || !std::isfinite(span / step))
        return -1;
    const double steps = span / step;
    const double rounded = std::round(steps);
    if (rounded < 0.0 || rounded > 1e9 ||
        std::fabs(steps - rounded) > 1e-6 * std::max(1.0, rounded))
        return -1;
    return static_cast<std::int64_t>(rounded);
}

void checkNodes(std::int64_t rows, std::int64_t columns)
{
    if (rows < 2 || columns < 2)
        throw Refused{fr("la grille doit avoir au moins deux lignes et deux colonnes")};
    if (rows > kMaxNodes / columns)
        throw Refused{fr("grille trop grande")};
}

// ---- GeographicLib PGM ----------------------------------------------------------------------

GeoidGrid readPgm(std::string_view bytes)
{
    std::size_t at = 2; // after "P5"
    std::optional<double> offset;
    std::optional<double> scale;
    std::array<std::int64_t, 3> header{};
    for (std::size_t k = 0; k < 3; ++k) {
        // Blanks and comment lines may come before each number.
        while (at < bytes.size()) {
            if (isSpace(bytes[at])) {
                ++at;
            } else if (bytes[at] == '#') {
                std::size_t end = bytes.find('\n', at);
                if (end == std::string_view::npos)
                    end = bytes.size();
                const std::string comment = trim(bytes.substr(at + 1, end - at - 1));
                for (const auto &[key, target] :
                     {std::pair<const char *, std::optional<double> *>{"Offset", &offset},
                      {"Scale", &scale}}) {
                    const std::size_t length = std::strlen(key);
                    if (comment.compare(0, length, key) == 0 && comment.size() > length &&
                        isSpace(comment[length]))
                        *target = number(trim(comment.substr(length)), key);
                }
                at = end;
            } else {
                break;
            }
        }
        const std::size_t start = at;
        while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9' && at - start < 12)
            ++at;
        if (at == start)
            throw Refused{fr("en-tête PGM illisible")};
        header[k] = wholeNumber(bytes.substr(start, at - start), "en-tête PGM");
    }
    // Exactly one blank between the largest value and the data.
    if (at >= bytes.size() || !isSpace(bytes[at]))
        throw Refused{fr("en-tête PGM illisible")};
    ++at;
    const std::int64_t width = header[0];
    const std::int64_t height = header[1];
    if (header[2] != 65535)
        throw Refused{fr("grille PGM : valeurs sur 16 bits (65535) attendues")};
    if (!offset || !scale)
        throw Refused{fr("grille PGM sans commentaires « # Offset » et « # Scale »")};
    checkNodes(height, width);
    // A world grid: width 360 r from longitude 0, height 180 r + 1 from the north pole.
    if ((height - 1) * 2 != width)
        throw Refused{fr("grille PGM : une grille mondiale de 360 r par 180 r + 1 est attendue")};
    const std::int64_t available = static_cast<std::int64_t>(bytes.size() - at) / 2;
    if (height > available / width)
        throw Refused{fr("grille PGM tronquée")};
    GeoidGrid grid;
    grid.source = GridSource::Pgm;
    grid.rows = height;
    grid.columns = width;
    grid.latStep = 180.0 / static_cast<double>(height - 1);
    grid.lonStep = 360.0 / static_cast<double>(width);
    grid.south = -90.0;
    grid.west = 0.0;
    grid.values.resize(static_cast<std::size_t>(width * height));
    for (std::int64_t r = 0; r < height; ++r) {
        const std::int64_t row = height - 1 - r; // the file starts at the north pole
        for (std::int64_t c = 0; c < width; ++c) {
            const std::size_t p = at + static_cast<std::size_t>((r * width + c) * 2);
            const unsigned raw = (static_cast<unsigned char>(bytes[p]) << 8) |
                                 static_cast<unsigned char>(bytes[p + 1]);
            grid.values[static_cast<std::size_t>(row * width + c)] =
                static_cast<float>(*offset + *scale * raw);
        }
    }
    return grid;
}

// ---- NOAA GTX -------------------------------------------------------------------------------

std::uint64_t bigEndian(std::string_view bytes, std::size_t at, int size)
{
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

double bigEndianF64(std::string_view bytes, std::size_t at)
{
    const std::uint64_t bits = bigEndian(bytes, at, 8);
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

float bigEndianF32(std::string_view bytes, std::size_t at)
{
    const auto bits = static_cast<std::uint32_t>(bigEndian(bytes, at, 4));
    float v = 0.0f;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The value size of a GTX file (4 or 8), or 0 when the bytes are not one.
int gtxValueSize(std::string_view bytes)
{
    if (bytes.size() < 40)
        return 0;
    const auto rows = static_cast<std::int32_t>(bigEndian(bytes, 32, 4));
    const auto columns = static_cast<std::int32_t>(bigEndian(bytes, 36, 4));
    if (rows <= 0 || columns <= 0)
        return 0;
    const std::uint64_t nodes =
        static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(columns);
    const std::uint64_t data = bytes.size() - 40;
    if (data == nodes * 4)
        return 4;
    if (data == nodes * 8)
        return 8;
    return 0;
}

GeoidGrid readGtx(std::string_view bytes, int valueSize)
{
    GeoidGrid grid;
    grid.source = GridSource::Gtx;
    grid.south = bigEndianF64(bytes, 0);
    grid.west = bigEndianF64(bytes, 8);
    grid.latStep = bigEndianF64(bytes, 16);
    grid.lonStep = bigEndianF64(bytes, 24);
    grid.rows = static_cast<std::int32_t>(bigEndian(bytes, 32, 4));
    grid.columns = static_cast<std::int32_t>(bigEndian(bytes, 36, 4));
    checkNodes(grid.rows, grid.columns);
    if (std::isfinite(grid.west) && grid.west >= 180.0)
        grid.west -= 360.0; // longitudes may be given from 0 to 360
    const auto count = static_cast<std::size_t>(grid.rows * grid.columns);
    grid.values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t p = 40 + i * static_cast<std::size_t>(valueSize);
        double v =
            valueSize == 4 ? static_cast<double>(bigEndianF32(bytes, p)) : bigEndianF64(bytes, p);
        if (!std::isfinite(v) || std::fabs(v - kGtxNoValue) < 1e-3)
            v = std::numeric_limits<double>::quiet_NaN();
        grid.values[i] = static_cast<float>(v);
    }
    return grid;
}

// ---- ISG ------------------------------------------------------------------------------------

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An angle "39°50'00\"", "-12 30 15.5" or "39.5" in degrees: up to three numbers separated by
// anything that is not part of a number, the sign in front.
double dmsAngle(const std::string &text)
{
    std::string t = trim(text);
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.erase(0, 1);
    }
    std::array<double, 3> parts{};
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < t.size()) {
        if ((t[i] >= '0' && t[i] <= '9') || t[i] == '.') {
            std::size_t j = i;
            while (j < t.size() && ((t[j] >= '0' && t[j] <= '9') || t[j] == '.'))
                ++j;
            if (count == 3)
                throw Refused{fr("angle illisible « ") + text + fr(" »")};
            parts[count++] = number(std::string_view(t).substr(i, j - i), "angle");
            i = j;
        } else {
            ++i;
        }
    }
    if (count == 0 || parts[1] >= 60.0 || parts[2] >= 60.0)
        throw Refused{fr("angle illisible « ") + text + fr(" »")};
    const double value = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
    return negative ? -value : value;
}

GeoidGrid readIsg(std::string_view bytes)
{
    const std::size_t begin = bytes.find("begin_of_head");
    const std::size_t end = bytes.find("end_of_head", begin);
    if (begin == std::string_view::npos || end == std::string_view::npos)
        throw Refused{fr("en-tête ISG incomplet (begin_of_head ... end_of_head)")};
    std::map<std::string, std::string> keys;
    std::size_t lineStart = bytes.find('\n', begin);
    while (lineStart != std::string_view::npos && lineStart < end) {
        std::size_t lineEnd = bytes.find('\n', lineStart + 1);
        if (lineEnd == std::string_view::npos || lineEnd > end)
            lineEnd = end;
        const std::string line(bytes.substr(lineStart + 1, lineEnd - lineStart - 1));
        const std::size_t separator = line.find_first_of(":=");
        if (separator != std::string::npos)
            keys[lower(trim(line.substr(0, separator)))] = trim(line.substr(separator + 1));
        lineStart = lineEnd;
        if (lineEnd == end)
            break;
    }
    const auto key = [&keys](const char *name) -> std::string {
        const auto found = keys.find(name);
        return found == keys.end() ? std::string() : lower(found->second);
    };
    const auto required = [&keys](const char *name) -> const std::string & {
        const auto found = keys.find(name);
        if (found == keys.end() || found->second.empty())
            throw Refused{fr("en-tête ISG sans « ") + name + fr(" »")};
        return found->second;
    };
    const std::string format = key("isg format");
    if (!format.empty() && format != "2.0" && format.compare(0, 2, "1.") != 0)
        throw Refused{fr("version ISG « ") + format + fr(" » non prise en charge")};
    if (!key("data format").empty() && key("data format") != "grid")
        throw Refused{fr("grille ISG éparse (sparse) non prise en charge")};
    if (!key("coord type").empty() && key("coord type") != "geodetic")
        throw Refused{fr("grille ISG en coordonnées projetées non prise en charge")};
    std::string ordering = key("data ordering");
    ordering.erase(std::remove(ordering.begin(), ordering.end(), ' '), ordering.end());
    if (!ordering.empty() && ordering != "n-to-s,w-to-e")
        throw Refused{fr("ordre des données ISG non pris en charge")};
    const std::string units = key("coord units");
    const bool dms = units == "dms";
    if (!units.empty() && units != "deg" && !dms)
        throw Refused{fr("unité des coordonnées ISG non prise en charge")};
    const std::string dataUnits = key("data units");
    double factor = 1.0;
    if (dataUnits == "feet")
        factor = kFoot;
    else if (!dataUnits.empty() && dataUnits != "meters" && dataUnits != "metres")
        throw Refused{fr("unité des valeurs ISG non prise en charge")};

    const auto angle = [&](const char *name) {
        const std::string &text = required(name);
        return dms ? dmsAngle(text) : number(trim(text), name);
    };
    const double latMin = angle("lat min");
    const double latMax = angle("lat max");
    const double lonMin = angle("lon min");
    const double lonMax = angle("lon max");
    const double dLat = angle("delta lat");
    const double dLon = angle("delta lon");
    const std::int64_t rows = wholeNumber(trim(required("nrows")), "nrows");
    const std::int64_t columns = wholeNumber(trim(required("ncols")), "ncols");
    checkNodes(rows, columns);
    std::optional<double> noValue;
    if (!key("nodata").empty())
        noValue = number(trim(keys["nodata"]), "nodata");

    GeoidGrid grid;
    grid.source = GridSource::Isg;
    grid.rows = rows;
    grid.columns = columns;
    grid.latStep = dLat;
    grid.lonStep = dLon;
    // Nodes on the bounds, or values at the centres of cells that the bounds enclose.
    const std::int64_t latSteps = wholeSteps(latMax - latMin, dLat);
    const std::int64_t lonSteps = wholeSteps(lonMax - lonMin, dLon);
    if (latSteps == rows - 1)
        grid.south = latMin;
    else if (latSteps == rows)
        grid.south = latMin + dLat / 2.0;
    else
        throw Refused{fr("bornes de latitude ISG incohérentes avec nrows et delta lat")};
    if (lonSteps == columns - 1)
        grid.west = lonMin;
    else if (lonSteps == columns)
        grid.west = lonMin + dLon / 2.0;
    else
        throw Refused{fr("bornes de longitude ISG incohérentes avec ncols et delta lon")};

    // The values start on the line after "end_of_head", which may carry a rule of "=".
    const std::size_t data = bytes.find('\n', end);
    Words words(data == std::string_view::npos ? std::string_view() : bytes.substr(data));
    if (words.remaining() < rows * columns)
        throw Refused{fr("grille ISG tronquée : moins de nrows x ncols valeurs")};
    grid.values.resize(static_cast<std::size_t>(rows * columns));
    std::string_view word;
    for (std::int64_t r = 0; r < rows; ++r) {
        const std::int64_t row = rows - 1 - r; // from north to south
        for (std::int64_t c = 0; c < columns; ++c) {
            words.next(word);
            double v = number(word, "valeur");
            if (noValue && v == *noValue)
                v = std::numeric_limits<double>::quiet_NaN();
            grid.values[static_cast<std::size_t>(row * columns + c)] =
                static_cast<float>(v * factor);
        }
    }
    return grid;
}

// ---- IGN ASCII ------------------------------------------------------------------------------

// Whether the first line starts with eleven numbers, as the IGN header does.
bool looksLikeIgn(std::string_view bytes)
{
    const std::size_t end = bytes.find_first_of("\r\n");
    if (end == std::string_view::npos)
        return false;
    Words words(bytes.substr(0, end));
    std::string_view word;
    for (int k = 0; k < 11; ++k) {
        if (!words.next(word))
            return false;
        try {
            number(word, "");
        } catch (const Refused &) {
            return false;
        }
    }
    return true;
}

GeoidGrid readIgn(std::string_view bytes)
{
    const std::size_t end = bytes.find_first_of("\r\n");
    Words header(bytes.substr(0, end));
    std::array<double, 11> h{};
    std::string_view word;
    for (double &value : h) {
        header.next(word);
        value = number(word, "en-tête IGN");
    }
    const double lonMin = h[0], lonMax = h[1], latMin = h[2], latMax = h[3];
    const double dLon = h[4], dLat = h[5];
    const int order = static_cast<int>(h[6]);
    if (h[6] != order || order < 1 || order > 4)
        throw Refused{fr("ordre de rangement IGN inconnu (1 à 4 attendu)")};
    if ((h[7] != 0.0 && h[7] != 1.0) || (h[9] != 0.0 && h[9] != 1.0))
        throw Refused{fr("indicateurs de coordonnées ou de précision IGN illisibles")};
    if (h[8] != 1.0)
        throw Refused{fr("une seule valeur par nœud est prise en charge")};
    if (h[10] != 0.0)
        throw Refused{fr("translation non nulle non prise en charge")};
    const bool coordinates = h[7] == 1.0;
    const bool precision = h[9] == 1.0;
    const std::int64_t lonSteps = wholeSteps(lonMax - lonMin, dLon);
    const std::int64_t latSteps = wholeSteps(latMax - latMin, dLat);
    if (lonSteps < 0 || latSteps < 0)
        throw Refused{fr("bornes IGN incohérentes avec les pas")};
    const std::int64_t columns = lonSteps + 1;
    const std::int64_t rows = latSteps + 1;
    checkNodes(rows, columns);
    const std::int64_t perNode = 1 + (coordinates ? 2 : 0) + (precision ? 1 : 0);
    Words words(end == std::string_view::npos ? std::string_view() : bytes.substr(end));
    if (words.remaining() / perNode < rows * columns)
        throw Refused{fr("grille IGN tronquée : moins de valeurs que de nœuds")};

    GeoidGrid grid;
    grid.source = GridSource::Ign;
    grid.rows = rows;
    grid.columns = columns;
    grid.south = latMin;
    grid.west = lonMin;
    grid.latStep = dLat;
    grid.lonStep = dLon;
    grid.values.resize(static_cast<std::size_t>(rows * columns));
    for (std::int64_t k = 0; k < rows * columns; ++k) {
        std::int64_t row = 0; // from the south
        std::int64_t column = 0;
        switch (order) {
        case 1: // by columns from west to east, each from south to north
            column = k / rows;
            row = k % rows;
            break;
        case 2: // by rows from north to south
            row = rows - 1 - k / columns;
            column = k % columns;
            break;
        case 3: // by columns from west to east, each from north to south
            column = k / rows;
            row = rows - 1 - k % rows;
            break;
        default: // by rows from south to north
            row = k / columns;
            column = k % columns;
            break;
        }
        if (coordinates) {
            words.next(word);
            const double lon = number(word, "longitude");
            words.next(word);
            const double lat = number(word, "latitude");
            const double expectedLon = lonMin + static_cast<double>(column) * dLon;
            const double expectedLat = latMin + static_cast<double>(row) * dLat;
            if (std::fabs(lon - expectedLon) > dLon / 2.0 ||
                std::fabs(lat - expectedLat) > dLat / 2.0)
                throw Refused{fr("coordonnées de nœud IGN hors de l'ordre annoncé")};
        }
        words.next(word);
        grid.values[static_cast<std::size_t>(row * columns + column)] =
            static_cast<float>(number(word, "valeur"));
        if (precision)
            words.next(word);
    }
    return grid;
}

} // namespace

std::optional<GeoidGrid> readGeoidGrid(std::string_view bytes, std::string &reason)
{
    try {
        std::optional<GeoidGrid> grid;
        const std::string_view head = bytes.substr(0, 65536);
        if (bytes.size() >= 3 && bytes.substr(0, 2) == "P5" && isSpace(bytes[2]))
            grid = readPgm(bytes);
        else if (head.find("begin_of_head") != std::string_view::npos)
            grid = readIsg(bytes);
        else if (looksLikeIgn(bytes))
            grid = readIgn(bytes);
        else if (const int size = gtxValueSize(bytes))
            grid = readGtx(bytes, size);
        else
            throw Refused{fr("forme de grille non reconnue (ISG, GTX, PGM ou IGN attendu)")};
        reason = gridProblem(*grid);
        if (!reason.empty())
            return std::nullopt;
        return grid;
    } catch (const Refused &refused) {
        reason = refused.reason;
    } catch (const std::bad_alloc &) {
        reason = fr("mémoire insuffisante pour cette grille");
    }
    return std::nullopt;
}

std::string convertGeoidFile(const std::string &inputPath, const std::string &outputPath)
{
    try {
        if (outputPath.empty() || pathFromLatin1(outputPath).filename().empty())
            return fr("Conversion refusée : aucun fichier à créer.");
        if (sameFile(inputPath, outputPath))
            return fr("Conversion refusée : le fichier à créer ") + outputPath +
                   fr(" est le fichier à convertir lui-même.");
        std::string bytes;
        if (!diskFileLoader()(inputPath, bytes))
            return fr("Conversion refusée : fichier à convertir introuvable ou illisible : ") +
                   inputPath + ".";
        std::string reason;
        const std::optional<GeoidGrid> grid = readGeoidGrid(bytes, reason);
        if (!grid)
            return fr("Conversion refusée : ") + inputPath + " : " + reason + ".";
        if (!writeFileAtomically(outputPath, encodeGeoFile(*grid), &reason))
            return fr("Le fichier ") + outputPath + fr(" n'a pas pu être écrit (") + reason + ").";
        return std::string();
    } catch (...) {
        return fr("Conversion interrompue : erreur interne du moteur.");
    }
}

} // namespace engine::import
