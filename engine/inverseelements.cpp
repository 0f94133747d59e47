#include "inverseelements.h"

#include <map>

namespace engine {

Eigen::MatrixXd inverseBlock(const NormalFactor &factor, const std::vector<int> &unknowns)
{
    const auto k = static_cast<Eigen::Index>(unknowns.size());
    Eigen::MatrixXd block = Eigen::MatrixXd::Zero(k, k);
    const Eigen::Index n = factor.scale.size();
    Eigen::VectorXd unit = Eigen::VectorXd::Zero(n);
    for (Eigen::Index a = 0; a < k; ++a) {
        const int j = unknowns[static_cast<std::size_t>(a)];
        if (j < 0 || j >= n)
            continue;
        // N^-1 e_j = S Ns^-1 S e_j
        unit(j) = factor.scale(j);
        const Eigen::VectorXd column = factor.scale.cwiseProduct(factor.solver.solve(unit));
        unit(j) = 0.0;
        for (Eigen::Index b = 0; b < k; ++b) {
            const int i = unknowns[static_cast<std::size_t>(b)];
            if (i >= 0 && i < n)
                block(b, a) = column(i);
        }
    }
    return block;
}

Eigen::VectorXd
adjustedObservationCofactors(const NormalFactor &factor,
                             const Eigen::SparseMatrix<double, Eigen::RowMajor> &design)
{
    Eigen::VectorXd result = Eigen::VectorXd::Zero(design.rows());
    std::map<std::vector<int>, Eigen::MatrixXd> blocks;
    for (Eigen::Index row = 0; row < design.rows(); ++row) {
        std::vector<int> columns;
        std::vector<double> values;
        for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator it(design, row); it;
             ++it) {
            columns.push_back(static_cast<int>(it.col()));
            values.push_back(it.value());
        }
        if (columns.empty())
            continue;
        auto found = blocks.find(columns);
        if (found == blocks.end())
            found = blocks.emplace(columns, inverseBlock(factor, columns)).first;
        const Eigen::Map<const Eigen::VectorXd> a(values.data(),
                                                  static_cast<Eigen::Index>(values.size()));
        result(row) = a.dot(found->second * a);
    }
    return result;
}

} // namespace engine
