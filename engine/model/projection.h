#ifndef ENGINE_MODEL_PROJECTION_H
#define ENGINE_MODEL_PROJECTION_H

#include "engine/model/referenceellipsoid.h"

#include <memory>
#include <optional>
#include <string>

// The map projections in which points are given and shown, on the reference ellipsoid of the run:
//   transverse Mercator     (TMER, XTMR) GeographicLib's series, exact to nanometres within
//                           4000 km of the central meridian
//   Lambert conformal conic (LAMB, XLAM) two standard parallels and a false origin (EPSG 9802),
//                           GeographicLib's
//   oblique Mercator        (OMER) Hotine's, EPSG 9815 (false origin at the projection centre)
//                           or 9812 (at the natural origin), the rectified grid at the azimuth
//                           of the initial line unless told otherwise
//   oblique stereographic   (STGR) through Gauss's conformal sphere at the origin, EPSG 9809
// Projected coordinates are north and east in metres, with their false northing and easting.
// A projection only carries positions to and from the ellipsoid: the adjustment stays 3D.
namespace engine {

enum class ProjectionMethod {
    TransverseMercator,
    LambertConic,
    ObliqueMercator,
    ObliqueStereographic
};

// A projection's parameters: angles in radians (north and east positive), lengths in metres.
struct ProjectionDefinition
{
    std::string name;
    std::string code; // of its record: TMER, XTMR, LAMB, XLAM, OMER, STGR
    ProjectionMethod method = ProjectionMethod::TransverseMercator;
    double latitudeOfOrigin = 0.0; // of the false origin (Lambert), of the centre (OMER)
    double longitudeOfOrigin = 0.0;
    double falseNorthing = 0.0;
    double falseEasting = 0.0;
    double scale = 1.0;              // at the origin, the centre or along the initial line
    double firstParallel = 0.0;      // Lambert
    double secondParallel = 0.0;     // Lambert
    double azimuth = 0.0;            // oblique Mercator: of the initial line at the centre
    std::optional<double> skew;      // oblique Mercator: rectified to skew grid (none: azimuth)
    bool falseOriginAtCentre = true; // oblique Mercator: EPSG 9815; false: 9812
    int fileNumber = 0;
    int lineNumber = 0;
};

// North and east in a projection, with the point scale factor and the meridian convergence (the
// bearing of grid north, clockwise from true north, radians) there.
struct GridPosition
{
    double north = 0.0;
    double east = 0.0;
    double scale = 1.0;
    double convergence = 0.0;
};

class Projection
{
public:
    // A projection of `definition` on `ellipsoid`, or none with why (Latin-1) in `reason` when
    // its parameters lie outside the method's domain.
    static std::optional<Projection> make(const ReferenceEllipsoid &ellipsoid,
                                          const ProjectionDefinition &definition,
                                          std::string &reason);

    Projection(const Projection &other);
    Projection &operator=(const Projection &other);
    Projection(Projection &&) noexcept;
    Projection &operator=(Projection &&) noexcept;
    ~Projection();

    const ProjectionDefinition &definition() const { return m_definition; }

    // The grid position of `latitude`, `longitude` (radians); none where the projection does
    // not reach (a pole of a cone, the far side of a stereographic or oblique Mercator).
    std::optional<GridPosition> forward(double latitude, double longitude) const;
    // Latitude and longitude (radians; height 0) of the grid position `north`, `east`.
    std::optional<Geographic> inverse(double north, double east) const;

    // The equations of one method, out of sight.
    struct Method;

private:
    Projection(const ProjectionDefinition &definition, std::unique_ptr<Method> method);

    ProjectionDefinition m_definition;
    std::unique_ptr<Method> m_method;
};

} // namespace engine

#endif // ENGINE_MODEL_PROJECTION_H
