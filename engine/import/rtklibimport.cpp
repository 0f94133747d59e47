#include "engine/import/rtklibimport.h"

#include "engine/base/text.h"
#include "engine/import/recordwriter.h"

#include <array>
#include <cmath>
#include <optional>

namespace engine::import {

namespace {

enum class Form { Ecef, Degrees, Dms, Baseline };

struct Legend
{
    Form form = Form::Ecef;
    char separator = ' '; // ' ' stands for any run of blanks and tabs
    std::string timeSystem;
};

struct Solution
{
    std::string time;
    std::array<double, 3>
        position{}; // X Y Z, or latitude, longitude (degrees) and height, or E N U
    int quality = 0;
    int satellites = 0;
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero(); // X Y Z, or east, north, up
};

struct Item
{
    enum class Kind { Nothing, Rejected, ReferencePosition, Solution };
    Kind kind = Kind::Nothing;
    std::string reason;
    std::string referenceText;
    Solution solution;
};

std::optional<Legend> legendOf(std::string_view line)
{
    static const std::array<std::pair<const char *, Form>, 4> labels = {{
        {"x-ecef(m)", Form::Ecef},
        {"latitude(deg)", Form::Degrees},
        {"latitude(d'\")", Form::Dms},
        {"e-baseline(m)", Form::Baseline},
    }};
    for (const auto &[label, form] : labels) {
        const std::size_t at = line.find(label);
        if (at == std::string_view::npos)
            continue;
        Legend legend;
        legend.form = form;
        const std::size_t after = at + std::char_traits<char>::length(label);
        if (after < line.size() && line[after] != ' ' && line[after] != '\t')
            legend.separator = line[after];
        for (const char *system : {"GPST", "UTC", "JST"}) {
            if (line.find(system) != std::string_view::npos) {
                legend.timeSystem = system;
                break;
            }
        }
        return legend;
    }
    return std::nullopt;
}

std::vector<std::string> fields(std::string_view text, char separator)
{
    std::vector<std::string> out;
    if (separator == ' ') {
        for (std::string_view word : words(text))
            out.emplace_back(word);
        return out;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        out.push_back(
            trim(text.substr(start, end == std::string_view::npos ? text.npos : end - start)));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return out;
}

// Signed square root of a covariance, as the files hold it, back to the covariance.
double covarianceOf(double signedRoot)
{
    return signedRoot < 0.0 ? -signedRoot * signedRoot : signedRoot * signedRoot;
}

// An angle in degrees from three fields "d m s", the sign carried by the degrees ("-0" included).
std::optional<double> dmsDegrees(const std::string &d, const std::string &m, const std::string &s)
{
    const auto degrees = parseNumber(d);
    const auto minutes = parseNumber(m);
    const auto seconds = parseNumber(s);
    if (!degrees || !minutes || !seconds || *minutes < 0.0 || *minutes >= 60.0 || *seconds < 0.0 ||
        *seconds >= 60.0)
        return std::nullopt;
    const double magnitude = std::fabs(*degrees) + *minutes / 60.0 + *seconds / 3600.0;
    return d.find('-') != std::string::npos ? -magnitude : magnitude;
}

// The position fields of the form: three numbers, or seven for degrees, minutes and seconds.
std::optional<std::array<double, 3>> position(const std::vector<std::string> &f, std::size_t at,
                                              bool dms)
{
    std::array<double, 3> p{};
    if (dms) {
        if (f.size() < at + 7)
            return std::nullopt;
        const auto latitude = dmsDegrees(f[at], f[at + 1], f[at + 2]);
        const auto longitude = dmsDegrees(f[at + 3], f[at + 4], f[at + 5]);
        const auto height = parseNumber(f[at + 6]);
        if (!latitude || !longitude || !height)
            return std::nullopt;
        p = {*latitude, *longitude, *height};
    } else {
        if (f.size() < at + 3)
            return std::nullopt;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto value = parseNumber(f[at + k]);
            if (!value)
                return std::nullopt;
            p[k] = *value;
        }
    }
    return p;
}

bool geographic(Form form)
{
    return form == Form::Degrees || form == Form::Dms;
}

bool validLatitudeLongitude(const std::array<double, 3> &p)
{
    return std::fabs(p[0]) <= 90.0 && std::fabs(p[1]) <= 360.0;
}

Item solutionLine(std::string_view line, const Legend &legend)
{
    Item item;
    item.kind = Item::Kind::Rejected;
    const std::vector<std::string> f = fields(line, legend.separator);
    // The time first: date and time (blank-separated even in a comma-separated file), or week and
    // seconds of week.
    std::size_t at = 0;
    if (!f.empty() && f[0].find('/') != std::string::npos && f[0].find(':') != std::string::npos) {
        item.solution.time = f[0];
        at = 1;
    } else if (f.size() >= 2 && (f[0].find('/') != std::string::npos || parseNumber(f[0])) &&
               (f[1].find(':') != std::string::npos || parseNumber(f[1]))) {
        item.solution.time = f[0] + " " + f[1];
        at = 2;
    } else {
        item.reason = fr("date et heure illisibles");
        return item;
    }
    const bool dms = legend.form == Form::Dms;
    const auto p = position(f, at, dms);
    if (!p) {
        item.reason = fr("position illisible");
        return item;
    }
    if (geographic(legend.form) && !validLatitudeLongitude(*p)) {
        item.reason = fr("latitude ou longitude hors des valeurs possibles");
        return item;
    }
    at += dms ? 7 : 3;
    if (f.size() < at + 8) {
        item.reason = fr("colonnes manquantes (qualité, satellites, écarts-types)");
        return item;
    }
    const auto quality = parseInteger(f[at]);
    const auto satellites = parseInteger(f[at + 1]);
    if (!quality || *quality < 1 || *quality > 6 || !satellites || *satellites < 0 ||
        *satellites > 999) {
        item.reason = fr("qualité ou nombre de satellites illisible");
        return item;
    }
    std::array<double, 6> s{};
    for (std::size_t k = 0; k < 6; ++k) {
        const auto value = parseNumber(f[at + 2 + k]);
        if (!value || (k < 3 && *value < 0.0)) {
            item.reason = fr("écart-type ou covariance illisible");
            return item;
        }
        s[k] = *value;
    }
    Eigen::Matrix3d c;
    switch (legend.form) {
    case Form::Ecef: // sdx sdy sdz sdxy sdyz sdzx
        c << s[0] * s[0], covarianceOf(s[3]), covarianceOf(s[5]), covarianceOf(s[3]), s[1] * s[1],
            covarianceOf(s[4]), covarianceOf(s[5]), covarianceOf(s[4]), s[2] * s[2];
        break;
    case Form::Degrees:
    case Form::Dms: { // sdn sde sdu sdne sdeu sdun, written in the order east, north, up
        const double ne = covarianceOf(s[3]);
        const double eu = covarianceOf(s[4]);
        const double un = covarianceOf(s[5]);
        c << s[1] * s[1], ne, eu, ne, s[0] * s[0], un, eu, un, s[2] * s[2];
        break;
    }
    case Form::Baseline: { // sde sdn sdu sden sdnu sdue
        const double en = covarianceOf(s[3]);
        const double nu = covarianceOf(s[4]);
        const double ue = covarianceOf(s[5]);
        c << s[0] * s[0], en, ue, en, s[1] * s[1], nu, ue, nu, s[2] * s[2];
        break;
    }
    }
    item.kind = Item::Kind::Solution;
    item.solution.position = *p;
    item.solution.quality = static_cast<int>(*quality);
    item.solution.satellites = static_cast<int>(*satellites);
    item.solution.covariance = c;
    return item;
}

const char *qualityName(int quality)
{
    switch (quality) {
    case 1:
        return "fixe";
    case 2:
        return "flottante";
    case 3:
        return "SBAS";
    case 4:
        return "DGPS";
    case 5:
        return "naturelle";
    default:
        break;
    }
    return "PPP";
}

class RtkLibConverter
{
public:
    RtkLibConverter(ImportContext &context, const ImportOptions &options)
        : m_context(context)
        , m_options(options)
    {}

