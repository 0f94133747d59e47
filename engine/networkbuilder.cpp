#include "networkbuilder.h"

#include "angles.h"
#include "text.h"

#include <cmath>
#include <set>

namespace engine {

const char *observationCode(ObservationKind kind)
{
    switch (kind) {
    case ObservationKind::Distance:
        return "DIST";
    case ObservationKind::Direction:
        return "DIR";
    case ObservationKind::Zenith:
        return "ZANG";
    case ObservationKind::HeightDifference:
        return "OHDF";
    case ObservationKind::Azimuth:
        break;
    }
    return "AZIM";
}

namespace {

// Record codes of the observation files that this engine does not handle yet.
const std::set<std::string> &laterCodes()
{
    static const std::set<std::string> codes = {
        "3DC",  "3DD",  "AUX",  "CORR", "COV",  "DXYZ", "ELEM", "ELIP", "EPOC", "GEOI",
        "GFIL", "LAMB", "NEH",  "NEO",  "OMER", "PLH",  "PLHD", "PLO",  "PLOD", "PMOY",
        "STGR", "TMER", "UNHI", "UNHT", "XLAM", "XTMR", "XYZ",  "WGT"};
    return codes;
}

double metresPerUnit(LinearUnit unit)
{
    switch (unit) {
    case LinearUnit::Centimetre:
        return 0.01;
    case LinearUnit::Millimetre:
        return 0.001;
    case LinearUnit::Metre:
        break;
    }
    return 1.0;
}

class Builder
{
public:
    Builder(const ObservationSource &source, const Options &options, Diagnostics &diagnostics)
        : m_source(source)
        , m_options(options)
        , m_diagnostics(diagnostics)
        , m_angleUnit(options.angleUnit)
    {}

    Network build()
    {
        m_network.files = m_source.files;
        for (const SourceLine &line : m_source.records)
            record(line);
        resolvePoints();
        resolvePrecisions();
        return std::move(m_network);
    }

private:
    struct PendingNames
    {
        std::string station;
        std::string target;
    };

    const std::string &fileOf(const SourceLine &line) const
    {
        static const std::string none;
        const auto index = static_cast<std::size_t>(line.fileNumber - 1);
        return index < m_source.files.size() ? m_source.files[index] : none;
    }

    void error(const SourceLine &line, const std::string &text)
    {
        m_diagnostics.error(fileOf(line), line.lineNumber, text);
    }

    void error(int fileNumber, int lineNumber, const std::string &text)
    {
        const auto index = static_cast<std::size_t>(fileNumber - 1);
        m_diagnostics.error(index < m_source.files.size() ? m_source.files[index] : std::string(),
                            lineNumber, text);
    }

    // A linear unit field: blank takes the configuration's unit.
    bool unit(const SourceLine &line, int column, double &metres)
    {
        const std::string text = trim(columns(line.text, column, 2));
        if (text.empty())
            metres = metresPerUnit(m_options.linearUnit);
        else if (text == "m")
            metres = 1.0;
        else if (text == "cm")
            metres = 0.01;
        else if (text == "mm")
            metres = 0.001;
        else {
            error(line, fr("Unité inconnue « ") + text + fr(" » (m, cm ou mm attendu)."));
            return false;
        }
        return true;
    }

    bool number(const SourceLine &line, int column, int width, const char *what, double &value)
    {
        const std::string text = trim(columns(line.text, column, width));
        if (text.empty()) {
            error(line, fr("Valeur manquante : ") + fr(what) + fr(" (colonnes ") +
                            std::to_string(column) + fr(" à ") +
                            std::to_string(column + width - 1) + ").");
            return false;
        }
        const auto parsed = parseNumber(text);
        if (!parsed) {
            error(line, fr("Nombre illisible « ") + text + fr(" » : ") + fr(what) + ".");
            return false;
        }
        value = *parsed;
        return true;
    }

    // An optional number: blank gives 0 and `given` false.
    bool optionalNumber(const SourceLine &line, int column, int width, const char *what,
                        double &value, bool *given = nullptr)
    {
        const std::string text = trim(columns(line.text, column, width));
        if (given)
            *given = !text.empty();
        value = 0.0;
        if (text.empty())
            return true;
        return number(line, column, width, what, value);
    }

    std::string name(const SourceLine &line, int column)
    {
        return trim(columns(line.text, column, 12));
    }

