#ifndef ENGINE_MODEL_APPROXIMATECOORDINATES_H
#define ENGINE_MODEL_APPROXIMATECOORDINATES_H

#include "engine/base/diagnostics.h"
#include "engine/model/network.h"

#include <Eigen/Core>

#include <array>
#include <optional>

// Approximate coordinates of the points that no coordinate record gives, computed from the
// observations before the adjustment. Rounds repeat until a round places nothing: in each one,
// every point not yet placed gathers the positions its observations to already placed points
// give, and takes their componentwise median, so that one blunder does not spoil it:
//   rayonnement      an oriented direction or an azimuth from a placed station, with a distance
//   intersection     two oriented directions or azimuths from placed stations
//   relèvement       three directions of one set, read from the point, to placed points
//   station libre    two directions of one set, read from the point, with their distances
//   multilatération  distances to placed points (two of them, told apart by a third distance or
//                    by the point's own directions)
//   nivellement      a levelled height difference (OHDF) from a point of known height
//   trigonométrie    a zenith angle with a slope distance, or with the plan positions of both ends
// A traverse is walked leg by leg: each placed station orients its set on the point it came from.
// The direction sets are oriented on their placed targets (median), at the start of every round.
// A component that no observation involves (the plan of a point that is only levelled, the height
// of a point that only directions and azimuths reach) is fixed at the value of its neighbours.
// Every candidate is built from the state at the start of its round and the medians do not depend
// on the order of the candidates, so the result does not depend on the order of the records.
namespace engine {

// Places the points whose `given` is false and fills their `approximate` and `placement`. A point
// that cannot be placed is an error with the reason, at the first line that names it; points that
// are connected only to each other, never to a given point, are named together.
void computeApproximateCoordinates(Network &network, Diagnostics &diagnostics);

// The constructions in the horizon plane of a station: (east, north) in metres, azimuths in
// radians from north towards east. The local model's frame is one such plane; a geodetic model
// reduces its observations to the horizon of a station and uses the same constructions.
namespace horizon {

// The point at horizontal length `length` from `origin` along `azimuth`.
Eigen::Vector2d polar(const Eigen::Vector2d &origin, double azimuth, double length);

// The crossing of two rays, or none when they cut at less than `minimumCut` radians or cross
// behind one of the origins.
std::optional<Eigen::Vector2d> intersect(const Eigen::Vector2d &a, double azimuthA,
                                         const Eigen::Vector2d &b, double azimuthB,
                                         double minimumCut);

// The two points at horizontal lengths `ra` from `a` and `rb` from `b` (the first on the left of
// a -> b), or none when the circles do not meet at `minimumCut` radians or more.
std::optional<std::array<Eigen::Vector2d, 2>> circles(const Eigen::Vector2d &a, double ra,
                                                      const Eigen::Vector2d &b, double rb,
                                                      double minimumCut);

// The station that reads directions `da`, `db`, `dc` (one set) to `a`, `b`, `c`, or none on or
// near the danger circle.
std::optional<Eigen::Vector2d> resect(const Eigen::Vector2d &a, double da, const Eigen::Vector2d &b,
                                      double db, const Eigen::Vector2d &c, double dc);

// The station that reads direction `da` and horizontal length `la` to `a`, `db` and `lb` to `b`
// (one set), or none when the two sights disagree in length with the points by more than a
// quarter.
std::optional<Eigen::Vector2d> freeStation(const Eigen::Vector2d &a, double da, double la,
                                           const Eigen::Vector2d &b, double db, double lb);

// The height of the target mark above the station mark from a zenith angle `zenith` (refraction
// coefficient `refraction`) over the horizontal length `length`, heights of instrument and target
// applied.
double heightDifference(double zenith, double refraction, double length, double instrumentHeight,
                        double targetHeight);

// The horizontal length of a sight of slope length `slope` at zenith angle `zenith`.
double horizontalLength(double slope, double zenith, double refraction);

} // namespace horizon

} // namespace engine

#endif // ENGINE_MODEL_APPROXIMATECOORDINATES_H
