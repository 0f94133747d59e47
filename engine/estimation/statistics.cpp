#include "engine/estimation/statistics.h"

#include "engine/base/chunkedloop.h"
#include "engine/base/largepages.h"
#include "engine/base/text.h"
#include "engine/estimation/distributions.h"
#include "engine/solver/inverseelements.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <utility>

namespace engine {

namespace {

// The weakest sight of a point: its standard deviation relative to the other point, the distance
// between them and that point.
struct WeakSight
{
    double share = 0.0; // sigma / length
    double sigma = 0.0;
    double length = 0.0;
    int other = -1;
};

bool hasFreeCoordinate(const Unknowns &unknowns, int point)
{
    const auto &u = unknowns.point[static_cast<std::size_t>(point)];
    return u[0] >= 0 || u[1] >= 0 || u[2] >= 0;
}

// Per point, its weakest sight among the observations other than height differences.
std::vector<WeakSight> weakestSights(const Network &network, const AdjustmentOutcome &outcome,
                                     const SelectedInverse &inverse)
{
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(network.observations.size());
    for (const Observation &o : network.observations) {
        if (o.kind != ObservationKind::HeightDifference && o.station != o.target)
            pairs.emplace_back(std::min(o.station, o.target), std::max(o.station, o.target));
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    std::vector<WeakSight> weakest(network.points.size());
    const Unknowns &unknowns = outcome.unknowns;
    // The variance of each pair's difference, in parallel; the weakest are then taken in the
    // order of the pairs.
    std::vector<double> variances(pairs.size(), 0.0);
    forEachChunk(pairs.size(), 1024, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            const auto [a, b] = pairs[k];
            if (!hasFreeCoordinate(unknowns, a) && !hasFreeCoordinate(unknowns, b))
                continue;
            const auto &ua = unknowns.point[static_cast<std::size_t>(a)];
            const auto &ub = unknowns.point[static_cast<std::size_t>(b)];
            // Both points' coordinates are joined by the observation: the block lies on the
            // pattern.
            const Eigen::MatrixXd q = inverse.block({ua[0], ua[1], ua[2], ub[0], ub[1], ub[2]});
            variances[k] = q.topLeftCorner<3, 3>().trace() + q.bottomRightCorner<3, 3>().trace() -
                           2.0 * q.topRightCorner<3, 3>().trace();
        }
    });
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const auto [a, b] = pairs[k];
        if (!hasFreeCoordinate(unknowns, a) && !hasFreeCoordinate(unknowns, b))
            continue;
        const double variance = variances[k];
        const double length = (outcome.state.coordinates[static_cast<std::size_t>(b)] -
                               outcome.state.coordinates[static_cast<std::size_t>(a)])
                                  .norm();
        if (!(length > 0.0))
            continue;
        const double sigma = std::sqrt(std::max(variance, 0.0));
        // A NaN share counts as the weakest of all.
        const double share =
            std::isnan(sigma / length) ? std::numeric_limits<double>::infinity() : sigma / length;
        for (const auto &[point, other] : {std::pair<int, int>{a, b}, std::pair<int, int>{b, a}}) {
            WeakSight &w = weakest[static_cast<std::size_t>(point)];
            if (hasFreeCoordinate(unknowns, point) && share > w.share)
                w = {share, sigma, length, other};
        }
    }
    return weakest;
}

