#ifndef ENGINE_SOLVER_INVERSEELEMENTS_H
#define ENGINE_SOLVER_INVERSEELEMENTS_H

#include "engine/solver/selectedinversion.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

// The elements of the inverse normal matrix that the statistics need, taken from its selected
// inversion on the pattern of the sparse factor, without forming the dense inverse.
namespace engine {

// a_i' N^-1 a_i for every row a_i of `design` (the variance of each adjusted observation, in
// units of the a priori variance factor). The unknowns of a row are joined in N by that very
// observation, so its block of N^-1 lies on the pattern of the factor.
Eigen::VectorXd
adjustedObservationCofactors(const SelectedInverse &inverse,
                             const Eigen::SparseMatrix<double, Eigen::RowMajor> &design);

} // namespace engine

#endif // ENGINE_SOLVER_INVERSEELEMENTS_H
