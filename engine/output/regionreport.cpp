#include "engine/output/regionreport.h"

#include "engine/base/text.h"
#include "engine/output/reportwriter.h"

#include <cmath>

namespace engine {

namespace {

// The letters of the components and of their pairs, for NEU, XYZ and PLU.
constexpr const char *kNeuComponents[3] = {"N", "E", "U"};
constexpr const char *kNeuPairs[3] = {"NE", "NU", "EU"};
constexpr const char *kXyzComponents[3] = {"X", "Y", "Z"};
constexpr const char *kXyzPairs[3] = {"XY", "XZ", "YZ"};
constexpr const char *kPluComponents[3] = {"P", "L", "U"};
constexpr const char *kPluPairs[3] = {"PL", "PU", "LU"};
constexpr int kPairComponents[3][2] = {{0, 1}, {0, 2}, {1, 2}};
constexpr double kRadToDeg = 57.295779513082320876798;

class Tables
{
public:
    Tables(const Network &network, const Regions &regions, const Options &options)
        : m_network(network)
        , m_regions(regions)
        , m_options(options)
        , m_grades(options.angleUnit == AngleUnit::Grades)
        , m_coordinates(options.model == ModelType::Local3D ? RegionCoordinates::Neu
                                                            : regions.options.coordinates)
        , m_componentNames(m_coordinates == RegionCoordinates::Xyz   ? kXyzComponents
                           : m_coordinates == RegionCoordinates::Plu ? kPluComponents
                                                                     : kNeuComponents)
        , m_pairNames(m_coordinates == RegionCoordinates::Xyz   ? kXyzPairs
                      : m_coordinates == RegionCoordinates::Plu ? kPluPairs
                                                                : kNeuPairs)
    {}

    std::vector<std::string> lines() && { return std::move(m_lines); }

    void heading(const char *utf8)
    {
        line();
        line(kReportRule);
        line(std::string(" ") + fr(utf8));
        line(kReportRule);
    }

    void confidence(bool scaled)
    {
        const RegionOptions &o = m_regions.options;
        heading("REGIONS DE CONFIANCE");
        line(componentsText() + fr(", en m ; précisions multipliées par s0 : ") +
             (scaled ? "OUI" : "NON") + ".");
        line(fr("   Demi-axes : k fois les racines des valeurs propres de la covariance, k² le "
                "quantile du chi-deux à d degrés de liberté."));
        if (o.coordinates != m_coordinates)
            line(fr("   REG_COORD ") + optionToken(o.coordinates) +
                 fr(" : le modèle 3D_LOCALE donne les régions en NEU."));
        for (int d = 0; d < 3; ++d) {
            const RegionRow &row = o.confidence[static_cast<std::size_t>(d)];
            if (!row.requested())
                continue;
            line();
            line(fr("   Régions ") + std::to_string(d + 1) + fr("D à ") +
                 fixed(100.0 * row.confidence, 0, 3) + " % (k = " +
                 fixed(m_regions.confidenceFactors[static_cast<std::size_t>(d)], 0, 4) + ")");
            if (row.absolute)
                confidenceTable(d, m_regions.points, false);
            if (row.relative)
                confidenceTable(d, m_regions.pairs, true);
        }
    }

