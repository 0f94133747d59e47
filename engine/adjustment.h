#ifndef ENGINE_ADJUSTMENT_H
#define ENGINE_ADJUSTMENT_H

#include "engine/base/diagnostics.h"
#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/options.h"
#include "engine/model/unknowns.h"
#include "supernodalcholesky.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <array>
#include <memory>
#include <string>
#include <vector>

// Least-squares adjustment of the network by Gauss-Newton iterations on the sparse normal
// equations N dx = A' P l (A the design matrix, P the diagonal weights 1 / sigma^2, l the observed
// minus computed values). N is scaled to a unit diagonal and factored by a supernodal sparse
// Cholesky decomposition after a fill-reducing ordering (nested dissection of the network or
// approximate minimum degree, see ordering.h), analysed once for all the iterations.
namespace engine {

using NormalMatrix = Eigen::SparseMatrix<double>;
using NormalSolver = SupernodalCholesky;

// A pivot of the scaled normal matrix below this value marks an undetermined unknown. The scaling
// to a unit diagonal makes every pivot relative to its own column, and the Cholesky factor of
// such a matrix does not grow (no pivot and no entry of L exceeds 1), so rounding leaves a few
// units of 1e-16 per update on a pivot: an exactly singular system gives pivots near 1e-14. The
// bound is set where the inverse stops being usable: a pivot d costs N^-1 about log10(1 / d)
// digits, and at 1e-10 the redundancy numbers, differences 1 - p a'N^-1 a, keep about six.
// A geometry that is singular in truth but that the noise of the observations lifts above the
// bound (a resection point near its danger circle) is caught after the solve: see
// checkDetermination in statistics.h.
constexpr double kPivotTolerance = 1e-10;

struct IterationRecord
{
    int number = 0;
    double maxCorrection = 0.0; // largest coordinate correction, metres
    int maxPoint = -1;
    int maxComponent = -1;
    Eigen::VectorXd misclosures; // observed minus computed, when the report asks for them
    Eigen::VectorXd corrections; // corrections of the unknowns, when the report asks for them
};

// The sparse factor of the scaled normal matrix of the final linearisation; N = S^-1 Ns S^-1
// with S = diag(scale).
struct NormalFactor
{
    NormalSolver solver;
    Eigen::VectorXd scale;
};

struct AdjustmentOutcome
{
    bool solved = false; // converged with a regular system
    int iterations = 0;
    Unknowns unknowns;
    State approximate; // the state the iterations started from
    State state;       // the adjusted state
    std::vector<IterationRecord> history;

    // Final linearisation at the adjusted state.
    Eigen::SparseMatrix<double, Eigen::RowMajor> design; // rows: observations
    Eigen::VectorXd computed;
    Eigen::VectorXd residuals; // computed minus observed: observed + residual = adjusted value
    Eigen::VectorXd weights;
    std::unique_ptr<NormalFactor> factor; // null when there are no unknowns
};

// Runs the iterations. Errors (undetermined unknowns, divergence, no convergence, undefined
// geometry) go to `diagnostics` and leave `solved` false. A singular system is blamed on the
// datum when the fixed coordinates are too few for the kinds of observations present, otherwise
// on the points whose unknowns have no pivot, by name.
AdjustmentOutcome adjust(const Network &network, const Options &options, Diagnostics &diagnostics);

} // namespace engine

#endif // ENGINE_ADJUSTMENT_H
