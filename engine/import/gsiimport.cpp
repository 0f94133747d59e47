#include "engine/import/gsiimport.h"

#include "engine/base/text.h"
#include "engine/import/recordwriter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace engine::import {

namespace {

constexpr std::size_t kGsi8WordLength = 15;
constexpr std::size_t kGsi16WordLength = 23;
constexpr double kFoot = 0.3048; // international foot, in metres
constexpr double kPi = 3.14159265358979323846;

struct Word
{
    int index = 0;
    std::string info; // positions 3 to 6
    bool negative = false;
    std::string data;
    std::string text; // the whole word, for the messages
};

struct Angle
{
    double value = 0.0; // degrees (Dms) or grades (Grades)
    AngleForm form = AngleForm::Grades;

    double circle() const { return form == AngleForm::Dms ? 360.0 : 400.0; }
};

struct Length
{
    double metres = 0.0;
    int decimals = 4;
};

// A block that cannot be converted: the reason goes into the comment that replaces the line.
struct Rejected
{
    std::string reason;
};

bool allDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The data of a measured word as an integer, or a rejection.
double wordInteger(const Word &word)
{
    if (!allDigits(word.data))
        throw Rejected{fr("mot « ") + word.text + fr(" » : valeur illisible")};
    // At most 16 digits: exact in a double.
    const double value = std::stod(word.data);
    return word.negative ? -value : value;
}

char unitCode(const Word &word)
{
    return word.info.size() == 4 ? word.info[3] : ' ';
}

Angle wordAngle(const Word &word)
{
    const double raw = wordInteger(word);
    Angle angle;
    switch (unitCode(word)) {
    case '2': // gon, 5 decimals
        angle = {raw / 1e5, AngleForm::Grades};
        break;
    case '3': // decimal degrees, 5 decimals
        angle = {raw / 1e5, AngleForm::Dms};
        break;
    case '4': { // DDD.MMSSS: degrees, two digits of minutes, three of tenths of seconds
        const double magnitude = std::fabs(raw);
        const double degrees = std::floor(magnitude / 1e5);
        const double rest = magnitude - degrees * 1e5;
        const double minutes = std::floor(rest / 1e3);
        const double seconds = (rest - minutes * 1e3) / 10.0;
        if (minutes >= 60.0 || seconds >= 60.0)
            throw Rejected{fr("mot « ") + word.text +
                           fr(" » : minutes ou secondes hors de 0 à 59")};
        const double value = degrees + minutes / 60.0 + seconds / 3600.0;
        angle = {raw < 0.0 ? -value : value, AngleForm::Dms};
        break;
    }
    case '5': // mil, 4 decimals: 6400 mil to the circle, written in grades
        angle = {raw / 1e4 * 400.0 / 6400.0, AngleForm::Grades};
        break;
    default:
        throw Rejected{fr("mot « ") + word.text + fr(" » : unité d'angle inconnue")};
    }
    return angle;
}

Length wordLength(const Word &word)
{
    const double raw = wordInteger(word);
    switch (unitCode(word)) {
    case '0':
        return {raw / 1e3, 4};
    case '1': // feet in thousandths: exact in metres with 7 decimals
        return {raw / 1e3 * kFoot, 7};
    case '6':
        return {raw / 1e4, 4};
    case '7':
        return {raw / 1e4 * kFoot, 8};
    case '8':
        return {raw / 1e5, 5};
    default:
        break;
    }
    throw Rejected{fr("mot « ") + word.text + fr(" » : unité de longueur inconnue")};
}

// The point id of word 11: alphanumeric, leading zeros dropped, but an id of zeros only stays "0".
std::string pointId(const Word &word)
{
    std::string id = trim(word.data);
    const std::size_t first = id.find_first_not_of('0');
    if (first == std::string::npos)
        id = id.empty() ? id : "0";
    else
        id.erase(0, first);
    if (id.empty())
        throw Rejected{fr("numéro de point vide")};
    return id;
}

std::string checked(const RecordLine &line)
{
    if (!line.ok())
        throw Rejected{line.problem()};
    return line.str();
}

class GsiConverter
{
public:
    GsiConverter(ImportContext &context, const ImportOptions &options)
        : m_context(context)
        , m_options(options)
    {}

