#ifndef ENGINE_OUTPUT_COORDINATEREPORT_H
#define ENGINE_OUTPUT_COORDINATEREPORT_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/statistics.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <string>
#include <vector>

// The report's sections of the adjusted coordinates, in the forms LOG_SOLFIN asks for. The local
// model has only its local coordinates. The geodetic models give geocentric X, Y, Z; latitude,
// longitude (in degrees, minutes and seconds, then in decimal degrees) and ellipsoidal height
// (PLH) or altitude (PLO); north and east in a projection with the ellipsoidal height (NEH) or the
// altitude (NEO), each point in the projection it was given in (the drawing's for the others),
// with its point scale factor and meridian convergence; and the local coordinates east, north, up
// in the tangent plane at the network's centroid. Standard deviations along the components of
// each form (north, east, up of the point's horizon for the geographic one, of the grid for the
// projected one). With LOG_GEOID, the undulation and deflections used at each point.
namespace engine {

// The lines (Latin-1, without line ends); none when no form is asked.
std::vector<std::string> coordinateReport(const Network &network, const AdjustmentOutcome &outcome,
                                          const Statistics &statistics, const Options &options);

// The section of the geoid at each point (LOG_GEOID); none without a geoid.
std::vector<std::string> geoidReport(const Network &network, const Options &options);

// A latitude or a longitude in degrees, minutes and seconds with its hemisphere letter,
// "N 46 12 34.56789", with `decimals` decimals on the seconds.
std::string geographicDms(double radians, bool latitude, int decimals);

} // namespace engine

#endif // ENGINE_OUTPUT_COORDINATEREPORT_H
