#ifndef ENGINE_SOLVER_FRONTKERNELS_H
#define ENGINE_SOLVER_FRONTKERNELS_H

#include <Eigen/Core>

// The dense products of the supernodal factorization and of the selected inversion. On a wide
// front each splits its work into blocks of frontBlockSize() columns (or rows), placed by the
// sizes alone, and works the blocks in parallel, each by a single-threaded Eigen product: every
// entry is computed the same way whatever the thread count. Up to one block wide they are the
// plain Eigen products.
namespace engine {

using MatrixRef = Eigen::Ref<Eigen::MatrixXd>;
using ConstMatrixRef = Eigen::Ref<const Eigen::MatrixXd>;

// c -= l l' on the lower triangle of c.
void subtractLowerProduct(MatrixRef c, const ConstMatrixRef &l);

// x := x L^-T, L the lower triangle of `l`.
void solveTransposedOnTheRight(const ConstMatrixRef &l, MatrixRef x);

// x := x L^-1, L the lower triangle of `l`.
void solveOnTheRight(const ConstMatrixRef &l, MatrixRef x);

// x := L^-1, L the lower triangle of `l` (x square, of its size).
void invertLower(const ConstMatrixRef &l, MatrixRef x);

// The lower triangle of c := l' l, l lower triangular, and c -= a' b with a' b symmetric: only
// the lower triangle of c is to be read afterwards (above its diagonal panels it is left as it
// was).
void assignLowerGram(MatrixRef c, const ConstMatrixRef &l);
void subtractLowerTransposedProduct(MatrixRef c, const ConstMatrixRef &a, const ConstMatrixRef &b);
// c = -(s b), s symmetric given by its lower triangle (its upper triangle may be overwritten).
void assignNegatedSymmetricProduct(MatrixRef c, MatrixRef s, const ConstMatrixRef &b);

} // namespace engine

#endif // ENGINE_SOLVER_FRONTKERNELS_H