    void record(const SourceLine &line)
    {
        const std::string code = trim(columns(line.text, 2, 4));
        if (code == "TITL") {
            const std::string title = trim(columns(line.text, 7, 73));
            if (!title.empty())
                m_network.titles.push_back(title);
        } else if (code == "GRP") {
            m_group = trim(columns(line.text, 7, 73));
        } else if (code == "ANGT") {
            const std::string text = trim(columns(line.text, 7, 3));
            if (text == "DMS")
                m_angleUnit = AngleUnit::Dms;
            else if (text == "GRD")
                m_angleUnit = AngleUnit::Grades;
            else if (text == "RAD")
                m_angleUnit = AngleUnit::Radians;
            else
                error(line,
                      fr("Unité d'angle inconnue « ") + text + fr(" » (DMS, GRD ou RAD attendu)."));
        } else if (code == "SIGM") {
            family(line);
        } else if (code == "LENU" || code == "LNEU") {
            point(line, code == "LNEU");
        } else if (code == "HI" || code == "HT") {
            height(line, code == "HI");
        } else if (code == "DSET") {
            DirectionSet set;
            set.sigmaId = trim(columns(line.text, 7, 3));
            set.fileNumber = line.fileNumber;
            set.lineNumber = line.lineNumber;
            m_network.sets.push_back(set);
            m_currentSet = static_cast<int>(m_network.sets.size()) - 1;
        } else if (code == "RSET") {
            double value = 0.0;
            if (optionalNumber(line, 7, 10, "précision du coefficient de réfraction", value)) {
                if (value < 0.0)
                    error(line, fr("La précision du coefficient de réfraction est négative."));
                else
                    m_refractionSigma = value;
            }
        } else if (code == "DIST") {
            observation(line, ObservationKind::Distance);
        } else if (code == "DIR") {
            observation(line, ObservationKind::Direction);
        } else if (code == "AZIM") {
            observation(line, ObservationKind::Azimuth);
        } else if (code == "ZANG") {
            observation(line, ObservationKind::Zenith);
        } else if (code == "OHDF") {
            observation(line, ObservationKind::HeightDifference);
        } else if (laterCodes().count(code)) {
            error(line, fr("L'enregistrement ") + code +
                            fr(" n'est pas encore traité par ce moteur (modèle 3D_LOCALE)."));
        } else {
            error(line, fr("Code d'enregistrement inconnu « ") + code + fr(" »."));
        }
    }

    void family(const SourceLine &line)
    {
        PrecisionFamily f;
        f.id = trim(columns(line.text, 7, 3));
        f.fileNumber = line.fileNumber;
        f.lineNumber = line.lineNumber;
        if (f.id.empty()) {
            error(line, fr("Famille de précision sans Sigma-ID (colonnes 7 à 9)."));
            return;
        }
        bool ok = unit(line, 79, f.unit);
        ok = optionalNumber(line, 11, 10, "écart-type constant", f.constant) && ok;
        ok = optionalNumber(line, 22, 10, "PPM", f.ppm) && ok;
        ok = optionalNumber(line, 33, 10, "centrage station", f.centringPoint) && ok;
        ok = optionalNumber(line, 44, 10, "centrage du point stationné", f.centringStation) && ok;
        ok = optionalNumber(line, 55, 10, "centrage du point visé", f.centringTarget) && ok;
        if (!ok)
            return;
        if (f.constant < 0.0 || f.ppm < 0.0 || f.centringPoint < 0.0 || f.centringStation < 0.0 ||
            f.centringTarget < 0.0) {
            error(line, fr("Les valeurs d'une famille de précision ne peuvent être négatives."));
            return;
        }
        f.centringPoint *= f.unit;
        f.centringStation *= f.unit;
        f.centringTarget *= f.unit;
        f.otherParameters = trim(columns(line.text, 66, 12));
        if (!f.otherParameters.empty()) {
            error(line, fr("Les paramètres secondaires d'une famille de précision (« ") +
                            f.otherParameters +
                            fr(" ») ne sont pas encore traités par ce moteur."));
            return;
        }
        if (m_network.families.count(f.id)) {
            error(line, fr("La famille de précision « ") + f.id + fr(" » est déjà définie."));
            return;
        }
        m_network.families[f.id] = f;
    }

