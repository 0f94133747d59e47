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
// After the tests, in a free network, the displacements and their covariance are transformed (an
// S-transformation) onto the points that the test of the highest dimension keeps stable, so that
// no moved point holds their datum.
//
// Localisation: while the test of the points held stable fails, the point whose removal lowers
// Omega most (Omega_F - Omega_F\p) is declared moved and the test is repeated on the others. Each
// point's own test is then its share against the stable set: (Omega_S+p - Omega_S) / (h_p s^2),
// h_p its number of components beyond the datum, against the quantile of h_p.
//
// The forms are not recomputed for each subset. With R = N (N' Qd N)^-1 N' over all the tested
// points (R = Qd^-1 when no datum motion is free) and z = R d, declaring the points M moved is
// giving their components free parameters, which leaves
//   Omega_S = d'z - z_M' (R_MM)^+ z_M,   h_S = h - rank R_MM,
// and a further point q lowers Omega_S by u' C^+ u, rank C components, with the Schur complements
//   u = z_q - R_qM (R_MM)^+ z_M,   C = R_qq - R_qM (R_MM)^+ R_Mq.
// So one dense inversion of the tested components, then small matrices of the moved points for
// each step: a point leaving the stable set is a rank-h update, not a new quadratic form.
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
    // The dimension of the test whose stable points the displacements were finally transformed
    // onto; 0 when they stay in the epochs' datum (fixed points, or no test made).
    int stableDatum = 0;
};

// Beyond this many components the congruence tests are not made: the cofactors of the tested
// components are a dense matrix, which is inverted once (some 3 n^2 reals at the peak).
constexpr int kMaxCongruenceComponents = 3000;

// The decision rule of the tests of one comparison at the level MEP_CSEUIL.
struct CongruenceLevel
{
    double confidence = 0.95;
    bool knownVariance = true;
    double varianceFactor = 1.0; // s^2
    int degreesOfFreedom = 0;    // f_a + f_b

    double statistic(double omega, int h) const;
    double critical(int h) const;
};

// The global test and the localisation over `d`, the displacements of the tested points on
// `dimension` components each (1 up, 2 east and north, 3 all), with their cofactors `q` and the
// datum motions `g` that the epochs leave free (rows as `d`, no column when fixed points hold the
// datum). The steps' `removed` and the verdicts' `displacement` are indices of tested points.
CongruenceTest localise(int dimension, const Eigen::VectorXd &d, Eigen::MatrixXd q,
                        const Eigen::MatrixXd &g, const CongruenceLevel &level);

// The displacements of the points of both epochs and, with MEP_DOCONG, the tests of the
// dimensions MEP_CTYPE asks. Reads the epochs' inverses, which must still be there.
EpochComparison compareEpochs(const EpochResult &a, const EpochResult &b,
                              const EpochOptions &options);

} // namespace engine

#endif // ENGINE_ESTIMATION_CONGRUENCE_H
