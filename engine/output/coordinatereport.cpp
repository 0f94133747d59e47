#include "engine/output/coordinatereport.h"

#include "engine/base/text.h"
#include "engine/estimation/componentframes.h"
#include "engine/model/angles.h"
#include "engine/output/reportwriter.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {

constexpr double kDegree = kPi / 180.0;

class Tables
{
public:
    Tables(const Network &network, const AdjustmentOutcome &outcome, const Statistics &statistics,
           const Options &options)
        : m_network(network)
        , m_outcome(outcome)
        , m_statistics(statistics)
        , m_options(options)
    {}

    std::vector<std::string> lines() && { return std::move(m_lines); }

    void local()
    {
        const Network &n = m_network;
        heading("COORDONNEES AJUSTEES (m)");
        const bool geodetic = m_options.model != ModelType::Local3D;
        if (geodetic)
            line(fr("   Plan tangent à l'ellipsoïde en ") +
                 geographicDms(n.tangentOrigin.latitude, true, 2) + " " +
                 geographicDms(n.tangentOrigin.longitude, false, 2) +
                 (n.drawingProjection < 0 ? fr(" (plan du dessin)") : std::string()) +
                 fr(" ; écarts-types selon ses axes."));
        line(fr("   Point                    Est              Nord                Up"
                "       sE       sN       sU"));
        line(kReportThinRule);
        const ComponentFrames plane(n, m_options, m_outcome.state, RegionCoordinates::Neu, true);
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Eigen::Vector3d &state = m_outcome.state.coordinates[p];
            const Eigen::Vector3d c = geodetic ? n.planeOf(state) : state;
            std::string sigmas;
            if (geodetic) {
                const Eigen::Vector3d neu = sigmasIn(plane, p);
                sigmas = fixedOr(p, length(neu(1), 9) + length(neu(0), 9) + length(neu(2), 9));
            } else {
                for (std::size_t k = 0; k < 3; ++k)
                    sigmas += n.points[p].fixed[k] ? columnRight(fr("fixe"), 9)
                                                   : length(m_statistics.pointSigmas[p](k), 9);
            }
            line("   " + columnLeft(n.points[p].name, 14) + length(c.x(), 18) + length(c.y(), 18) +
                 length(c.z(), 18) + sigmas);
        }
        line();
        line(geodetic ? fr("   Corrections apportées aux coordonnées approchées (m, est, nord, up "
                           "de l'horizon du point) :")
                      : fr("   Corrections apportées aux coordonnées approchées (m) :"));
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Point &point = n.points[p];
            if (point.fixed[0] && point.fixed[1] && point.fixed[2])
                continue;
            Eigen::Vector3d d = m_outcome.state.coordinates[p];
            if (geodetic) {
                // The horizon of the surface the state lies on: the sphere's in the spherical
                // model.
                const Geographic g = toGeographic(n.surface, d);
                d = localHorizon(g.latitude, g.longitude).transpose() *
                    (d - m_outcome.approximate.coordinates[p]);
            } else {
                d -= point.approximate;
            }
            line("   " + columnLeft(point.name, 14) + length(d.x(), 18) + length(d.y(), 18) +
                 length(d.z(), 18));
        }
    }

    void geocentric()
    {
        const Network &n = m_network;
        heading("COORDONNEES AJUSTEES XYZ (m)");
        line(fr("   Point                      X                 Y                 Z"
                "       sX       sY       sZ"));
        line(kReportThinRule);
        const ComponentFrames xyz(n, m_options, m_outcome.state, RegionCoordinates::Xyz);
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Eigen::Vector3d c = n.ellipsoidGeocentricOf(m_outcome.state.coordinates[p]);
            const Eigen::Vector3d s = sigmasIn(xyz, p);
            line("   " + columnLeft(n.points[p].name, 14) + length(c.x(), 18) + length(c.y(), 18) +
                 length(c.z(), 18) +
                 fixedOr(p, length(s(0), 9) + length(s(1), 9) + length(s(2), 9)));
        }
    }

    void geographic(bool altitude)
    {
        const Network &n = m_network;
        if (altitude && !n.hasGeoid()) {
            line();
            line(fr("   Solution en PLO demandée : sans géoïde (GFIL ou GEOI), les altitudes ne "
                    "sont pas connues."));
            return;
        }
        heading(altitude ? "COORDONNEES AJUSTEES PLO (latitude, longitude, altitude)"
                         : "COORDONNEES AJUSTEES PLH (latitude, longitude, hauteur ellipsoïdale)");
        line(altitude ? fr("   Point               Latitude          Longitude           H (m)"
                           "       sN       sE       sU")
                      : fr("   Point               Latitude          Longitude           h (m)"
                           "       sN       sE       sU"));
        line(kReportThinRule);
        // The seconds to a tenth of the report's last decimal of a metre (1e-5" is 0.3 mm).
        const int secondDecimals = m_options.distanceDecimals + 1;
        std::vector<Geographic> positions;
        std::vector<std::string> heights;
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Geographic g = n.geographicOf(m_outcome.state.coordinates[p]);
            positions.push_back(g);
            heights.push_back(heightText(p, g, altitude, 16));
            std::string sigmas;
            for (std::size_t k : {1, 0, 2})
                sigmas += n.points[p].fixed[k] ? columnRight(fr("fixe"), 9)
                                               : length(m_statistics.pointSigmas[p](k), 9);
            line("   " + columnLeft(n.points[p].name, 14) +
                 columnRight(geographicDms(g.latitude, true, secondDecimals), 18) +
                 columnRight(geographicDms(g.longitude, false, secondDecimals), 19) + heights[p] +
                 sigmas);
        }
        line();
        line(fr("   En degrés décimaux (nord et est positifs) :"));
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Geographic &g = positions[p];
            const int places = m_options.distanceDecimals + 5;
            line("   " + columnLeft(n.points[p].name, 14) +
                 columnRight(fixed(g.latitude / kDegree, 0, places), 18) +
                 columnRight(fixed(g.longitude / kDegree, 0, places), 19) + heights[p]);
        }
    }

    void projected(bool altitude)
    {
        const Network &n = m_network;
        const char *form = altitude ? "NEO" : "NEH";
        if (n.projections.empty()) {
            line();
            line(fr("   Solution en ") + form +
                 fr(" demandée : aucune projection (TMER, XTMR, LAMB, XLAM, OMER, STGR) n'est "
                    "définie."));
            return;
        }
        if (altitude && !n.hasGeoid()) {
            line();
            line(fr("   Solution en NEO demandée : sans géoïde (GFIL ou GEOI), les altitudes ne "
                    "sont pas connues."));
            return;
        }
        heading(altitude ? "COORDONNEES AJUSTEES NEO (projection, altitude)"
                         : "COORDONNEES AJUSTEES NEH (projection, hauteur ellipsoïdale)");
        line(fr("   Chaque point dans la projection où il est donné, les autres dans celle du "
                "dessin ; écarts-types selon les axes de la projection."));
        line(altitude ? fr("   Point                   Nord               Est           H (m)"
                           "       sN       sE       sU")
                      : fr("   Point                   Nord               Est           h (m)"
                           "       sN       sE       sU"));
        line(kReportThinRule);
        std::vector<std::string> distortions;
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Point &point = n.points[p];
            const Projection &projection = projectionOf(point);
            const Geographic g = n.geographicOf(m_outcome.state.coordinates[p]);
            const std::optional<GridPosition> grid = projection.forward(g.latitude, g.longitude);
            if (!grid) {
                line("   " + columnLeft(point.name, 14) + fr(" hors du domaine de la projection ") +
                     projection.definition().name);
                continue;
            }
            // North, east of the horizon turned into north, east of the grid: grid north lies at
            // the convergence clockwise from true north.
            Eigen::Matrix3d swap;
            swap << 0, 1, 0, 1, 0, 0, 0, 0, 1;
            const double c = std::cos(grid->convergence);
            const double s = std::sin(grid->convergence);
            Eigen::Matrix3d turn;
            turn << c, s, 0, -s, c, 0, 0, 0, 1;
            const Eigen::Matrix3d r = turn * swap;
            const Eigen::Vector3d sigmas = (r * m_statistics.pointCovariances[p] * r.transpose())
                                               .diagonal()
                                               .cwiseMax(0.0)
                                               .cwiseSqrt();
            line("   " + columnLeft(point.name, 14) + length(grid->north, 18) +
                 length(grid->east, 18) + heightText(p, g, altitude, 16) +
                 fixedOr(p, length(sigmas(0), 9) + length(sigmas(1), 9) + length(sigmas(2), 9)));
            const char sign = grid->convergence < 0.0 ? '-' : '+';
            distortions.push_back("   " + columnLeft(point.name, 14) +
                                  columnLeft(projection.definition().name, 9) +
                                  columnRight(fixed(grid->scale, 0, 9), 14) + "   " + sign + " " +
                                  formatAngle(std::abs(grid->convergence), m_options.angleUnit,
                                              m_options.angleDecimals + 2));
        }
        line();
        line(fr("   Facteur d'échelle et convergence des méridiens (du nord géographique au nord "
                "de la projection, sens horaire) :"));
        line(fr("   Point         Projection   Facteur k     Convergence (") +
             angleUnitName(m_options.angleUnit) + ")");
        for (const std::string &text : distortions)
            line(text);
    }

    void missingForms()
    {
        const SolutionForms &f = m_options.solutionForms;
        if (m_options.model == ModelType::Local3D && f.anyGlobal()) {
            line();
            line(fr("   Solution en XYZ, PLH/PLO ou NEH/NEO demandée : le modèle 3D_LOCALE ne "
                    "donne que les coordonnées locales."));
        }
    }

