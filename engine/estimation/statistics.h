#ifndef ENGINE_ESTIMATION_STATISTICS_H
#define ENGINE_ESTIMATION_STATISTICS_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/adjustment.h"
#include "engine/model/network.h"
#include "engine/model/options.h"
#include "engine/solver/selectedinversion.h"

#include <Eigen/Core>

#include <memory>
#include <string>
#include <vector>

// Statistics of an adjustment, with sigma the a priori standard deviation of an observation, p its
// weight 1 / sigma^2, a its row of the design matrix and N the normal matrix:
//   residual v            adjusted minus observed value
//   redundancy number r   1 - p a' N^-1 a (between 0 and 1; their sum is the degrees of freedom)
//   normalized residual w v / (s sigma sqrt(r)), s = 1, or the a posteriori s0 when it scales
//   reliability           100 r: the share of an error in this observation seen in its residual
//   variance factor       s0^2 = v'Pv / f, f = observations - unknowns
// An observation of a weight block (correlated observations, P_b the inverse of their covariance
// C_b, A_b their rows) takes, with Qvv = C_b - A_b N^-1 A_b' the cofactors of their residuals:
//   redundancy number r   (Qvv P_b)_ii
//   normalized residual w v / (s sqrt(Qvv_ii))
// which are those above when the block is diagonal. An item of three components in a block (a
// GNSS vector, an observed position) is also tested as a whole, against a bias of any direction
// in its three components: with g = (P_b v_b) and M = (P_b Qvv P_b) on its three rows,
//   T = g' M^-1 g / s^2
// (v' Qvv^-1 v for a block of one item), which follows the chi-square law of 3 degrees of
// freedom without scaling; with the precisions scaled by s0 (f > 3), T = f B with B of the beta
// law (3/2, (f - 3)/2), s0 holding the residuals tested as tau does.
//   global test           v'Pv within the two-sided chi-square bounds at the VALIDATION confidence
//   residual test         at the VALIDATION confidence, two-sided:
//     - the precisions are not scaled: w follows the standard normal law; |w| <= z(1 - alpha/2);
//     - they are scaled by s0 (f >= 2): w is Pope's tau, v / (s0 sigma_v) with sigma_v =
//       sigma sqrt(r), which follows the tau law of f degrees of freedom. The normal quantile
//       would be wrong: |tau| can never exceed sqrt(f) (s0 holds the very residual tested), so a
//       blunder in a small network would never be found. The critical value is that of tau.
//     - no test: without degrees of freedom (no observation is controlled), or with one degree
//       of freedom and scaled precisions, where every controlled observation has |tau| = 1.
namespace engine {

// Below this redundancy number an observation is not controlled by the others: its normalized
// residual is not defined, it is kept as valid and ranked last.
constexpr double kUncontrolledRedundancy = 1e-6;

struct ObservationStatistics
{
    double residual = 0.0;      // metres or radians
    double redundancy = 0.0;    // r, from 0 to 1
    double normalized = 0.0;    // w
    double adjustedSigma = 0.0; // standard deviation of the adjusted observation
    // In a weight block (`correlated`): Qvv_ii, the cofactor of the residual (metres squared).
    double residualCofactor = 0.0;
    int rank = 0; // from 1
    bool correlated = false;
    bool controlled = true;
    // Left out of the adjustment (weight factor 0): its residual is tested against the solution
    // of the others, with Qvv = C + A N^-1 A', and it is never valid.
    bool leftOut = false;
    bool valid = true;
};

// The test of an item of three components of a weight block as a whole.
struct ItemStatistics
{
    int first = 0; // its first observation
    // The cofactors of its three residuals, Qvv on its rows (metres squared).
    Eigen::Matrix3d residualCofactors = Eigen::Matrix3d::Zero();
    double test = 0.0; // T
    bool controlled = false;
    bool valid = true;
};

// A secondary parameter (CONS, SCAL, REFR) and its test of significance: t = value / sigma,
// against the normal quantile, or Student's with the degrees of freedom when s0 scales the
// precisions (s0 is then in sigma).
struct SecondaryStatistics
{
    double value = 0.0; // metres, ppm or the coefficient
    double sigma = 0.0;
    double test = 0.0; // |t|
    bool significant = false;
};

struct PartialFactor
{
    std::string label; // Latin-1
    int count = 0;
    double weightedSquares = 0.0; // sum of p v^2
    double redundancy = 0.0;      // sum of r
};

enum class ChiSquareOutcome { Failed = 0, Passed = 1, NotTested = 2 };

enum class ResidualTestKind { None, Normal, Tau };

struct Statistics
{
    int observations = 0;
    int unknowns = 0;
    int leftOut = 0;              // observations left out of the adjustment
    int degreesOfFreedom = 0;     // observations kept - unknowns
    double weightedSquares = 0.0; // v'Pv
    double varianceFactor = 0.0;  // s0^2 (0 without degrees of freedom)
    double chiLower = 0.0;
    double chiUpper = 0.0;
    ChiSquareOutcome chiSquare = ChiSquareOutcome::NotTested;
    // TYPECALCUL SIMULATION: no residuals, no tests, the a priori variance factor (1).
    bool preAnalysis = false;
    bool scaled = false;     // the a posteriori factor scales the precisions
    double sigmaScale = 1.0; // s0 when scaled, 1 otherwise
    ResidualTestKind residualTest = ResidualTestKind::None;
    double criticalValue = 0.0; // bound of |w| (0 without a test)
    double redundancySum = 0.0;
    // The sum of 1 - p a' N^-1 a unclamped: it equals the degrees of freedom when N^-1 is sound.
    double rawRedundancySum = 0.0;
    int validCount = 0;
    std::vector<ObservationStatistics> perObservation; // in network order
    std::vector<int> rankOrder;                        // observation indices, rank 1 first
    std::vector<ItemStatistics> items;        // the items of the weight blocks, in network order
    double itemCriticalValue = 0.0;           // bound of T (0 without a test: every item is valid)
    std::vector<Eigen::Vector3d> pointSigmas; // per point (east, north, up); 0 if fixed
    // Per point, the covariance of its (east, north, up) unknowns, scaled as `pointSigmas`.
    std::vector<Eigen::Matrix3d> pointCovariances;
    std::vector<double> orientationSigmas;                   // per direction set
    std::vector<double> heightSigmas;                        // per unknown height (metres)
    std::vector<SecondaryStatistics> secondary;              // per secondary parameter
    ResidualTestKind secondaryTest = ResidualTestKind::None; // Normal, or Tau for Student's t
    double secondaryCriticalValue = 0.0;       // bound of |t| (0 without degrees of freedom)
    std::vector<PartialFactor> partialFactors; // per kind, then per group
    // N^-1 on the pattern of the factor, for the regions; it refers to the outcome's factor and
    // must not outlive it. Null when there are no unknowns.
    std::shared_ptr<const SelectedInverse> inverse;
};

// The rows of a weight block as a dense matrix on the unknowns they reach, in increasing order.
struct BlockDesign
{
    std::vector<int> unknowns;
    Eigen::MatrixXd rows; // block size x unknowns
};
BlockDesign blockDesign(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                        const WeightBlock &block);

// The statistics of a solved adjustment. A VALIDATION outside ]0, 1[ is refused with
// std::domain_error. With InverseStorage::OverFactor the inverse takes the storage of the
// outcome's factor, which can then no longer solve, when every block of the inverse that the
// statistics, the regions and the reliability ask for lies on its pattern (it is kept otherwise):
// for a caller that needs neither solves nor blocks joining points that no observation joins.
Statistics computeStatistics(const Network &network, const AdjustmentOutcome &outcome,
                             const Options &options,
                             InverseStorage storage = InverseStorage::BesideFactor);

// A point is not determined by the observations when its standard deviation relative to a point
// it is sighted with (the square root of the trace of the covariance of their difference, before
// any scaling by s0) exceeds this share of the distance between them: the linearised model no
// longer holds over such a region, and the adjusted position follows from the noise of the
// observations. A resection point within a few centimetres of its danger circle has a standard
// deviation of the order of its sights; the benchmark networks stay near 2e-5, and even a poor
// intersection (sights crossing at a few degrees) far below the bound.
constexpr double kUndeterminedShare = 0.1;

// The redundancy numbers of a sound adjustment add up to the degrees of freedom to a few units of
// 1e-16 each; beyond this much per observation, N^-1 is not accurate enough to be used.
constexpr double kRedundancySumTolerance = 1e-6;

// Checks, after the solve, that the observations determine the solution although every pivot
// passed: the redundancy numbers must add up to the degrees of freedom, and no point may be
// undetermined in the sense of kUndeterminedShare. Errors naming the weak points go to
// `diagnostics`; false when there is any. Needs the statistics' inverse. Sights of height
// differences (OHDF) are not judged: their model is linear, and levelling networks often give
// every point the same dummy plan coordinates.
bool checkDetermination(const Network &network, const AdjustmentOutcome &outcome,
                        const Statistics &statistics, Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_ESTIMATION_STATISTICS_H
