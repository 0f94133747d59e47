#ifndef ENGINE_SOLVER_ORDERING_H
#define ENGINE_SOLVER_ORDERING_H

#include "engine/model/network.h"
#include "engine/model/unknowns.h"
#include "engine/solver/normalfactor.h"

#include <vector>

// The elimination order of the unknowns for the sparse factorization of the normal matrix.
//
// The unknowns are gathered per point: its free coordinates, the orientations of the direction
// sets stationed on it and its unknown instrument and target heights. Two points are joined when an
// observation runs between them. Survey networks are spread over a surface, so this graph is nearly
// planar and nested dissection suits it: the points are split in two halves at the median of their
// approximate plan coordinates across the longer side of their extent, the points of the smaller
// half that touch the other half form the separator, ordered last, and each half is dissected in
// turn down to a few points. The fill of the factor then grows as n log n and its work as n^1.5 (n
// points), against a much faster growth for minimum degree orders on large meshes.
//
// Nested dissection relies on the plan coordinates; a network whose points share their plan
// position (a levelling network with dummy coordinates, say) would be split badly. So an
// approximate minimum degree order of the same graph is computed too, and the order with the
// smaller work of factorization is kept. The secondary parameters, which belong to no point and
// couple every point of their observations, come after all the points' unknowns: their rows of
// the factor are then dense, one row each, and fill nothing else.
namespace engine {

// The pattern of the normal matrix that the observations can fill whatever the values of their
// derivatives: every observation couples all the free coordinates of its station and target, the
// orientation of its direction set, its unknown heights and its secondary parameters. Factored on
// this pattern, the inverse elements of each observation, each point and each pair of points joined
// by an observation all lie on the pattern of the factor. Entries are 1 on the lower triangle.
NormalMatrix structuralPattern(const Network &network, const Unknowns &unknowns);

// The position of each unknown in the elimination order, for the normal matrix whose pattern is
// the lower triangle of `pattern`.
std::vector<int> eliminationOrder(const Network &network, const Unknowns &unknowns,
                                  const NormalMatrix &pattern);

// Nested dissection by plan coordinates and approximate minimum degree orders of the points'
// graph, expanded to the unknowns.
std::vector<int> nestedDissectionOrder(const Network &network, const Unknowns &unknowns);
std::vector<int> minimumDegreeOrder(const Network &network, const Unknowns &unknowns);

} // namespace engine

#endif // ENGINE_SOLVER_ORDERING_H
