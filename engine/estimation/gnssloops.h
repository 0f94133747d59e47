#ifndef ENGINE_ESTIMATION_GNSSLOOPS_H
#define ENGINE_ESTIMATION_GNSSLOOPS_H

#include "engine/model/network.h"

#include <Eigen/Core>

#include <vector>

// The misclosures of the loops of GNSS vectors, before the adjustment. The vectors (DXYZ) form a
// graph of the points; a breadth-first spanning tree of each connected part leaves one vector out
// per independent loop, and that vector with the tree's path between its ends makes the loop (two
// vectors measured between the same points make one too). Its misclosure is the sum of the
// vectors round it, its covariance C the sum of theirs with their correlations within a block, so
// that T = w' C^-1 w follows the chi-square law of 3 degrees of freedom when the vectors are
// right. A loop is flagged beyond the quantile of that law at kGnssLoopConfidence, the 3 sigma of
// the levelling loops.
namespace engine {

constexpr double kGnssLoopConfidence = 0.9973;

struct GnssLoop
{
    int closing = 0; // the first observation (DX) of the vector the tree leaves out
    Eigen::Vector3d misclosure = Eigen::Vector3d::Zero(); // north, east, up at the first point
    Eigen::Vector3d sigma = Eigen::Vector3d::Zero();      // their standard deviations
    double length = 0.0; // metres: the lengths of the vectors round the loop, summed
    double test = 0.0;   // T (0 when its covariance is not regular)
    // The points round the loop from the closing vector's station, and the first observation of
    // each of its vectors, the closing one first.
    std::vector<int> points;
    std::vector<int> vectors;

    // The misclosure's length in parts per million of the loop's length.
    double ppm() const { return length > 0.0 ? misclosure.norm() / length * 1e6 : 0.0; }
};

struct GnssLoops
{
    double critical = 0.0;       // bound of T
    std::vector<GnssLoop> loops; // the worst first
    int flagged() const;
};

// The loops of the vectors of `network`, whose points hold their approximate positions and whose
// blocks their covariances.
GnssLoops gnssLoops(const Network &network);

} // namespace engine

#endif // ENGINE_ESTIMATION_GNSSLOOPS_H
