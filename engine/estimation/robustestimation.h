#ifndef ENGINE_ESTIMATION_ROBUSTESTIMATION_H
#define ENGINE_ESTIMATION_ROBUSTESTIMATION_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/adjustment.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <Eigen/Core>

#include <vector>

// Robust estimation by iteratively reweighted least squares, around the Gauss-Newton adjustment.
// With u the residual of an observation in units of its a priori standard deviation (v / sigma;
// for a weight block as a whole, sqrt(v' P_b v / size)) and k the threshold HUBERVALUE, each
// reweighting multiplies the a priori weight by
//   HUBER     min(1, k / |u|)            Huber's M-estimator, the a priori variance factor known
//   NORMEL1   k / max(|u|, delta)        the minimum of the sum of |v| / sigma (L1 norm), delta
//                                        brought down from 1 to 1e-6 by stages
// from the least-squares solution on, until the estimate moves by less than a thousandth of the
// convergence criterion. The observations whose factor ends below 1 (|u| > k) are down-weighted;
// the final adjustment is the least-squares one of the others, whose statistics are the usual
// ones, the down-weighted observations being left out of it and tested against its solution.
namespace engine {

// Reweightings allowed before the robust estimate is declared not to converge.
constexpr int kMaxRobustIterations = 500;

struct RobustOutcome
{
    bool estimated = false; // the robust iterations converged
    CalculationType method = CalculationType::Huber;
    double threshold = 0.0;        // k
    int iterations = 0;            // reweightings
    State estimate;                // the robust estimate
    Eigen::VectorXd residuals;     // of the robust estimate, as AdjustmentOutcome::residuals
    Eigen::VectorXd standardized;  // u, per observation
    Eigen::VectorXd factors;       // the final factor of each a priori weight
    std::vector<int> downWeighted; // observations with a factor below 1, in network order
};

// The robust estimate, then the least-squares adjustment of the observations it kept.
AdjustmentOutcome robustAdjust(const Network &network, const Options &options,
                               Diagnostics &diagnostics, RobustOutcome &robust);

} // namespace engine

#endif // ENGINE_ESTIMATION_ROBUSTESTIMATION_H