// The points of `weakest` whose share exceeds `threshold`, weakest first, at most `count` of
// them, as « P » (écart-type 87.481 m pour 233.000 m jusqu'à « A »).
std::string weakPointsText(const Network &network, const std::vector<WeakSight> &weakest,
                           double threshold, std::size_t count)
{
    std::vector<int> points;
    for (std::size_t p = 0; p < weakest.size(); ++p) {
        if (weakest[p].share > threshold)
            points.push_back(static_cast<int>(p));
    }
    std::stable_sort(points.begin(), points.end(), [&](int a, int b) {
        return weakest[static_cast<std::size_t>(a)].share >
               weakest[static_cast<std::size_t>(b)].share;
    });
    std::string text;
    for (std::size_t i = 0; i < points.size() && i < count; ++i) {
        const WeakSight &w = weakest[static_cast<std::size_t>(points[i])];
        text += (i == 0 ? "" : ", ") + fr("« ") +
                network.points[static_cast<std::size_t>(points[i])].name + fr(" » (écart-type ") +
                fixed(w.sigma, 0, 3) + fr(" m pour ") + fixed(w.length, 0, 3) +
                fr(" m jusqu'à « ") + network.points[static_cast<std::size_t>(w.other)].name +
                fr(" »)");
    }
    if (points.size() > count)
        text += fr(" et ") + std::to_string(points.size() - count) + fr(" autre(s)");
    return text;
}

} // namespace

BlockDesign blockDesign(const Eigen::SparseMatrix<double, Eigen::RowMajor> &design,
                        const WeightBlock &block)
{
    using RowIterator = Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator;
    BlockDesign result;
    for (Eigen::Index r = 0; r < block.size(); ++r) {
        for (RowIterator it(design, block.first + r); it; ++it)
            result.unknowns.push_back(static_cast<int>(it.col()));
    }
    std::sort(result.unknowns.begin(), result.unknowns.end());
    result.unknowns.erase(std::unique(result.unknowns.begin(), result.unknowns.end()),
                          result.unknowns.end());
    result.rows =
        Eigen::MatrixXd::Zero(block.size(), static_cast<Eigen::Index>(result.unknowns.size()));
    for (Eigen::Index r = 0; r < block.size(); ++r) {
        for (RowIterator it(design, block.first + r); it; ++it) {
            const auto at = std::lower_bound(result.unknowns.begin(), result.unknowns.end(),
                                             static_cast<int>(it.col())) -
                            result.unknowns.begin();
            result.rows(r, at) = it.value();
        }
    }
    return result;
}

namespace {

// The critical value of the test of an item of `dimension` components at the risk `alpha`: the
// chi-square quantile without scaling; with scaling, f x with I_x(d/2, (f - d)/2) = 1 - alpha,
// found by bisection on the incomplete beta function (its upper tail, kept exact near 1 - alpha).
double itemCritical(double alpha, bool scaled, int dof, int dimension)
{
    if (!scaled)
        return chiSquareUpperQuantile(alpha, dimension);
    const double a = dimension / 2.0;
    const double b = (dof - dimension) / 2.0;
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 200 && high - low > 1e-16; ++i) {
        const double middle = 0.5 * (low + high);
        // P(B > x) = I_{1-x}(b, a).
        if (regularizedBeta(1.0 - middle, b, a) > alpha)
            low = middle;
        else
            high = middle;
    }
    return dof * 0.5 * (low + high);
}

constexpr int kItemDimension = 3;

} // namespace

