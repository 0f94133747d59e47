#include "inverseelements.h"

namespace engine {

InverseElements::InverseElements(const NormalFactor &factor,
                                 const Eigen::SparseMatrix<double, Eigen::RowMajor> &design)
{
    const Eigen::Index n = factor.scale.size();
    const Eigen::SparseMatrix<double> a = design;
    Eigen::SparseMatrix<double> pattern = a.transpose() * a;
    // The diagonal is needed even for an unknown that no row reaches with a non-zero coefficient.
    Eigen::SparseMatrix<double> identity(n, n);
    identity.setIdentity();
    m_inverse = pattern + identity;
    m_inverse.makeCompressed();

    Eigen::VectorXd unit = Eigen::VectorXd::Zero(n);
    for (Eigen::Index j = 0; j < n; ++j) {
        // N^-1 e_j = S Ns^-1 S e_j
        unit(j) = factor.scale(j);
        const Eigen::VectorXd column = factor.scale.cwiseProduct(factor.solver.solve(unit));
        unit(j) = 0.0;
        for (Eigen::SparseMatrix<double>::InnerIterator it(m_inverse, j); it; ++it)
            it.valueRef() = column(it.row());
    }
}

double InverseElements::operator()(int i, int j) const
{
    if (i < 0 || j < 0 || i >= m_inverse.rows() || j >= m_inverse.cols())
        return 0.0;
    return m_inverse.coeff(i, j);
}

Eigen::VectorXd InverseElements::adjustedObservationCofactors(
    const Eigen::SparseMatrix<double, Eigen::RowMajor> &design) const
{
    Eigen::VectorXd result = Eigen::VectorXd::Zero(design.rows());
    for (Eigen::Index row = 0; row < design.rows(); ++row) {
        double sum = 0.0;
        for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator k(design, row); k; ++k) {
            for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator l(design, row); l; ++l)
                sum += k.value() * l.value() *
                       (*this)(static_cast<int>(k.col()), static_cast<int>(l.col()));
        }
        result(row) = sum;
    }
    return result;
}

} // namespace engine
