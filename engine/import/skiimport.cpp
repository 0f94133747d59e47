#include "engine/import/skiimport.h"

#include "engine/base/text.h"
#include "engine/import/recordwriter.h"

#include <array>
#include <cctype>
#include <optional>

namespace engine::import {

namespace {

struct Numbers
{
    std::vector<double> values;
    bool readable = true;
};

// The blank-separated numbers of `text`; stops at the first word that is not a number.
Numbers numbersOf(std::string_view text, std::size_t wanted)
{
    Numbers out;
    for (std::string_view word : words(text)) {
        if (out.values.size() >= wanted)
            break;
        const auto value = parseNumber(word);
        if (!value) {
            out.readable = false;
            break;
        }
        out.values.push_back(*value);
    }
    return out;
}

std::string lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// m0 and the six cofactors qxx qxy qxz qyy qyz qzz; covariance = m0^2 q.
struct Cofactors
{
    double m0 = 0.0;
    std::array<double, 6> q{};
    bool complete = false;

    Eigen::Matrix3d covariance() const
    {
        Eigen::Matrix3d c;
        c << q[0], q[1], q[2], q[1], q[3], q[4], q[2], q[4], q[5];
        return m0 * m0 * c;
    }
};

Cofactors cofactorsOf(const Numbers &n)
{
    Cofactors c;
    if (n.values.empty())
        return c;
    c.m0 = n.values[0];
    if (n.values.size() >= 7) {
        for (std::size_t k = 0; k < 6; ++k)
            c.q[k] = n.values[k + 1];
        c.complete = true;
    }
    return c;
}

struct PendingPoint
{
    std::size_t line = 0;
    std::string name;
    Eigen::Vector3d xyz = Eigen::Vector3d::Zero();
    std::optional<Cofactors> cofactors;
};

struct PendingBaseline
{
    std::size_t line = 0;
    std::string reference;
    std::string rover;
    bool hasRover = false;
    Eigen::Vector3d vector = Eigen::Vector3d::Zero();
    std::optional<Cofactors> cofactors;
};

class SkiConverter
{
public:
    SkiConverter(ImportContext &context, const ImportOptions &options)
        : m_context(context)
        , m_options(options)
    {}

    Conversion run(std::string_view content)
    {
        Conversion out;
        const auto lines = splitLines(content);
        if (!headerAccepted(lines, out.reason))
            return out;
        out.readable = true;
        m_chunks.assign(lines.size(), {});
        for (std::size_t i = 0; i < lines.size(); ++i)
            record(i, lines[i]);
        finishPoint();
        finishBaseline();
        for (const auto &chunk : m_chunks)
            out.lines.insert(out.lines.end(), chunk.begin(), chunk.end());
        return out;
    }

private:
    bool headerAccepted(const std::vector<std::string_view> &lines, std::string &reason) const
    {
        std::optional<std::string> unit;
        std::optional<std::string> type;
        std::optional<std::string> ellipsoid;
        for (const std::string_view line : lines) {
            if (line.size() < 2 || line[0] != '@' || line[1] != '%')
                continue;
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                continue;
            const std::string key = lower(trim(line.substr(2, colon - 2)));
            const std::string value = trim(line.substr(colon + 1));
            if (key.find("coordinate type") != std::string::npos)
                type = value;
            else if (key.find("unit") != std::string::npos)
                unit = value;
            else if (key.find("reference ellipsoid") != std::string::npos)
                ellipsoid = value;
        }
        if (!unit || !type || !ellipsoid) {
            reason = fr("en-tête SKI ASCII (@%Unit, @%Coordinate type, @%Reference ellipsoid) "
                        "absent ou incomplet");
            return false;
        }
        const std::string e = lower(*ellipsoid);
        if (lower(*unit) != "m" || lower(*type) != "cartesian" || e.compare(0, 3, "wgs") != 0 ||
            e.size() < 2 || e.compare(e.size() - 2, 2, "84") != 0) {
            reason = fr("seules les coordonnées cartésiennes en mètres sur WGS 1984 sont lues");
            return false;
        }
        return true;
    }

    void reject(std::size_t line, const std::string &reason)
    {
        m_chunks[line].push_back(rejectedLine(m_context, static_cast<int>(line) + 1, reason));
    }

    // The id of columns 3 to 18, checked to fit a point name.
    std::optional<std::string> pointName(std::size_t line, std::string_view text)
    {
        const std::string name = trim(columns(text, 3, 16));
        if (name.empty()) {
            reject(line, fr("identifiant de point vide"));
            return std::nullopt;
        }
        if (name.size() > 12) {
            reject(line, fr("identifiant « ") + name + fr(" » trop long (12 caractères au plus)"));
            return std::nullopt;
        }
        return name;
    }

    std::optional<Eigen::Vector3d> threeNumbers(std::size_t line, std::string_view text)
    {
        const Numbers n = numbersOf(columnsFrom(text, 19), 3);
        if (n.values.size() < 3) {
            reject(line, fr("trois nombres attendus après l'identifiant"));
            return std::nullopt;
        }
        return Eigen::Vector3d(n.values[0], n.values[1], n.values[2]);
    }