Statistics computeStatistics(const Network &network, const AdjustmentOutcome &outcome,
                             const Options &options, InverseStorage storage)
{
    Statistics st;
    const auto m = static_cast<Eigen::Index>(network.observations.size());
    st.observations = static_cast<int>(m);
    st.unknowns = outcome.unknowns.count;
    // The factor of each a priori weight; an observation left out counts for nothing but its
    // residual, tested against the solution of the others.
    const Eigen::VectorXd factors =
        outcome.weightFactors.size() == m ? outcome.weightFactors : Eigen::VectorXd::Ones(m).eval();
    for (Eigen::Index i = 0; i < m; ++i)
        st.leftOut += factors(i) > 0.0 ? 0 : 1;
    // The datum defect of a free network is no unknown the observations determine.
    st.degreesOfFreedom =
        st.observations - st.leftOut - st.unknowns + (outcome.datum ? outcome.datum->defect() : 0);

    if (!(options.validation > 0.0 && options.validation < 1.0))
        throw std::domain_error(fr("seuil de confiance VALIDATION hors de ]0 ; 1[ : les tests "
                                   "statistiques ne sont pas définis."));
    Eigen::VectorXd cofactors = Eigen::VectorXd::Zero(m);
    if (outcome.factor) {
        NormalFactor &factor = *outcome.factor;
        st.inverse = storage == InverseStorage::OverFactor && factor.onStructuralPattern
                         ? std::make_shared<const SelectedInverse>(factor, outcome.datum.get(),
                                                                   InverseStorage::OverFactor)
                         : std::make_shared<const SelectedInverse>(factor, outcome.datum.get());
        // What the inversion's work freed goes back before the results per observation.
        returnFreeMemory(kFreeMemoryWorthReturning);
        cofactors = adjustedObservationCofactors(*st.inverse, outcome.design);
    }
    // Allocated only now, so as not to add to the selected inversion's peak of memory.
    st.perObservation.resize(static_cast<std::size_t>(m));

    // Per observation its share of v'Pv: p v^2, or v_i (P_b v_b)_i in a weight block.
    Eigen::VectorXd weightedSquares(m);
    std::vector<bool> inBlock(static_cast<std::size_t>(m), false);
    for (const WeightBlock &block : outcome.weightBlocks) {
        for (Eigen::Index r = 0; r < block.size(); ++r)
            inBlock[static_cast<std::size_t>(block.first + r)] = true;
    }
    for (Eigen::Index i = 0; i < m; ++i) {
        if (inBlock[static_cast<std::size_t>(i)])
            continue;
        ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double p = outcome.weights(i);
        s.residual = outcome.residuals(i);
        s.adjustedSigma = std::sqrt(std::max(cofactors(i), 0.0));
        if (!(factors(i) > 0.0)) {
            const double sigma = network.observations[static_cast<std::size_t>(i)].sigma;
            s.leftOut = true;
            s.correlated = true;
            s.residualCofactor = sigma * sigma + std::max(cofactors(i), 0.0);
            s.redundancy = 1.0;
            weightedSquares(i) = 0.0;
            continue;
        }
        const double redundancy = 1.0 - p * cofactors(i);
        st.rawRedundancySum += redundancy;
        s.redundancy = std::clamp(redundancy, 0.0, 1.0);
        weightedSquares(i) = p * s.residual * s.residual;
        st.weightedSquares += weightedSquares(i);
        st.redundancySum += s.redundancy;
    }
    for (std::size_t b = 0; b < outcome.weightBlocks.size(); ++b) {
        const WeightBlock &block = outcome.weightBlocks[b];
        const double factor = factors(block.first);
        const bool leftOut = !(factor > 0.0);
        const Eigen::MatrixXd covariance =
            leftOut ? network.correlated[b].covariance : network.correlated[b].covariance / factor;
        Eigen::MatrixXd adjusted = Eigen::MatrixXd::Zero(block.size(), block.size());
        if (st.inverse) {
            // The block's unknowns are coupled in N by its weight: their block of N^-1 lies on
            // the pattern of the factor.
            const BlockDesign d = blockDesign(outcome.design, block);
            if (!d.unknowns.empty())
                adjusted = d.rows * st.inverse->block(d.unknowns) * d.rows.transpose();
        }
        // Left out, its residual is the prediction error of the others' solution.
        const Eigen::MatrixXd qvv = leftOut ? Eigen::MatrixXd(covariance + adjusted)
                                            : Eigen::MatrixXd(covariance - adjusted);
        const Eigen::MatrixXd redundancies = qvv * block.weight;
        const Eigen::VectorXd v = outcome.residuals.segment(block.first, block.size());
        const Eigen::VectorXd pv = block.weight * v;
        const Eigen::MatrixXd pqp = block.weight * qvv * block.weight;
        for (Eigen::Index at = 0; at + kItemDimension <= block.size(); at += kItemDimension) {
            ItemStatistics item;
            item.first = static_cast<int>(block.first + at);
            item.residualCofactors = qvv.block<3, 3>(at, at);
            const Eigen::Matrix3d m = pqp.block<3, 3>(at, at);
            const Eigen::Vector3d g = pv.segment<3>(at);
            const Eigen::Vector3d r = redundancies.diagonal().segment<3>(at);
            const Eigen::LDLT<Eigen::Matrix3d> solver(m);
            item.controlled = r.minCoeff() >= kUncontrolledRedundancy &&
                              solver.info() == Eigen::Success && solver.isPositive() &&
                              solver.vectorD().minCoeff() > 0.0;
            if (item.controlled)
                item.test = g.dot(solver.solve(g));
            st.items.push_back(item);
        }
        for (Eigen::Index r = 0; r < block.size(); ++r) {
            const Eigen::Index i = block.first + r;
            ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
            s.residual = v(r);
            s.correlated = true;
            s.residualCofactor = qvv(r, r);
            s.adjustedSigma = std::sqrt(std::max(adjusted(r, r), 0.0));
            if (leftOut) {
                s.leftOut = true;
                s.redundancy = 1.0;
                weightedSquares(i) = 0.0;
                continue;
            }
            st.rawRedundancySum += redundancies(r, r);
            s.redundancy = std::clamp(redundancies(r, r), 0.0, 1.0);
            weightedSquares(i) = v(r) * pv(r);
            st.weightedSquares += weightedSquares(i);
            st.redundancySum += s.redundancy;
        }
    }

    // The risk alpha is exact even for a confidence next to 1, and every bound is taken from the
    // tail of alpha / 2 itself, whose complement could round to 1.
    const double alpha = 1.0 - options.validation;
    // A pre-analysis has no residuals to test: its precisions are those of a known s0 of 1.
    st.preAnalysis = options.calculationType == CalculationType::Simulation;
    if (st.degreesOfFreedom > 0 && !st.preAnalysis) {
        st.varianceFactor = st.weightedSquares / st.degreesOfFreedom;
        st.chiLower = chiSquareQuantile(alpha / 2.0, st.degreesOfFreedom);
        st.chiUpper = chiSquareUpperQuantile(alpha / 2.0, st.degreesOfFreedom);
        const bool passed = st.weightedSquares >= st.chiLower && st.weightedSquares <= st.chiUpper;
        st.chiSquare = passed ? ChiSquareOutcome::Passed : ChiSquareOutcome::Failed;
        // Automatic: scale only when the a priori precisions are too optimistic.
        st.scaled =
            options.sigmaScaling == SigmaScaling::Always ||
            (options.sigmaScaling == SigmaScaling::Auto && st.weightedSquares > st.chiUpper);
        if (st.scaled && st.varianceFactor > 0.0)
            st.sigmaScale = std::sqrt(st.varianceFactor);
        else
            st.scaled = false;
    }
    if (st.preAnalysis) {
        st.varianceFactor = 1.0;
    } else if (!st.scaled) {
        if (st.degreesOfFreedom > 0) {
            st.residualTest = ResidualTestKind::Normal;
            st.criticalValue = normalUpperQuantile(alpha / 2.0);
        }
    } else if (st.degreesOfFreedom >= 2) {
        st.residualTest = ResidualTestKind::Tau;
        st.criticalValue = tauCriticalValue(alpha, st.degreesOfFreedom);
    }

    if (st.residualTest != ResidualTestKind::None &&
        (!st.scaled || st.degreesOfFreedom > kItemDimension))
        st.itemCriticalValue = itemCritical(alpha, st.scaled, st.degreesOfFreedom, kItemDimension);
    for (ItemStatistics &item : st.items) {
        item.test /= st.sigmaScale * st.sigmaScale;
        item.valid =
            !item.controlled || st.itemCriticalValue == 0.0 || item.test <= st.itemCriticalValue;
    }

    for (Eigen::Index i = 0; i < m; ++i) {
        ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double sigma = network.observations[static_cast<std::size_t>(i)].sigma /
                             (s.leftOut ? 1.0 : std::sqrt(factors(i)));
        s.adjustedSigma *= st.sigmaScale;
        s.controlled = s.redundancy >= kUncontrolledRedundancy;
        if (s.correlated)
            s.controlled = s.controlled && s.residualCofactor > 0.0;
        if (s.controlled) {
            s.normalized = s.correlated
                               ? s.residual / (st.sigmaScale * std::sqrt(s.residualCofactor))
                               : s.residual / (st.sigmaScale * sigma * std::sqrt(s.redundancy));
            s.valid = !s.leftOut && (st.residualTest == ResidualTestKind::None ||
                                     std::fabs(s.normalized) <= st.criticalValue);
        }
        if (s.valid)
            ++st.validCount;
    }

    // Sorted with their keys beside them rather than reached through the statistics; equal keys
    // in the order of the observations, in place rather than through a stable sort's buffer.
    std::vector<std::pair<double, int>> ranked(static_cast<std::size_t>(m));
    for (Eigen::Index i = 0; i < m; ++i)
        ranked[static_cast<std::size_t>(i)] = {
            std::fabs(st.perObservation[static_cast<std::size_t>(i)].normalized),
            static_cast<int>(i)};
    std::sort(ranked.begin(), ranked.end(),
              [](const std::pair<double, int> &a, const std::pair<double, int> &b) {
                  return a.first > b.first || (a.first == b.first && a.second < b.second);
              });
    st.rankOrder.resize(ranked.size());
    for (std::size_t r = 0; r < ranked.size(); ++r) {
        st.rankOrder[r] = ranked[r].second;
        st.perObservation[static_cast<std::size_t>(ranked[r].second)].rank =
            static_cast<int>(r) + 1;
    }

    // Standard deviations of the unknowns from the diagonal blocks of N^-1.
    st.pointSigmas.assign(network.points.size(), Eigen::Vector3d::Zero());
    st.pointCovariances.assign(network.points.size(), Eigen::Matrix3d::Zero());
    st.orientationSigmas.assign(network.sets.size(), 0.0);
    st.heightSigmas.assign(network.unknownHeights.size(), 0.0);
    if (st.inverse) {
        forEachChunk(network.points.size(), 256, [&](std::size_t begin, std::size_t end) {
            for (std::size_t p = begin; p < end; ++p) {
                const auto &u = outcome.unknowns.point[p];
                if (u[0] < 0 && u[1] < 0 && u[2] < 0)
                    continue;
                const Eigen::MatrixXd block =
                    st.inverse->block(std::vector<int>(u.begin(), u.end()));
                st.pointCovariances[p] = st.sigmaScale * st.sigmaScale * block;
                for (int c = 0; c < 3; ++c)
                    st.pointSigmas[p](c) = st.sigmaScale * std::sqrt(std::max(block(c, c), 0.0));
            }
        });
        std::vector<int> sets(outcome.unknowns.set.begin(), outcome.unknowns.set.end());
        for (std::size_t s = 0; s < sets.size(); ++s) {
            if (sets[s] >= 0) {
                const Eigen::MatrixXd block = st.inverse->block({sets[s]});
                st.orientationSigmas[s] = st.sigmaScale * std::sqrt(std::max(block(0, 0), 0.0));
            }
        }
        for (std::size_t h = 0; h < outcome.unknowns.height.size(); ++h) {
            const Eigen::MatrixXd block = st.inverse->block({outcome.unknowns.height[h]});
            st.heightSigmas[h] = st.sigmaScale * std::sqrt(std::max(block(0, 0), 0.0));
        }
    }

    // Secondary parameters: significant when |t| exceeds the two-sided bound at the VALIDATION
    // level; with s0 in their standard deviation, t follows Student's law of f degrees of freedom.
    if (st.degreesOfFreedom > 0) {
        st.secondaryTest = st.scaled ? ResidualTestKind::Tau : ResidualTestKind::Normal;
        st.secondaryCriticalValue = st.scaled
                                        ? studentUpperQuantile(alpha / 2.0, st.degreesOfFreedom)
                                        : normalUpperQuantile(alpha / 2.0);
    }
    for (std::size_t k = 0; k < outcome.unknowns.secondary.size(); ++k) {
        SecondaryStatistics parameter;
        parameter.value = outcome.state.secondary[k];
        if (st.inverse) {
            const Eigen::MatrixXd block = st.inverse->block({outcome.unknowns.secondary[k]});
            parameter.sigma = st.sigmaScale * std::sqrt(std::max(block(0, 0), 0.0));
        }
        if (parameter.sigma > 0.0) {
            parameter.test = std::fabs(parameter.value) / parameter.sigma;
            parameter.significant =
                st.secondaryCriticalValue > 0.0 && parameter.test > st.secondaryCriticalValue;
        }
        st.secondary.push_back(parameter);
    }

    // Partial variance factors, per kind of observation then per group.
    std::map<int, PartialFactor> kinds;
    std::map<std::string, PartialFactor> groups;
    for (Eigen::Index i = 0; i < m; ++i) {
        const Observation &o = network.observations[static_cast<std::size_t>(i)];
        const ObservationStatistics &s = st.perObservation[static_cast<std::size_t>(i)];
        const double pv2 = weightedSquares(i);
        if (s.leftOut)
            continue;
        for (PartialFactor *f : {&kinds[static_cast<int>(o.kind)],
                                 o.group < 0 ? nullptr : &groups[network.groupOf(o)]}) {
            if (!f)
                continue;
            ++f->count;
            f->weightedSquares += pv2;
            f->redundancy += s.redundancy;
        }
    }
    for (auto &[kind, f] : kinds) {
        f.label = observationCode(static_cast<ObservationKind>(kind));
        st.partialFactors.push_back(f);
    }
    for (auto &[group, f] : groups) {
        f.label = fr("groupe ") + group;
        st.partialFactors.push_back(f);
    }
    return st;
}

