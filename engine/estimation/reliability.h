#ifndef ENGINE_ESTIMATION_RELIABILITY_H
#define ENGINE_ESTIMATION_RELIABILITY_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/componentframes.h"
#include "engine/estimation/statistics.h"
#include "engine/model/network.h"

#include <Eigen/Core>

#include <array>
#include <vector>

// Reliability of the adjusted network (see docs/engine.md, "Fiabilité").
//
// Internal reliability: the minimal detectable bias of observation i, the smallest error in it
// that the test of its normalized residual (two-sided, first-kind risk alpha) finds with the
// probability 1 - beta:
//   MDB_i = delta0 s_i / sqrt(r_i),   delta0 = z(1 - alpha / 2) + z(1 - beta)
// with s_i its standard deviation (times s0 when the a posteriori factor scales the precisions),
// r_i its redundancy number and z the standard normal quantile.
//
// External reliability: an undetected error MDB_i moves the unknowns by
//   dx_i = N^-1 a_i p_i MDB_i
// (a_i the row of the observation in the design matrix, p_i its weight). The engine takes this
// displacement at the station and at the target of the observation: the block of N^-1 between
// their coordinates and the unknowns of the observation lies on the pattern of the factor.
//   - the reliability region of a point is the box (north, east, up, or the components asked
//     for in a geodetic model) that holds the displacement
//     of the point by each observation that has it as station or target;
//   - the reliability region of two points joined by observations is the box that holds the
//     displacement of the second point relative to the first, dx(second) - dx(first), by each
//     observation between them.
// An observation i of a weight block (P_b, A_b, Qvv as in statistics.h) has the MDB
//   delta0 s sqrt(Qvv_ii) / r_i
// that moves its normalized residual by delta0, and moves the unknowns by N^-1 A_b' P_b e_i MDB.
// Uncontrolled observations (redundancy number below kUncontrolledRedundancy) have no finite
// MDB and take no part in the boxes. All quantities here are for delta0 = 1: a row of the
// configuration multiplies them by its own delta0.
namespace engine {

// delta0 = z(1 - alpha / 2) + z(1 - beta), alpha = 1 - confidence. A confidence or a beta outside
// ]0, 1[ is refused with std::domain_error.
double noncentrality(double confidence, double beta);

struct ReliabilityBox
{
    int point1 = -1; // network point index
    int point2 = -1; // -1 for the box of one point
    // Largest |displacement| along north, east and up, metres.
    Eigen::Vector3d extent = Eigen::Vector3d::Zero();
    // Per component, the observation that gives that largest displacement (-1: none).
    std::array<int, 3> observation = {-1, -1, -1};
    int observations = 0; // controlled observations taken into the box
};

struct Reliability
{
    std::vector<double> biasFactor;     // per observation: s_i / sqrt(r_i); 0 when uncontrolled
    std::vector<ReliabilityBox> points; // points moved by at least one controlled observation
    std::vector<ReliabilityBox> pairs;  // in the order of `pairs` given to computeReliability
};

// The reliability for delta0 = 1. `pairs` lists the pairs of points (network indices) whose
// relative boxes are wanted; an empty list asks for none. The boxes lie along the components of
// `frames`, those of a pair along the frame at its first point.
Reliability computeReliability(const Network &network, const AdjustmentOutcome &outcome,
                               const Statistics &statistics,
                               const std::vector<std::pair<int, int>> &pairs,
                               const ComponentFrames &frames);

} // namespace engine

#endif // ENGINE_ESTIMATION_RELIABILITY_H