    Conversion run(std::string_view content)
    {
        Conversion out;
        out.readable = true;
        out.lines.push_back(commentLine(
            fr(" Précisions : familles SIGM « HZ » (directions), « ZEN » (angles zénithaux) et "
               "« DST » (distances) à définir")));
        const auto lines = splitLines(content);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            const std::string text = trim(lines[i]);
            if (text.empty())
                continue;
            // Each input line converts whole or not at all, so that state changes only with it.
            const State saved = m_state;
            try {
                std::vector<std::string> block = convertLine(text);
                out.lines.insert(out.lines.end(), block.begin(), block.end());
            } catch (const Rejected &rejected) {
                m_state = saved;
                out.lines.push_back(rejectedLine(m_context, lineNumber, rejected.reason));
            }
        }
        return out;
    }

private:
    struct State
    {
        std::string station;
        bool setOpen = false;
        std::vector<std::string> setTargets;
        std::optional<AngleForm> angleUnit;
        std::map<std::string, double> instrumentHeights;
        std::map<std::string, double> targetHeights;
        std::set<std::string> definedPoints;
    };

    std::map<int, Word> parseWords(std::string_view text) const
    {
        std::string_view rest = text;
        if (!rest.empty() && rest[0] == '*')
            rest.remove_prefix(1);
        std::map<int, Word> words;
        std::size_t wordLength = 0;
        for (std::string_view token : engine::words(rest)) {
            const std::string shown(token.substr(0, 30));
            if (token.size() != kGsi8WordLength && token.size() != kGsi16WordLength)
                throw Rejected{fr("mot « ") + shown +
                               fr(" » : ni GSI-8 (15 caractères) ni GSI-16 (23 caractères)")};
            if (wordLength != 0 && token.size() != wordLength)
                throw Rejected{fr("mots GSI-8 et GSI-16 mêlés dans un même bloc")};
            wordLength = token.size();
            if (!allDigits(token.substr(0, 2)) || (token[6] != '+' && token[6] != '-'))
                throw Rejected{fr("mot « ") + shown + fr(" » illisible")};
            Word word;
            word.index = (token[0] - '0') * 10 + (token[1] - '0');
            word.info = std::string(token.substr(2, 4));
            word.negative = token[6] == '-';
            word.data = std::string(token.substr(7));
            word.text = shown;
            // Digital levels number their words with three digits (330 and up): not handled.
            if ((word.index == 32 || word.index == 33) && word.info[0] >= '1' &&
                word.info[0] <= '9')
                throw Rejected{fr("mesure de niveau numérique (mot ") + shown.substr(0, 3) +
                               fr(") : non traitée")};
            if (!words.emplace(word.index, word).second)
                throw Rejected{fr("mot ") + std::to_string(word.index) + fr(" répété")};
        }
        return words;
    }

    std::vector<std::string> convertLine(std::string_view text)
    {
        const std::map<int, Word> words = parseWords(text);
        const auto has = [&words](int index) { return words.count(index) > 0; };
        const auto word = [&words](int index) -> const Word & { return words.at(index); };
        if (!has(11)) {
            if (has(41))
                throw Rejected{fr("bloc de codes sans mesure")};
            throw Rejected{fr("bloc sans numéro de point (mot 11)")};
        }
        const std::string id = pointId(word(11));
        const bool measured = has(21) || has(22) || has(31) || has(32) || has(33);
        std::vector<std::string> out;
        if (measured)
            measurement(words, id, out);
        else if (has(84) || has(85) || has(86) || has(88))
            stationBlock(words, id, out);
        else if (has(81) || has(82) || has(83))
            coordinates(words, id, 81, "111", true, out);
        else
            throw Rejected{fr("bloc sans mesure ni coordonnées")};
        return out;
    }