    Conversion run(std::string_view content)
    {
        Conversion out;
        const auto lines = splitLines(content);
        std::optional<Legend> legend;
        std::vector<Item> items(lines.size());
        int solutions = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            const std::string text = trim(line);
            if (text.empty())
                continue;
            if (text[0] == '%') {
                if (const auto found = legendOf(text))
                    legend = found;
                const std::size_t colon = text.find(':');
                if (text.find("ref pos") != std::string::npos && colon != std::string::npos &&
                    text.find("ref pos") < colon) {
                    items[i].kind = Item::Kind::ReferencePosition;
                    items[i].referenceText = text.substr(colon + 1);
                }
                continue;
            }
            if (!legend) {
                items[i].kind = Item::Kind::Rejected;
                items[i].reason = fr("ligne de données avant la ligne d'en-tête des colonnes");
                continue;
            }
            items[i] = solutionLine(text, *legend);
            if (items[i].kind == Item::Kind::Solution)
                ++solutions;
        }
        if (!legend) {
            out.reason = fr("ligne d'en-tête des colonnes RTKLib introuvable");
            return out;
        }
        m_legend = *legend;
        out.readable = true;
        int number = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            const Item &item = items[i];
            switch (item.kind) {
            case Item::Kind::Nothing:
                break;
            case Item::Kind::Rejected:
                out.lines.push_back(rejectedLine(m_context, lineNumber, item.reason));
                break;
            case Item::Kind::ReferencePosition:
                if (m_options.includePoints)
                    reference(item.referenceText, lineNumber, out.lines);
                break;
            case Item::Kind::Solution:
                ++number;
                solution(item.solution, solutionName(number, solutions), lineNumber, out.lines);
                break;
            }
        }
        return out;
    }

private:
    std::string baseName(std::size_t room) const
    {
        std::string base = m_context.baseName.empty() ? std::string("POS") : m_context.baseName;
        return base.substr(0, room);
    }

