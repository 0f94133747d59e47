#ifndef ENGINE_ESTIMATION_ADJUSTMENT_H
#define ENGINE_ESTIMATION_ADJUSTMENT_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/datum.h"
#include "engine/estimation/linearsystem.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/options.h"
#include "engine/model/unknowns.h"
#include "engine/solver/datumtransform.h"
#include "engine/solver/designmatrix.h"
#include "engine/solver/normalfactor.h"
#include "engine/solver/solvertimings.h"
#include "engine/solver/weightblock.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <array>
#include <memory>
#include <string>
#include <vector>

// Least-squares adjustment of the network by Gauss-Newton iterations on the sparse normal
// equations N dx = A' P l (A the design matrix, P the weights, l the observed minus computed
// values). P is diagonal, 1 / sigma^2, but for the blocks of correlated observations (the
// components of an observed position), which take the inverse of their covariance. N is scaled to a
// unit diagonal and factored by a supernodal sparse Cholesky decomposition after a fill-reducing
// ordering (nested dissection of the network or approximate minimum degree, see
// engine/solver/ordering.h), analysed once for all the iterations.
namespace engine {

struct IterationRecord
{
    int number = 0;
    double maxCorrection = 0.0; // largest coordinate correction, metres
    int maxPoint = -1;
    int maxComponent = -1;
    Eigen::VectorXd misclosures; // observed minus computed, when the report asks for them
    Eigen::VectorXd corrections; // corrections of the unknowns, when the report asks for them
    // The system solved, when the matrices of each iteration are asked for.
    std::shared_ptr<const LinearSystem> system;
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
    DesignMatrix design; // rows: observations
    Eigen::VectorXd computed;
    Eigen::VectorXd residuals; // computed minus observed: observed + residual = adjusted value
    Eigen::VectorXd weights;   // 1 / sigma^2; 0 for the observations of a weight block
    // Per observation, the factor its a priori weight was multiplied by (0: left out of the
    // adjustment); empty when the a priori weights were used as they are.
    Eigen::VectorXd weightFactors;
    std::vector<WeightBlock> weightBlocks; // one per Network::correlated, in its order
    std::unique_ptr<NormalFactor> factor;  // null when there are no unknowns

    // A free network (FREENET): the datum defect found, and the datum its coordinates and their
    // covariance are carried to. The iterations, residuals and statistics are those of the
    // network with the pinned unknowns held, which do not depend on the datum.
    DatumDefect datumDefect;
    std::unique_ptr<DatumTransform> datum; // null for a network solved as it is constrained
};

// The approximate orientation of each direction set from the coordinates of `state`, by the
// configuration's rule: zero, from the set's first direction, or the mean over the set. With
// `positions` (the points of a geodetic model), the azimuths are those of each station's own
// horizon, and the coordinates of `state` are not read.
void approximateOrientations(const Network &network, const Options &options, State &state,
                             const std::vector<EllipsoidalPosition> *positions = nullptr);

// Runs the iterations. Errors (undetermined unknowns, divergence, no convergence, undefined
// geometry) go to `diagnostics` and leave `solved` false. A singular system is blamed on the
// datum when the design matrix leaves translations, rotations or the scale free (see
// engine/estimation/datum.h), otherwise on the points whose unknowns have no pivot, by name.
// With FREENET, that datum defect is removed by holding a few unknowns during the iterations,
// then the solution is carried to the datum of minimum trace (over all points, or the base
// points with BASESEL).
AdjustmentOutcome adjust(const Network &network, const Options &options, Diagnostics &diagnostics);

// From the second Gauss-Newton iteration on, the normal equations are solved by conjugate
// gradients preconditioned with the factor of an earlier iteration, which costs less than a new
// factorization. With `every`, each iteration factors its own normal matrix instead: the direct
// path, which tests compare with.
void setFactorEveryIteration(bool every);
bool factorEveryIteration();

// What the outer loops (robust estimation, variance components) change in a run: the factor of
// each observation's a priori weight (0 leaves it out; a weight block takes the factor of its
// first observation as a whole) and the state the iterations start from (the approximate
// coordinates and orientations when null).
struct Reweighting
{
    Eigen::VectorXd factors; // empty: the a priori weights
    const State *start = nullptr;
    // An earlier outcome whose adjusted state is `start`: its design matrix and residuals are the
    // linearisation there, taken as they are rather than formed again.
    const AdjustmentOutcome *linearisedAtStart = nullptr;
    // The factor of an earlier run on the same network: its analysis of the pattern serves again.
    std::unique_ptr<NormalFactor> factor;
    // Without it the run stops at the residuals of the adjusted state: no factor of the final
    // normal matrix, which only the statistics need; the outcome's factor is then the last one
    // an iteration made, to be handed to the next run and nothing else.
    bool finalFactor = true;
    // One Gauss-Newton step, taken as converged: an outer loop that repeats until its own
    // solution stops moving needs no more per round.
    bool singleStep = false;
    // Where to time the phases of the run (and the selected inversion on its factor), if asked.
    SolverTimings *timings = nullptr;
};
AdjustmentOutcome adjust(const Network &network, const Options &options, Diagnostics &diagnostics,
                         Reweighting reweighting);

} // namespace engine

#endif // ENGINE_ESTIMATION_ADJUSTMENT_H
