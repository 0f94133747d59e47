#ifndef ENGINE_SOLVER_DESIGNMATRIX_H
#define ENGINE_SOLVER_DESIGNMATRIX_H

#include <Eigen/SparseCore>

namespace engine {

// The design matrix A of a linearisation, a row per observation. Eigen's sparse matrices copy
// their storage when moved; this one hands it over, so that passing a design on (from the last
// linearisation to the outcome, from a function's result to its caller) never holds it twice.
class DesignMatrix : public Eigen::SparseMatrix<double, Eigen::RowMajor>
{
public:
    using Base = Eigen::SparseMatrix<double, Eigen::RowMajor>;

    DesignMatrix() = default;
    DesignMatrix(Eigen::Index rows, Eigen::Index columns)
        : Base(rows, columns)
    {}
    template <typename Other>
    DesignMatrix(const Eigen::SparseMatrixBase<Other> &other)
        : Base(other)
    {}
    DesignMatrix(const DesignMatrix &) = default;
    DesignMatrix(DesignMatrix &&other) noexcept { swap(other); }
    DesignMatrix &operator=(const DesignMatrix &) = default;
    DesignMatrix &operator=(DesignMatrix &&other) noexcept
    {
        Base released;
        swap(released);
        swap(other);
        return *this;
    }
    template <typename Other> DesignMatrix &operator=(const Eigen::SparseMatrixBase<Other> &other)
    {
        Base::operator=(other);
        return *this;
    }
};

} // namespace engine

#endif // ENGINE_SOLVER_DESIGNMATRIX_H
