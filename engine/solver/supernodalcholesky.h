#ifndef ENGINE_SOLVER_SUPERNODALCHOLESKY_H
#define ENGINE_SOLVER_SUPERNODALCHOLESKY_H

#include "engine/solver/weightblock.h"

#include <Eigen/Core>
#include <Eigen/SparseCore>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

// Sparse Cholesky factorization P A P' = L L' of a symmetric positive definite matrix, supernodal
// and multifrontal, so that nearly all of its work is done by dense block products.
//
// Analysis (once per pattern): the elimination order P (given by the caller, or an approximate
// minimum degree order), the elimination tree, put in postorder, the column counts of L, and the
// supernodes: runs of consecutive columns with the same pattern below their diagonal block (each
// column the only child of the next in the tree), whose rows are listed once per supernode. A
// small supernode is merged into its parent when this adds few explicit zeros.
//
// Factorization: A is laid into the storage of L, zeros elsewhere (the normal matrices of the
// engine are added up there directly). The supernodes are taken in postorder. Each one gathers its
// columns of A and the update matrices of its children into a dense frontal matrix on its rows,
// factors its diagonal block, solves for the block below, and leaves the Schur complement of the
// rest as its update matrix for its parent. A pivot that is not clearly positive (below
// `kPivotTolerance` of the matrix diagonal; the normal matrices of the engine are scaled to a unit
// diagonal) marks an undetermined unknown: the factorization records it, decouples that unknown and
// goes on, so that every such unknown can be named.
namespace engine {

// The first of the ascending rows [from, end) that is not below `row`. The rows sought in a
// supernode come in ascending order, mostly a few places on from the one found before: the
// search gallops from `from` before it halves.
inline const int *seekRow(const int *from, const int *end, int row)
{
    std::ptrdiff_t step = 1;
    while (step < end - from && from[step - 1] < row) {
        from += step;
        step *= 2;
    }
    return std::lower_bound(from, std::min(end, from + step), row);
}

class SupernodalCholesky
{
public:
    using Matrix = Eigen::SparseMatrix<double>;
    using Permutation = Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int>;

    // A run of columns first .. first + columns - 1 of L (in elimination order). Its block of L is
    // dense, rows x columns, column-major, at `values` offset `valueStart`; its rows (the first
    // `columns` being its own columns) at `rows` offset `rowStart`.
    struct Supernode
    {
        int first = 0;
        int columns = 0;
        int rowCount = 0;
        long rowStart = 0;
        long valueStart = 0;
        int parent = -1; // supernode, -1 for a root
    };

    // The analysis of a pattern: elimination order, supernodes and their rows. Shared between
    // the factorizations of matrices with the same pattern.
    struct Analysis
    {
        Permutation permutation; // indices()(i): position of unknown i in the elimination order
        std::vector<Supernode> supernodes;
        std::vector<int> rows;
        std::vector<int> supernodeOf; // per column (elimination order)
        long valueCount = 0;
        // Where entry (row, column) of the lower triangle, in elimination order, sits among the
        // values of L (row >= column); -1 when the pattern of L does not hold it.
        long valueIndex(int row, int column) const;
        int largestFront = 0; // rows of the largest supernode
        // The children of supernode s: children[childStart[s] .. childStart[s + 1]), ascending.
        std::vector<int> childStart;
        std::vector<int> children;
        // The elimination tree cut into subtrees that are worked independently (in parallel),
        // heaviest first, and the supernodes above them, worked after them in postorder. A subtree
        // is the run of supernodes first .. root; its update matrices live on a stack of its own
        // but for the root's, kept for the top at `rootUpdate` (per supernode, -1 when none) in
        // the top's storage. There the roots' updates lie at the end, in the order the top takes
        // them in, and the top's own stack grows from the start into the room of those taken.
        struct Subtree
        {
            int first = 0;
            int root = 0;
            long stackSize = 0;
            int largestUpdate = 0; // order of its largest update matrix
        };
        std::vector<Subtree> subtrees;
        std::vector<int> top;
        std::vector<long> rootUpdate;
        long topStorageSize = 0;
        int topLargestUpdate = 0;
    };

    // The elimination order to use, as the position of each unknown; an empty order asks for an
    // approximate minimum degree order of the pattern. Drops any analysis.
    void setOrdering(std::vector<int> position);

    // The analysis of the last matrix factored, and the way to hand it to another factorization
    // of matrices with the same pattern.
    std::shared_ptr<const Analysis> analysis() const { return m_analysis; }
    void setAnalysis(std::shared_ptr<const Analysis> analysis) { m_analysis = std::move(analysis); }

