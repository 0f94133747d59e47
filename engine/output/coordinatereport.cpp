#include "engine/output/coordinatereport.h"

#include "engine/base/text.h"
#include "engine/estimation/componentframes.h"
#include "engine/model/angles.h"

#include <cmath>

namespace engine {

namespace {

constexpr const char kRule[] =
    "================================================================================";
constexpr const char kThinRule[] =
    "--------------------------------------------------------------------------------";
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
                 fr(" (plan du dessin) ; écarts-types selon ses axes."));
        line(fr("   Point                    Est              Nord                Up"
                "       sE       sN       sU"));
        line(kThinRule);
        const ComponentFrames plane(n, m_options, m_outcome.state, RegionCoordinates::Neu);
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
        line(kThinRule);
        const ComponentFrames xyz(n, m_options, m_outcome.state, RegionCoordinates::Xyz);
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Eigen::Vector3d c = n.ellipsoidGeocentricOf(m_outcome.state.coordinates[p]);
            const Eigen::Vector3d s = sigmasIn(xyz, p);
            line("   " + columnLeft(n.points[p].name, 14) + length(c.x(), 18) + length(c.y(), 18) +
                 length(c.z(), 18) +
                 fixedOr(p, length(s(0), 9) + length(s(1), 9) + length(s(2), 9)));
        }
    }

    void geographic()
    {
        const Network &n = m_network;
        heading("COORDONNEES AJUSTEES PLH (latitude, longitude, hauteur ellipsoïdale)");
        line(fr("   Point               Latitude          Longitude           h (m)"
                "       sN       sE       sU"));
        line(kThinRule);
        // The seconds to a tenth of the report's last decimal of a metre (1e-5" is 0.3 mm).
        const int secondDecimals = m_options.distanceDecimals + 1;
        std::vector<Geographic> positions;
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Geographic g = n.geographicOf(m_outcome.state.coordinates[p]);
            positions.push_back(g);
            std::string sigmas;
            for (std::size_t k : {1, 0, 2})
                sigmas += n.points[p].fixed[k] ? columnRight(fr("fixe"), 9)
                                               : length(m_statistics.pointSigmas[p](k), 9);
            line("   " + columnLeft(n.points[p].name, 14) +
                 columnRight(geographicDms(g.latitude, true, secondDecimals), 18) +
                 columnRight(geographicDms(g.longitude, false, secondDecimals), 19) +
                 length(g.height, 16) + sigmas);
        }
        line();
        line(fr("   En degrés décimaux (nord et est positifs) :"));
        for (std::size_t p = 0; p < n.points.size(); ++p) {
            const Geographic &g = positions[p];
            const int places = m_options.distanceDecimals + 5;
            line("   " + columnLeft(n.points[p].name, 14) +
                 columnRight(fixed(g.latitude / kDegree, 0, places), 18) +
                 columnRight(fixed(g.longitude / kDegree, 0, places), 19) + length(g.height, 16));
        }
    }

    void missingForms()
    {
        const SolutionForms &f = m_options.solutionForms;
        if (m_options.model == ModelType::Local3D) {
            if (f.anyGlobal()) {
                line();
                line(fr("   Solution en XYZ, PLH/PLO ou NEH/NEO demandée : le modèle 3D_LOCALE ne "
                        "donne que les coordonnées locales."));
            }
            return;
        }
        if (f.geographicAltitude || f.projected || f.projectedAltitude) {
            line();
            line(fr("   Solution en PLO, NEH ou NEO demandée : ce moteur ne traite encore ni "
                    "altitudes ni projections ; les coordonnées sont données en XYZ, PLH ou "
                    "locales."));
        }
    }

private:
    void line(const std::string &latin1 = std::string()) { m_lines.push_back(latin1); }

    void heading(const char *utf8)
    {
        line();
        line(kRule);
        line(std::string(" ") + fr(utf8));
        line(kRule);
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

std::vector<std::string> coordinateReport(const Network &network, const AdjustmentOutcome &outcome,
                                          const Statistics &statistics, const Options &options)
{
    Tables tables(network, outcome, statistics, options);
    const SolutionForms &f = options.solutionForms;
    const bool geodetic = options.model != ModelType::Local3D;
    if (geodetic && f.geocentric)
        tables.geocentric();
    if (geodetic && f.geographic)
        tables.geographic();
    if (f.local)
        tables.local();
    tables.missingForms();
    return std::move(tables).lines();
}

} // namespace engine