    void reliability()
    {
        const RegionOptions &o = m_regions.options;
        heading("FIABILITE");
        line(fr("   Biais minimal détectable d'une observation : delta0 . s / racine(r), "
                "delta0 = z(1 - alpha/2) + z(1 - beta)"));
        line(fr("   (s son écart-type, r son nombre de redondance). Régions : plus grand "
                "déplacement (m) du point, ou du"));
        line(fr("   second point par rapport au premier, par le biais minimal détectable de "
                "chacune des observations"));
        line(fr("   qui touchent le point ou joignent les deux points ; en fin de ligne, "
                "l'observation qui donne le plus grand demi-côté."));
        for (int d = 0; d < 3; ++d) {
            const RegionRow &row = o.reliability[static_cast<std::size_t>(d)];
            if (!row.requested())
                continue;
            line();
            line(fr("   Régions ") + std::to_string(d + 1) + fr("D : seuil ") +
                 fixed(100.0 * row.confidence, 0, 3) + fr(" %, risque de seconde espèce ") +
                 fixed(100.0 * row.beta, 0, 3) + " %, delta0 = " +
                 fixed(m_regions.noncentralities[static_cast<std::size_t>(d)], 0, 4));
            if (row.absolute)
                reliabilityTable(d, m_regions.reliability.points, false);
            if (row.relative)
                reliabilityTable(d, m_regions.reliability.pairs, true);
        }
    }

private:
    std::string componentsText() const
    {
        if (m_options.model == ModelType::Local3D)
            return fr("   Coordonnées locales nord (N), est (E), up (U)");
        switch (m_coordinates) {
        case RegionCoordinates::Xyz:
            return fr("   Coordonnées géocentriques X, Y, Z");
        case RegionCoordinates::Plu:
            return fr("   Nord (P), est (L), up (U) de l'horizon du point (du premier point entre "
                      "deux points)");
        case RegionCoordinates::Neu:
            break;
        }
        if (m_network.drawingProjection >= 0)
            return fr("   Nord (N), est (E), up (U) de la projection ") +
                   m_network.projections[static_cast<std::size_t>(m_network.drawingProjection)]
                       .definition()
                       .name +
                   fr(" (plan du dessin), au point (au premier point entre deux points)");
        return fr("   Nord (N), est (E), up (U) du plan tangent (plan du dessin)");
    }

    void line(const std::string &latin1 = std::string()) { m_lines.push_back(latin1); }

    // Table columns keep a blank before their numbers however wide these are.
    std::string length(double metres, int width) const
    {
        return columnRight(fixed(metres, 0, m_options.distanceDecimals), width);
    }

    std::string bearing(double degrees) const
    {
        return columnRight(fixed(m_grades ? degrees * 400.0 / 360.0 : degrees, 0, 4), 10);
    }

    std::string bearingUnit() const { return m_grades ? std::string("gon") : fr("°"); }

    std::string name(int point) const
    {
        return columnLeft(m_network.points[static_cast<std::size_t>(point)].name, 13);
    }

    std::string who(int point1, int point2, bool relative) const
    {
        return "   " + name(point1) + (relative ? name(point2) : std::string());
    }

    std::string pointsTitle(bool relative) const
    {
        return relative ? fr("   Point 1      Point 2      ") : fr("   Point        ");
    }

    std::string observation(int index) const
    {
        if (index < 0)
            return std::string();
        const Observation &o = m_network.observations[static_cast<std::size_t>(index)];
        return "   " + std::string(observationCode(o.kind)) + " " +
               m_network.points[static_cast<std::size_t>(o.station)].name + "->" +
               m_network.points[static_cast<std::size_t>(o.target)].name + fr(" (fichier ") +
               std::to_string(o.fileNumber) + fr(", ligne ") + std::to_string(o.lineNumber) + ")";
    }

    void confidenceTable(int d, const std::vector<PointCovariance> &list, bool relative)
    {
        const RegionOptions &o = m_regions.options;
        const double k = m_regions.confidenceFactors[static_cast<std::size_t>(d)];
        line();
        if (d == 0) {
            std::string title = pointsTitle(relative);
            for (int c = 0; c < 3; ++c)
                if (o.components[static_cast<std::size_t>(c)])
                    title += padLeft(m_componentNames[c], 12);
            line(title + fr("   (demi-largeurs des intervalles)"));
            if (title.size() == pointsTitle(relative).size()) {
                line(fr("   Aucune composante choisie (REG1D_TYPE)."));
                return;
            }
            for (const PointCovariance &p : list) {
                std::string text = who(p.point1, p.point2, relative);
                for (int c = 0; c < 3; ++c)
                    if (o.components[static_cast<std::size_t>(c)])
                        text += length(k * std::sqrt(std::max(p.covariance(c, c), 0.0)), 12);
                line(text);
            }
        } else if (d == 1) {
            line(pointsTitle(relative) + fr("Plan  Demi-grand axe  Demi-petit axe    Gisement (") +
                 bearingUnit() + ")");
            bool any = false;
            for (const PointCovariance &p : list) {
                for (int pair = 0; pair < 3; ++pair) {
                    if (!o.pairs[static_cast<std::size_t>(pair)])
                        continue;
                    any = true;
                    const Ellipse e = ellipse(pairBlock(p.covariance, pair), k);
                    line(who(p.point1, p.point2, relative) + columnLeft(m_pairNames[pair], 4) +
                         length(e.semiAxis1, 16) + length(e.semiAxis2, 16) + bearing(e.bearing));
                }
            }
            if (!any && !list.empty())
                line(fr("   Aucun plan choisi (REG2D_TYPE)."));
        } else {
            line(pointsTitle(relative) + fr("Demi-axes et orientation (gisement, site en ") +
                 bearingUnit() + fr(") de chaque axe"));
            for (const PointCovariance &p : list) {
                const Ellipsoid e = ellipsoid(p.covariance, k);
                std::string text = who(p.point1, p.point2, relative);
                for (int axis = 0; axis < 3; ++axis) {
                    const Eigen::Vector3d v = e.directions.col(axis);
                    double azimuth = std::atan2(v(1), v(0)) * kRadToDeg;
                    if (azimuth < 0.0)
                        azimuth += 360.0;
                    const double elevation = std::atan2(v(2), std::hypot(v(0), v(1))) * kRadToDeg;
                    text += length(e.semiAxes(axis), 11) + bearing(azimuth) + bearing(elevation);
                }
                line(text);
            }
        }
    }

