#ifndef ENGINE_MODEL_REFERENCEELLIPSOID_H
#define ENGINE_MODEL_REFERENCEELLIPSOID_H

#include <Eigen/Core>

#include <string>

// The reference ellipsoid of the geodetic models and the conversions between geographic
// coordinates (latitude, longitude, ellipsoidal height) and geocentric ones (X, Y, Z), done by
// GeographicLib.
namespace engine {

// GRS80, the ellipsoid of the geodetic models when the files define none.
constexpr double kGrs80SemiMajor = 6378137.0;
constexpr double kGrs80InverseFlattening = 298.257222101;

// Bounds of the semi-axes of an ELIP record, metres: ellipsoids of the Earth lie well within;
// beyond them the value was typed in the wrong unit or columns.
constexpr double kMinSemiAxis = 6.0e6;
constexpr double kMaxSemiAxis = 7.0e6;

struct ReferenceEllipsoid
{
    std::string name = "GRS80";
    double semiMajor = kGrs80SemiMajor;                                         // metres
    double semiMinor = kGrs80SemiMajor * (1.0 - 1.0 / kGrs80InverseFlattening); // metres
    int fileNumber = 0; // the ELIP record; 0 for the default GRS80
    int lineNumber = 0;

    double flattening() const { return (semiMajor - semiMinor) / semiMajor; }
    bool isDefault() const { return lineNumber == 0; }
};

// Latitude and longitude in radians (north and east positive), height above the ellipsoid in
// metres.
struct Geographic
{
    double latitude = 0.0;
    double longitude = 0.0;
    double height = 0.0;
};

Eigen::Vector3d toGeocentric(const ReferenceEllipsoid &ellipsoid, const Geographic &position);
Geographic toGeographic(const ReferenceEllipsoid &ellipsoid, const Eigen::Vector3d &geocentric);

// The unit vectors east, north and up of the horizon at `latitude`, `longitude` (radians), as the
// columns of the matrix, in geocentric components.
Eigen::Matrix3d localHorizon(double latitude, double longitude);

} // namespace engine

#endif // ENGINE_MODEL_REFERENCEELLIPSOID_H
