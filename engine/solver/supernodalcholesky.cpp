#include "engine/solver/supernodalcholesky.h"

#include "engine/base/largepages.h"
#include "engine/base/parallel.h"
#include "engine/base/parallelfailure.h"
#include "engine/base/text.h"
#include "engine/solver/frontkernels.h"

#include <Eigen/OrderingMethods>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <queue>
#include <stdexcept>

namespace engine {

namespace {

// Supernodes of at most this many columns are always merged with their parent when they can be;
// up to kRelaxLarge columns they are merged when at most kRelaxZeros of the merged block would be
// explicit zeros. Small dense blocks waste more time in overheads than zeros cost in arithmetic.
constexpr int kRelaxSmall = 4;
constexpr int kRelaxLarge = 48;
constexpr double kRelaxZeros = 0.25;

// Width of the column panels of the dense factorization of a diagonal block.
constexpr int kPanel = 48;

// The tree is cut until no subtree holds more than this share of the work of the factorization:
// enough subtrees to keep the threads busy whatever their number up to a few, few enough that the
// supernodes above them stay few.
constexpr double kSubtreeShare = 1.0 / 32.0;

constexpr int kDefaultFrontBlock = 128;

// Columns of the normal matrix added up together, by one thread.
constexpr Eigen::Index kColumnRun = 1024;
int frontBlock = kDefaultFrontBlock;

using Matrix = SupernodalCholesky::Matrix;
using Supernode = SupernodalCholesky::Supernode;

// The lower triangle of P A P' (A read from its lower triangle), with `position` the position of
// each unknown. Its entries are first placed in the columns of their larger position, then moved
// by a transposition to the columns of their smaller one, which they reach in ascending rows: two
// passes of counting, without a sort.
Matrix permutedLower(const Matrix &a, const std::vector<int> &position)
{
    const int n = static_cast<int>(a.cols());
    const auto forEachEntry = [&](const auto &place) {
        for (int j = 0; j < n; ++j) {
            const int pj = position[static_cast<std::size_t>(j)];
            for (Matrix::InnerIterator it(a, j); it; ++it) {
                if (it.row() < j)
                    continue;
                const int pi = position[static_cast<std::size_t>(it.row())];
                place(std::min(pi, pj), std::max(pi, pj), it.value());
            }
        }
    };
    std::vector<int> counts(static_cast<std::size_t>(n) + 1, 0);
    forEachEntry([&](int, int larger, double) { ++counts[static_cast<std::size_t>(larger) + 1]; });
    std::partial_sum(counts.begin(), counts.end(), counts.begin());
    Matrix upper(n, n);
    upper.resizeNonZeros(counts.back());
    std::copy(counts.begin(), counts.end(), upper.outerIndexPtr());
    std::vector<int> next(counts.begin(), counts.end() - 1);
    forEachEntry([&](int smaller, int larger, double value) {
        const int slot = next[static_cast<std::size_t>(larger)]++;
        upper.innerIndexPtr()[slot] = smaller;
        upper.valuePtr()[slot] = value;
    });
    return Matrix(upper.transpose());
}

// Elimination tree of a lower pattern (Liu's algorithm with path compression); -1 for a root.
std::vector<int> eliminationTree(const Matrix &lower)
{
    const int n = static_cast<int>(lower.cols());
    // Rows of the lower triangle: for row k, the columns j < k.
    const Matrix upper = lower.transpose();
    std::vector<int> parent(static_cast<std::size_t>(n), -1);
    std::vector<int> ancestor(static_cast<std::size_t>(n), -1);
    for (int k = 0; k < n; ++k) {
        for (Matrix::InnerIterator it(upper, k); it; ++it) {
            int r = static_cast<int>(it.row());
            if (r >= k)
                continue;
            while (ancestor[static_cast<std::size_t>(r)] != -1 &&
                   ancestor[static_cast<std::size_t>(r)] != k) {
                const int next = ancestor[static_cast<std::size_t>(r)];
                ancestor[static_cast<std::size_t>(r)] = k;
                r = next;
            }
            if (ancestor[static_cast<std::size_t>(r)] == -1) {
                ancestor[static_cast<std::size_t>(r)] = k;
                parent[static_cast<std::size_t>(r)] = k;
            }
        }
    }
    return parent;
}

// A postorder of the forest `parent`: post[k] is the k-th node visited; children in ascending
// order, so that an order that is already a postorder is kept.
std::vector<int> postorder(const std::vector<int> &parent)
{
    const auto n = parent.size();
    std::vector<int> head(n, -1);
    std::vector<int> next(n, -1);
    for (auto j = static_cast<long>(n) - 1; j >= 0; --j) {
        const int p = parent[static_cast<std::size_t>(j)];
        if (p >= 0) {
            next[static_cast<std::size_t>(j)] = head[static_cast<std::size_t>(p)];
            head[static_cast<std::size_t>(p)] = static_cast<int>(j);
        }
    }
    std::vector<int> post;
    post.reserve(n);
    std::vector<int> stack;
    for (std::size_t root = 0; root < n; ++root) {
        if (parent[root] != -1)
            continue;
        stack.push_back(static_cast<int>(root));
        while (!stack.empty()) {
            const int top = stack.back();
            const int child = head[static_cast<std::size_t>(top)];
            if (child == -1) {
                post.push_back(top);
                stack.pop_back();
            } else {
                head[static_cast<std::size_t>(top)] = next[static_cast<std::size_t>(child)];
                stack.push_back(child);
            }
        }
    }
    return post;
}

// Off-diagonal nonzeros of each column of L, from the pattern of the lower triangle alone, in
// time about that of the pattern's entries (Gilbert, Ng and Peyton, "An efficient algorithm to
// compute row and column counts for sparse Cholesky factorization", 1994): every column j counts
// the rows i > j whose row subtree reaches j, as differences summed up the tree. `post` is a
// postorder of the tree `parent`.
std::vector<int> columnCounts(const Matrix &lower, const std::vector<int> &parent,
                              const std::vector<int> &post)
{
    const auto n = static_cast<std::size_t>(lower.cols());
    std::vector<int> delta(n, 0);
    std::vector<int> first(n, -1); // the first descendant of each column, in the postorder
    for (std::size_t k = 0; k < n; ++k) {
        int j = post[k];
        delta[static_cast<std::size_t>(j)] = first[static_cast<std::size_t>(j)] == -1 ? 1 : 0;
        for (; j != -1 && first[static_cast<std::size_t>(j)] == -1;
             j = parent[static_cast<std::size_t>(j)])
            first[static_cast<std::size_t>(j)] = static_cast<int>(k);
    }
    std::vector<int> maxFirst(n, -1);
    std::vector<int> previousLeaf(n, -1);
    std::vector<int> ancestor(n);
    std::iota(ancestor.begin(), ancestor.end(), 0);
    for (std::size_t k = 0; k < n; ++k) {
        const int j = post[k];
        const auto uj = static_cast<std::size_t>(j);
        const int p = parent[uj];
        if (p != -1)
            --delta[static_cast<std::size_t>(p)];
        for (Matrix::InnerIterator it(lower, j); it; ++it) {
            const auto i = static_cast<std::size_t>(it.row());
            // Is j a leaf of the row subtree of i, and the first one met since the last?
            if (static_cast<int>(i) <= j || first[uj] <= maxFirst[i])
                continue;
            maxFirst[i] = first[uj];
            const int previous = previousLeaf[i];
            previousLeaf[i] = j;
            ++delta[uj];
            if (previous == -1)
                continue;
            // The least common ancestor of this leaf and the previous one, with path compression.
            int q = previous;
            while (q != ancestor[static_cast<std::size_t>(q)])
                q = ancestor[static_cast<std::size_t>(q)];
            for (int v = previous; v != q;) {
                const int next = ancestor[static_cast<std::size_t>(v)];
                ancestor[static_cast<std::size_t>(v)] = q;
                v = next;
            }
            --delta[static_cast<std::size_t>(q)];
        }
        if (p != -1)
            ancestor[uj] = p;
    }
    for (std::size_t j = 0; j < n; ++j) {
        if (parent[j] != -1)
            delta[static_cast<std::size_t>(parent[j])] += delta[j];
    }
    for (int &count : delta)
        --count;
    return delta;
}

// Dense Cholesky of the leading `k` x `k` block of `f` in place (lower triangle), with the pivots
// before any decoupling into `pivots`. A pivot that is not clearly positive decouples its unknown.
void denseCholesky(Eigen::Ref<Eigen::MatrixXd> f, Eigen::Ref<Eigen::VectorXd> pivots)
{
    const Eigen::Index k = f.cols();
    for (Eigen::Index j0 = 0; j0 < k; j0 += kPanel) {
        const Eigen::Index width = std::min<Eigen::Index>(kPanel, k - j0);
        for (Eigen::Index j = j0; j < j0 + width; ++j) {
            const double d = f(j, j);
            pivots(j) = d;
            const Eigen::Index below = k - j - 1;
            if (!(d > kPivotTolerance)) {
                f(j, j) = 1.0;
                f.col(j).tail(below).setZero();
                continue;
            }
            const double l = std::sqrt(d);
            f(j, j) = l;
            f.col(j).tail(below) /= l;
            const Eigen::Index rest = j0 + width - j - 1;
            if (rest > 0)
                f.block(j + 1, j + 1, below, rest).noalias() -=
                    f.col(j).tail(below) * f.col(j).segment(j + 1, rest).transpose();
        }
        const Eigen::Index trailing = k - j0 - width;
        if (trailing > 0)
            subtractLowerProduct(f.block(j0 + width, j0 + width, trailing, trailing),
                                 f.block(j0 + width, j0, trailing, width));
    }
}

bool isPermutation(const std::vector<int> &position, int n)
{
    if (static_cast<int>(position.size()) != n)
        return false;
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    for (int p : position) {
        if (p < 0 || p >= n || seen[static_cast<std::size_t>(p)])
            return false;
        seen[static_cast<std::size_t>(p)] = true;
    }
    return true;
}

std::vector<int> positionsOf(const SupernodalCholesky::Permutation &permutation)
{
    const auto &indices = permutation.indices();
    return std::vector<int>(indices.data(), indices.data() + indices.size());
}

// An approximate minimum degree order of the pattern of `matrix` (its lower triangle).
std::vector<int> minimumDegreeOrder(const Matrix &matrix)
{
    Eigen::AMDOrdering<int> amd;
    SupernodalCholesky::Permutation inverse;
    const Matrix full = matrix.selfadjointView<Eigen::Lower>();
    amd(full, inverse);
    return positionsOf(inverse.inverse());
}

using Analysis = SupernodalCholesky::Analysis;

// The supernode that holds column j of L (elimination order).
const Supernode &ownerOf(const Analysis &symbolic, int column)
{
    return symbolic.supernodes[static_cast<std::size_t>(
        symbolic.supernodeOf[static_cast<std::size_t>(column)])];
}

// The first value of column j of L, or the count of values for j = n.
long columnStart(const Analysis &symbolic, int column)
{
    if (column >= static_cast<int>(symbolic.supernodeOf.size()))
        return symbolic.valueCount;
    const Supernode &node = ownerOf(symbolic, column);
    return node.valueStart + static_cast<long>(column - node.first) * node.rowCount;
}

bool withinPattern(const Matrix &lower, const Analysis &symbolic)
{
    if (static_cast<std::size_t>(lower.cols()) != symbolic.supernodeOf.size())
        return false;
    for (Eigen::Index j = 0; j < lower.cols(); ++j) {
        for (Matrix::InnerIterator it(lower, j); it; ++it) {
            if (symbolic.valueIndex(static_cast<int>(it.row()), static_cast<int>(j)) < 0)
                return false;
        }
    }
    return true;
}

// Work storage of one thread of the factorization: the part of its frontal matrix below the
// current supernode's block of L (where the update matrix is computed), its stack of update
// matrices and the position of each row in the current front.
struct Workspace
{
    Eigen::VectorXd front;
    Eigen::VectorXd stack;
    std::vector<int> position;
};

// An update matrix is kept as its lower triangle alone, column after column: half the memory of
// the square, where the update matrices of the subtrees' roots wait for the top of the tree.
long packedSize(long order)
{
    return order * (order + 1) / 2;
}

// Where column `column` of a packed lower triangle of order `order` starts.
long packedColumn(long order, long column)
{
    return column * order - column * (column - 1) / 2;
}

// The order of a supernode's update matrix: its rows below its diagonal block.
int updateOrder(const Supernode &node)
{
    return node.rowCount - node.columns;
}

long updateSize(const Supernode &node)
{
    return packedSize(updateOrder(node));
}

// Cuts the tree into subtrees of at most kSubtreeShare of the work each, by splitting the heaviest
// subtree at its root while it is above that share, and sizes the stacks of update matrices: a
// supernode takes its children's updates off the top of its stack (or from the roots' updates),
// then puts its own.
void cutTree(Analysis &symbolic)
{
    const auto count = symbolic.supernodes.size();
    std::vector<double> work(count, 0.0);
    std::vector<int> firstOf(count);
    double total = 0.0;
    for (std::size_t s = 0; s < count; ++s) {
        const Supernode &node = symbolic.supernodes[s];
        const int firstChild = symbolic.childStart[s];
        firstOf[s] = firstChild < symbolic.childStart[s + 1]
                         ? firstOf[static_cast<std::size_t>(
                               symbolic.children[static_cast<std::size_t>(firstChild)])]
                         : static_cast<int>(s);
        work[s] += static_cast<double>(node.columns) * node.rowCount * node.rowCount;
        if (node.parent >= 0)
            work[static_cast<std::size_t>(node.parent)] += work[s];
        else
            total += work[s];
    }
    using Candidate = std::pair<double, int>;
    std::priority_queue<Candidate> heaviest;
    for (std::size_t s = 0; s < count; ++s) {
        if (symbolic.supernodes[s].parent < 0)
            heaviest.emplace(work[s], static_cast<int>(s));
    }
    std::vector<char> above(count, 0);
    while (!heaviest.empty() && heaviest.top().first > kSubtreeShare * total) {
        const int s = heaviest.top().second;
        heaviest.pop();
        above[static_cast<std::size_t>(s)] = 1;
        for (int p = symbolic.childStart[static_cast<std::size_t>(s)];
             p < symbolic.childStart[static_cast<std::size_t>(s) + 1]; ++p) {
            const int child = symbolic.children[static_cast<std::size_t>(p)];
            heaviest.emplace(work[static_cast<std::size_t>(child)], child);
        }
    }
    symbolic.rootUpdate.assign(count, -1);
    symbolic.subtrees.clear();
    for (; !heaviest.empty(); heaviest.pop()) {
        const int root = heaviest.top().second;
        const auto r = static_cast<std::size_t>(root);
        Analysis::Subtree tree;
        tree.first = firstOf[r];
        tree.root = root;
        long top = 0;
        for (int s = tree.first; s <= root; ++s) {
            const auto us = static_cast<std::size_t>(s);
            for (int p = symbolic.childStart[us]; p < symbolic.childStart[us + 1]; ++p)
                top -= updateSize(symbolic.supernodes[static_cast<std::size_t>(
                    symbolic.children[static_cast<std::size_t>(p)])]);
            if (s != root)
                top += updateSize(symbolic.supernodes[us]);
            tree.stackSize = std::max(tree.stackSize, top);
            tree.largestUpdate = std::max(tree.largestUpdate, updateOrder(symbolic.supernodes[us]));
        }
        symbolic.subtrees.push_back(tree);
    }
    // The roots' updates in the order the top takes them in, and the room they and the top's
    // stack need together at the most.
    std::vector<int> takenIn;
    long waiting = 0;
    for (const Analysis::Subtree &tree : symbolic.subtrees)
        waiting += updateSize(symbolic.supernodes[static_cast<std::size_t>(tree.root)]);
    symbolic.top.clear();
    symbolic.topStorageSize = waiting;
    symbolic.topLargestUpdate = 0;
    long top = 0;
    for (std::size_t s = 0; s < count; ++s) {
        if (!above[s])
            continue;
        symbolic.top.push_back(static_cast<int>(s));
        for (int p = symbolic.childStart[s]; p < symbolic.childStart[s + 1]; ++p) {
            const int child = symbolic.children[static_cast<std::size_t>(p)];
            const long size = updateSize(symbolic.supernodes[static_cast<std::size_t>(child)]);
            if (above[static_cast<std::size_t>(child)]) {
                top -= size;
            } else if (size > 0) {
                takenIn.push_back(child);
                waiting -= size;
            }
        }
        top += updateSize(symbolic.supernodes[s]);
        symbolic.topStorageSize = std::max(symbolic.topStorageSize, top + waiting);
        symbolic.topLargestUpdate =
            std::max(symbolic.topLargestUpdate, updateOrder(symbolic.supernodes[s]));
    }
    // A supernode of the top writes its update only once it has taken in its children's: the
    // roots' updates it overwrites are those it has just taken.
    long at = symbolic.topStorageSize;
    for (auto root = takenIn.rbegin(); root != takenIn.rend(); ++root) {
        at -= updateSize(symbolic.supernodes[static_cast<std::size_t>(*root)]);
        symbolic.rootUpdate[static_cast<std::size_t>(*root)] = at;
    }
}

// Resizes `v` to `size` entries, asking for huge pages over new storage before it is first
// written: a first factorization otherwise spends half its time in page faults. Large storage is
// then zeroed by every thread at once, so that the faults that remain, as costly as the
// factorization's own work on a virtual machine, are taken on every core; unless the caller
// writes it first on every core itself.
enum class FirstTouch { Together, ByCaller };
void resizeStorage(Eigen::VectorXd &v, Eigen::Index size, FirstTouch touch = FirstTouch::Together)
{
    constexpr Eigen::Index kTouchedTogether = Eigen::Index(1) << 22;
    if (v.size() == size)
        return;
    v.resize(size);
    adviseLargePages(v.data(), static_cast<std::size_t>(size) * sizeof(double));
    if (size < kTouchedTogether || touch == FirstTouch::ByCaller)
        return;
    constexpr Eigen::Index kPiece = Eigen::Index(1) << 18;
    const Eigen::Index pieces = (size + kPiece - 1) / kPiece;
#pragma omp parallel for schedule(static)
    for (Eigen::Index p = 0; p < pieces; ++p)
        v.segment(p * kPiece, std::min(kPiece, size - p * kPiece)).setZero();
}

void prepare(Workspace &work, int n, int largestUpdate, long stackSize)
{
    const auto front = static_cast<Eigen::Index>(largestUpdate) * largestUpdate;
    if (work.front.size() < front)
        resizeStorage(work.front, front);
    if (work.stack.size() < stackSize)
        resizeStorage(work.stack, stackSize);
    if (work.position.size() != static_cast<std::size_t>(n))
        work.position.assign(static_cast<std::size_t>(n), -1);
}

// What the factorization of a supernode reads and writes besides its workspace. Each supernode
// writes its own columns of L, its own pivots and its own entry of `updateAt`.
struct FrontContext
{
    const Analysis &symbolic;
    double *values; // L, where the columns not yet factored hold those of the matrix
    double *pivots;
    std::vector<const double *> &updateAt; // per supernode, its update matrix
    double *topStorage;                    // where the roots' updates wait for the top
};

// The frontal matrix of a supernode of m rows and k columns, lower triangle: its first k columns
// are its block of L itself, the others (the rows and columns below) a square of order m - k in
// the workspace.
struct Front
{
    double *block;
    double *update;
    int m;
    int k;
};

// Adds the update matrix of a child (`size` rows `rows`, packed lower triangle) into `front`.
void extendAdd(const Front &front, const std::vector<int> &position, const double *data, int size,
               const int *rows)
{
    const int below = front.m - front.k;
    // Each column of the update lands in a column of its own: at front row r, base[offset + r].
#pragma omp parallel for schedule(dynamic, 16) if (size > frontBlock && !omp_in_parallel())
    for (int b = 0; b < size; ++b) {
        const int column = position[static_cast<std::size_t>(rows[b])];
        const bool inBlock = column < front.k;
        double *const base = inBlock ? front.block : front.update;
        const long offset = inBlock ? static_cast<long>(column) * front.m
                                    : static_cast<long>(column - front.k) * below - front.k;
        const double *entry = data + packedColumn(size, b) - b;
        for (int a = b; a < size; ++a)
            base[offset + position[static_cast<std::size_t>(rows[a])]] += entry[a];
    }
}

// The supernode `s`: gathers its frontal matrix, factors it, leaves its update matrix on top of
// the workspace's stack (or with the subtrees' roots) and its block in L.
void factorSupernode(const FrontContext &context, int s, Workspace &work, long &top)
{
    const Analysis &symbolic = context.symbolic;
    const auto us = static_cast<std::size_t>(s);
    const Supernode &node = symbolic.supernodes[us];
    const int m = node.rowCount;
    const int k = node.columns;
    const int *rows = symbolic.rows.data() + node.rowStart;
    for (int t = 0; t < m; ++t)
        work.position[static_cast<std::size_t>(rows[t])] = t;

    // The supernode's columns of the matrix are already in its block of L; the rest of the front
    // starts at zero, its lower triangle alone being used.
    const int below = m - k;
    Eigen::Map<Eigen::MatrixXd> block(context.values + node.valueStart, m, k);
    Eigen::Map<Eigen::MatrixXd> update(work.front.data(), below, below);
#pragma omp parallel for schedule(static) if (below > frontBlock && !omp_in_parallel())
    for (int c = 0; c < below; ++c)
        update.col(c).tail(below - c).setZero();
    const Front front{block.data(), update.data(), m, k};
    // The children's updates, the last child first as they come off the stack.
    for (int p = symbolic.childStart[us + 1] - 1; p >= symbolic.childStart[us]; --p) {
        const auto child = static_cast<std::size_t>(symbolic.children[static_cast<std::size_t>(p)]);
        const Supernode &c = symbolic.supernodes[child];
        const int size = c.rowCount - c.columns;
        if (size == 0)
            continue;
        const double *data = context.updateAt[child];
        extendAdd(front, work.position, data, size, symbolic.rows.data() + c.rowStart + c.columns);
        if (symbolic.rootUpdate[child] < 0)
            top = data - work.stack.data();
    }

    denseCholesky(block.topRows(k), Eigen::Map<Eigen::VectorXd>(context.pivots + node.first, k));
    if (below > 0) {
        auto l21 = block.bottomRows(below);
        solveTransposedOnTheRight(block.topRows(k), l21);
        subtractLowerProduct(update, l21);
        const long at = symbolic.rootUpdate[us];
        double *data = at >= 0 ? context.topStorage + at : work.stack.data() + top;
        for (int b = 0; b < below; ++b)
            Eigen::Map<Eigen::VectorXd>(data + packedColumn(below, b), below - b) =
                update.col(b).tail(below - b);
        context.updateAt[us] = data;
        if (at < 0)
            top += packedSize(below);
    }
    block.topRows(k).triangularView<Eigen::StrictlyUpper>().setZero();
}

} // namespace

long SupernodalCholesky::Analysis::valueIndex(int row, int column) const
{
    // The rows of a supernode ascend, its own columns first.
    const Supernode &node = ownerOf(*this, column);
    const int offset = column - node.first;
    const int *own = rows.data() + node.rowStart;
    const int *end = own + node.rowCount;
    const int *found = std::lower_bound(own + offset, end, row);
    if (found == end || *found != row)
        return -1;
    return columnStart(*this, column) + (found - own);
}

void setFrontBlockSize(int columns)
{
    frontBlock = columns > 0 ? columns : kDefaultFrontBlock;
}

int frontBlockSize()
{
    return frontBlock;
}

double factorizationWork(const Matrix &matrix, const std::vector<int> &position)
{
    const int n = static_cast<int>(matrix.cols());
    if (!isPermutation(position, n))
        return 0.0;
    const Matrix lower = permutedLower(matrix, position);
    const std::vector<int> parent = eliminationTree(lower);
    double work = 0.0;
    for (int count : columnCounts(lower, parent, postorder(parent)))
        work += (count + 1.0) * (count + 1.0);
    return work;
}

void SupernodalCholesky::setOrdering(std::vector<int> position)
{
    m_requestedOrder = std::move(position);
    m_analysis.reset();
}

void SupernodalCholesky::analyzePattern(const Matrix &pattern)
{
    const int n = static_cast<int>(pattern.cols());
    if (pattern.rows() != n)
        return;
    std::vector<int> order = m_requestedOrder;
    if (!isPermutation(order, n))
        order = minimumDegreeOrder(pattern);
    analyse(pattern, order);
}

void SupernodalCholesky::compute(const Matrix &matrix)
{
    m_info = Eigen::InvalidInput;
    const int n = static_cast<int>(matrix.cols());
    if (matrix.rows() != n)
        return;
    std::vector<int> order = m_requestedOrder;
    Matrix lower;
    if (m_analysis && m_analysis->permutation.size() == n) {
        order = positionsOf(m_analysis->permutation);
        lower = permutedLower(matrix, order);
        // A pattern that grew needs a new analysis, in the same order.
        if (!withinPattern(lower, *m_analysis))
            m_analysis.reset();
    }
    if (!m_analysis) {
        if (!isPermutation(order, n))
            order = minimumDegreeOrder(matrix);
        analyse(matrix, order);
        lower = permutedLower(matrix, positionsOf(m_analysis->permutation));
    }
    resizeStorage(m_values, m_analysis->valueCount);
    m_values.setZero();
    for (int j = 0; j < n; ++j) {
        for (Matrix::InnerIterator it(lower, j); it; ++it)
            m_values(m_analysis->valueIndex(static_cast<int>(it.row()), j)) += it.value();
    }
    factorize();
    m_info = Eigen::Success;
}

bool SupernodalCholesky::computeNormal(const Design &design, const Eigen::VectorXd &weights,
                                       const Eigen::VectorXd &scale,
                                       const std::vector<WeightBlock> &blocks)
{
    if (!formNormal(design, weights, scale, blocks))
        return false;
    factorNormal();
    return true;
}

void SupernodalCholesky::factorNormal()
{
    if (!m_normalFormed)
        return;
    m_normalFormed = false;
    factorize();
    m_info = Eigen::Success;
}

bool SupernodalCholesky::formNormal(const Design &design, const Eigen::VectorXd &weights,
                                    const Eigen::VectorXd &scale,
                                    const std::vector<WeightBlock> &blocks)
{
    m_info = Eigen::InvalidInput;
    m_normalFormed = false;
    const auto n = design.cols();
    if (!m_analysis || m_analysis->permutation.size() != n || scale.size() != n ||
        weights.size() != design.rows())
        return false;
    // The matrix is added up in the storage of L, where the factorization reads it: each product
    // of two entries of a row finds its place among the rows of its column's supernode.
    const Analysis &symbolic = *m_analysis;
    resizeStorage(m_values, symbolic.valueCount, FirstTouch::ByCaller);
    double *values = m_values.data();
    const auto &position = m_analysis->permutation.indices();
    // The columns are cut into runs placed by their count alone. Each run adds up the products
    // that land in it, from the rows of the design that touch it, in their order: every entry is
    // summed in the order of the rows whatever the thread count.
    const auto runs = static_cast<std::size_t>((n + kColumnRun - 1) / kColumnRun);
    std::vector<long> runStart(runs + 1, 0);
    std::vector<Eigen::Index> lastRow(runs, -1);
    const auto runOf = [&](Eigen::Index column) {
        return static_cast<std::size_t>(position(column) / kColumnRun);
    };
    for (Eigen::Index i = 0; i < design.rows(); ++i) {
        for (Design::InnerIterator it(design, i); it; ++it) {
            const std::size_t run = runOf(it.col());
            if (lastRow[run] != i) {
                lastRow[run] = i;
                ++runStart[run + 1];
            }
        }
    }
    std::partial_sum(runStart.begin(), runStart.end(), runStart.begin());
    std::vector<Eigen::Index> runRows(static_cast<std::size_t>(runStart.back()));
    std::vector<long> next(runStart.begin(), runStart.end() - 1);
    std::fill(lastRow.begin(), lastRow.end(), -1);
    for (Eigen::Index i = 0; i < design.rows(); ++i) {
        for (Design::InnerIterator it(design, i); it; ++it) {
            const std::size_t run = runOf(it.col());
            if (lastRow[run] != i) {
                lastRow[run] = i;
                runRows[static_cast<std::size_t>(next[run]++)] = i;
            }
        }
    }
    bool outside = false;
    ParallelFailure failure;
#pragma omp parallel for schedule(dynamic, 1) reduction(|| : outside)
    for (std::size_t run = 0; run < runs; ++run) {
        failure.run([&] {
            const auto first = static_cast<int>(run * kColumnRun);
            const auto end = static_cast<int>(std::min<Eigen::Index>(n, first + kColumnRun));
            std::fill(values + columnStart(symbolic, first), values + columnStart(symbolic, end),
                      0.0);
            // A row's entries by position: those below an entry in the lower triangle come after
            // it, and their rows are found in one walk down its column's supernode. The product of
            // a pair takes its factors in the design's order, whatever their positions.
            struct Entry
            {
                int position;
                int index; // in the row of the design
                double value;
            };
            std::vector<Entry> entries;
            for (long p = runStart[run]; p < runStart[run + 1]; ++p) {
                const Eigen::Index i = runRows[static_cast<std::size_t>(p)];
                entries.clear();
                for (Design::InnerIterator it(design, i); it; ++it)
                    entries.push_back({position(it.col()), static_cast<int>(entries.size()),
                                       it.value() * scale(it.col())});
                std::sort(entries.begin(), entries.end(),
                          [](const Entry &x, const Entry &y) { return x.position < y.position; });
                const double w = weights(i);
                for (auto b = entries.begin(); b != entries.end(); ++b) {
                    const int column = b->position;
                    if (column < first || column >= end)
                        continue;
                    const Supernode &node = ownerOf(symbolic, column);
                    const int *nodeRows = symbolic.rows.data() + node.rowStart;
                    const int *nodeEnd = nodeRows + node.rowCount;
                    const int *found = nodeRows + (column - node.first);
                    double *columnValues = values + columnStart(symbolic, column);
                    for (auto a = b; a != entries.end(); ++a) {
                        found = seekRow(found, nodeEnd, a->position);
                        if (found == nodeEnd || *found != a->position) {
                            outside = true;
                            break;
                        }
                        const bool later = a->index > b->index;
                        columnValues[found - nodeRows] +=
                            w * (later ? a->value : b->value) * (later ? b->value : a->value);
                    }
                }
            }
        });
    }
    failure.rethrow();
    if (outside)
        return false;
    // A block adds w_ab a_a a_b' for every pair of its rows; each product lands in the lower
    // triangle once, from the ordered pair whose first entry is the lower.
    std::vector<std::vector<std::pair<int, double>>> blockRows;
    for (const WeightBlock &block : blocks) {
        const Eigen::Index k = block.size();
        if (block.first < 0 || block.first + k > design.rows())
            return false;
        blockRows.assign(static_cast<std::size_t>(k), {});
        for (Eigen::Index r = 0; r < k; ++r) {
            for (Design::InnerIterator it(design, block.first + r); it; ++it)
                blockRows[static_cast<std::size_t>(r)].emplace_back(position(it.col()),
                                                                    it.value() * scale(it.col()));
        }
        for (Eigen::Index a = 0; a < k; ++a) {
            for (Eigen::Index b = 0; b < k; ++b) {
                const double w = block.weight(a, b);
                for (const auto &[pa, va] : blockRows[static_cast<std::size_t>(a)]) {
                    for (const auto &[pb, vb] : blockRows[static_cast<std::size_t>(b)]) {
                        if (pa < pb)
                            continue;
                        const long at = symbolic.valueIndex(pa, pb);
                        if (at < 0)
                            return false;
                        values[at] += w * va * vb;
                    }
                }
            }
        }
    }
    m_normalFormed = true;
    return true;
}

void SupernodalCholesky::analyse(const Matrix &matrix, std::vector<int> position)
{
    const int n = static_cast<int>(matrix.cols());
    auto symbolic = std::make_shared<Analysis>();

    // Postorder the elimination tree so that every subtree is a run of consecutive columns. The
    // tree of the matrix in that order is the same tree, relabelled, and the postorder its own.
    const std::vector<int> tree = eliminationTree(permutedLower(matrix, position));
    const std::vector<int> post = postorder(tree);
    std::vector<int> relabel(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        relabel[static_cast<std::size_t>(post[static_cast<std::size_t>(k)])] = k;
    for (int &p : position)
        p = relabel[static_cast<std::size_t>(p)];
    symbolic->permutation.indices() = Eigen::Map<const Eigen::VectorXi>(position.data(), n);
    const Matrix lower = permutedLower(matrix, position);
    std::vector<int> parent(static_cast<std::size_t>(n), -1);
    std::vector<int> identity(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int p = tree[static_cast<std::size_t>(post[static_cast<std::size_t>(k)])];
        parent[static_cast<std::size_t>(k)] = p == -1 ? -1 : relabel[static_cast<std::size_t>(p)];
        identity[static_cast<std::size_t>(k)] = k;
    }
    const std::vector<int> counts = columnCounts(lower, parent, identity);

    // Children counts in the column tree, for the fundamental supernodes.
    std::vector<int> children(static_cast<std::size_t>(n), 0);
    for (int j = 0; j < n; ++j) {
        if (parent[static_cast<std::size_t>(j)] >= 0)
            ++children[static_cast<std::size_t>(parent[static_cast<std::size_t>(j)])];
    }

    // Fundamental supernodes, then relaxed: a supernode absorbs the one just before it when that
    // one is its child and the merge adds few zeros. `below` is the count of rows under a
    // supernode's diagonal block; `zeros` the explicit zeros it holds.
    struct Group
    {
        int first;
        int columns;
        long below;
        long zeros;
    };
    std::vector<Group> groups;
    for (int j = 0; j < n; ++j) {
        const auto uj = static_cast<std::size_t>(j);
        const bool extends = j > 0 && parent[uj - 1] == j && children[uj] == 1 &&
                             counts[uj - 1] == counts[uj] + 1 && !groups.empty() &&
                             groups.back().first + groups.back().columns == j;
        if (extends) {
            ++groups.back().columns;
            groups.back().below = counts[uj];
            continue;
        }
        Group group{j, 1, counts[uj], 0};
        while (!groups.empty()) {
            const Group &child = groups.back();
            const int childLast = child.first + child.columns - 1;
            if (parent[static_cast<std::size_t>(childLast)] != j)
                break;
            // Every column of the child takes the rows of the new group's columns and below.
            const long extra =
                static_cast<long>(child.columns) * (group.columns + group.below - child.below);
            const long columns = child.columns + group.columns;
            const long entries = columns * (columns + 1) / 2 + columns * group.below;
            const long zeros = child.zeros + group.zeros + extra;
            const bool merge =
                columns <= kRelaxSmall ||
                (columns <= kRelaxLarge &&
                 static_cast<double>(zeros) <= kRelaxZeros * static_cast<double>(entries));
            if (!merge)
                break;
            group.first = child.first;
            group.columns = static_cast<int>(columns);
            group.zeros = zeros;
            groups.pop_back();
        }
        groups.push_back(group);
    }
    // A group that extends by further columns later keeps absorbing: the loop above merges only
    // when a new group starts, which is enough since each group is final once the next starts.

    const auto supernodeCount = groups.size();
    symbolic->supernodeOf.resize(static_cast<std::size_t>(n));
    symbolic->supernodes.resize(supernodeCount);
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        Supernode &node = symbolic->supernodes[s];
        node.first = groups[s].first;
        node.columns = groups[s].columns;
        for (int j = node.first; j < node.first + node.columns; ++j)
            symbolic->supernodeOf[static_cast<std::size_t>(j)] = static_cast<int>(s);
    }
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        Supernode &node = symbolic->supernodes[s];
        const int p = parent[static_cast<std::size_t>(node.first + node.columns - 1)];
        node.parent = p < 0 ? -1 : symbolic->supernodeOf[static_cast<std::size_t>(p)];
    }

