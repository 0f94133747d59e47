#include "engine/estimation/reliability.h"

#include "engine/base/chunkedloop.h"
#include "engine/estimation/distributions.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace engine {

namespace {

// Position of north, east, up among a point's unknowns, which are numbered east, north, up.
constexpr int kEnuOfNeu[3] = {1, 0, 2};

std::uint64_t pairKey(int a, int b)
{
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
           static_cast<std::uint32_t>(b);
}

// Observations whose displacements are held at once.
constexpr std::size_t kBatchObservations = 1 << 16;

// The displacement of an observation's station and target by its bias.
struct Displacements
{
    Eigen::Vector3d station = Eigen::Vector3d::Zero();
    Eigen::Vector3d target = Eigen::Vector3d::Zero();
};

void widen(ReliabilityBox &box, const Eigen::Vector3d &displacement, int observation)
{
    for (int c = 0; c < 3; ++c) {
        const double size = std::fabs(displacement(c));
        if (box.observation[static_cast<std::size_t>(c)] < 0 || size > box.extent(c)) {
            box.extent(c) = size;
            box.observation[static_cast<std::size_t>(c)] = observation;
        }
    }
    ++box.observations;
}

} // namespace

double noncentrality(double confidence, double beta)
{
    // Upper quantiles of the tails themselves: 1 - beta would round to 1 for a tiny beta.
    return normalUpperQuantile((1.0 - confidence) / 2.0) + normalUpperQuantile(beta);
}

