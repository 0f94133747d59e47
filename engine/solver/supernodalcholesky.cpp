#include "engine/solver/supernodalcholesky.h"

#include <Eigen/OrderingMethods>

#include <algorithm>
#include <cmath>
#include <numeric>

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

using Matrix = SupernodalCholesky::Matrix;
using Supernode = SupernodalCholesky::Supernode;

// The lower triangle of P A P' (A read from its lower triangle), with `position` the position of
// each unknown.
Matrix permutedLower(const Matrix &a, const std::vector<int> &position)
{
    const int n = static_cast<int>(a.cols());
    std::vector<int> counts(static_cast<std::size_t>(n) + 1, 0);
    for (int j = 0; j < n; ++j) {
        for (Matrix::InnerIterator it(a, j); it; ++it) {
            if (it.row() < j)
                continue;
            const int pi = position[static_cast<std::size_t>(it.row())];
            const int pj = position[static_cast<std::size_t>(j)];
            ++counts[static_cast<std::size_t>(std::min(pi, pj)) + 1];
        }
    }
    std::partial_sum(counts.begin(), counts.end(), counts.begin());
    Matrix result(n, n);
    result.resizeNonZeros(counts.back());
    std::copy(counts.begin(), counts.end(), result.outerIndexPtr());
    std::vector<int> next(counts.begin(), counts.end() - 1);
    for (int j = 0; j < n; ++j) {
        for (Matrix::InnerIterator it(a, j); it; ++it) {
            if (it.row() < j)
                continue;
            const int pi = position[static_cast<std::size_t>(it.row())];
            const int pj = position[static_cast<std::size_t>(j)];
            const int column = std::min(pi, pj);
            const int slot = next[static_cast<std::size_t>(column)]++;
            result.innerIndexPtr()[slot] = std::max(pi, pj);
            result.valuePtr()[slot] = it.value();
        }
    }
    // Rows ascending within each column.
    std::vector<std::pair<int, double>> column;
    for (int j = 0; j < n; ++j) {
        const int begin = result.outerIndexPtr()[j];
        const int end = result.outerIndexPtr()[j + 1];
        column.clear();
        for (int p = begin; p < end; ++p)
            column.emplace_back(result.innerIndexPtr()[p], result.valuePtr()[p]);
        std::sort(column.begin(), column.end(),
                  [](const auto &x, const auto &y) { return x.first < y.first; });
        for (int p = begin; p < end; ++p) {
            result.innerIndexPtr()[p] = column[static_cast<std::size_t>(p - begin)].first;
            result.valuePtr()[p] = column[static_cast<std::size_t>(p - begin)].second;
        }
    }
    return result;
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

// Off-diagonal nonzeros of each column of L, by walking the row subtrees.
std::vector<int> columnCounts(const Matrix &lower, const std::vector<int> &parent)
{
    const int n = static_cast<int>(lower.cols());
    const Matrix upper = lower.transpose();
    std::vector<int> counts(static_cast<std::size_t>(n), 0);
    std::vector<int> mark(static_cast<std::size_t>(n), -1);
    for (int k = 0; k < n; ++k) {
        mark[static_cast<std::size_t>(k)] = k;
        for (Matrix::InnerIterator it(upper, k); it; ++it) {
            for (int j = static_cast<int>(it.row()); mark[static_cast<std::size_t>(j)] != k;
                 j = parent[static_cast<std::size_t>(j)]) {
                ++counts[static_cast<std::size_t>(j)];
                mark[static_cast<std::size_t>(j)] = k;
            }
        }
    }
    return counts;
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
            f.block(j0 + width, j0 + width, trailing, trailing)
                .selfadjointView<Eigen::Lower>()
                .rankUpdate(f.block(j0 + width, j0, trailing, width), -1.0);
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

bool withinPattern(const Matrix &lower, const Matrix &pattern)
{
    if (lower.cols() != pattern.cols())
        return false;
    for (Eigen::Index j = 0; j < lower.cols(); ++j) {
        Matrix::InnerIterator known(pattern, j);
        for (Matrix::InnerIterator it(lower, j); it; ++it) {
            while (known && known.row() < it.row())
                ++known;
            if (!known || known.row() != it.row())
                return false;
        }
    }
    return true;
}

} // namespace

double factorizationWork(const Matrix &matrix, const std::vector<int> &position)
{
    const int n = static_cast<int>(matrix.cols());
    if (!isPermutation(position, n))
        return 0.0;
    const Matrix lower = permutedLower(matrix, position);
    double work = 0.0;
    for (int count : columnCounts(lower, eliminationTree(lower)))
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
        if (!withinPattern(lower, m_analysis->pattern))
            m_analysis.reset();
    }
    if (!m_analysis) {
        if (!isPermutation(order, n))
            order = minimumDegreeOrder(matrix);
        analyse(matrix, order);
        lower = permutedLower(matrix, positionsOf(m_analysis->permutation));
    }
    factorize(lower);
    m_info = Eigen::Success;
}

