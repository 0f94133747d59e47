#ifndef ENGINE_INVERSEELEMENTS_H
#define ENGINE_INVERSEELEMENTS_H

#include "adjustment.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

// The elements of the inverse normal matrix N^-1 that the statistics need, taken from the sparse
// factor without forming the dense inverse: those on the pattern of N, that is for every pair of
// unknowns that one observation joins (which covers the diagonal, the blocks of a point and the
// pairs of every row of the design matrix). Every such need of the engine goes through here.
namespace engine {

class InverseElements
{
public:
    // One solve on the factor per unknown; only the entries on the pattern are kept.
    InverseElements(const NormalFactor &factor,
                    const Eigen::SparseMatrix<double, Eigen::RowMajor> &design);

    // (N^-1)(i, j) for two unknowns that an observation joins, or i == j; 0 otherwise.
    double operator()(int i, int j) const;

    // a' N^-1 a for every row a of `design`: the cofactor of each adjusted observation.
    Eigen::VectorXd
    adjustedObservationCofactors(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design) const;

private:
    Eigen::SparseMatrix<double> m_inverse; // N^-1 on the pattern of N
};

} // namespace engine

#endif // ENGINE_INVERSEELEMENTS_H
