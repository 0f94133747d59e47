#include "engine/solver/selectedinversion.h"

#include "engine/base/parallel.h"
#include "engine/base/parallelfailure.h"
#include "engine/base/text.h"
#include "engine/solver/frontkernels.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

namespace engine {

namespace {

using Supernode = SupernodalCholesky::Supernode;

struct InverseWork
{
    Eigen::MatrixXd h;
    Eigen::MatrixXd zii;
    Eigen::MatrixXd linv;
};

// The columns of Z of supernode `s`, from those of the supernodes above it and its own block of
// L in `lValues`, which may be `zValues` itself: the block is read before it is overwritten.
void invertSupernode(const SupernodalCholesky &solver, const double *lValues, double *zValues,
                     int s, InverseWork &work)
{
    const std::vector<Supernode> &nodes = solver.supernodes();
    const std::vector<int> &rows = solver.rows();
    const std::vector<int> &supernodeOf = solver.supernodeOf();
    const Supernode &node = nodes[static_cast<std::size_t>(s)];
    const int k = node.columns;
    const int m = node.rowCount;
    const int r = m - k;
    const Eigen::Map<const Eigen::MatrixXd> block(lValues + node.valueStart, m, k);
    Eigen::Map<Eigen::MatrixXd> z(zValues + node.valueStart, m, k);

    work.linv.resize(k, k);
    invertLower(block.topRows(k), work.linv);
    if (r > 0) {
        work.h = block.bottomRows(r);
        solveOnTheRight(block.topRows(k), work.h);
    }
    assignLowerGram(z.topRows(k), work.linv);
    if (r == 0)
        return;

    // Z(I, I), lower triangle, from the supernodes that own the columns of I.
    const int *below = rows.data() + node.rowStart + k;
    Eigen::MatrixXd &zii = work.zii;
    zii.resize(r, r);
#pragma omp parallel for schedule(dynamic, 16) if (r > frontBlockSize() && !omp_in_parallel())
    for (int b = 0; b < r; ++b) {
        const int column = below[b];
        const Supernode &owner =
            nodes[static_cast<std::size_t>(supernodeOf[static_cast<std::size_t>(column)])];
        const int *ownerRows = rows.data() + owner.rowStart;
        const double *ownerZ =
            zValues + owner.valueStart + static_cast<long>(column - owner.first) * owner.rowCount;
        // Both row lists ascend: one walk down the owner's rows finds them all.
        const int ownerEnd = owner.first + owner.columns;
        const int *walk = ownerRows + owner.columns;
        const int *const walkEnd = ownerRows + owner.rowCount;
        for (int a = b; a < r; ++a) {
            const int row = below[a];
            long p = row - owner.first;
            if (row >= ownerEnd) {
                while (walk != walkEnd && *walk < row)
                    ++walk;
                p = walk != walkEnd && *walk == row ? walk - ownerRows : -1;
            }
            zii(a, b) = p < 0 ? 0.0 : ownerZ[p];
        }
    }
    auto zij = z.bottomRows(r);
    assignNegatedSymmetricProduct(zij, zii, work.h);
    subtractLowerTransposedProduct(z.topRows(k), work.h, zij);
}

} // namespace

SelectedInverse::SelectedInverse(const NormalFactor &factor, const DatumTransform *datum)
    : m_factor(factor)
    , m_datum(datum)
{
    // Every entry is written, so the storage starts uninitialized.
    m_values.resize(factor.solver.values().size());
    invert();
}

SelectedInverse::SelectedInverse(NormalFactor &factor, const DatumTransform *datum,
                                 InverseStorage storage)
    : m_factor(factor)
    , m_datum(datum)
    , m_overFactor(storage == InverseStorage::OverFactor)
{
    if (m_overFactor)
        m_values = factor.solver.takeValues();
    else
        m_values.resize(factor.solver.values().size());
    invert();
}

void SelectedInverse::invert()
{
    const SupernodalCholesky &solver = m_factor.solver;
    const SupernodalCholesky::Analysis &symbolic = *solver.analysis();
    const auto start = SolverTimings::Clock::now();
    const double *lValues = m_overFactor ? m_values.data() : solver.values().data();
    // A supernode needs the inverse on the supernodes above it only: the top of the tree first,
    // then each subtree on its own, from its root down.
    std::vector<InverseWork> work(static_cast<std::size_t>(std::max(1, threadCount())));
    for (auto s = symbolic.top.rbegin(); s != symbolic.top.rend(); ++s)
        invertSupernode(solver, lValues, m_values.data(), *s, work.front());
    const auto subtreeCount = static_cast<long>(symbolic.subtrees.size());
    ParallelFailure failure;
#pragma omp parallel for schedule(dynamic, 1)
    for (long t = 0; t < subtreeCount; ++t) {
        failure.run([&] {
            const SupernodalCholesky::Analysis::Subtree &tree =
                symbolic.subtrees[static_cast<std::size_t>(t)];
            InverseWork &own = work[static_cast<std::size_t>(omp_get_thread_num())];
            for (int s = tree.root; s >= tree.first; --s)
                invertSupernode(solver, lValues, m_values.data(), s, own);
        });
    }
    failure.rethrow();
    if (m_factor.timings)
        m_factor.timings->inversion += SolverTimings::since(start);
}

std::optional<double> SelectedInverse::entry(int i, int j) const
{
    const int n = size();
    if (i < 0 || j < 0 || i >= n || j >= n)
        return std::nullopt;
    const SupernodalCholesky &solver = m_factor.solver;
    const auto &position = solver.permutationP().indices();
    int row = position(i);
    int column = position(j);
    if (row < column)
        std::swap(row, column);
    const long p = solver.analysis()->valueIndex(row, column);
    if (p < 0)
        return std::nullopt;
    return m_factor.scale(i) * m_factor.scale(j) * m_values(p);
}

Eigen::MatrixXd SelectedInverse::block(const std::vector<int> &unknowns) const
{
    Eigen::MatrixXd result = factorBlock(unknowns);
    return m_datum ? m_datum->transformed(unknowns, std::move(result)) : result;
}

Eigen::MatrixXd SelectedInverse::factorBlock(const std::vector<int> &unknowns) const
{
    const auto k = static_cast<Eigen::Index>(unknowns.size());
    Eigen::MatrixXd result = Eigen::MatrixXd::Zero(k, k);
    const SupernodalCholesky &solver = m_factor.solver;
    const auto &position = solver.permutationP().indices();
    // The unknowns in elimination order: the supernode of each column is found once, and its rows
    // are searched in ascending order, each search starting where the one before ended. The few
    // unknowns of the blocks asked for by the thousand keep their work off the heap.
    using Placed = std::pair<int, Eigen::Index>; // (position, index in `unknowns`)
    constexpr std::size_t kFew = 16;
    std::array<Placed, kFew> fewPlaced;
    std::array<bool, kFew> fewOff{};
    std::unique_ptr<Placed[]> manyPlaced;
    std::unique_ptr<bool[]> manyOff;
    if (unknowns.size() > kFew) {
        manyPlaced = std::make_unique<Placed[]>(unknowns.size());
        manyOff = std::make_unique<bool[]>(unknowns.size());
    }
    Placed *const order = manyPlaced ? manyPlaced.get() : fewPlaced.data();
    // A pair off the pattern has its column of `unknowns` (the first of the two) solved for.
    bool *const offPattern = manyOff ? manyOff.get() : fewOff.data();
    Placed *orderEnd = order;
    for (Eigen::Index a = 0; a < k; ++a) {
        const int j = unknowns[static_cast<std::size_t>(a)];
        if (j >= 0 && j < size())
            *orderEnd++ = {position(j), a};
    }
    std::sort(order, orderEnd);
    for (Placed *column = order; column != orderEnd; ++column) {
        const Supernode &node = solver.supernodes()[static_cast<std::size_t>(
            solver.supernodeOf()[static_cast<std::size_t>(column->first)])];
        const int *rows = solver.rows().data() + node.rowStart;
        const int *const rowsEnd = rows + node.rowCount;
        const int *from = rows + node.columns;
        const double *z = m_values.data() + node.valueStart +
                          static_cast<long>(column->first - node.first) * node.rowCount;
        const Eigen::Index a = column->second;
        const double scaleA = m_factor.scale(unknowns[static_cast<std::size_t>(a)]);
        for (Placed *row = column; row != orderEnd; ++row) {
            const Eigen::Index b = row->second;
            long p = row->first - node.first;
            if (row->first >= node.first + node.columns) {
                from = seekRow(from, rowsEnd, row->first);
                p = from != rowsEnd && *from == row->first ? from - rows : -1;
            }
            if (p < 0) {
                offPattern[static_cast<std::size_t>(std::min(a, b))] = true;
                continue;
            }
            const double value =
                m_factor.scale(unknowns[static_cast<std::size_t>(b)]) * scaleA * z[p];
            result(a, b) = value;
            result(b, a) = value;
        }
    }
    std::vector<Eigen::Index> missing;
    for (Eigen::Index a = 0; a < k; ++a) {
        if (offPattern[static_cast<std::size_t>(a)])
            missing.push_back(a);
    }
    if (missing.empty())
        return result;
    if (m_overFactor)
        throw std::logic_error(fr("élément de l'inverse hors du profil du facteur, qui n'est "
                                  "plus gardé"));
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