bool SupernodalCholesky::computeNormal(const Design &design, const Eigen::VectorXd &weights,
                                       const Eigen::VectorXd &scale,
                                       const std::vector<WeightBlock> &blocks)
{
    m_info = Eigen::InvalidInput;
    const auto n = design.cols();
    if (!m_analysis || m_analysis->permutation.size() != n || scale.size() != n ||
        weights.size() != design.rows())
        return false;
    // The analysed pattern is the lower triangle in elimination order, rows ascending in each
    // column: each product of two entries of a row finds its place by a binary search.
    if (m_normal.cols() != n || m_normal.nonZeros() != m_analysis->pattern.nonZeros())
        m_normal = m_analysis->pattern;
    std::fill(m_normal.valuePtr(), m_normal.valuePtr() + m_normal.nonZeros(), 0.0);
    const int *start = m_normal.outerIndexPtr();
    const int *rows = m_normal.innerIndexPtr();
    double *values = m_normal.valuePtr();
    const auto &position = m_analysis->permutation.indices();
    std::vector<std::pair<int, double>> entries;
    for (Eigen::Index i = 0; i < design.rows(); ++i) {
        entries.clear();
        for (Design::InnerIterator it(design, i); it; ++it)
            entries.emplace_back(position(it.col()), it.value() * scale(it.col()));
        const double w = weights(i);
        for (std::size_t a = 0; a < entries.size(); ++a) {
            for (std::size_t b = 0; b <= a; ++b) {
                const int row = std::max(entries[a].first, entries[b].first);
                const int column = std::min(entries[a].first, entries[b].first);
                const int *first = rows + start[column];
                const int *last = rows + start[column + 1];
                const int *found = std::lower_bound(first, last, row);
                if (found == last || *found != row)
                    return false;
                values[found - rows] += w * entries[a].second * entries[b].second;
            }
        }
    }
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
                        const int *first = rows + start[pb];
                        const int *last = rows + start[pb + 1];
                        const int *found = std::lower_bound(first, last, pa);
                        if (found == last || *found != pa)
                            return false;
                        values[found - rows] += w * va * vb;
                    }
                }
            }
        }
    }
    factorize(m_normal);
    m_info = Eigen::Success;
    return true;
}