    // Rows of each supernode: its columns, the rows of A below them, and the rows of its children
    // below the children's own columns.
    std::vector<std::vector<int>> childLists(supernodeCount);
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        if (symbolic->supernodes[s].parent >= 0)
            childLists[static_cast<std::size_t>(symbolic->supernodes[s].parent)].push_back(
                static_cast<int>(s));
    }
    std::vector<int> mark(static_cast<std::size_t>(n), -1);
    std::vector<int> gathered;
    long rowTotal = 0;
    long valueTotal = 0;
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        Supernode &node = symbolic->supernodes[s];
        const int last = node.first + node.columns - 1;
        gathered.clear();
        auto take = [&](int row) {
            if (row > last && mark[static_cast<std::size_t>(row)] != static_cast<int>(s)) {
                mark[static_cast<std::size_t>(row)] = static_cast<int>(s);
                gathered.push_back(row);
            }
        };
        for (int j = node.first; j <= last; ++j) {
            for (Matrix::InnerIterator it(lower, j); it; ++it)
                take(static_cast<int>(it.row()));
        }
        for (int child : childLists[s]) {
            const Supernode &c = symbolic->supernodes[static_cast<std::size_t>(child)];
            for (int t = c.columns; t < c.rowCount; ++t)
                take(symbolic->rows[static_cast<std::size_t>(c.rowStart + t)]);
        }
        std::sort(gathered.begin(), gathered.end());
        node.rowStart = rowTotal;
        node.rowCount = node.columns + static_cast<int>(gathered.size());
        node.valueStart = valueTotal;
        for (int j = node.first; j <= last; ++j)
            symbolic->rows.push_back(j);
        symbolic->rows.insert(symbolic->rows.end(), gathered.begin(), gathered.end());
        rowTotal += node.rowCount;
        valueTotal += static_cast<long>(node.rowCount) * node.columns;
    }
    symbolic->valueCount = valueTotal;
    symbolic->childStart.assign(supernodeCount + 1, 0);
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        symbolic->childStart[s + 1] =
            symbolic->childStart[s] + static_cast<int>(childLists[s].size());
        symbolic->children.insert(symbolic->children.end(), childLists[s].begin(),
                                  childLists[s].end());
        symbolic->largestFront = std::max(symbolic->largestFront, symbolic->supernodes[s].rowCount);
    }
    cutTree(*symbolic);
    m_analysis = std::move(symbolic);
}

