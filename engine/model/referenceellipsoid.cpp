#include "engine/model/referenceellipsoid.h"

#include "engine/model/angles.h"

#include <GeographicLib/Geocentric.hpp>

#include <cmath>

namespace engine {

namespace {

constexpr double kDegree = kPi / 180.0;

// Building a converter costs as much as a few conversions, and a run converts with one ellipsoid
// (and its sphere) millions of times.
const GeographicLib::Geocentric &geocentricOf(const ReferenceEllipsoid &ellipsoid)
{
    thread_local double semiMajor = 0.0;
    thread_local double flattening = 0.0;
    thread_local GeographicLib::Geocentric converter;
    if (semiMajor != ellipsoid.semiMajor || flattening != ellipsoid.flattening() ||
        !converter.Init()) {
        semiMajor = ellipsoid.semiMajor;
        flattening = ellipsoid.flattening();
        converter = GeographicLib::Geocentric(semiMajor, flattening);
    }
    return converter;
}

} // namespace

Eigen::Vector3d toGeocentric(const ReferenceEllipsoid &ellipsoid, const Geographic &position)
{
    Eigen::Vector3d xyz;
    geocentricOf(ellipsoid).Forward(position.latitude / kDegree, position.longitude / kDegree,
                                    position.height, xyz.x(), xyz.y(), xyz.z());
    return xyz;
}

Geographic toGeographic(const ReferenceEllipsoid &ellipsoid, const Eigen::Vector3d &geocentric)
{
    double latitude = 0.0;
    double longitude = 0.0;
    Geographic g;
    geocentricOf(ellipsoid).Reverse(geocentric.x(), geocentric.y(), geocentric.z(), latitude,
                                    longitude, g.height);
    g.latitude = latitude * kDegree;
    g.longitude = longitude * kDegree;
    return g;
}

Eigen::Matrix3d localHorizon(double latitude, double longitude)
{
    const double sinPhi = std::sin(latitude);
    const double cosPhi = std::cos(latitude);
    const double sinLambda = std::sin(longitude);
    const double cosLambda = std::cos(longitude);
    Eigen::Matrix3d r;
    r.col(0) << -sinLambda, cosLambda, 0.0;
    r.col(1) << -sinPhi * cosLambda, -sinPhi * sinLambda, cosPhi;
    r.col(2) << cosPhi * cosLambda, cosPhi * sinLambda, sinPhi;
    return r;
}

} // namespace engine
