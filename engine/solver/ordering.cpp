#include "engine/solver/ordering.h"

#include "engine/base/parallelfailure.h"
#include "engine/solver/supernodalcholesky.h"

#include <Eigen/OrderingMethods>

#include <algorithm>
#include <numeric>

namespace engine {

namespace {

// Dissection stops at parts of at most this many points.
constexpr std::size_t kLeafPoints = 8;
// Below this many points the minimum degree order alone is used: on the dense networks measured
// it was the better of the two up to 50,000 points, and the second order with the comparison took
// 7 ms of the fifth of a second a network of a thousand takes.
constexpr std::size_t kSmallNetwork = 2000;

struct PointGraph
{
    std::vector<std::vector<int>> neighbours; // per point, sorted
    std::vector<bool> hasUnknowns;
};

// Per block of correlated observations, the points its rows reach: the weight matrix couples
// them all in the normal matrix.
std::vector<std::vector<int>> blockPoints(const Network &network)
{
    std::vector<std::vector<int>> result;
    for (const CorrelatedBlock &block : network.correlated) {
        std::vector<int> points;
        for (int i = block.first; i < block.first + block.size(); ++i) {
            const Observation &o = network.observations[static_cast<std::size_t>(i)];
            points.push_back(o.station);
            points.push_back(o.target);
        }
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
        if (points.size() > 1)
            result.push_back(std::move(points));
    }
    return result;
}

PointGraph pointGraph(const Network &network, const Unknowns &unknowns)
{
    PointGraph graph;
    const std::size_t count = network.points.size();
    graph.neighbours.resize(count);
    graph.hasUnknowns.assign(count, false);
    for (std::size_t p = 0; p < count; ++p) {
        const auto &u = unknowns.point[p];
        graph.hasUnknowns[p] = u[0] >= 0 || u[1] >= 0 || u[2] >= 0;
    }
    for (std::size_t s = 0; s < network.sets.size(); ++s) {
        const int station = network.sets[s].station;
        if (s < unknowns.set.size() && unknowns.set[s] >= 0 && station >= 0)
            graph.hasUnknowns[static_cast<std::size_t>(station)] = true;
    }
    for (std::size_t h = 0; h < network.unknownHeights.size() && h < unknowns.height.size(); ++h)
        graph.hasUnknowns[static_cast<std::size_t>(network.unknownHeights[h].point)] = true;
    for (const Observation &o : network.observations) {
        if (o.station == o.target)
            continue;
        graph.neighbours[static_cast<std::size_t>(o.station)].push_back(o.target);
        graph.neighbours[static_cast<std::size_t>(o.target)].push_back(o.station);
    }
    for (const std::vector<int> &points : blockPoints(network)) {
        for (int a : points)
            for (int b : points)
                if (a != b)
                    graph.neighbours[static_cast<std::size_t>(a)].push_back(b);
    }
    for (auto &list : graph.neighbours) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    return graph;
}

// The unknowns in the order of `points`: per point the orientations of its sets and its unknown
// heights, then its free coordinates. Unknowns of no point, the secondary parameters, come last.
std::vector<int> expand(const Network &network, const Unknowns &unknowns,
                        const std::vector<int> &points)
{
    std::vector<std::vector<int>> setsAt(network.points.size());
    for (std::size_t s = 0; s < network.sets.size(); ++s) {
        const int station = network.sets[s].station;
        if (s < unknowns.set.size() && unknowns.set[s] >= 0 && station >= 0)
            setsAt[static_cast<std::size_t>(station)].push_back(unknowns.set[s]);
    }
    for (std::size_t h = 0; h < network.unknownHeights.size() && h < unknowns.height.size(); ++h)
        setsAt[static_cast<std::size_t>(network.unknownHeights[h].point)].push_back(
            unknowns.height[h]);
    std::vector<int> position(static_cast<std::size_t>(unknowns.count), -1);
    int next = 0;
    auto place = [&](int unknown) {
        if (unknown >= 0 && position[static_cast<std::size_t>(unknown)] < 0)
            position[static_cast<std::size_t>(unknown)] = next++;
    };
    for (int p : points) {
        for (int unknown : setsAt[static_cast<std::size_t>(p)])
            place(unknown);
        for (int unknown : unknowns.point[static_cast<std::size_t>(p)])
            place(unknown);
    }
    for (int j = 0; j < unknowns.count; ++j)
        place(j);
    return position;
}

class Dissection
{
public:
    Dissection(const Network &network, const PointGraph &graph)
        : m_network(network)
        , m_graph(graph)
        , m_side(network.points.size(), 0)
    {}