    void reliabilityTable(int d, const std::vector<ReliabilityBox> &list, bool relative)
    {
        const RegionOptions &o = m_regions.options;
        const double delta = m_regions.noncentralities[static_cast<std::size_t>(d)];
        line();
        std::string title = pointsTitle(relative);
        if (d == 0) {
            for (int c = 0; c < 3; ++c)
                if (o.components[static_cast<std::size_t>(c)])
                    title += padLeft(m_componentNames[c], 12);
            if (title.size() == pointsTitle(relative).size()) {
                line(title);
                line(fr("   Aucune composante choisie (REG1D_TYPE)."));
                return;
            }
        } else if (d == 1) {
            title += fr("Plan    Demi-côté 1     Demi-côté 2");
        } else {
            title += fr("           N           E           U");
        }
        line(title + fr("   Observation la plus influente"));
        for (const ReliabilityBox &box : list) {
            if (box.observations == 0)
                continue;
            const Eigen::Vector3d extent = delta * box.extent;
            const std::string start = who(box.point1, box.point2, relative);
            // The observation that gives the largest half-side shown on the line.
            auto largest = [&](const std::vector<int> &components) {
                int best = components.front();
                for (int c : components)
                    best = extent(c) > extent(best) ? c : best;
                return observation(box.observation[static_cast<std::size_t>(best)]);
            };
            if (d == 0) {
                std::string text = start;
                std::vector<int> shown;
                for (int c = 0; c < 3; ++c) {
                    if (o.components[static_cast<std::size_t>(c)]) {
                        text += length(extent(c), 12);
                        shown.push_back(c);
                    }
                }
                line(text + largest(shown));
            } else if (d == 1) {
                for (int pair = 0; pair < 3; ++pair) {
                    if (!o.pairs[static_cast<std::size_t>(pair)])
                        continue;
                    const int first = kPairComponents[pair][0];
                    const int second = kPairComponents[pair][1];
                    line(start + columnLeft(m_pairNames[pair], 4) + length(extent(first), 15) +
                         length(extent(second), 16) + largest({first, second}));
                }
            } else {
                line(start + length(extent(0), 12) + length(extent(1), 12) + length(extent(2), 12) +
                     largest({0, 1, 2}));
            }
        }
    }

    const Network &m_network;
    const Regions &m_regions;
    const Options &m_options;
    bool m_grades;
    RegionCoordinates m_coordinates; // those of the tables
    const char *const *m_componentNames;
    const char *const *m_pairNames;
    std::vector<std::string> m_lines;
};

} // namespace

std::vector<std::string> regionReport(const Network &network, const Regions &regions,
                                      const Options &options, bool scaled)
{
    Tables tables(network, regions, options);
    bool confidence = false;
    bool reliability = false;
    for (std::size_t d = 0; d < 3; ++d) {
        confidence = confidence || regions.options.confidence[d].requested();
        reliability = reliability || regions.options.reliability[d].requested();
    }
    if (confidence)
        tables.confidence(scaled);
    if (reliability)
        tables.reliability();
    return std::move(tables).lines();
}

double minimalDetectableBias(const Regions &regions, std::size_t index)
{
    const std::vector<double> &factors = regions.reliability.biasFactor;
    if (index >= factors.size() || !(factors[index] > 0.0) || !(regions.noncentralities[0] > 0.0))
        return -1.0;
    return regions.noncentralities[0] * factors[index];
}

} // namespace engine