    void record(std::size_t line, std::string_view text)
    {
        if (trim(text).empty())
            return;
        if (text.size() < 2 || text[0] != '@') {
            reject(line, fr("ligne sans enregistrement SKI (@ en colonne 1)"));
            return;
        }
        switch (text[1]) {
        case '%':
            return;
        case '#':
        case '+': {
            finishPoint();
            if (text[1] == '+')
                finishBaseline();
            const auto name = pointName(line, text);
            const auto xyz = name ? threeNumbers(line, text) : std::nullopt;
            if (!xyz)
                return;
            PendingPoint point;
            point.line = line;
            point.name = *name;
            point.xyz = *xyz;
            m_point = point;
            if (text[1] == '+') {
                PendingBaseline baseline;
                baseline.line = line;
                baseline.reference = *name;
                m_baseline = baseline;
            }
            return;
        }
        case '&': {
            if (!m_point) {
                reject(line, fr("précision de point (@&) sans point avant elle"));
                return;
            }
            const Cofactors c = cofactorsOf(numbersOf(columnsFrom(text, 3), 7));
            if (c.m0 > 0.0 && !c.complete) {
                reject(line, fr("m0 et six cofacteurs attendus"));
                return;
            }
            m_point->cofactors = c;
            return;
        }
        case '-': {
            if (!m_baseline || m_baseline->hasRover) {
                reject(line, fr("point mobile (@-) sans début de ligne de base (@+)"));
                return;
            }
            const auto name = pointName(line, text);
            const auto vector = name ? threeNumbers(line, text) : std::nullopt;
            if (!vector)
                return;
            if (*name == m_baseline->reference) {
                reject(line, fr("ligne de base d'un point vers lui-même"));
                return;
            }
            m_baseline->rover = *name;
            m_baseline->vector = *vector;
            m_baseline->hasRover = true;
            return;
        }
        case '=': {
            if (!m_baseline) {
                reject(line, fr("covariance (@=) sans ligne de base"));
                return;
            }
            const Cofactors c = cofactorsOf(numbersOf(columnsFrom(text, 3), 7));
            if (!c.complete) {
                reject(line, fr("m0 et six cofacteurs attendus"));
                return;
            }
            m_baseline->cofactors = c;
            return;
        }
        default:
            break;
        }
        reject(line, fr("enregistrement « ") + std::string(text.substr(0, 2)) +
                         fr(" » non repris (information sans équivalent dans le fichier)"));
    }

    void finishPoint()
    {
        if (!m_point)
            return;
        const PendingPoint p = *m_point;
        m_point.reset();
        if (!m_options.includePoints || m_context.definedPoints.count(p.name))
            return;
        const bool fixed = p.cofactors && p.cofactors->m0 <= 0.0;
        RecordLine line("XYZ");
        line.raw(7, 3, fixed ? "111" : "000")
            .name(11, 12, p.name)
            .number(24, 18, p.xyz.x(), 4)
            .number(43, 18, p.xyz.y(), 4)
            .number(62, 18, p.xyz.z(), 4)
            .raw(81, 2, "m ");
        if (!line.ok()) {
            reject(p.line, line.problem());
            return;
        }
        auto &chunk = m_chunks[p.line];
        std::vector<std::string> matrix;
        if (m_options.includeCovariance && p.cofactors && p.cofactors->m0 > 0.0) {
            matrix = covarianceLines(p.cofactors->covariance(), "CT");
            if (matrix.empty())
                reject(p.line, fr("covariance du point non définie positive : bloc 3DC non écrit"));
        }
        if (!matrix.empty())
            chunk.push_back(RecordLine("3DC").str());
        chunk.push_back(line.str());
        chunk.insert(chunk.end(), matrix.begin(), matrix.end());
        m_context.definedPoints.insert(p.name);
    }

    void finishBaseline()
    {
        if (!m_baseline)
            return;
        const PendingBaseline b = *m_baseline;
        m_baseline.reset();
        if (!b.hasRover) {
            reject(b.line, fr("ligne de base sans point mobile (@-)"));
            return;
        }
        RecordLine vector("DXYZ");
        vector.name(11, 12, b.reference)
            .name(24, 12, b.rover)
            .number(37, 13, b.vector.x(), 4)
            .number(51, 13, b.vector.y(), 4)
            .number(65, 13, b.vector.z(), 4)
            .raw(79, 2, "m ");
        if (!vector.ok()) {
            reject(b.line, vector.problem());
            return;
        }
        auto &chunk = m_chunks[b.line];
        chunk.push_back(RecordLine("3DD").str());
        chunk.push_back(vector.str());
        if (!b.cofactors) {
            reject(b.line, fr("ligne de base sans covariance (@=) : COV non écrit"));
            return;
        }
        const std::vector<std::string> matrix = covarianceLines(b.cofactors->covariance(), "CT");
        if (matrix.empty()) {
            reject(b.line,
                   fr("covariance de la ligne de base non définie positive : COV non écrit"));
            return;
        }
        chunk.insert(chunk.end(), matrix.begin(), matrix.end());
    }

    ImportContext &m_context;
    const ImportOptions &m_options;
    std::vector<std::vector<std::string>> m_chunks;
    std::optional<PendingPoint> m_point;
    std::optional<PendingBaseline> m_baseline;
};

} // namespace

Conversion convertSki(std::string_view content, ImportContext &context,
                      const ImportOptions &options)
{
    return SkiConverter(context, options).run(content);
}

} // namespace engine::import
