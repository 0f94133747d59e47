#ifndef ENGINE_MODEL_ELLIPSOIDALMODEL_H
#define ENGINE_MODEL_ELLIPSOIDALMODEL_H

#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/referenceellipsoid.h"

#include <Eigen/Core>

#include <vector>

// The ellipsoidal 3D model: points in geocentric X, Y, Z on the reference ellipsoid, each with
// its own horizon (east, north, up, up along the ellipsoid normal), in which its three unknowns
// are corrections. The instrument stands HI above the station mark along the station's normal,
// the target HT above the target mark along the target's; with d the geocentric vector from
// instrument to target and e, n, u its components in the station's horizon:
//   DIST  |d|, the chord
//   AZIM  geodetic azimuth atan2(e, n), from north towards east in the station's horizon
//   DIR   azimuth minus the orientation of the direction set
//   ZANG  atan2(hypot(e, n), u) against the station's normal, lessened by refraction
//         k * hypot(e, n) / (2 R) as in the local model
//   OHDF  ellipsoidal height of the target mark minus that of the station mark; with a geoid,
//         altitude (h - N) of the target mark minus that of the station mark
// A station with deflections of the vertical (GEOI) observes its angles in the horizon of its
// plumb line, at astronomic latitude and longitude latitude + xi, longitude + eta / cos latitude:
// directions, azimuths (the Laplace azimuth) and zenith angles are computed in that horizon, which
// reduces them to the ellipsoid normal. Heights of instrument and target stay along the normals.
//   XYZ   a component X, Y or Z of an observed position (3DC): the point's geocentric coordinate
//   PLH   its latitude, longitude or height; misclosures and residuals of latitude and longitude
//         in metres along north and east at the observed position
//   DXYZ  a component X, Y or Z of a GNSS vector: the target's geocentric coordinate minus the
//         station's, marks on the ellipsoid (no instrument or target height)
// A point's correction turns its horizon (by the correction over the radii of curvature): the
// derivatives of the angles take that turning into account, and so do those of the sights through
// the normals that carry the heights. It is of the order of the sight over the Earth's radius, but
// it is all that shows a motion of the whole network to the angles (a translation, a rotation about
// the vertical), so that without it the iterations would not settle along such motions.
namespace engine {

// A point of the ellipsoidal model at its current position.
struct EllipsoidalPosition
{
    Eigen::Vector3d geocentric = Eigen::Vector3d::Zero(); // X, Y, Z, metres
    Geographic geographic;
    Eigen::Matrix3d horizon = Eigen::Matrix3d::Identity(); // east, north, up as columns
    Eigen::Matrix3d plumb = Eigen::Matrix3d::Identity();   // the same along the plumb line
    // Radii of curvature of the meridian and of the prime vertical at the point's height (metres).
    double meridianRadius = 0.0;
    double primeRadius = 0.0;
};

EllipsoidalPosition ellipsoidalPosition(const ReferenceEllipsoid &ellipsoid,
                                        const Eigen::Vector3d &geocentric);

// The positions of the points of `state`, whose coordinates are geocentric.
std::vector<EllipsoidalPosition> ellipsoidalPositions(const ReferenceEllipsoid &ellipsoid,
                                                      const State &state);
// The same on the network's surface, with the plumb lines of its points' deflections.
std::vector<EllipsoidalPosition> ellipsoidalPositions(const Network &network, const State &state);

// The equation of `observation` between the points of `positions` (indexed as the network's
// points), with the orientations of `state`. Derivatives are with respect to east, north and up
// of the station's and the target's horizons. `onEllipsoid`, when the positions are on another
// surface (the spherical model's sphere), holds the same points on the ellipsoid, whose
// differences the GNSS vectors observe.
ObservationEquation
evaluateEllipsoidal(const Observation &observation,
                    const std::vector<EllipsoidalPosition> &positions, const State &state,
                    const std::vector<EllipsoidalPosition> *onEllipsoid = nullptr);

} // namespace engine

#endif // ENGINE_MODEL_ELLIPSOIDALMODEL_H
