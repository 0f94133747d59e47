#ifndef ENGINE_SOLVER_NORMALFACTOR_H
#define ENGINE_SOLVER_NORMALFACTOR_H

#include "engine/solver/solvertimings.h"
#include "engine/solver/supernodalcholesky.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

namespace engine {

using NormalMatrix = Eigen::SparseMatrix<double>;

// The sparse factor of the scaled normal matrix of the final linearisation; N = S^-1 Ns S^-1
// with S = diag(scale).
struct NormalFactor
{
    SupernodalCholesky solver;
    Eigen::VectorXd scale;
    SolverTimings *timings = nullptr; // where the phases are timed, when asked
    // Analysed on structuralPattern(): the blocks of the inverse on each observation, point and
    // pair of points joined by an observation lie on the pattern of the factor.
    bool onStructuralPattern = false;
};

} // namespace engine

#endif // ENGINE_SOLVER_NORMALFACTOR_H
