#ifndef ENGINE_ESTIMATION_CONGRUENCE_H
#define ENGINE_ESTIMATION_CONGRUENCE_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/statistics.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <Eigen/Core>

#include <array>
#include <string>
#include <vector>

// The comparison of two epochs adjusted apart in a common datum (the same approximate
// coordinates, and the same fixed points or free-network datum).
//
// The displacement of a point seen in both is d = x_b - x_a (east, north, up; in the geodetic
// models in the point's horizon, where its unknowns lie). The epochs are independent, so its
// cofactor is Qd = Q_a + Q_b, each the block of the epoch's inverse normal matrix in its datum.
//
// Congruence test over a set F of points, with d_F and Qd_FF their displacements and cofactors on
// the components tested: the datum motions G_F that the epochs leave free (none when fixed points
// hold them) are taken out with N_F, an orthonormal basis of the complement of G_F's span, so that
// the quadratic form depends on the shape of F alone, whatever point set defines the datum:
//   Omega_F = y' (N_F' Qd_FF N_F)^-1 y,   y = N_F' d_F,   h_F = rank = |F| components - rank G_F.
// With the variance factor known (neither epoch scales its precisions by s0) T = Omega / h against
// chi-square(h) / h; otherwise T = Omega / (h s^2), s^2 = (v'Pv_a + v'Pv_b) / (f_a + f_b), against
// Fisher's F(h, f_a + f_b). The level is MEP_CSEUIL.
//
// Localisation: while the test of the points held stable fails, the point whose removal lowers
// Omega most (Omega_F - Omega_F\p) is declared moved and the test is repeated on the others. Each
// point's own test is then its share against the stable set: (Omega_S+p - Omega_S) / (h_p s^2),
// h_p its number of components beyond the datum, against the quantile of h_p.
namespace engine {

struct EpochResult
{
    const Network *network = nullptr;
    const AdjustmentOutcome *outcome = nullptr;
    const Statistics *statistics = nullptr;
};

struct PointDisplacement
{
    std::string name; // Latin-1
    int pointA = -1;  // in each epoch's network
    int pointB = -1;
    Eigen::Vector3d displacement = Eigen::Vector3d::Zero(); // east, north, up (metres)
    // Its covariance: each epoch's cofactors scaled as that epoch's precisions are.
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
    std::array<bool, 3> estimated = {false, false, false}; // free in both epochs
};

struct PointVerdict
{
    int displacement = 0; // index into EpochComparison::displacements
    double test = 0.0;
    double critical = 0.0;
    int dimension = 0; // h_p
    bool moved = false;
};

struct CongruenceStep
{
    double test = 0.0;
    double critical = 0.0;
    int dimension = 0; // h
    int removed = -1;  // the displacement declared moved at this step; -1: the test passed
};

// One test, on the heights (1), the plan (2) or both (3).
struct CongruenceTest
{
    int dimension = 3;
    bool done = false;
    std::string reason;                // why it was not done (Latin-1)
    std::vector<CongruenceStep> steps; // the first one is the global test
    std::vector<PointVerdict> points;
};

struct EpochComparison
{
    int from = 0; // epoch indices, from 0
    int to = 0;
    bool knownVariance = true;
    double varianceFactor = 1.0; // s^2 of the tests
    int degreesOfFreedom = 0;    // f_a + f_b
    std::vector<PointDisplacement> displacements;
    std::vector<CongruenceTest> tests;
};

// Beyond this many components the congruence tests are not made: their cofactors are dense, and
// the localisation forms the quadratic form of every subset left by one point (O(n^4) in all).
constexpr int kMaxCongruenceComponents = 300;

// The displacements of the points of both epochs and, with MEP_DOCONG, the tests of the
// dimensions MEP_CTYPE asks. Reads the epochs' inverses, which must still be there.
EpochComparison compareEpochs(const EpochResult &a, const EpochResult &b,
                              const EpochOptions &options);

} // namespace engine

#endif // ENGINE_ESTIMATION_CONGRUENCE_H