Reliability computeReliability(const Network &network, const AdjustmentOutcome &outcome,
                               const Statistics &statistics,
                               const std::vector<std::pair<int, int>> &pairs,
                               const ComponentFrames &frames)
{
    Reliability result;
    const auto m = network.observations.size();
    result.biasFactor.assign(m, 0.0);
    result.pairs.resize(pairs.size());
    std::unordered_map<std::uint64_t, std::size_t> pairIndex;
    pairIndex.reserve(pairs.size());
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        result.pairs[k].point1 = pairs[k].first;
        result.pairs[k].point2 = pairs[k].second;
        pairIndex.emplace(pairKey(pairs[k].first, pairs[k].second), k);
    }
    std::vector<ReliabilityBox> boxes(network.points.size());
    for (std::size_t i = 0; i < m; ++i) {
        const ObservationStatistics &s = statistics.perObservation[i];
        if (!s.controlled || s.leftOut)
            continue;
        // In a weight block the bias that moves w by delta0 is delta0 s sqrt(Qvv_ii) / r_i. The
        // standard deviation is that of the weight used, which a variance component may scale.
        result.biasFactor[i] =
            s.correlated
                ? statistics.sigmaScale * std::sqrt(s.residualCofactor) / s.redundancy
                : statistics.sigmaScale /
                      std::sqrt(outcome.weights(static_cast<Eigen::Index>(i)) * s.redundancy);
    }
    // Per observation of a weight block, its block; -1 for the others.
    std::vector<int> blockOf(m, -1);
    std::vector<BlockDesign> blockDesigns;
    for (std::size_t b = 0; b < outcome.weightBlocks.size(); ++b) {
        const WeightBlock &block = outcome.weightBlocks[b];
        for (Eigen::Index r = 0; r < block.size(); ++r)
            blockOf[static_cast<std::size_t>(block.first + r)] = static_cast<int>(b);
        blockDesigns.push_back(blockDesign(outcome.design, block));
    }
    // Without unknowns nothing moves.
    if (!statistics.inverse)
        return result;
    const SelectedInverse &inverse = *statistics.inverse;

    // Room to work in for the observations of one thread: the unknowns of an observation and its
    // row, and the block of the inverse last taken with its unknowns, which the next observation
    // of the same sight often shares (a distance and a zenith angle).
    struct Work
    {
        std::vector<int> unknowns;
        std::vector<double> row;
        std::vector<int> blockUnknowns;
        Eigen::MatrixXd q;
    };
    // The displacement of the station and of the target by the bias of observation `i`.
    auto displacements = [&](std::size_t i, Work &work) {
        std::vector<int> &unknowns = work.unknowns;
        std::vector<double> &row = work.row;
        const Observation &o = network.observations[i];
        // The unknowns of the observation's row, then the coordinates of its station and target
        // that the row does not hold.
        unknowns.clear();
        row.clear();
        const int block = blockOf[i];
        double weight = outcome.weights(static_cast<Eigen::Index>(i));
        if (block >= 0) {
            // The bias of one observation of a block reaches the normal equations through
            // A_b' P_b e_i, on all the unknowns of the block.
            const WeightBlock &wb = outcome.weightBlocks[static_cast<std::size_t>(block)];
            const BlockDesign &d = blockDesigns[static_cast<std::size_t>(block)];
            const Eigen::VectorXd g =
                d.rows.transpose() * wb.weight.col(static_cast<Eigen::Index>(i) - wb.first);
            unknowns = d.unknowns;
            row.assign(g.data(), g.data() + g.size());
            weight = 1.0;
        } else {
            for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator it(
                     outcome.design, static_cast<Eigen::Index>(i));
                 it; ++it) {
                unknowns.push_back(static_cast<int>(it.col()));
                row.push_back(it.value());
            }
        }
        const std::size_t inRow = unknowns.size();
        for (int point : {o.station, o.target}) {
            for (int u : outcome.unknowns.point[static_cast<std::size_t>(point)]) {
                if (u >= 0 && std::find(unknowns.begin(), unknowns.end(), u) == unknowns.end())
                    unknowns.push_back(u);
            }
        }
        if (unknowns != work.blockUnknowns) {
            work.q = inverse.block(unknowns);
            work.blockUnknowns = unknowns;
        }
        const Eigen::MatrixXd &q = work.q;
        const Eigen::Map<const Eigen::VectorXd> a(row.data(), static_cast<Eigen::Index>(inRow));
        // Displacement of every listed unknown by the bias s_i / sqrt(r_i).
        const Eigen::VectorXd dx =
            (weight * result.biasFactor[i]) * (q.leftCols(static_cast<Eigen::Index>(inRow)) * a);

        auto displacement = [&](int point) {
            Eigen::Vector3d d = Eigen::Vector3d::Zero();
            const auto &own = outcome.unknowns.point[static_cast<std::size_t>(point)];
            for (int c = 0; c < 3; ++c) {
                const int u = own[static_cast<std::size_t>(kEnuOfNeu[c])];
                if (u < 0)
                    continue;
                const auto at = std::find(unknowns.begin(), unknowns.end(), u) - unknowns.begin();
                d(c) = dx(at);
            }
            return d;
        };
        return Displacements{displacement(o.station), displacement(o.target)};
    };

    // The displacements of a batch of observations are computed in parallel, then taken into
    // the boxes in the order of the observations.
    std::vector<Displacements> moved;
    for (std::size_t first = 0; first < m; first += kBatchObservations) {
        const std::size_t count = std::min(kBatchObservations, m - first);
        moved.resize(count);
        forEachChunk(count, 512, [&](std::size_t begin, std::size_t end) {
            Work work;
            for (std::size_t k = begin; k < end; ++k) {
                const ObservationStatistics &s = statistics.perObservation[first + k];
                if (s.controlled && !s.leftOut)
                    moved[k] = displacements(first + k, work);
            }
        });
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = first + k;
            const ObservationStatistics &s = statistics.perObservation[i];
            if (!s.controlled || s.leftOut)
                continue;
            const Observation &o = network.observations[i];
            const Eigen::Vector3d &atStation = moved[k].station;
            const Eigen::Vector3d &atTarget = moved[k].target;
            for (auto [point, d] : {std::pair<int, Eigen::Vector3d>{o.station, atStation},
                                    std::pair<int, Eigen::Vector3d>{o.target, atTarget}}) {
                const auto &own = outcome.unknowns.point[static_cast<std::size_t>(point)];
                if ((own[0] < 0 && own[1] < 0 && own[2] < 0) ||
                    (point == o.target && o.target == o.station))
                    continue;
                const auto p = static_cast<std::size_t>(point);
                boxes[p].point1 = point;
                widen(boxes[p], frames.rotation(point, point) * d, static_cast<int>(i));
            }
            if (!pairIndex.empty()) {
                const int lower = std::min(o.station, o.target);
                const int upper = std::max(o.station, o.target);
                const auto found = pairIndex.find(pairKey(lower, upper));
                if (found != pairIndex.end()) {
                    const bool forward = o.station == lower;
                    const Eigen::Vector3d relative =
                        frames.rotation(upper, lower) * (forward ? atTarget : atStation) -
                        frames.rotation(lower, lower) * (forward ? atStation : atTarget);
                    widen(result.pairs[found->second], relative, static_cast<int>(i));
                }
            }
        }
    }
    for (ReliabilityBox &box : boxes) {
        if (box.point1 >= 0)
            result.points.push_back(box);
    }
    return result;
}

} // namespace engine