void SupernodalCholesky::factorize()
{
    const Analysis &symbolic = *m_analysis;
    const auto n = static_cast<int>(symbolic.supernodeOf.size());
    m_pivots.setZero(n);
    // The work storage lives for this factorization only: handed back when it ends, it adds
    // nothing to the stages that follow (the design matrix taken again, the inversion).
    Eigen::VectorXd topStorage;
    resizeStorage(topStorage, symbolic.topStorageSize);
    std::vector<Workspace> workspaces(static_cast<std::size_t>(std::max(1, threadCount())));
    std::vector<const double *> updateAt(symbolic.supernodes.size(), nullptr);
    const FrontContext context{symbolic, m_values.data(), m_pivots.data(), updateAt,
                               topStorage.data()};
    const auto subtreeCount = static_cast<long>(symbolic.subtrees.size());
    ParallelFailure failure;
#pragma omp parallel for schedule(dynamic, 1)
    for (long t = 0; t < subtreeCount; ++t) {
        failure.run([&] {
            const Analysis::Subtree &tree = symbolic.subtrees[static_cast<std::size_t>(t)];
            Workspace &work = workspaces[static_cast<std::size_t>(omp_get_thread_num())];
            prepare(work, n, tree.largestUpdate, tree.stackSize);
            long top = 0;
            for (int s = tree.first; s <= tree.root; ++s)
                factorSupernode(context, s, work, top);
        });
    }
    failure.rethrow();
    // The top is worked on one thread, its stack in the top's storage: the subtrees' storage goes
    // first, since the top's front and storage, with the factor, make the peak of memory of a run.
    workspaces.clear();
    Workspace work;
    work.stack.swap(topStorage);
    prepare(work, n, symbolic.topLargestUpdate, 0);
    long top = 0;
    for (int s : symbolic.top)
        factorSupernode(context, s, work, top);
}

