#ifndef ENGINE_ESTIMATION_LINEARSYSTEM_H
#define ENGINE_ESTIMATION_LINEARSYSTEM_H

#include "engine/model/network.h"
#include "engine/model/unknowns.h"
#include "engine/solver/designmatrix.h"
#include "engine/solver/normalfactor.h"
#include "engine/solver/selectedinversion.h"
#include "engine/solver/weightblock.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <optional>
#include <vector>

// One linear system of the adjustment, A x = l + v with the weights P, as the matrix files give
// it: the system of a Gauss-Newton iteration, or the one linearised at the adjusted state.
namespace engine {

struct LinearSystem
{
    int iteration = 0;           // from 1; 0 for the system at the adjusted state
    DesignMatrix design;         // A
    Eigen::VectorXd misclosures; // l, observed minus computed
    Eigen::VectorXd solution;    // x = N^-1 A' P l
    // The lower triangle of N^-1 on the structural pattern of N; empty when not asked for.
    Eigen::SparseMatrix<double> inverse;
};

// The elements of N^-1 where N is structurally not zero: each unknown with the unknowns of the
// points an observation (or a block of correlated observations) joins to its own, and each
// orientation with the points of its set. Lower triangle, in the numbering of the unknowns.
Eigen::SparseMatrix<double> inverseOnPattern(const Network &network, const Unknowns &unknowns,
                                             const SelectedInverse &inverse);

// A' P l, the right-hand side of the normal equations.
Eigen::VectorXd rightHandSide(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                              const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                              const std::vector<WeightBlock> &blocks);

// x = N^-1 A' P l by the factor of N.
Eigen::VectorXd solveNormal(const NormalFactor &factor,
                            const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                            const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                            const std::vector<WeightBlock> &blocks);
// The same with the right-hand side already formed: x = N^-1 rhs.
Eigen::VectorXd solveNormal(const NormalFactor &factor, const Eigen::VectorXd &rhs);

// x = N^-1 A' P l by conjugate gradients on the scaled normal equations, preconditioned by
// `nearby`: the factor of a normal matrix of the same system (same weights, same held unknowns)
// linearised at a nearby point, whose scale it keeps. The products with N are taken through the
// design matrix, N is never formed. Nullopt when they do not converge quickly enough to beat a new
// factorization (a dozen steps, see linearsystem.cpp); `steps` is set to the steps taken.
std::optional<Eigen::VectorXd>
solveNormalNear(const NormalFactor &nearby,
                const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                const std::vector<WeightBlock> &blocks, int *steps = nullptr);

// The weight matrix of all the observations, sparse: the diagonal weights and the blocks.
Eigen::SparseMatrix<double> weightMatrix(const Eigen::VectorXd &weights,
                                         const std::vector<WeightBlock> &blocks);

} // namespace engine

#endif // ENGINE_ESTIMATION_LINEARSYSTEM_H
