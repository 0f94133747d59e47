#include "engine/solver/datumtransform.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>

#include <algorithm>

namespace engine {

namespace {

// Below this ratio of its smallest to its largest eigenvalue, M does not define the datum.
constexpr double kSelectionTolerance = 1e-10;

} // namespace

bool DatumTransform::isPinned(int unknown) const
{
    return std::binary_search(pinned.begin(), pinned.end(), unknown);
}

Eigen::VectorXd solvePinned(const NormalFactor &factor, const std::vector<int> &pinned,
                            Eigen::VectorXd b)
{
    for (int j : pinned)
        b(j) = 0.0;
    Eigen::VectorXd x =
        factor.scale.cwiseProduct(factor.solver.solve(factor.scale.cwiseProduct(b)));
    for (int j : pinned)
        x(j) = 0.0;
    return x;
}

bool DatumTransform::complete(const NormalFactor &factor)
{
    const Eigen::MatrixXd wg = selection.asDiagonal() * basis;
    const Eigen::MatrixXd m = basis.transpose() * wg;
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(m);
    const Eigen::VectorXd &values = eigen.eigenvalues();
    if (values.size() == 0 || !(values(0) > kSelectionTolerance * values(values.size() - 1)))
        return false;
    mInverse = eigen.eigenvectors() * values.cwiseInverse().asDiagonal() *
               eigen.eigenvectors().transpose();
    h.resize(basis.rows(), basis.cols());
    for (Eigen::Index k = 0; k < basis.cols(); ++k)
        h.col(k) = solvePinned(factor, pinned, wg.col(k));
    gwh = wg.transpose() * h;
    return true;
}

Eigen::MatrixXd DatumTransform::transformed(const std::vector<int> &unknowns,
                                            Eigen::MatrixXd q) const
{
    const auto k = static_cast<Eigen::Index>(unknowns.size());
    Eigen::MatrixXd g = Eigen::MatrixXd::Zero(k, basis.cols());
    Eigen::MatrixXd hb = Eigen::MatrixXd::Zero(k, basis.cols());
    for (Eigen::Index a = 0; a < k; ++a) {
        const int j = unknowns[static_cast<std::size_t>(a)];
        if (j < 0 || j >= basis.rows())
            continue;
        if (isPinned(j)) {
            q.row(a).setZero();
            q.col(a).setZero();
        }
        g.row(a) = basis.row(j);
        hb.row(a) = h.row(j);
    }
    const Eigen::MatrixXd gm = g * mInverse;
    const Eigen::MatrixXd cross = hb * gm.transpose();
    return q - cross - cross.transpose() + gm * gwh * gm.transpose();
}

} // namespace engine
