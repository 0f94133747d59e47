#include "engine/estimation/linearsystem.h"

#include "engine/solver/ordering.h"

namespace engine {

Eigen::SparseMatrix<double> inverseOnPattern(const Network &network, const Unknowns &unknowns,
                                             const SelectedInverse &inverse)
{
    const NormalMatrix pattern = structuralPattern(network, unknowns);
    std::vector<Eigen::Triplet<double>> entries;
    entries.reserve(static_cast<std::size_t>(pattern.nonZeros()));
    for (Eigen::Index j = 0; j < pattern.outerSize(); ++j) {
        for (NormalMatrix::InnerIterator it(pattern, j); it; ++it) {
            const auto row = static_cast<int>(std::max(it.row(), it.col()));
            const auto column = static_cast<int>(std::min(it.row(), it.col()));
            const std::optional<double> z = inverse.entry(row, column);
            entries.emplace_back(row, column, z ? *z : inverse.block({row, column})(0, 1));
        }
    }
    Eigen::SparseMatrix<double> lower(unknowns.count, unknowns.count);
    lower.setFromTriplets(entries.begin(), entries.end(),
                          [](double first, double) { return first; });
    return lower;
}

Eigen::VectorXd solveNormal(const NormalFactor &factor,
                            const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                            const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                            const std::vector<WeightBlock> &blocks)
{
    Eigen::VectorXd rhs = design.transpose() * (weights.array() * misclosures.array()).matrix();
    for (const WeightBlock &block : blocks) {
        const Eigen::VectorXd pl = block.weight * misclosures.segment(block.first, block.size());
        rhs += design.middleRows(block.first, block.size()).transpose() * pl;
    }
    return factor.scale.cwiseProduct(factor.solver.solve(factor.scale.cwiseProduct(rhs)));
}

Eigen::SparseMatrix<double> weightMatrix(const Eigen::VectorXd &weights,
                                         const std::vector<WeightBlock> &blocks)
{
    std::vector<Eigen::Triplet<double>> entries;
    for (Eigen::Index i = 0; i < weights.size(); ++i) {
        if (weights(i) != 0.0)
            entries.emplace_back(i, i, weights(i));
    }
    for (const WeightBlock &block : blocks) {
        for (Eigen::Index a = 0; a < block.size(); ++a)
            for (Eigen::Index b = 0; b < block.size(); ++b)
                entries.emplace_back(block.first + a, block.first + b, block.weight(a, b));
    }
    Eigen::SparseMatrix<double> p(weights.size(), weights.size());
    p.setFromTriplets(entries.begin(), entries.end());
    return p;
}

} // namespace engine