Eigen::VectorXd SupernodalCholesky::takeValues()
{
    m_info = Eigen::InvalidInput;
    Eigen::VectorXd values;
    values.swap(m_values);
    return values;
}

Eigen::VectorXd SupernodalCholesky::solve(const Eigen::VectorXd &b) const
{
    if (!m_analysis || m_values.size() != m_analysis->valueCount)
        throw std::logic_error(fr("résolution demandée sans facteur de la matrice normale"));
    const int n = size();
    Eigen::VectorXd y(n);
    for (int i = 0; i < n; ++i)
        y(permutationP().indices()(i)) = b(i);
    const Analysis &symbolic = *m_analysis;
    Eigen::VectorXd work;
    for (const Supernode &node : symbolic.supernodes) {
        const Eigen::Map<const Eigen::MatrixXd> block(m_values.data() + node.valueStart,
                                                      node.rowCount, node.columns);
        auto own = y.segment(node.first, node.columns);
        block.topRows(node.columns).triangularView<Eigen::Lower>().solveInPlace(own);
        const int below = node.rowCount - node.columns;
        if (below > 0) {
            work.noalias() = block.bottomRows(below) * own;
            const int *rows = symbolic.rows.data() + node.rowStart + node.columns;
            for (int t = 0; t < below; ++t)
                y(rows[t]) -= work(t);
        }
    }
    for (auto s = symbolic.supernodes.rbegin(); s != symbolic.supernodes.rend(); ++s) {
        const Supernode &node = *s;
        const Eigen::Map<const Eigen::MatrixXd> block(m_values.data() + node.valueStart,
                                                      node.rowCount, node.columns);
        auto own = y.segment(node.first, node.columns);
        const int below = node.rowCount - node.columns;
        if (below > 0) {
            work.resize(below);
            const int *rows = symbolic.rows.data() + node.rowStart + node.columns;
            for (int t = 0; t < below; ++t)
                work(t) = y(rows[t]);
            own.noalias() -= block.bottomRows(below).transpose() * work;
        }
        block.topRows(node.columns).triangularView<Eigen::Lower>().transpose().solveInPlace(own);
    }
    Eigen::VectorXd x(n);
    for (int i = 0; i < n; ++i)
        x(i) = y(permutationP().indices()(i));
    return x;
}

} // namespace engine