private:
    void line(const std::string &latin1 = std::string()) { m_lines.push_back(latin1); }

    // The projection of a point: the one it was given in, else the drawing's.
    const Projection &projectionOf(const Point &point) const
    {
        if (const Projection *own = m_network.projectionNamed(point.projection))
            return *own;
        const int drawing = std::max(m_network.drawingProjection, 0);
        return m_network.projections[static_cast<std::size_t>(drawing)];
    }

    // The ellipsoidal height of `g`, or the altitude of point `p` there, or "sans géoïde".
    std::string heightText(std::size_t p, const Geographic &g, bool altitude, int width) const
    {
        if (!altitude)
            return length(g.height, width);
        const std::optional<GeoidValue> geoid = m_network.geoidAt(m_network.points[p], g);
        if (!geoid)
            return columnRight(fr("sans géoïde"), width);
        return length(g.height - geoid->undulation, width);
    }

    void heading(const char *utf8)
    {
        line();
        line(kReportRule);
        line(std::string(" ") + fr(utf8));
        line(kReportRule);
    }

    std::string length(double metres, int width) const
    {
        return columnRight(fixed(metres, 0, m_options.distanceDecimals), width);
    }

    // The standard deviations of point `p` along the components of `frames`.
    Eigen::Vector3d sigmasIn(const ComponentFrames &frames, std::size_t p) const
    {
        // The covariance of east, north, up, turned into north, east, up.
        Eigen::Matrix3d swap;
        swap << 0, 1, 0, 1, 0, 0, 0, 0, 1;
        const Eigen::Matrix3d r = frames.rotation(static_cast<int>(p), static_cast<int>(p)) * swap;
        const Eigen::Matrix3d c = r * m_statistics.pointCovariances[p] * r.transpose();
        return c.diagonal().cwiseMax(0.0).cwiseSqrt();
    }

    // `sigmas`, or "fixe" three times for a point fixed in all its coordinates.
    std::string fixedOr(std::size_t p, const std::string &sigmas) const
    {
        const auto &fixedFlags = m_network.points[p].fixed;
        if (!(fixedFlags[0] && fixedFlags[1] && fixedFlags[2]))
            return sigmas;
        std::string text;
        for (int k = 0; k < 3; ++k)
            text += columnRight(fr("fixe"), 9);
        return text;
    }

    const Network &m_network;
    const AdjustmentOutcome &m_outcome;
    const Statistics &m_statistics;
    const Options &m_options;
    std::vector<std::string> m_lines;
};

} // namespace