bool checkDetermination(const Network &network, const AdjustmentOutcome &outcome,
                        const Statistics &statistics, Diagnostics &diagnostics)
{
    if (!statistics.inverse)
        return true;
    const std::vector<WeakSight> weakest = weakestSights(network, outcome, *statistics.inverse);
    bool determined = true;
    const double gap = std::fabs(statistics.rawRedundancySum - statistics.degreesOfFreedom);
    if (!(gap <= kRedundancySumTolerance * std::max(statistics.observations, 1))) {
        determined = false;
        const std::string weakestPoints = weakPointsText(network, weakest, 0.0, 3);
        diagnostics.error(
            std::string(), 0,
            fr("Système normal quasi singulier : la somme des nombres de redondance (") +
                fixed(statistics.rawRedundancySum, 0, 6) +
                fr(") diffère du nombre de degrés de liberté (") +
                std::to_string(statistics.degreesOfFreedom) +
                fr(") : l'inverse de la matrice normale n'est pas fiable.") +
                (weakestPoints.empty() ? std::string()
                                       : fr(" Points les plus faibles : ") + weakestPoints + "."));
    }
    const std::string weak = weakPointsText(network, weakest, kUndeterminedShare, 12);
    if (!weak.empty()) {
        determined = false;
        diagnostics.error(
            std::string(), 0,
            fr("Points non déterminés par les observations : ") + weak +
                fr(". Leur écart-type par rapport à un point visé dépasse le dixième de la "
                   "distance qui les sépare : leur géométrie est critique (point sur le cercle "
                   "dangereux d'un relèvement, visées alignées) ou ils ne sont pas assez "
                   "observés."));
    }
    return determined;
}

} // namespace engine