    // Appends the points of `part` to the order, separators after the halves they separate.
    void dissect(std::vector<int> part)
    {
        if (part.size() <= kLeafPoints) {
            m_order.insert(m_order.end(), part.begin(), part.end());
            return;
        }
        Eigen::Vector2d low = plan(part.front());
        Eigen::Vector2d high = low;
        for (int p : part) {
            low = low.cwiseMin(plan(p));
            high = high.cwiseMax(plan(p));
        }
        const int axis = high.x() - low.x() >= high.y() - low.y() ? 0 : 1;
        const auto middle = part.begin() + static_cast<long>(part.size() / 2);
        std::nth_element(part.begin(), middle, part.end(), [&](int a, int b) {
            const double pa = plan(a)(axis);
            const double pb = plan(b)(axis);
            return pa < pb || (pa == pb && a < b);
        });
        const int first = ++m_stamp;
        const int second = ++m_stamp;
        for (auto it = part.begin(); it != part.end(); ++it)
            m_side[static_cast<std::size_t>(*it)] = it < middle ? first : second;

        std::vector<int> halves[2];
        std::vector<int> borders[2];
        for (auto it = part.begin(); it != part.end(); ++it) {
            const int h = it < middle ? 0 : 1;
            const int other = h == 0 ? second : first;
            bool border = false;
            for (int q : m_graph.neighbours[static_cast<std::size_t>(*it)]) {
                if (m_side[static_cast<std::size_t>(q)] == other) {
                    border = true;
                    break;
                }
            }
            (border ? borders[h] : halves[h]).push_back(*it);
        }
        const int cut = borders[0].size() <= borders[1].size() ? 0 : 1;
        halves[1 - cut].insert(halves[1 - cut].end(), borders[1 - cut].begin(),
                               borders[1 - cut].end());
        std::vector<int> separator = std::move(borders[cut]);
        part.clear();
        part.shrink_to_fit();
        // Both halves are smaller than the part, so the dissection ends.
        dissect(std::move(halves[0]));
        dissect(std::move(halves[1]));
        m_order.insert(m_order.end(), separator.begin(), separator.end());
    }

    const std::vector<int> &order() const { return m_order; }

private:
    Eigen::Vector2d plan(int p) const
    {
        return m_network.points[static_cast<std::size_t>(p)].approximate.head<2>();
    }

    const Network &m_network;
    const PointGraph &m_graph;
    std::vector<int> m_side;
    std::vector<int> m_order;
    int m_stamp = 0;
};

} // namespace

std::vector<int> nestedDissectionOrder(const Network &network, const Unknowns &unknowns)
{
    const PointGraph graph = pointGraph(network, unknowns);
    std::vector<int> points;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        if (graph.hasUnknowns[p])
            points.push_back(static_cast<int>(p));
    }
    Dissection dissection(network, graph);
    dissection.dissect(std::move(points));
    return expand(network, unknowns, dissection.order());
}

std::vector<int> minimumDegreeOrder(const Network &network, const Unknowns &unknowns)
{
    const PointGraph graph = pointGraph(network, unknowns);
    const auto count = static_cast<int>(network.points.size());
    std::vector<Eigen::Triplet<double>> entries;
    for (int p = 0; p < count; ++p) {
        entries.emplace_back(p, p, 1.0);
        for (int q : graph.neighbours[static_cast<std::size_t>(p)])
            entries.emplace_back(p, q, 1.0);
    }
    Eigen::SparseMatrix<double> pattern(count, count);
    pattern.setFromTriplets(entries.begin(), entries.end());
    Eigen::AMDOrdering<int> amd;
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> inverse;
    amd(pattern, inverse);
    // inverse.indices()(k) is the point eliminated k-th.
    std::vector<int> points;
    for (int k = 0; k < count; ++k) {
        const int p = inverse.indices()(k);
        if (graph.hasUnknowns[static_cast<std::size_t>(p)])
            points.push_back(p);
    }
    return expand(network, unknowns, points);
}