    void point(const SourceLine &line, bool northFirst)
    {
        Point p;
        p.name = name(line, 11);
        p.fileNumber = line.fileNumber;
        p.lineNumber = line.lineNumber;
        if (p.name.empty()) {
            error(line, fr("Point sans nom (colonnes 11 à 22)."));
            return;
        }
        double metres = 1.0;
        double first = 0.0;
        double second = 0.0;
        double up = 0.0;
        bool ok = unit(line, 81, metres);
        ok = number(line, 24, 18, northFirst ? "coordonnée nord" : "coordonnée est", first) && ok;
        ok = number(line, 43, 18, northFirst ? "coordonnée est" : "coordonnée nord", second) && ok;
        ok = number(line, 62, 16, "coordonnée verticale", up) && ok;
        const std::string flags = trim(columns(line.text, 7, 3));
        std::array<bool, 3> recordFixed = {false, false, false};
        for (std::size_t i = 0; i < flags.size(); ++i) {
            if (flags[i] == '1')
                recordFixed[i] = true;
            else if (flags[i] != '0') {
                error(line, fr("Indicateurs de fixité illisibles « ") + flags +
                                fr(" » : un 1 (fixe) ou un 0 (libre) par coordonnée."));
                ok = false;
                break;
            }
        }
        if (!ok)
            return;
        const double east = northFirst ? second : first;
        const double north = northFirst ? first : second;
        p.approximate = Eigen::Vector3d(east * metres, north * metres, up * metres);
        // The flags follow the order of the record's coordinates.
        p.fixed = northFirst ? std::array<bool, 3>{recordFixed[1], recordFixed[0], recordFixed[2]}
                             : recordFixed;
        const auto known = m_network.pointIndex.find(p.name);
        if (known != m_network.pointIndex.end()) {
            const Point &other = m_network.points[static_cast<std::size_t>(known->second)];
            error(line, fr("Le point « ") + p.name + fr(" » est déjà défini (") +
                            (static_cast<std::size_t>(other.fileNumber - 1) < m_source.files.size()
                                 ? m_source.files[static_cast<std::size_t>(other.fileNumber - 1)]
                                 : std::string()) +
                            fr(", ligne ") + std::to_string(other.lineNumber) + ").");
            return;
        }
        m_network.pointIndex[p.name] = static_cast<int>(m_network.points.size());
        m_network.points.push_back(p);
    }

    void height(const SourceLine &line, bool instrument)
    {
        const std::string pointName = name(line, 11);
        if (pointName.empty()) {
            error(line, fr("Hauteur sans nom de point (colonnes 11 à 22)."));
            return;
        }
        double metres = 1.0;
        double value = 0.0;
        if (!unit(line, 35, metres) || !number(line, 24, 10, "hauteur", value))
            return;
        (instrument ? m_instrumentHeights : m_targetHeights)[pointName] = value * metres;
    }

