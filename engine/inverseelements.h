#ifndef ENGINE_INVERSEELEMENTS_H
#define ENGINE_INVERSEELEMENTS_H

#include "adjustment.h"

#include <Eigen/Core>

#include <vector>

// The elements of the inverse normal matrix that the statistics need, taken from the sparse
// factor without forming the dense inverse. Every such need of the engine goes through here.
namespace engine {

// a_i' N^-1 a_i for every row a_i of `design` (the variance of each adjusted observation, in
// units of the a priori variance factor). Rows that reach the same unknowns share one block of
// N^-1, obtained by solves on the factor.
Eigen::VectorXd
adjustedObservationCofactors(const NormalFactor &factor,
                             const Eigen::SparseMatrix<double, Eigen::RowMajor> &design);

// The block of N^-1 on the given unknowns (in that order); an index of -1 gives a zero row and
// column.
Eigen::MatrixXd inverseBlock(const NormalFactor &factor, const std::vector<int> &unknowns);

} // namespace engine

#endif // ENGINE_INVERSEELEMENTS_H