NormalMatrix structuralPattern(const Network &network, const Unknowns &unknowns)
{
    // Each pair of points, each unknown of an observation that is no coordinate (the orientation
    // of its set, its unknown heights, its secondary parameters) with a point it reaches, and each
    // pair of those, is taken
    // once rather than once per observation.
    std::vector<std::pair<int, int>> pairs;
    std::vector<std::pair<int, int>>
        extraPoints; // (orientation, height or secondary unknown, point)
    std::vector<std::pair<int, int>> extraPairs;
    std::vector<int> extras; // of one observation
    pairs.reserve(network.observations.size());
    const auto unknownOf = [](const std::vector<int> &list, int index) {
        return index >= 0 && static_cast<std::size_t>(index) < list.size()
                   ? list[static_cast<std::size_t>(index)]
                   : -1;
    };
    for (const Observation &o : network.observations) {
        pairs.emplace_back(std::min(o.station, o.target), std::max(o.station, o.target));
        extras.clear();
        for (int e :
             {unknownOf(unknowns.set, o.set), unknownOf(unknowns.height, o.instrumentUnknown),
              unknownOf(unknowns.height, o.targetUnknown)}) {
            if (e >= 0)
                extras.push_back(e);
        }
        for (int parameter : network.secondaryOf(o))
            extras.push_back(unknownOf(unknowns.secondary, parameter));
        for (std::size_t a = 0; a < extras.size(); ++a) {
            if (extras[a] < 0)
                continue;
            extraPoints.emplace_back(extras[a], o.station);
            extraPoints.emplace_back(extras[a], o.target);
            for (std::size_t b = 0; b < a; ++b) {
                if (extras[b] >= 0)
                    extraPairs.emplace_back(extras[a], extras[b]);
            }
        }
    }
    for (const std::vector<int> &points : blockPoints(network)) {
        for (std::size_t a = 0; a < points.size(); ++a)
            for (std::size_t b = a + 1; b < points.size(); ++b)
                pairs.emplace_back(points[a], points[b]);
    }
    for (auto *list : {&pairs, &extraPoints, &extraPairs}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    // The entries of each column (the lower of the two unknowns) are counted, then written: the
    // same couplings visited twice, then each column sorted with its repeats removed.
    const auto n = static_cast<std::size_t>(unknowns.count);
    std::vector<int> start(n + 1, 0);
    std::vector<int> next;
    std::vector<int> rows;
    auto couple = [&](int a, int b) {
        if (a < 0 || b < 0)
            return;
        const auto column = static_cast<std::size_t>(std::min(a, b));
        if (next.empty())
            ++start[column + 1];
        else
            rows[static_cast<std::size_t>(next[column]++)] = std::max(a, b);
    };
    auto coordinates = [&](int point) { return unknowns.point[static_cast<std::size_t>(point)]; };
    auto visit = [&] {
        for (const auto &[first, second] : pairs) {
            for (int a : coordinates(first))
                for (int b : coordinates(second))
                    couple(a, b);
        }
        for (std::size_t p = 0; p < network.points.size(); ++p) {
            const auto own = coordinates(static_cast<int>(p));
            for (std::size_t a = 0; a < 3; ++a)
                for (std::size_t b = 0; b <= a; ++b)
                    couple(own[a], own[b]);
        }
        for (const auto &[extra, point] : extraPoints) {
            couple(extra, extra);
            for (int c : coordinates(point))
                couple(extra, c);
        }
        for (const auto &[a, b] : extraPairs)
            couple(a, b);
    };
    visit();
    std::partial_sum(start.begin(), start.end(), start.begin());
    rows.resize(static_cast<std::size_t>(start.back()));
    next.assign(start.begin(), start.end() - 1);
    if (!next.empty())
        visit();
    NormalMatrix pattern(unknowns.count, unknowns.count);
    pattern.resizeNonZeros(static_cast<Eigen::Index>(rows.size()));
    int *outer = pattern.outerIndexPtr();
    int *inner = pattern.innerIndexPtr();
    outer[0] = 0;
    for (std::size_t j = 0; j < n; ++j) {
        int *begin = rows.data() + start[j];
        int *end = rows.data() + start[j + 1];
        std::sort(begin, end);
        inner = std::copy(begin, std::unique(begin, end), inner);
        outer[j + 1] = static_cast<int>(inner - pattern.innerIndexPtr());
    }
    pattern.resizeNonZeros(outer[n]);
    std::fill(pattern.valuePtr(), pattern.valuePtr() + outer[n], 1.0);
    return pattern;
}

std::vector<int> eliminationOrder(const Network &network, const Unknowns &unknowns,
                                  const NormalMatrix &pattern)
{
    if (network.points.size() < kSmallNetwork)
        return minimumDegreeOrder(network, unknowns);
    // The two orders and their work are independent: one thread each.
    std::vector<int> best;
    std::vector<int> dissected;
    double bestWork = 0.0;
    double dissectedWork = 0.0;
    ParallelFailure failure;
#pragma omp parallel sections
    {
#pragma omp section
        failure.run([&] {
            best = minimumDegreeOrder(network, unknowns);
            bestWork = factorizationWork(pattern, best);
        });
#pragma omp section
        failure.run([&] {
            dissected = nestedDissectionOrder(network, unknowns);
            dissectedWork = factorizationWork(pattern, dissected);
        });
    }
    failure.rethrow();
    if (dissectedWork < bestWork)
        best = std::move(dissected);
    return best;
}

} // namespace engine