    std::string solutionName(int number, int count) const
    {
        if (count <= 1)
            return baseName(12);
        const std::string suffix = "_" + std::to_string(number);
        return baseName(suffix.size() < 12 ? 12 - suffix.size() : 0) + suffix;
    }

    bool alreadyDefined(const std::string &name, int lineNumber, std::vector<std::string> &out)
    {
        if (!m_context.definedPoints.count(name))
            return false;
        out.push_back(rejectedLine(m_context, lineNumber,
                                   fr("le point « ") + name + fr(" » est déjà défini")));
        return true;
    }

    // The point record of `position` in the file's form; `fixity` one flag per coordinate.
    RecordLine pointRecord(const std::string &name, const std::array<double, 3> &p,
                           const char *fixity) const
    {
        if (m_legend.form == Form::Ecef) {
            RecordLine line("XYZ");
            line.raw(7, 3, fixity)
                .name(11, 12, name)
                .number(24, 18, p[0], 4)
                .number(43, 18, p[1], 4)
                .number(62, 18, p[2], 4)
                .raw(81, 2, "m ");
            return line;
        }
        if (m_legend.form == Form::Baseline) {
            RecordLine line("LENU");
            line.raw(7, 3, fixity)
                .name(11, 12, name)
                .number(24, 18, p[0], 4)
                .number(43, 18, p[1], 4)
                .number(62, 16, p[2], 4)
                .raw(81, 2, "m ");
            return line;
        }
        RecordLine line("PLH");
        line.raw(7, 3, fixity)
            .name(11, 12, name)
            .angle(24, 17, p[0], AngleForm::Dms, 5, 'N', 'S')
            .angle(42, 17, p[1], AngleForm::Dms, 5, 'E', 'W')
            .number(60, 12, p[2], 4)
            .raw(73, 2, "m ");
        return line;
    }

    void reference(const std::string &text, int lineNumber, std::vector<std::string> &out)
    {
        const std::string name = baseName(8) + "_REF";
        const std::vector<std::string> f = fields(text, m_legend.separator);
        // The reference position is geocentric in the X Y Z form, geographic otherwise, in
        // degrees or in degrees, minutes and seconds.
        std::optional<std::array<double, 3>> p;
        if (m_legend.form == Form::Ecef) {
            p = f.size() == 3 ? position(f, 0, false) : std::nullopt;
        } else {
            p = f.size() == 7 || f.size() == 3 ? position(f, 0, f.size() == 7) : std::nullopt;
            if (p && !validLatitudeLongitude(*p))
                p.reset();
        }
        if (!p) {
            out.push_back(
                rejectedLine(m_context, lineNumber, fr("position de référence illisible")));
            return;
        }
        if (alreadyDefined(name, lineNumber, out))
            return;
        RecordLine line = pointRecord(
            name, m_legend.form == Form::Baseline ? std::array<double, 3>{0.0, 0.0, 0.0} : *p,
            "111");
        if (!line.ok()) {
            out.push_back(rejectedLine(m_context, lineNumber, line.problem()));
            return;
        }
        if (m_legend.form == Form::Baseline) {
            out.push_back(commentLine(fr(" Origine des composantes est, nord, haut : latitude ") +
                                      fixed((*p)[0], 0, 9) + fr(", longitude ") +
                                      fixed((*p)[1], 0, 9) + fr(" degrés, hauteur ") +
                                      fixed((*p)[2], 0, 4) + " m"));
        }
        out.push_back(line.str());
        m_context.definedPoints.insert(name);
    }

    void solution(const Solution &s, const std::string &name, int lineNumber,
                  std::vector<std::string> &out)
    {
        if (alreadyDefined(name, lineNumber, out))
            return;
        RecordLine line = pointRecord(name, s.position, "000");
        if (!line.ok()) {
            out.push_back(rejectedLine(m_context, lineNumber, line.problem()));
            return;
        }
        out.push_back(commentLine(fr(" Solution ") + s.time +
                                  (m_legend.timeSystem.empty() ? "" : " " + m_legend.timeSystem) +
                                  " : Q=" + std::to_string(s.quality) + " (" +
                                  fr(qualityName(s.quality)) + "), " +
                                  std::to_string(s.satellites) + fr(" satellites")));
        if (!m_options.includeCovariance) {
            out.push_back(line.str());
        } else {
            const std::vector<std::string> matrix =
                covarianceLines(s.covariance, m_legend.form == Form::Ecef ? "CT" : "LG");
            if (matrix.empty()) {
                out.push_back(rejectedLine(
                    m_context, lineNumber,
                    fr("covariance non définie positive : point écrit sans bloc 3DC")));
                out.push_back(line.str());
            } else {
                out.push_back(RecordLine("3DC").str());
                out.push_back(line.str());
                out.insert(out.end(), matrix.begin(), matrix.end());
            }
        }
        m_context.definedPoints.insert(name);
    }

    ImportContext &m_context;
    const ImportOptions &m_options;
    Legend m_legend;
};

} // namespace

Conversion convertRtkLib(std::string_view content, ImportContext &context,
                         const ImportOptions &options)
{
    return RtkLibConverter(context, options).run(content);
}

} // namespace engine::import
