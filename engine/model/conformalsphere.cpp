#include "engine/model/conformalsphere.h"

#include "engine/model/angles.h"

#include <GeographicLib/Math.hpp>

#include <cmath>

namespace engine {

namespace {

// The isometric latitude of `latitude` on an ellipsoid of eccentricity `eccentricity` (0 for a
// sphere), and back.
double isometric(double latitude, double eccentricity)
{
    return std::asinh(GeographicLib::Math::taupf(std::tan(latitude), eccentricity));
}

double fromIsometric(double isometricLatitude, double eccentricity)
{
    return std::atan(GeographicLib::Math::tauf(std::sinh(isometricLatitude), eccentricity));
}

} // namespace

ConformalSphere::ConformalSphere(const ReferenceEllipsoid &ellipsoid, double latitude,
                                 double longitude)
    : m_latitude(latitude)
    , m_longitude(longitude)
{
    const double a = ellipsoid.semiMajor;
    const double b = ellipsoid.semiMinor;
    const double e2 = 1.0 - (b * b) / (a * a);
    m_eccentricity = std::sqrt(e2);
    const double sinPhi = std::sin(latitude);
    const double cosPhi = std::cos(latitude);
    const double w2 = 1.0 - e2 * sinPhi * sinPhi;
    // sqrt(M N) with M = a (1 - e^2) / w^3 and N = a / w.
    m_radius = a * std::sqrt(1.0 - e2) / w2;
    m_exponent = std::sqrt(1.0 + e2 * std::pow(cosPhi, 4) / (1.0 - e2));
    const double sphereLatitude = std::asin(sinPhi / m_exponent);
    m_isometricShift =
        isometric(sphereLatitude, 0.0) - m_exponent * isometric(latitude, m_eccentricity);
}

ReferenceEllipsoid ConformalSphere::surface() const
{
    ReferenceEllipsoid sphere;
    sphere.name = "SPHERE";
    sphere.semiMajor = m_radius;
    sphere.semiMinor = m_radius;
    return sphere;
}

Geographic ConformalSphere::toSphere(const Geographic &onEllipsoid) const
{
    Geographic g;
    g.latitude = fromIsometric(
        m_exponent * isometric(onEllipsoid.latitude, m_eccentricity) + m_isometricShift, 0.0);
    g.longitude = m_longitude + m_exponent * wrapAngle(onEllipsoid.longitude - m_longitude);
    g.height = onEllipsoid.height;
    return g;
}

Geographic ConformalSphere::toEllipsoid(const Geographic &onSphere) const
{
    Geographic g;
    g.latitude = fromIsometric((isometric(onSphere.latitude, 0.0) - m_isometricShift) / m_exponent,
                               m_eccentricity);
    g.longitude = wrapAngle(m_longitude + wrapAngle(onSphere.longitude - m_longitude) / m_exponent);
    g.height = onSphere.height;
    return g;
}

} // namespace engine
