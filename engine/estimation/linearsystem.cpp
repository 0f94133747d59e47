#include "engine/estimation/linearsystem.h"

#include "engine/solver/ordering.h"

#include <cmath>

namespace engine {

namespace {

// The conjugate gradients stop when the residual, in the norm of the preconditioner, has come
// down to this share of the right-hand side's: the corrections then agree with the direct solve's
// to about 1e-13 of their size, at the rounding of the coordinates themselves.
constexpr double kTolerance = 1e-12;

// A step costs two triangular solves with the factor and two products with the design matrix,
// a tenth to a fifth of a factorization of the normal matrix with its forming: beyond this many
// steps, a new factor is cheaper. On a factor of the first iteration a step gains two to three
// digits, so that five steps are the rule.
constexpr int kMaxSteps = 12;

} // namespace

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

Eigen::VectorXd rightHandSide(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                              const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                              const std::vector<WeightBlock> &blocks)
{
    Eigen::VectorXd rhs = design.transpose() * (weights.array() * misclosures.array()).matrix();
    for (const WeightBlock &block : blocks) {
        const Eigen::VectorXd pl = block.weight * misclosures.segment(block.first, block.size());
        rhs += design.middleRows(block.first, block.size()).transpose() * pl;
    }
    return rhs;
}

namespace {

// S A' W A S v, the product of the scaled normal matrix with v taken through the design matrix.
Eigen::VectorXd normalProduct(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                              const Eigen::VectorXd &weights,
                              const std::vector<WeightBlock> &blocks, const Eigen::VectorXd &scale,
                              const Eigen::VectorXd &v)
{
    const Eigen::VectorXd av = design * scale.cwiseProduct(v);
    Eigen::VectorXd wav = weights.cwiseProduct(av);
    for (const WeightBlock &block : blocks)
        wav.segment(block.first, block.size()).noalias() +=
            block.weight * av.segment(block.first, block.size());
    return scale.cwiseProduct(design.transpose() * wav);
}

} // namespace

Eigen::VectorXd solveNormal(const NormalFactor &factor,
                            const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                            const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                            const std::vector<WeightBlock> &blocks)
{
    return solveNormal(factor, rightHandSide(design, misclosures, weights, blocks));
}

Eigen::VectorXd solveNormal(const NormalFactor &factor, const Eigen::VectorXd &rhs)
{
    return factor.scale.cwiseProduct(factor.solver.solve(factor.scale.cwiseProduct(rhs)));
}

std::optional<Eigen::VectorXd>
solveNormalNear(const NormalFactor &nearby,
                const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                const Eigen::VectorXd &misclosures, const Eigen::VectorXd &weights,
                const std::vector<WeightBlock> &blocks, int *steps)
{
    const Eigen::VectorXd &scale = nearby.scale;
    if (design.cols() != scale.size() || nearby.solver.size() != scale.size())
        return std::nullopt;
    Eigen::VectorXd r = scale.cwiseProduct(rightHandSide(design, misclosures, weights, blocks));
    Eigen::VectorXd y = Eigen::VectorXd::Zero(scale.size());
    Eigen::VectorXd z = nearby.solver.solve(r);
    Eigen::VectorXd p = z;
    double rz = r.dot(z);
    const double first = rz;
    const double logTolerance = std::log(kTolerance);
    for (int step = 0;; ++step) {
        if (!std::isfinite(rz))
            return std::nullopt;
        if (!(rz > kTolerance * kTolerance * first)) {
            if (steps)
                *steps = step;
            return scale.cwiseProduct(y);
        }
        // The residual falls about geometrically: at a rate that would not reach the tolerance
        // within the bound, a new factor is the cheaper way.
        const double reduced = 0.5 * std::log(rz / first);
        if (step == kMaxSteps || (step >= 2 && !(reduced * kMaxSteps <= step * logTolerance)))
            return std::nullopt;
        const Eigen::VectorXd q = normalProduct(design, weights, blocks, scale, p);
        const double pq = p.dot(q);
        if (!(pq > 0.0))
            return std::nullopt;
        const double alpha = rz / pq;
        y.noalias() += alpha * p;
        r.noalias() -= alpha * q;
        z = nearby.solver.solve(r);
        const double next = r.dot(z);
        p = z + (next / rz) * p;
        rz = next;
    }
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