void SupernodalCholesky::analyse(const Matrix &matrix, std::vector<int> position)
{
    const int n = static_cast<int>(matrix.cols());
    auto symbolic = std::make_shared<Analysis>();

    // Postorder the elimination tree so that every subtree is a run of consecutive columns.
    const std::vector<int> post = postorder(eliminationTree(permutedLower(matrix, position)));
    std::vector<int> relabel(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        relabel[static_cast<std::size_t>(post[static_cast<std::size_t>(k)])] = k;
    for (int &p : position)
        p = relabel[static_cast<std::size_t>(p)];
    symbolic->permutation.indices() = Eigen::Map<const Eigen::VectorXi>(position.data(), n);
    const Matrix lower = permutedLower(matrix, position);
    const std::vector<int> parent = eliminationTree(lower);
    const std::vector<int> counts = columnCounts(lower, parent);

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
    symbolic->childCount.assign(supernodeCount, 0);
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        Supernode &node = symbolic->supernodes[s];
        const int p = parent[static_cast<std::size_t>(node.first + node.columns - 1)];
        node.parent = p < 0 ? -1 : symbolic->supernodeOf[static_cast<std::size_t>(p)];
        if (node.parent >= 0)
            ++symbolic->childCount[static_cast<std::size_t>(node.parent)];
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
    // The update matrices live on a stack: a supernode takes its children's off the top, then
    // puts its own.
    long top = 0;
    for (std::size_t s = 0; s < supernodeCount; ++s) {
        const Supernode &node = symbolic->supernodes[s];
        for (int child : childLists[s]) {
            const Supernode &c = symbolic->supernodes[static_cast<std::size_t>(child)];
            top -= static_cast<long>(c.rowCount - c.columns) * (c.rowCount - c.columns);
        }
        top += static_cast<long>(node.rowCount - node.columns) * (node.rowCount - node.columns);
        symbolic->updatePeak = std::max(symbolic->updatePeak, top);
        symbolic->largestFront = std::max(symbolic->largestFront, node.rowCount);
    }
    symbolic->pattern = lower;
    m_analysis = std::move(symbolic);
}

void SupernodalCholesky::factorize(const Matrix &lower)
{
    const Analysis &symbolic = *m_analysis;
    const int n = static_cast<int>(lower.cols());
    // Every entry of L is written below, so its storage starts uninitialized (and is kept when
    // the matrix has the same pattern as the last one); the frontal matrix and the stack of
    // update matrices are allocated once at their largest.
    m_values.resize(symbolic.valueCount);
    m_pivots.setZero(n);
    std::vector<int> position(static_cast<std::size_t>(n), -1);
    const auto largest = static_cast<Eigen::Index>(symbolic.largestFront);
    m_front.resize(largest * largest);
    m_stack.resize(symbolic.updatePeak);
    double *const stack = m_stack.data();
    struct Update
    {
        long offset;
        int size;
        const int *rows;
    };
    std::vector<Update> updates;
    long top = 0;
    for (std::size_t s = 0; s < symbolic.supernodes.size(); ++s) {
        const Supernode &node = symbolic.supernodes[s];
        const int m = node.rowCount;
        const int k = node.columns;
        const int *rows = symbolic.rows.data() + node.rowStart;
        for (int t = 0; t < m; ++t)
            position[static_cast<std::size_t>(rows[t])] = t;

        // Only the lower triangle of the frontal matrix is used.
        Eigen::Map<Eigen::MatrixXd> front(m_front.data(), m, m);
        for (int c = 0; c < m; ++c)
            front.col(c).tail(m - c).setZero();
        for (int j = node.first; j < node.first + k; ++j) {
            for (Matrix::InnerIterator it(lower, j); it; ++it)
                front(position[static_cast<std::size_t>(it.row())], j - node.first) += it.value();
        }
        for (int c = 0; c < symbolic.childCount[s]; ++c) {
            const Update update = updates.back();
            updates.pop_back();
            const Eigen::Map<const Eigen::MatrixXd> matrix(stack + update.offset, update.size,
                                                           update.size);
            for (int b = 0; b < update.size; ++b) {
                const int column = position[static_cast<std::size_t>(update.rows[b])];
                for (int a = b; a < update.size; ++a)
                    front(position[static_cast<std::size_t>(update.rows[a])], column) +=
                        matrix(a, b);
            }
            top = update.offset;
        }

        denseCholesky(front.topLeftCorner(k, k), m_pivots.segment(node.first, k));
        const int below = m - k;
        if (below > 0) {
            auto l21 = front.bottomLeftCorner(below, k);
            front.topLeftCorner(k, k)
                .triangularView<Eigen::Lower>()
                .transpose()
                .solveInPlace<Eigen::OnTheRight>(l21);
            Eigen::Map<Eigen::MatrixXd> update(stack + top, below, below);
            update.triangularView<Eigen::Lower>() =
                front.bottomRightCorner(below, below).triangularView<Eigen::Lower>();
            update.selfadjointView<Eigen::Lower>().rankUpdate(l21, -1.0);
            updates.push_back({top, below, rows + k});
            top += static_cast<long>(below) * below;
        }
        Eigen::Map<Eigen::MatrixXd> block(m_values.data() + node.valueStart, m, k);
        block = front.leftCols(k);
        block.topRows(k).triangularView<Eigen::StrictlyUpper>().setZero();
    }
}

Eigen::VectorXd SupernodalCholesky::solve(const Eigen::VectorXd &b) const
{
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
