#include "selectedinversion.h"

#include <algorithm>

namespace engine {

SelectedInverse::SelectedInverse(const NormalFactor &factor)
    : m_factor(factor)
{
    const auto &lower = factor.solver.matrixL().nestedExpression();
    const Eigen::VectorXd &pivots = factor.solver.vectorD();
    const auto &order = factor.solver.permutationP().indices();
    const int n = static_cast<int>(lower.cols());
    m_position.assign(order.data(), order.data() + n);
    m_columnStart = lower.outerIndexPtr();
    m_rows = lower.innerIndexPtr();
    const double *l = lower.valuePtr();
    m_values.assign(static_cast<std::size_t>(m_columnStart[n]), 0.0);
    m_diagonal.assign(static_cast<std::size_t>(n), 0.0);

    // Work arrays over the rows of the current column j: which rows belong to it, the value of
    // L there, and the sums that become Z(., j).
    std::vector<int> mark(static_cast<std::size_t>(n), -1);
    std::vector<double> lj(static_cast<std::size_t>(n), 0.0);
    std::vector<double> sum(static_cast<std::size_t>(n), 0.0);
    for (int j = n - 1; j >= 0; --j) {
        const int begin = m_columnStart[j];
        const int end = m_columnStart[j + 1];
        for (int p = begin; p < end; ++p) {
            const auto row = static_cast<std::size_t>(m_rows[p]);
            mark[row] = j;
            lj[row] = l[p];
            sum[row] = 0.0;
        }
        // sum(i) = sum_k L(k, j) Z(i, k) over i, k in the column. Each stored Z(i, k), i > k,
        // serves both Z(i, k) L(k, j) for row i and Z(k, i) L(i, j) for row k.
        for (int p = begin; p < end; ++p) {
            const int k = m_rows[p];
            const double lkj = l[p];
            double own = lkj * m_diagonal[static_cast<std::size_t>(k)];
            for (int q = m_columnStart[k]; q < m_columnStart[k + 1]; ++q) {
                const auto i = static_cast<std::size_t>(m_rows[q]);
                if (mark[i] != j)
                    continue;
                const double zik = m_values[static_cast<std::size_t>(q)];
                sum[i] += lkj * zik;
                own += lj[i] * zik;
            }
            sum[static_cast<std::size_t>(k)] += own;
        }
        double diagonal = 1.0 / pivots(j);
        for (int p = begin; p < end; ++p) {
            const double z = -sum[static_cast<std::size_t>(m_rows[p])];
            m_values[static_cast<std::size_t>(p)] = z;
            diagonal -= l[p] * z;
        }
        m_diagonal[static_cast<std::size_t>(j)] = diagonal;
    }
}

std::optional<double> SelectedInverse::entry(int i, int j) const
{
    const int n = size();
    if (i < 0 || j < 0 || i >= n || j >= n)
        return std::nullopt;
    const double scale = m_factor.scale(i) * m_factor.scale(j);
    int row = m_position[static_cast<std::size_t>(i)];
    int column = m_position[static_cast<std::size_t>(j)];
    if (row == column)
        return scale * m_diagonal[static_cast<std::size_t>(row)];
    if (row < column)
        std::swap(row, column);
    const int *first = m_rows + m_columnStart[column];
    const int *last = m_rows + m_columnStart[column + 1];
    const int *found = std::lower_bound(first, last, row);
    if (found == last || *found != row)
        return std::nullopt;
    return scale * m_values[static_cast<std::size_t>(found - m_rows)];
}

Eigen::MatrixXd SelectedInverse::block(const std::vector<int> &unknowns) const
{
    const auto k = static_cast<Eigen::Index>(unknowns.size());
    Eigen::MatrixXd result = Eigen::MatrixXd::Zero(k, k);
    std::vector<Eigen::Index> missing;
    for (Eigen::Index a = 0; a < k; ++a) {
        const int j = unknowns[static_cast<std::size_t>(a)];
        if (j < 0 || j >= size())
            continue;
        bool complete = true;
        for (Eigen::Index b = a; b < k; ++b) {
            const int i = unknowns[static_cast<std::size_t>(b)];
            if (i < 0 || i >= size())
                continue;
            const std::optional<double> z = entry(i, j);
            if (!z) {
                complete = false;
                continue;
            }
            result(a, b) = *z;
            result(b, a) = *z;
        }
        if (!complete)
            missing.push_back(a);
    }
    // Columns with entries off the pattern: N^-1 e_j = S Ns^-1 S e_j by solves on the factor.
    Eigen::VectorXd unit = Eigen::VectorXd::Zero(size());
    for (Eigen::Index a : missing) {
        const int j = unknowns[static_cast<std::size_t>(a)];
        unit(j) = m_factor.scale(j);
        const Eigen::VectorXd column = m_factor.scale.cwiseProduct(m_factor.solver.solve(unit));
        unit(j) = 0.0;
        for (Eigen::Index b = 0; b < k; ++b) {
            const int i = unknowns[static_cast<std::size_t>(b)];
            if (i >= 0 && i < size()) {
                result(a, b) = column(i);
                result(b, a) = column(i);
            }
        }
    }
    return result;
}

} // namespace engine
