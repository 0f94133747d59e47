#ifndef ENGINE_MODEL_UNKNOWNS_H
#define ENGINE_MODEL_UNKNOWNS_H

#include "engine/base/diagnostics.h"
#include "engine/model/network.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// The unknowns: the free coordinates of the points, the orientations of the direction sets, the
// unknown instrument and target heights, then the secondary parameters.
struct Unknowns
{
    std::vector<std::array<int, 3>> point; // per point: index of east, north, up; -1 when fixed
    std::vector<int> set;                  // per direction set: index, -1 when it has no direction
    std::vector<int> height;               // per Network::unknownHeights: index
    std::vector<int> secondary;            // per secondary parameter: index
    int count = 0;
    int coordinateCount = 0;
    int orientationCount = 0;
    // Per unknown: the point, set, unknown height or secondary parameter it belongs to and the
    // component (0 east, 1 north, 2 up, 3 orientation, 4 height, 5 secondary parameter).
    std::vector<std::pair<int, int>> owner;
};

constexpr int kOrientationComponent = 3;
constexpr int kHeightComponent = 4;
constexpr int kSecondaryComponent = 5;

// The letter of a coordinate component (0 "E", 1 "N", 2 "U"), "orientation" (3) or "hauteur" (4).
const char *componentName(int component);

// A readable name of an unknown for the report: "E P12", "orientation du jeu 3 (station S)",
// "hauteur d'instrument inconnue de S (ligne 12)", "CONS du groupe « G »". Latin-1.
std::string unknownLabel(const Network &network, const Unknowns &unknowns, int index);

// Numbers the unknowns; a free coordinate of a point that no observation reaches is an error.
Unknowns numberUnknowns(const Network &network, Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_MODEL_UNKNOWNS_H
