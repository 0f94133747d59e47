#ifndef ENGINE_MODEL_LOCALMODEL_H
#define ENGINE_MODEL_LOCALMODEL_H

#include "engine/model/network.h"

#include <Eigen/Core>

#include <array>
#include <vector>

// The local 3D model: a flat frame (east, north, up) whose verticals are all parallel. The line
// of sight runs from the instrument (the station mark plus the instrument height HI) to the
// target (the target mark plus the target height HT); an unknown height (UNHI, UNHT) takes its
// value in the state.
//   DIST  slope distance between instrument and target
//   AZIM  azimuth, from north towards east, of the horizontal projection of the line
//   DIR   azimuth minus the orientation of the direction set
//   ZANG  zenith angle of the line, lessened by refraction: k * h / (2 R), with k the
//         coefficient of the record, h the horizontal distance and R the Earth radius
//   OHDF  up of the target mark minus up of the station mark (heights not applied)
//   LNEU  a component (north, east or up) of an observed position (3DC), in the local frame
namespace engine {

// The coordinate (0 east, 1 north, 2 up) of each component of an observed position in the local
// frame or a horizon: north, east, up.
extern const int kEastNorthUpOfComponent[3];

// Earth radius used for the bending of the line of sight by refraction, metres.
constexpr double kEarthRadius = 6371000.0;

struct State
{
    std::vector<Eigen::Vector3d> coordinates; // per point: east, north, up (metres)
    std::vector<double> orientations;         // per direction set (radians)
    std::vector<double> secondary;            // per secondary parameter: metres, ppm or coefficient
    // Per unknown height (Network::unknownHeights), metres; empty: their approximate values.
    std::vector<double> heights;
};

// The instrument and the target height of a sight at `state`: known, or the unknown's value.
double instrumentHeightAt(const Observation &observation, const State &state);
double targetHeightAt(const Observation &observation, const State &state);

// Whether the geometry of a sight lets its observation be computed and differentiated.
enum class SightGeometry {
    Defined,
    CoincidentPoints, // station and target marks at the same place, or a distance of zero
    VerticalSight     // an angle whose sight has no horizontal length: no azimuth, no derivative
};

// The computed value of an observation and its partial derivatives.
struct ObservationEquation
{
    double computed = 0.0;
    Eigen::Vector3d station = Eigen::Vector3d::Zero(); // d computed / d (east, north, up)
    Eigen::Vector3d target = Eigen::Vector3d::Zero();
    double orientation = 0.0; // d computed / d orientation (directions)
    double refraction = 0.0;  // d computed / d coefficient of refraction (zenith angles)
    // d computed / d instrument height, d computed / d target height (sights)
    double instrumentHeight = 0.0;
    double targetHeight = 0.0;
    SightGeometry geometry = SightGeometry::Defined;
};

ObservationEquation evaluate(const Observation &observation, const State &state);

// Observed minus computed; angles brought into (-pi, pi]. The latitude and the longitude of an
// observed position are turned into metres along north and east.
double misclosure(const Observation &observation, double computed);

} // namespace engine

#endif // ENGINE_MODEL_LOCALMODEL_H