    void observation(const SourceLine &line, ObservationKind kind)
    {
        Observation o;
        o.kind = kind;
        o.fileNumber = line.fileNumber;
        o.lineNumber = line.lineNumber;
        o.group = m_group;
        o.sigmaId = trim(columns(line.text, 7, 3));
        PendingNames names{name(line, 11), name(line, 24)};
        if (names.station.empty() || names.target.empty()) {
            error(line, fr("Nom de point manquant (station en colonnes 11 à 22, point visé en "
                           "colonnes 24 à 35)."));
            return;
        }
        if (names.station == names.target) {
            error(line,
                  fr("Le point visé est la station elle-même (« ") + names.station + fr(" »)."));
            return;
        }
        bool ok = true;
        double stdDev = 0.0;
        const bool angular = kind == ObservationKind::Direction ||
                             kind == ObservationKind::Azimuth || kind == ObservationKind::Zenith;
        if (angular) {
            std::string reason;
            const auto angle = parseAngle(columns(line.text, 50, 15), m_angleUnit, reason);
            if (!angle) {
                error(line, fr("Observation illisible : ") + reason + ".");
                ok = false;
            } else {
                o.value = *angle;
            }
            ok = optionalNumber(line, 66, 10, "écart-type", stdDev, &o.hasOwnSigma) && ok;
            o.smallAngleUnit = smallAngleUnitInRadians(m_angleUnit);
            o.ownSigma = stdDev * o.smallAngleUnit;
        } else {
            ok = unit(line, kind == ObservationKind::HeightDifference ? 93 : 77, o.linearUnit);
            ok = number(line, 50, 15, kind == ObservationKind::Distance ? "distance" : "dénivelée",
                        o.value) &&
                 ok;
            ok = optionalNumber(line, 66, 10, "écart-type", stdDev, &o.hasOwnSigma) && ok;
            o.value *= o.linearUnit;
            o.ownSigma = stdDev * o.linearUnit;
            if (kind == ObservationKind::HeightDifference) {
                ok = optionalNumber(line, 77, 14, "longueur", o.length) && ok;
                o.length *= o.linearUnit;
            }
        }
        if (kind == ObservationKind::Zenith) {
            ok = optionalNumber(line, 77, 10, "coefficient de réfraction", o.refraction) && ok;
            o.refractionSigma = m_refractionSigma;
        }
        if (!ok)
            return;
        if (stdDev < 0.0) {
            error(line, fr("Ecart-type négatif."));
            return;
        }
        if (o.hasOwnSigma && stdDev == 0.0)
            o.hasOwnSigma = false; // a zero standard deviation means none given
        if (kind == ObservationKind::Distance && o.value <= 0.0) {
            error(line, fr("Une distance doit être positive."));
            return;
        }
        if (kind == ObservationKind::HeightDifference && o.length < 0.0) {
            error(line, fr("La longueur du cheminement ne peut être négative."));
            return;
        }
        const auto hi = m_instrumentHeights.find(names.station);
        o.instrumentHeight = hi == m_instrumentHeights.end() ? 0.0 : hi->second;
        const auto ht = m_targetHeights.find(names.target);
        o.targetHeight = ht == m_targetHeights.end() ? 0.0 : ht->second;
        if (kind == ObservationKind::HeightDifference) {
            o.instrumentHeight = 0.0; // levelling joins the marks themselves
            o.targetHeight = 0.0;
        }
        if (kind == ObservationKind::Direction)
            o.set = directionSet(line, names.station);
        m_network.observations.push_back(o);
        m_names.push_back(names);
    }

    // The set of a direction: the current DSET, or a new one when there is none yet or when the
    // current one belongs to another station.
    int directionSet(const SourceLine &line, const std::string &station)
    {
        if (m_currentSet >= 0) {
            auto &set = m_network.sets[static_cast<std::size_t>(m_currentSet)];
            if (m_setStations.size() <= static_cast<std::size_t>(m_currentSet))
                m_setStations.resize(static_cast<std::size_t>(m_currentSet) + 1);
            std::string &setStation = m_setStations[static_cast<std::size_t>(m_currentSet)];
            if (setStation.empty() || setStation == station) {
                setStation = station;
                return m_currentSet;
            }
            m_diagnostics.warning(fileOf(line), line.lineNumber,
                                  fr("Direction depuis « ") + station + fr(" » dans le jeu de « ") +
                                      setStation + fr(" » : un nouveau jeu est ouvert."));
            DirectionSet next;
            next.sigmaId = set.sigmaId;
            next.fileNumber = line.fileNumber;
            next.lineNumber = line.lineNumber;
            m_network.sets.push_back(next);
        } else {
            DirectionSet set;
            set.fileNumber = line.fileNumber;
            set.lineNumber = line.lineNumber;
            m_network.sets.push_back(set);
        }
        m_currentSet = static_cast<int>(m_network.sets.size()) - 1;
        m_setStations.resize(m_network.sets.size());
        m_setStations.back() = station;
        return m_currentSet;
    }

    void resolvePoints()
    {
        std::vector<Observation> kept;
        kept.reserve(m_network.observations.size());
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            Observation o = m_network.observations[i];
            const auto station = m_network.pointIndex.find(m_names[i].station);
            const auto target = m_network.pointIndex.find(m_names[i].target);
            bool ok = true;
            for (const auto &[found, pointName] :
                 {std::pair{station, m_names[i].station}, std::pair{target, m_names[i].target}}) {
                if (found == m_network.pointIndex.end()) {
                    error(o.fileNumber, o.lineNumber,
                          fr("Point inconnu « ") + pointName +
                              fr(" » : aucun enregistrement de coordonnées ne le définit."));
                    ok = false;
                }
            }
            if (!ok)
                continue;
            o.station = station->second;
            o.target = target->second;
            kept.push_back(o);
        }
        m_network.observations = std::move(kept);
        for (std::size_t s = 0; s < m_network.sets.size(); ++s) {
            if (s < m_setStations.size()) {
                const auto found = m_network.pointIndex.find(m_setStations[s]);
                if (found != m_network.pointIndex.end())
                    m_network.sets[s].station = found->second;
            }
        }
    }

