#ifndef ENGINE_MODEL_CONFORMALSPHERE_H
#define ENGINE_MODEL_CONFORMALSPHERE_H

#include "engine/model/referenceellipsoid.h"

// The sphere of the spherical model: Gauss's conformal sphere of radius sqrt(M N) at a chosen
// latitude, M and N the ellipsoid's radii of curvature in the meridian and in the prime vertical
// there. Points go from the ellipsoid to the sphere by a conformal mapping of latitude and
// longitude, heights kept, whose scale is 1 at that latitude with its first two derivatives zero:
// taking latitude and longitude over unchanged would instead stretch north-south lengths and
// shrink east-west ones by e'^2 cos^2(latitude) / 2 (0.17 % at 45 degrees).
namespace engine {

class ConformalSphere
{
public:
    // The sphere for `ellipsoid` at `latitude`, longitudes counted from `longitude` (radians),
    // which should lie within the network so that its longitudes never wrap round.
    ConformalSphere(const ReferenceEllipsoid &ellipsoid, double latitude, double longitude);

    double radius() const { return m_radius; }
    double latitude() const { return m_latitude; }
    // The sphere as a surface: both semi-axes equal to the radius.
    ReferenceEllipsoid surface() const;

    Geographic toSphere(const Geographic &onEllipsoid) const;
    Geographic toEllipsoid(const Geographic &onSphere) const;

private:
    double m_eccentricity;
    double m_latitude;
    double m_longitude;
    double m_radius;
    double m_exponent;       // of the longitudes and of the isometric latitudes
    double m_isometricShift; // isometric latitude on the sphere at the ellipsoid's zero
};

} // namespace engine

#endif // ENGINE_MODEL_CONFORMALSPHERE_H
