#include "engine/estimation/gnssloops.h"

#include "engine/estimation/distributions.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <cmath>
#include <map>

namespace engine {

namespace {

struct Edge
{
    int first = 0; // observation of its DX
    int station = 0;
    int target = 0;
    int block = 0;
    int offset = 0; // its first row in its block
};

// The edge's vector taken from `from` to the other end.
double signFrom(const Edge &e, int from)
{
    return e.station == from ? 1.0 : -1.0;
}

} // namespace

int GnssLoops::flagged() const
{
    return static_cast<int>(std::count_if(loops.begin(), loops.end(),
                                          [this](const GnssLoop &l) { return l.test > critical; }));
}

GnssLoops gnssLoops(const Network &network)
{
    GnssLoops result;
    result.critical = chiSquareUpperQuantile(1.0 - kGnssLoopConfidence, 3);
    std::vector<Edge> edges;
    for (std::size_t b = 0; b < network.correlated.size(); ++b) {
        const CorrelatedBlock &block = network.correlated[b];
        for (int r = 0; r + 3 <= block.size(); r += 3) {
            const Observation &o = network.observations[static_cast<std::size_t>(block.first + r)];
            if (o.kind != ObservationKind::Vector)
                break;
            edges.push_back({block.first + r, o.station, o.target, static_cast<int>(b), r});
        }
    }
    if (edges.empty())
        return result;
    const std::size_t count = network.points.size();
    std::vector<std::vector<int>> incident(count);
    for (std::size_t e = 0; e < edges.size(); ++e) {
        incident[static_cast<std::size_t>(edges[e].station)].push_back(static_cast<int>(e));
        incident[static_cast<std::size_t>(edges[e].target)].push_back(static_cast<int>(e));
    }
    // Breadth-first spanning forest: per point the edge to its parent and its depth.
    std::vector<int> parentEdge(count, -1);
    std::vector<int> depth(count, -1);
    std::vector<bool> inTree(edges.size(), false);
    std::vector<int> queue;
    for (std::size_t root = 0; root < count; ++root) {
        if (depth[root] >= 0 || incident[root].empty())
            continue;
        depth[root] = 0;
        queue.assign(1, static_cast<int>(root));
        for (std::size_t next = 0; next < queue.size(); ++next) {
            const int p = queue[next];
            for (int e : incident[static_cast<std::size_t>(p)]) {
                const Edge &edge = edges[static_cast<std::size_t>(e)];
                const int other = edge.station == p ? edge.target : edge.station;
                if (depth[static_cast<std::size_t>(other)] >= 0)
                    continue;
                depth[static_cast<std::size_t>(other)] = depth[static_cast<std::size_t>(p)] + 1;
                parentEdge[static_cast<std::size_t>(other)] = e;
                inTree[static_cast<std::size_t>(e)] = true;
                queue.push_back(other);
            }
        }
    }
    const auto parentOf = [&](int p) {
        const Edge &e = edges[static_cast<std::size_t>(parentEdge[static_cast<std::size_t>(p)])];
        return e.station == p ? e.target : e.station;
    };
    const auto delta = [&](const Edge &e) {
        Eigen::Vector3d d;
        for (int c = 0; c < 3; ++c)
            d(c) = network.observations[static_cast<std::size_t>(e.first + c)].value;
        return d;
    };

    for (std::size_t closing = 0; closing < edges.size(); ++closing) {
        if (inTree[closing])
            continue;
        const Edge &c = edges[closing];
        // Round the loop: the closing vector from its station to its target, then the tree from
        // the target up to the common ancestor and down to the station.
        std::vector<std::pair<int, double>> walk{{static_cast<int>(closing), 1.0}};
        std::vector<int> points{c.station, c.target};
        std::vector<std::pair<int, double>> down;
        std::vector<int> downPoints;
        int a = c.target;
        int b = c.station;
        while (a != b) {
            if (depth[static_cast<std::size_t>(a)] >= depth[static_cast<std::size_t>(b)]) {
                const int e = parentEdge[static_cast<std::size_t>(a)];
                walk.emplace_back(e, signFrom(edges[static_cast<std::size_t>(e)], a));
                a = parentOf(a);
                points.push_back(a);
            } else {
                const int e = parentEdge[static_cast<std::size_t>(b)];
                const int up = parentOf(b);
                down.emplace_back(e, signFrom(edges[static_cast<std::size_t>(e)], up));
                b = up;
                downPoints.push_back(b);
            }
        }
        walk.insert(walk.end(), down.rbegin(), down.rend());
        // The common ancestor ends both climbs: the station's side is walked down from below it.
        if (downPoints.empty())
            points.pop_back(); // the station itself, reached from the target's side
        else
            points.insert(points.end(), downPoints.rbegin() + 1, downPoints.rend());

        GnssLoop loop;
        loop.closing = c.first;
        Eigen::Vector3d w = Eigen::Vector3d::Zero();
        std::map<int, std::vector<std::pair<int, double>>> byBlock;
        for (const auto &[e, sign] : walk) {
            const Edge &edge = edges[static_cast<std::size_t>(e)];
            const Eigen::Vector3d d = delta(edge);
            w += sign * d;
            loop.length += d.norm();
            loop.vectors.push_back(edge.first);
            byBlock[edge.block].emplace_back(edge.offset, sign);
        }
        Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
        for (const auto &[block, rows] : byBlock) {
            const Eigen::MatrixXd &cov =
                network.correlated[static_cast<std::size_t>(block)].covariance;
            for (const auto &[i, si] : rows)
                for (const auto &[j, sj] : rows)
                    covariance += si * sj * cov.block<3, 3>(i, j);
        }
        const Point &first = network.points[static_cast<std::size_t>(c.station)];
        const Geographic at = network.geographicOf(network.geocentricOf(first));
        const Eigen::Matrix3d enu = localHorizon(at.latitude, at.longitude);
        Eigen::Matrix3d neu;
        neu << enu.col(1), enu.col(0), enu.col(2);
        loop.misclosure = neu.transpose() * w;
        loop.sigma = (neu.transpose() * covariance * neu).diagonal().cwiseMax(0.0).cwiseSqrt();
        const Eigen::LDLT<Eigen::Matrix3d> solver(covariance);
        if (solver.info() == Eigen::Success && solver.isPositive() &&
            solver.vectorD().minCoeff() > 0.0)
            loop.test = w.dot(solver.solve(w));
        loop.points = std::move(points);
        result.loops.push_back(std::move(loop));
    }
    std::stable_sort(result.loops.begin(), result.loops.end(),
                     [](const GnssLoop &x, const GnssLoop &y) { return x.test > y.test; });
    return result;
}

} // namespace engine