std::string geographicDms(double radians, bool latitude, int decimals)
{
    const char letter = latitude ? (radians < 0.0 ? 'S' : 'N') : (radians < 0.0 ? 'W' : 'E');
    return std::string(1, letter) + " " + formatAngle(std::fabs(radians), AngleUnit::Dms, decimals);
}

std::vector<std::string> geoidReport(const Network &network, const Options &options)
{
    std::vector<std::string> lines;
    if (options.model == ModelType::Local3D || !options.logGeoid)
        return lines;
    lines.emplace_back();
    lines.emplace_back(kReportRule);
    lines.push_back(fr(" GEOIDE : ONDULATION ET DEVIATIONS DE LA VERTICALE AUX POINTS"));
    lines.emplace_back(kReportRule);
    if (!network.hasGeoid()) {
        lines.push_back(
            fr("   Aucun géoïde (ni grille GFIL, ni enregistrement GEOI) : les hauteurs "
               "sont ellipsoïdales."));
        return lines;
    }
    if (network.geoidGrid)
        lines.push_back(fr("   Grille d'ondulations : ") + network.geoidGridPath +
                        fr(" (GFIL, fichier ") + std::to_string(network.geoidFileNumber) +
                        fr(" ligne ") + std::to_string(network.geoidLineNumber) + ")");
    lines.push_back(
        fr("   Point              N (m)   Déviation N/S (\")   Déviation E/W (\")   Origine"));
    lines.emplace_back(kReportThinRule);
    constexpr double kArcSecond = kPi / 180.0 / 3600.0;
    for (const Point &p : network.points) {
        if (!p.geoid) {
            lines.push_back("   " + columnLeft(p.name, 14) + columnRight(fr("inconnue"), 11));
            continue;
        }
        const GeoidValue &g = *p.geoid;
        const std::string origin = g.lineNumber > 0
                                       ? fr("GEOI, fichier ") + std::to_string(g.fileNumber) +
                                             fr(" ligne ") + std::to_string(g.lineNumber)
                                       : fr("grille");
        lines.push_back("   " + columnLeft(p.name, 14) +
                        columnRight(fixed(g.undulation, 0, options.distanceDecimals), 11) +
                        columnRight(fixed(g.deflectionNorth / kArcSecond, 0, 3), 22) +
                        columnRight(fixed(g.deflectionEast / kArcSecond, 0, 3), 22) + "   " +
                        origin);
    }
    lines.push_back(fr("   Déviations positives vers le nord et vers l'est ; h = H + N."));
    return lines;
}

std::vector<std::string> coordinateReport(const Network &network, const AdjustmentOutcome &outcome,
                                          const Statistics &statistics, const Options &options)
{
    Tables tables(network, outcome, statistics, options);
    const SolutionForms &f = options.solutionForms;
    const bool geodetic = options.model != ModelType::Local3D;
    if (geodetic && f.geocentric)
        tables.geocentric();
    if (geodetic && f.geographic)
        tables.geographic(false);
    if (geodetic && f.geographicAltitude)
        tables.geographic(true);
    if (geodetic && f.projected)
        tables.projected(false);
    if (geodetic && f.projectedAltitude)
        tables.projected(true);
    if (f.local)
        tables.local();
    tables.missingForms();
    return std::move(tables).lines();
}

} // namespace engine