    // The coordinate record of `id` from words first, first + 1, first + 2 (east, north,
    // height). A point already given coordinates keeps its first ones.
    void coordinates(const std::map<int, Word> &words, const std::string &id, int first,
                     const char *flags, bool mandatory, std::vector<std::string> &out)
    {
        const bool hasEast = words.count(first) > 0;
        const bool hasNorth = words.count(first + 1) > 0;
        if (!hasEast || !hasNorth) {
            if (mandatory)
                throw Rejected{fr("coordonnées incomplètes du point « ") + id + fr(" »")};
            return;
        }
        if (m_context.definedPoints.count(id) || m_state.definedPoints.count(id)) {
            if (mandatory)
                out.push_back(
                    commentLine(fr(" Point « ") + id +
                                fr(" » déjà défini plus haut : coordonnées non reprises")));
            return;
        }
        const Length east = wordLength(words.at(first));
        const Length north = wordLength(words.at(first + 1));
        std::string fixity = flags;
        Length height;
        if (words.count(first + 2)) {
            height = wordLength(words.at(first + 2));
        } else {
            fixity[2] = '0'; // no height known: a free height starting from 0
        }
        const int decimals = std::max({east.decimals, north.decimals, height.decimals});
        if (m_options.neo) {
            RecordLine line("NEO");
            line.raw(7, 3, fixity)
                .name(11, 12, id)
                .number(24, 16, north.metres, decimals)
                .number(41, 16, east.metres, decimals)
                .number(58, 10, height.metres, decimals)
                .raw(77, 2, "m ");
            out.push_back(checked(line));
        } else {
            RecordLine line("LENU");
            line.raw(7, 3, fixity)
                .name(11, 12, id)
                .number(24, 18, east.metres, decimals)
                .number(43, 18, north.metres, decimals)
                .number(62, 16, height.metres, decimals)
                .raw(81, 2, "m ");
            out.push_back(checked(line));
        }
        m_state.definedPoints.insert(id);
    }

    void height(const char *code, const std::string &point, const Length &value,
                std::map<std::string, double> &known, std::vector<std::string> &out)
    {
        const auto found = known.find(point);
        if (found != known.end() && found->second == value.metres)
            return;
        RecordLine line(code);
        line.name(11, 12, point).number(24, 10, value.metres, value.decimals).raw(35, 2, "m ");
        out.push_back(checked(line));
        known[point] = value.metres;
    }

    void stationBlock(const std::map<int, Word> &words, const std::string &id,
                      std::vector<std::string> &out)
    {
        m_state.station = id;
        m_state.setOpen = false;
        m_state.setTargets.clear();
        coordinates(words, id, 84, "111", false, out);
        RecordLine group("GRP");
        group.text(7, 73, fr("Station ") + id);
        out.push_back(checked(group));
        if (words.count(88))
            height("HI", id, wordLength(words.at(88)), m_state.instrumentHeights, out);
    }

    void angleUnit(AngleForm form, std::vector<std::string> &out)
    {
        if (m_state.angleUnit == form)
            return;
        RecordLine line("ANGT");
        line.raw(7, 3, form == AngleForm::Dms ? "DMS" : "GRD");
        out.push_back(checked(line));
        m_state.angleUnit = form;
    }

    static RecordLine twoPoints(const char *code, const char *sigmaId, const std::string &station,
                                const std::string &target)
    {
        RecordLine line(code);
        line.text(7, 3, sigmaId).name(11, 12, station).name(24, 12, target);
        return line;
    }

