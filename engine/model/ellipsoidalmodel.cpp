#include "engine/model/ellipsoidalmodel.h"

#include "engine/model/angles.h"

#include <Eigen/Geometry>

#include <cmath>
#include <limits>

namespace engine {

namespace {

// Below this length (metres) two points count as coincident, as in the local model.
constexpr double kCoincidence = 1e-9;

// The turning of the horizon of `p`, in geocentric components, per metre of its correction along
// east (column 0) and north (column 1): latitude and longitude change, the frame turns with them.
Eigen::Matrix3d horizonTurning(const EllipsoidalPosition &p)
{
    Eigen::Matrix3d perMetre = Eigen::Matrix3d::Zero(); // in the horizon's own components
    perMetre.col(0) = Eigen::Vector3d(0.0, 1.0, std::tan(p.geographic.latitude)) / p.primeRadius;
    perMetre.col(1) = Eigen::Vector3d(-1.0 / p.meridianRadius, 0.0, 0.0);
    return p.horizon * perMetre;
}

} // namespace

EllipsoidalPosition ellipsoidalPosition(const ReferenceEllipsoid &ellipsoid,
                                        const Eigen::Vector3d &geocentric)
{
    EllipsoidalPosition p;
    p.geocentric = geocentric;
    p.geographic = toGeographic(ellipsoid, geocentric);
    p.horizon = localHorizon(p.geographic.latitude, p.geographic.longitude);
    p.plumb = p.horizon;
    const double a = ellipsoid.semiMajor;
    const double e2 = 1.0 - (ellipsoid.semiMinor * ellipsoid.semiMinor) / (a * a);
    const double sine = std::sin(p.geographic.latitude);
    const double w = std::sqrt(1.0 - e2 * sine * sine);
    p.primeRadius = a / w + p.geographic.height;
    p.meridianRadius = a * (1.0 - e2) / (w * w * w) + p.geographic.height;
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
        eq.computed = to.geographic.height - from.geographic.height - o.undulationDifference();
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
        eq.refraction = -h / (2.0 * kEarthRadius);
        eq.computed = std::atan2(h, u) + o.refraction() * eq.refraction;
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
    if (from.primeRadius > 0.0 && to.primeRadius > 0.0) {
        // The station's frame of angles and both normals turn with their points' corrections.
        const Eigen::Vector3d perLocal = frame.transpose() * gradient; // d computed / d local
        const Eigen::Matrix3d stationTurn = horizonTurning(from);
        const Eigen::Matrix3d targetTurn = horizonTurning(to);
        const double hi = instrumentHeightAt(o, state);
        const double ht = targetHeightAt(o, state);
        for (int c = 0; c < 2; ++c) {
            const Eigen::Vector3d omega = stationTurn.col(c);
            const bool angle = o.kind != ObservationKind::Distance;
            if (angle)
                eq.station(c) -= perLocal.dot((frame.transpose() * omega).cross(local));
            eq.station(c) -= hi * gradient.dot(omega.cross(from.horizon.col(2)));
            eq.target(c) += ht * gradient.dot(targetTurn.col(c).cross(to.horizon.col(2)));
        }
    }
    // The heights lie along the normals, as the up of each horizon.
    eq.instrumentHeight = eq.station.z();
    eq.targetHeight = eq.target.z();
    return eq;
}

} // namespace engine