    void resolvePrecisions()
    {
        for (Observation &o : m_network.observations) {
            const PrecisionFamily *family = nullptr;
            std::string id = o.sigmaId;
            if (id.empty() && o.set >= 0)
                id = m_network.sets[static_cast<std::size_t>(o.set)].sigmaId;
            if (!id.empty()) {
                const auto found = m_network.families.find(id);
                if (found == m_network.families.end()) {
                    error(o.fileNumber, o.lineNumber,
                          fr("Sigma-ID inconnu « ") + id +
                              fr(" » : aucune famille de précision SIGM ne le définit."));
                    continue;
                }
                family = &found->second;
            }
            if (!family && !o.hasOwnSigma) {
                error(o.fileNumber, o.lineNumber,
                      fr("Aucune précision pour cette observation : ni écart-type, ni Sigma-ID."));
                continue;
            }
            const Point &a = m_network.points[static_cast<std::size_t>(o.station)];
            const Point &b = m_network.points[static_cast<std::size_t>(o.target)];
            const double horizontal = (b.approximate - a.approximate).head<2>().norm();
            double familySigma = 0.0;
            if (family)
                familySigma = familyPrecision(o, *family, horizontal);
            double variance = 0.0;
            if (family && o.hasOwnSigma && m_options.addOwnAndFamily)
                variance = familySigma * familySigma + o.ownSigma * o.ownSigma;
            else if (o.hasOwnSigma)
                variance = o.ownSigma * o.ownSigma;
            else
                variance = familySigma * familySigma;
            if (o.kind == ObservationKind::Zenith) {
                const double bending = o.refractionSigma * horizontal / (2.0 * kEarthRadius);
                variance += bending * bending;
            }
            o.sigma = std::sqrt(variance);
            if (!(o.sigma > 0.0) || !std::isfinite(o.sigma))
                error(o.fileNumber, o.lineNumber,
                      fr("Précision nulle ou invalide pour cette observation."));
        }
    }

    double familyPrecision(const Observation &o, const PrecisionFamily &f, double horizontal) const
    {
        const double centring = std::hypot(f.centringStation, f.centringTarget);
        switch (o.kind) {
        case ObservationKind::Distance: {
            const double a = f.constant * f.unit;
            const double b = f.ppm * 1e-6 * o.value;
            const double base = m_options.distanceQuadratic ? std::hypot(a, b) : a + b;
            return std::hypot(base, centring);
        }
        case ObservationKind::Direction:
        case ObservationKind::Azimuth: {
            const double a = f.constant * o.smallAngleUnit;
            const double across = horizontal > 0.0 ? centring / horizontal : 0.0;
            return std::hypot(a, across);
        }
        case ObservationKind::Zenith:
            return f.constant * o.smallAngleUnit;
        case ObservationKind::HeightDifference: {
            const double a = f.constant * f.unit;
            const double length = o.length > 0.0 ? o.length : horizontal;
            const double b = m_options.heightDifferencePerRootKm
                                 ? f.ppm * f.unit * std::sqrt(length / 1000.0)
                                 : f.ppm * 1e-6 * length;
            return std::hypot(a, b);
        }
        }
        return 0.0;
    }

    const ObservationSource &m_source;
    const Options &m_options;
    Diagnostics &m_diagnostics;
    Network m_network;
    std::vector<PendingNames> m_names;
    std::vector<std::string> m_setStations;
    std::map<std::string, double> m_instrumentHeights;
    std::map<std::string, double> m_targetHeights;
    AngleUnit m_angleUnit;
    int m_currentSet = -1;
    double m_refractionSigma = 0.0;
    std::string m_group;
};

} // namespace

Network buildNetwork(const ObservationSource &source, const Options &options,
                     Diagnostics &diagnostics)
{
    return Builder(source, options, diagnostics).build();
}

} // namespace engine
