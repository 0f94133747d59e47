#include "engine/model/ellipsoidalmodel.h"

#include "engine/model/angles.h"

#include <cmath>
#include <limits>

namespace engine {

namespace {

// Below this length (metres) two points count as coincident, as in the local model.
constexpr double kCoincidence = 1e-9;

} // namespace

EllipsoidalPosition ellipsoidalPosition(const ReferenceEllipsoid &ellipsoid,
                                        const Eigen::Vector3d &geocentric)
{
    EllipsoidalPosition p;
    p.geocentric = geocentric;
    p.geographic = toGeographic(ellipsoid, geocentric);
    p.horizon = localHorizon(p.geographic.latitude, p.geographic.longitude);
    p.plumb = p.horizon;
    return p;
}

std::vector<EllipsoidalPosition> ellipsoidalPositions(const ReferenceEllipsoid &ellipsoid,
                                                      const State &state)
{
    std::vector<EllipsoidalPosition> positions;
    positions.reserve(state.coordinates.size());
    for (const Eigen::Vector3d &xyz : state.coordinates)
        positions.push_back(ellipsoidalPosition(ellipsoid, xyz));
    return positions;
}

std::vector<EllipsoidalPosition> ellipsoidalPositions(const Network &network, const State &state)
{
    std::vector<EllipsoidalPosition> positions = ellipsoidalPositions(network.surface, state);
    for (std::size_t i = 0; i < positions.size() && i < network.points.size(); ++i) {
        const std::optional<GeoidValue> &geoid = network.points[i].geoid;
        if (!geoid || (geoid->deflectionNorth == 0.0 && geoid->deflectionEast == 0.0))
            continue;
        const Geographic &g = positions[i].geographic;
        positions[i].plumb =
            localHorizon(g.latitude + geoid->deflectionNorth,
                         g.longitude + geoid->deflectionEast / std::cos(g.latitude));
    }
    return positions;
}

ObservationEquation evaluateEllipsoidal(const Observation &o,
                                        const std::vector<EllipsoidalPosition> &positions,
                                        const State &state,
                                        const std::vector<EllipsoidalPosition> *onEllipsoid)
{
    ObservationEquation eq;
    const EllipsoidalPosition &from = positions[static_cast<std::size_t>(o.station)];
    const EllipsoidalPosition &to = positions[static_cast<std::size_t>(o.target)];
    if (o.kind == ObservationKind::Vector) {
        // The vector is a difference on the ellipsoid; a point's correction east, north and up
        // on the sphere is the same on the ellipsoid, the mapping being conformal with a scale of
        // 1 to a few parts in 10^9.
        const std::vector<EllipsoidalPosition> &ends = onEllipsoid ? *onEllipsoid : positions;
        const EllipsoidalPosition &a = ends[static_cast<std::size_t>(o.station)];
        const EllipsoidalPosition &b = ends[static_cast<std::size_t>(o.target)];
        const int c = o.component;
        eq.computed = b.geocentric(c) - a.geocentric(c);
        eq.target = b.horizon.row(c).transpose();
        eq.station = -a.horizon.row(c).transpose();
        return eq;
    }
    if (isObservedPosition(o.kind)) {
        const int c = o.component;
        if (o.kind == ObservationKind::Geocentric) {
            eq.computed = from.geocentric(c);
            eq.station = from.horizon.row(c).transpose();
        } else if (o.kind == ObservationKind::Geographic) {
            // Latitude and longitude are compared in metres along north and east (misclosure):
            // their derivatives hold the radii of the observed position.
            eq.computed = c == 0   ? from.geographic.latitude
                          : c == 1 ? from.geographic.longitude
                                   : from.geographic.height;
            eq.station(kEastNorthUpOfComponent[c]) = 1.0;
        } else {
            // Local positions have no place on the ellipsoid.
            eq.computed = std::numeric_limits<double>::quiet_NaN();
        }
        return eq;
    }
    if (o.kind == ObservationKind::HeightDifference) {
        eq.computed = to.geographic.height - from.geographic.height - o.undulationDifference;
        eq.station = Eigen::Vector3d(0.0, 0.0, -1.0);
        eq.target = Eigen::Vector3d(0.0, 0.0, 1.0);
        return eq;
    }
    const Eigen::Vector3d instrument =
        from.geocentric + instrumentHeightAt(o, state) * from.horizon.col(2);
    const Eigen::Vector3d aim = to.geocentric + targetHeightAt(o, state) * to.horizon.col(2);
    const Eigen::Vector3d d = aim - instrument;
    // Angles are observed in the horizon of the plumb line, distances do not depend on it.
    const Eigen::Matrix3d &frame = from.plumb;
    const Eigen::Vector3d local = frame.transpose() * d; // e, n, u at the station
    const double e = local.x();
    const double n = local.y();
    const double u = local.z();
    const double h2 = e * e + n * n;
    const double h = std::sqrt(h2);
    const double s2 = h2 + u * u;
    const double s = std::sqrt(s2);
    const bool marksTogether = (to.geocentric - from.geocentric).norm() < kCoincidence;

    // d computed / d aim, in geocentric components.
    Eigen::Vector3d gradient = Eigen::Vector3d::Zero();
    switch (o.kind) {
    case ObservationKind::Distance:
        if (s < kCoincidence) {
            eq.geometry = SightGeometry::CoincidentPoints;
            return eq;
        }
        eq.computed = s;
        gradient = d / s;
        break;
    case ObservationKind::Azimuth:
    case ObservationKind::Direction: {
        if (h < kCoincidence) {
            eq.geometry =
                marksTogether ? SightGeometry::CoincidentPoints : SightGeometry::VerticalSight;
            return eq;
        }
        const double azimuth = normalizeAngle(std::atan2(e, n));
        gradient = (n * frame.col(0) - e * frame.col(1)) / h2;
        if (o.kind == ObservationKind::Direction) {
            eq.computed =
                normalizeAngle(azimuth - state.orientations[static_cast<std::size_t>(o.set)]);
            eq.orientation = -1.0;
        } else {
            eq.computed = azimuth;
        }
        break;
    }
    case ObservationKind::Zenith: {
        if (h < kCoincidence) {
            eq.geometry =
                marksTogether ? SightGeometry::CoincidentPoints : SightGeometry::VerticalSight;
            return eq;
        }
        eq.computed = std::atan2(h, u) - o.refraction * h / (2.0 * kEarthRadius);
        const double common = u / (h * s2);
        gradient = common * (e * frame.col(0) + n * frame.col(1)) - (h / s2) * frame.col(2);
        break;
    }
    case ObservationKind::HeightDifference:
    case ObservationKind::Vector:
    case ObservationKind::Geocentric:
    case ObservationKind::Geographic:
    case ObservationKind::Local:
        break;
    }
    eq.target = to.horizon.transpose() * gradient;
    eq.station = -(from.horizon.transpose() * gradient);
    // The heights lie along the normals, as the up of each horizon.
    eq.instrumentHeight = eq.station.z();
    eq.targetHeight = eq.target.z();
    return eq;
}

} // namespace engine
