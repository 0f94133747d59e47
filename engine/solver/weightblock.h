#ifndef ENGINE_SOLVER_WEIGHTBLOCK_H
#define ENGINE_SOLVER_WEIGHTBLOCK_H

#include <Eigen/Core>

namespace engine {

// Consecutive rows of the design matrix whose observations are correlated, with their full weight
// matrix: the inverse of their covariance.
struct WeightBlock
{
    Eigen::Index first = 0;
    Eigen::MatrixXd weight;

    Eigen::Index size() const { return weight.rows(); }
};

} // namespace engine

#endif // ENGINE_SOLVER_WEIGHTBLOCK_H