    void measurement(const std::map<int, Word> &words, const std::string &target,
                     std::vector<std::string> &out)
    {
        if (m_state.station.empty())
            throw Rejected{fr("mesure sans bloc de station avant elle")};
        const std::string station = m_state.station;
        if (target == station)
            throw Rejected{fr("point visé identique à la station « ") + station + fr(" »")};

        std::optional<Angle> horizontal;
        std::optional<Angle> zenith;
        if (words.count(21))
            horizontal = wordAngle(words.at(21));
        if (words.count(22))
            zenith = wordAngle(words.at(22));
        if (zenith && (zenith->value < 0.0 || zenith->value >= zenith->circle()))
            throw Rejected{fr("angle zénithal hors du cercle")};
        if (horizontal) {
            horizontal->value = std::fmod(horizontal->value, horizontal->circle());
            if (horizontal->value < 0.0)
                horizontal->value += horizontal->circle();
        }
        // Face two: the zenith angle passes half a circle; bring both readings to face one.
        if (zenith && zenith->value > zenith->circle() / 2.0) {
            zenith->value = zenith->circle() - zenith->value;
            if (horizontal) {
                horizontal->value += horizontal->circle() / 2.0;
                if (horizontal->value >= horizontal->circle())
                    horizontal->value -= horizontal->circle();
            }
        }

        Length slope{0.0, 4}; // a zero distance: none measured
        bool derived = false;
        if (words.count(31)) {
            slope = wordLength(words.at(31));
        } else if (words.count(32)) {
            const Length flat = wordLength(words.at(32));
            if (words.count(33)) {
                const Length rise = wordLength(words.at(33));
                slope = Length{std::hypot(flat.metres, rise.metres),
                               std::max(flat.decimals, rise.decimals)};
            } else if (zenith) {
                const double radians = zenith->value / zenith->circle() * 2.0 * kPi;
                if (std::sin(radians) <= 1e-9)
                    throw Rejected{fr("distance horizontale avec une visée verticale")};
                slope = Length{flat.metres / std::sin(radians), flat.decimals};
            } else {
                throw Rejected{fr("distance horizontale sans dénivelée ni angle zénithal")};
            }
            derived = slope.metres != 0.0;
        }
        if (slope.metres < 0.0)
            throw Rejected{fr("distance négative")};
        // A zero distance is what instruments record for a sighting without distance.
        const bool hasDistance = slope.metres != 0.0;
        if (!horizontal && !zenith && !hasDistance)
            throw Rejected{fr("mesure sans angle ni distance")};

        if (words.count(88))
            height("HI", station, wordLength(words.at(88)), m_state.instrumentHeights, out);
        if (words.count(87))
            height("HT", target, wordLength(words.at(87)), m_state.targetHeights, out);
        coordinates(words, target, 81, "000", false, out);
        if (horizontal) {
            const auto &targets = m_state.setTargets;
            if (!m_state.setOpen ||
                std::find(targets.begin(), targets.end(), target) != targets.end()) {
                RecordLine set("DSET");
                set.text(7, 3, "HZ");
                out.push_back(checked(set));
                m_state.setOpen = true;
                m_state.setTargets.clear();
            }
            m_state.setTargets.push_back(target);
            angleUnit(horizontal->form, out);
            RecordLine line = twoPoints("DIR", "HZ", station, target);
            line.angle(50, 15, horizontal->value, horizontal->form, 4);
            out.push_back(checked(line));
        }
        if (zenith) {
            angleUnit(zenith->form, out);
            RecordLine line = twoPoints("ZANG", "ZEN", station, target);
            line.angle(50, 15, zenith->value, zenith->form, 4);
            out.push_back(checked(line));
        }
        if (hasDistance) {
            if (derived)
                out.push_back(commentLine(
                    fr(" Distance inclinée déduite de la distance horizontale mesurée")));
            RecordLine line = twoPoints("DIST", "DST", station, target);
            line.number(50, 15, slope.metres, slope.decimals).raw(77, 2, "m ");
            out.push_back(checked(line));
        }
    }

    ImportContext &m_context;
    const ImportOptions &m_options;
    State m_state;
};

} // namespace

Conversion convertGsi(std::string_view content, ImportContext &context,
                      const ImportOptions &options)
{
    return GsiConverter(context, options).run(content);
}

} // namespace engine::import
