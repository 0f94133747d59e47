#include "engine/model/localmodel.h"

#include "engine/model/angles.h"

#include <cmath>
#include <limits>

namespace engine {

namespace {

// Below this horizontal or slope length (metres) two points count as coincident.
constexpr double kCoincidence = 1e-9;

// An angle of a sight without horizontal length: coincident marks, or one above the other.
SightGeometry undefinedAngle(const Eigen::Vector3d &from, const Eigen::Vector3d &to)
{
    return (to - from).norm() < kCoincidence ? SightGeometry::CoincidentPoints
                                             : SightGeometry::VerticalSight;
}

} // namespace

const int kEastNorthUpOfComponent[3] = {1, 0, 2};

namespace {

double heightAt(int unknown, double known, const State &state)
{
    return unknown >= 0 && static_cast<std::size_t>(unknown) < state.heights.size()
               ? state.heights[static_cast<std::size_t>(unknown)]
               : known;
}

} // namespace

double instrumentHeightAt(const Observation &o, const State &state)
{
    return heightAt(o.instrumentUnknown, o.instrumentHeight, state);
}

double targetHeightAt(const Observation &o, const State &state)
{
    return heightAt(o.targetUnknown, o.targetHeight, state);
}

ObservationEquation evaluate(const Observation &o, const State &state)
{
    ObservationEquation eq;
    if (o.kind == ObservationKind::Vector) {
        // A GNSS vector is geocentric: the local frame is not tied to the Earth.
        eq.computed = std::numeric_limits<double>::quiet_NaN();
        return eq;
    }
    if (isObservedPosition(o.kind)) {
        // Geocentric and geographic positions have no value in a frame not tied to the Earth:
        // only the ellipsoidal model computes them.
        if (o.kind != ObservationKind::Local) {
            eq.computed = std::numeric_limits<double>::quiet_NaN();
            return eq;
        }
        const int axis = kEastNorthUpOfComponent[o.component];
        eq.computed = state.coordinates[static_cast<std::size_t>(o.station)](axis);
        eq.station(axis) = 1.0;
        return eq;
    }
    const Eigen::Vector3d &from = state.coordinates[static_cast<std::size_t>(o.station)];
    const Eigen::Vector3d &to = state.coordinates[static_cast<std::size_t>(o.target)];
    const double dE = to.x() - from.x();
    const double dN = to.y() - from.y();
    const double dU =
        (to.z() + targetHeightAt(o, state)) - (from.z() + instrumentHeightAt(o, state));
    const double h2 = dE * dE + dN * dN;
    const double h = std::sqrt(h2);
    const double s2 = h2 + dU * dU;
    const double s = std::sqrt(s2);

    switch (o.kind) {
    case ObservationKind::Distance:
        if (s < kCoincidence) {
            eq.geometry = SightGeometry::CoincidentPoints;
            return eq;
        }
        eq.computed = s;
        eq.target = Eigen::Vector3d(dE / s, dN / s, dU / s);
        break;
    case ObservationKind::Azimuth:
    case ObservationKind::Direction: {
        if (h < kCoincidence) {
            eq.geometry = undefinedAngle(from, to);
            return eq;
        }
        const double azimuth = normalizeAngle(std::atan2(dE, dN));
        eq.target = Eigen::Vector3d(dN / h2, -dE / h2, 0.0);
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
            eq.geometry = undefinedAngle(from, to);
            return eq;
        }
        eq.refraction = -h / (2.0 * kEarthRadius);
        eq.computed = std::atan2(h, dU) + o.refraction() * eq.refraction;
        const double common = dU / (h * s2);
        eq.target = Eigen::Vector3d(dE * common, dN * common, -h / s2);
        break;
    }
    case ObservationKind::HeightDifference:
        eq.computed = to.z() - from.z();
        eq.target = Eigen::Vector3d(0.0, 0.0, 1.0);
        break;
    case ObservationKind::Vector:
    case ObservationKind::Geocentric:
    case ObservationKind::Geographic:
    case ObservationKind::Local:
        break;
    }
    eq.station = -eq.target;
    // The heights lengthen the marks' verticals: they enter as the marks' ups do.
    if (takesHeights(o.kind)) {
        eq.instrumentHeight = eq.station.z();
        eq.targetHeight = eq.target.z();
    }
    return eq;
}

double misclosure(const Observation &o, double computed)
{
    const double difference = o.value - computed;
    switch (o.kind) {
    case ObservationKind::Direction:
    case ObservationKind::Azimuth:
    case ObservationKind::Zenith:
        return wrapAngle(difference);
    case ObservationKind::Geographic:
        return o.component < 2 ? wrapAngle(difference) * o.metresPerRadian() : difference;
    case ObservationKind::Distance:
    case ObservationKind::HeightDifference:
    case ObservationKind::Vector:
    case ObservationKind::Geocentric:
    case ObservationKind::Local:
        break;
    }
    return difference;
}

} // namespace engine