    // Analyses the pattern of the lower triangle of `pattern` (values unused), in the order set by
    // setOrdering(): the matrices factored next may hold any part of it.
    void analyzePattern(const Matrix &pattern);

    // Analyses the pattern of `matrix` (its lower triangle) unless it lies within the pattern
    // already analysed, then factors it. Only the lower triangle of `matrix` is read.
    void compute(const Matrix &matrix);

    // Factors the normal matrix S A' W A S of the rows of `design` (W = diag(weights) but for the
    // rows of `blocks`, which take their full weight matrices; S = diag(scale)), added up straight
    // into the storage of L without forming any other sparse matrix. False, with no factor left,
    // when there is no analysis or rows couple two unknowns outside the pattern of L.
    using Design = Eigen::SparseMatrix<double, Eigen::RowMajor>;
    bool computeNormal(const Design &design, const Eigen::VectorXd &weights,
                       const Eigen::VectorXd &scale,
                       const std::vector<WeightBlock> &blocks = std::vector<WeightBlock>());
    // computeNormal() in its two steps: adding up the normal matrix, then factoring it.
    bool formNormal(const Design &design, const Eigen::VectorXd &weights,
                    const Eigen::VectorXd &scale,
                    const std::vector<WeightBlock> &blocks = std::vector<WeightBlock>());
    void factorNormal();

    // Success once a matrix is factored (small pivots included: see vectorD()).
    Eigen::ComputationInfo info() const { return m_info; }

    // The pivots L(j, j)^2 in elimination order, as computed before any decoupling.
    const Eigen::VectorXd &vectorD() const { return m_pivots; }

    // indices()(i) is the position of unknown i in the elimination order.
    const Permutation &permutationP() const { return m_analysis->permutation; }

    // The solution x of A x = b, through the factor. Throws std::logic_error when there is no
    // factor (none computed, or its storage taken by takeValues()).
    Eigen::VectorXd solve(const Eigen::VectorXd &b) const;

    // Hands over the storage of L (the blocks of values()), for the selected inversion to
    // overwrite. The factor is gone until the next factorization, which the analysis still serves.
    Eigen::VectorXd takeValues();

    int size() const { return static_cast<int>(m_pivots.size()); }
    const std::vector<Supernode> &supernodes() const { return m_analysis->supernodes; }
    const std::vector<int> &rows() const { return m_analysis->rows; }
    const Eigen::VectorXd &values() const { return m_values; }
    const std::vector<int> &supernodeOf() const { return m_analysis->supernodeOf; }
    // Entries of L stored, explicit zeros of merged supernodes included.
    long storedEntries() const { return static_cast<long>(m_values.size()); }

private:
    void analyse(const Matrix &matrix, std::vector<int> position);
    // Factors the matrix laid in the storage of L (in elimination order, zeros elsewhere).
    void factorize();

    std::vector<int> m_requestedOrder;
    std::shared_ptr<const Analysis> m_analysis;
    Eigen::VectorXd m_values;    // the supernodal blocks of L, one after the other
    bool m_normalFormed = false; // by formNormal(), in the storage of L, not yet factored
    Eigen::VectorXd m_pivots;
    Eigen::ComputationInfo m_info = Eigen::InvalidInput;
};

// A pivot of the scaled normal matrix below this value marks an undetermined unknown. The scaling
// to a unit diagonal makes every pivot relative to its own column, and the Cholesky factor of
// such a matrix does not grow (no pivot and no entry of L exceeds 1), so rounding leaves a few
// units of 1e-16 per update on a pivot: an exactly singular system gives pivots near 1e-14. The
// bound is set where the inverse stops being usable: a pivot d costs N^-1 about log10(1 / d)
// digits, and at 1e-10 the redundancy numbers, differences 1 - p a'N^-1 a, keep about six.
// A geometry that is singular in truth but that the noise of the observations lifts above the
// bound (a resection point near its danger circle) is caught after the solve: see
// checkDetermination in engine/estimation/statistics.h.
constexpr double kPivotTolerance = 1e-10;

// Dense products on fronts wider than this many columns are split into blocks of this many
// columns (or rows), worked in parallel; the blocks depend on the sizes only, so that the results
// do not depend on the thread count. Lowered by tests to engage the split on small networks; 0
// restores the default.
void setFrontBlockSize(int columns);
int frontBlockSize();

// The work of factoring `matrix` (its lower triangle) in the order `position`: the sum over the
// columns of L of the square of their counts of nonzeros, about the number of multiplications.
double factorizationWork(const SupernodalCholesky::Matrix &matrix,
                         const std::vector<int> &position);

} // namespace engine

#endif // ENGINE_SOLVER_SUPERNODALCHOLESKY_H
