#include "engine/estimation/robustestimation.h"

#include "engine/base/text.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <cmath>

namespace engine {

namespace {

// The L1 weights k / max(|u|, delta) are those of Huber's function of threshold delta, which
// tends to the L1 norm as delta decreases: delta goes from 1 down to 1e-6 by tenths, each
// stage started from the estimate of the previous one, since the reweighting converges slowly
// for a small delta from afar.
constexpr double kL1FirstFloor = 1.0;
constexpr double kL1LastFloor = 1e-6;

// The residuals in units of their a priori standard deviations; the observations of a weight
// block share the root mean square of their whitened residuals.
Eigen::VectorXd standardizedResiduals(const Network &network, const AdjustmentOutcome &outcome)
{
    const Eigen::Index m = outcome.residuals.size();
    Eigen::VectorXd u(m);
    for (Eigen::Index i = 0; i < m; ++i)
        u(i) = outcome.residuals(i) / network.observations[static_cast<std::size_t>(i)].sigma;
    for (std::size_t b = 0; b < network.correlated.size(); ++b) {
        const CorrelatedBlock &block = network.correlated[b];
        const Eigen::VectorXd v = outcome.residuals.segment(block.first, block.size());
        const Eigen::MatrixXd weight =
            block.covariance.llt().solve(Eigen::MatrixXd::Identity(block.size(), block.size()));
        const double rms = std::sqrt(std::max(v.dot(weight * v), 0.0) / block.size());
        u.segment(block.first, block.size()).setConstant(rms);
    }
    return u;
}

Eigen::VectorXd robustFactors(const Eigen::VectorXd &u, CalculationType method, double k,
                              double floor)
{
    Eigen::VectorXd f(u.size());
    for (Eigen::Index i = 0; i < u.size(); ++i) {
        const double a = std::fabs(u(i));
        f(i) = method == CalculationType::Huber ? (a <= k ? 1.0 : k / a) : k / std::max(a, floor);
    }
    return f;
}

double largestMove(const State &from, const State &to)
{
    double move = 0.0;
    for (std::size_t p = 0; p < from.coordinates.size(); ++p)
        move = std::max(move, (to.coordinates[p] - from.coordinates[p]).cwiseAbs().maxCoeff());
    return move;
}

} // namespace

AdjustmentOutcome robustAdjust(const Network &network, const Options &options,
                               Diagnostics &diagnostics, RobustOutcome &robust)
{
    robust = RobustOutcome();
    robust.method = options.calculationType;
    robust.threshold = options.robustThreshold;
    AdjustmentOutcome current = adjust(network, options, diagnostics);
    if (!current.solved || diagnostics.hasErrors())
        return current;
    const State approximate = current.approximate;
    const auto m = static_cast<Eigen::Index>(network.observations.size());
    const bool l1 = robust.method == CalculationType::L1Norm;
    double floor = l1 ? kL1FirstFloor : 0.0;
    for (int iteration = 1; iteration <= kMaxRobustIterations; ++iteration) {
        const Eigen::VectorXd factors = robustFactors(standardizedResiduals(network, current),
                                                      robust.method, robust.threshold, floor);
        const State previous = current.state;
        Reweighting reweighting;
        reweighting.factors = factors;
        reweighting.start = &previous;
        reweighting.factor = std::move(current.factor);
        reweighting.finalFactor = false;
        reweighting.singleStep = true;
        current = adjust(network, options, diagnostics, std::move(reweighting));
        if (!current.solved || diagnostics.hasErrors())
            return current;
        robust.iterations = iteration;
        if (largestMove(previous, current.state) < 1e-3 * options.convergence) {
            if (l1 && floor > kL1LastFloor) {
                floor = std::max(floor / 10.0, kL1LastFloor);
                continue;
            }
            robust.estimated = true;
            break;
        }
    }
    if (!robust.estimated) {
        diagnostics.error(std::string(), 0,
                          fr("L'estimation robuste ne converge pas après ") +
                              std::to_string(kMaxRobustIterations) + fr(" repondérations."));
        return current;
    }
    robust.estimate = current.state;
    robust.residuals = current.residuals;
    robust.standardized = standardizedResiduals(network, current);
    robust.factors = robustFactors(robust.standardized, robust.method, robust.threshold, floor);
    Eigen::VectorXd kept = Eigen::VectorXd::Ones(m);
    for (Eigen::Index i = 0; i < m; ++i) {
        if (robust.factors(i) < 1.0) {
            robust.downWeighted.push_back(static_cast<int>(i));
            kept(i) = 0.0;
        }
    }
    Reweighting final;
    final.factors = kept;
    final.start = &robust.estimate;
    final.factor = std::move(current.factor);
    AdjustmentOutcome outcome = adjust(network, options, diagnostics, std::move(final));
    outcome.approximate = approximate;
    return outcome;
}

} // namespace engine
