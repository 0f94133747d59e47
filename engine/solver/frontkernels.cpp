#include "engine/solver/frontkernels.h"

#include "engine/base/parallelfailure.h"
#include "engine/solver/supernodalcholesky.h"

#include <Eigen/Core>

#include <omp.h>

#include <algorithm>

namespace engine {

namespace {

// The blocks of a dimension of `size`: count, and the start and width of block b.
struct Blocks
{
    explicit Blocks(Eigen::Index size)
        : size(size)
        , width(frontBlockSize())
        , count((size + width - 1) / width)
    {}
    Eigen::Index start(Eigen::Index b) const { return b * width; }
    Eigen::Index widthOf(Eigen::Index b) const { return std::min(width, size - b * width); }
    Eigen::Index size;
    Eigen::Index width;
    Eigen::Index count;
};

// body(b) for every block b, on the engine's threads unless the caller already runs on them (the
// front of a subtree); an exception thrown by a block is thrown again once they are all done.
template <typename Body> void forEachBlock(const Blocks &blocks, const Body &body)
{
    ParallelFailure failure;
#pragma omp parallel for schedule(dynamic, 1) if (!omp_in_parallel())
    for (Eigen::Index b = 0; b < blocks.count; ++b)
        failure.run([&] { body(b); });
    failure.rethrow();
}

} // namespace

void subtractLowerProduct(MatrixRef c, const ConstMatrixRef &l)
{
    const Blocks blocks(c.rows());
    if (blocks.count <= 1) {
        c.selfadjointView<Eigen::Lower>().rankUpdate(l, -1.0);
        return;
    }
    // The blocks on the left are the tallest: taken first, handed out one at a time.
    forEachBlock(blocks, [&](Eigen::Index b) {
        const Eigen::Index c0 = blocks.start(b);
        const Eigen::Index w = blocks.widthOf(b);
        const Eigen::Index rest = blocks.size - c0 - w;
        c.block(c0, c0, w, w).selfadjointView<Eigen::Lower>().rankUpdate(l.middleRows(c0, w), -1.0);
        if (rest > 0)
            c.block(c0 + w, c0, rest, w).noalias() -=
                l.bottomRows(rest) * l.middleRows(c0, w).transpose();
    });
}

void solveTransposedOnTheRight(const ConstMatrixRef &l, MatrixRef x)
{
    const Blocks blocks(x.rows());
    if (blocks.count <= 1) {
        l.triangularView<Eigen::Lower>().transpose().solveInPlace<Eigen::OnTheRight>(x);
        return;
    }
    forEachBlock(blocks, [&](Eigen::Index b) {
        auto rows = x.middleRows(blocks.start(b), blocks.widthOf(b));
        l.triangularView<Eigen::Lower>().transpose().solveInPlace<Eigen::OnTheRight>(rows);
    });
}

void solveOnTheRight(const ConstMatrixRef &l, MatrixRef x)
{
    const Blocks blocks(x.rows());
    if (blocks.count <= 1) {
        l.triangularView<Eigen::Lower>().solveInPlace<Eigen::OnTheRight>(x);
        return;
    }
    forEachBlock(blocks, [&](Eigen::Index b) {
        auto rows = x.middleRows(blocks.start(b), blocks.widthOf(b));
        l.triangularView<Eigen::Lower>().solveInPlace<Eigen::OnTheRight>(rows);
    });
}

void invertLower(const ConstMatrixRef &l, MatrixRef x)
{
    const Blocks blocks(x.cols());
    x.setIdentity();
    if (blocks.count <= 1) {
        l.triangularView<Eigen::Lower>().solveInPlace(x);
        return;
    }
    // Column j of L^-1 is zero above row j: each block solves the trailing triangle only.
    forEachBlock(blocks, [&](Eigen::Index b) {
        const Eigen::Index c0 = blocks.start(b);
        const Eigen::Index rest = blocks.size - c0;
        auto columns = x.block(c0, c0, rest, blocks.widthOf(b));
        l.bottomRightCorner(rest, rest).triangularView<Eigen::Lower>().solveInPlace(columns);
    });
}

namespace {

// Columns of a lower triangle worked together when the triangle is at most one block wide.
constexpr Eigen::Index kTrianglePanel = 32;

// panel(c0, w) over the panels of the columns of a lower triangle of order `size`: blocks worked
// in parallel on a wide one, narrower panels one after the other on a narrow one.
template <typename Panel> void forEachTrianglePanel(Eigen::Index size, const Panel &panel)
{
    const Blocks blocks(size);
    if (blocks.count <= 1) {
        for (Eigen::Index c0 = 0; c0 < size; c0 += kTrianglePanel)
            panel(c0, std::min(kTrianglePanel, size - c0));
        return;
    }
    forEachBlock(blocks, [&](Eigen::Index b) { panel(blocks.start(b), blocks.widthOf(b)); });
}

} // namespace

void assignLowerGram(MatrixRef c, const ConstMatrixRef &l)
{
    // (L' L)(i, j) sums over the rows of L at or below both i and j: the columns from c0 on meet
    // only the rows from c0 on.
    const Eigen::Index size = c.cols();
    forEachTrianglePanel(size, [&](Eigen::Index c0, Eigen::Index w) {
        const Eigen::Index rest = size - c0;
        c.block(c0, c0, rest, w).noalias() =
            l.block(c0, c0, rest, rest).transpose() * l.block(c0, c0, rest, w);
    });
}

void subtractLowerTransposedProduct(MatrixRef c, const ConstMatrixRef &a, const ConstMatrixRef &b)
{
    const Eigen::Index size = c.cols();
    forEachTrianglePanel(size, [&](Eigen::Index c0, Eigen::Index w) {
        c.block(c0, c0, size - c0, w).noalias() -=
            a.rightCols(size - c0).transpose() * b.middleCols(c0, w);
    });
}

void assignNegatedSymmetricProduct(MatrixRef c, MatrixRef s, const ConstMatrixRef &b)
{
    const Blocks blocks(c.rows());
    if (blocks.count <= 1) {
        c.noalias() = -(s.selfadjointView<Eigen::Lower>() * b);
        return;
    }
    for (Eigen::Index j = 0; j + 1 < s.cols(); ++j)
        s.row(j).tail(s.cols() - j - 1) = s.col(j).tail(s.cols() - j - 1).transpose();
    forEachBlock(blocks, [&](Eigen::Index k) {
        const Eigen::Index r0 = blocks.start(k);
        const Eigen::Index w = blocks.widthOf(k);
        c.middleRows(r0, w).noalias() = -(s.middleRows(r0, w) * b);
    });
}

} // namespace engine
