#include "engine/estimation/regions.h"

#include "engine/estimation/componentframes.h"

#include "engine/base/chunkedloop.h"
#include "engine/base/text.h"
#include "engine/estimation/distributions.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace engine {

namespace {

constexpr double kRadToDeg = 57.295779513082320876798;

// Position of north, east, up among a point's unknowns, which are numbered east, north, up.
constexpr int kEnuOfNeu[3] = {1, 0, 2};

// Components of the three pairs NE, NU, EU.
constexpr int kPairComponents[3][2] = {{0, 1}, {0, 2}, {1, 2}};

// The (north, east, up) unknowns of a point, -1 where fixed.
std::array<int, 3> neuUnknowns(const Unknowns &unknowns, int point)
{
    const auto &enu = unknowns.point[static_cast<std::size_t>(point)];
    return {enu[static_cast<std::size_t>(kEnuOfNeu[0])],
            enu[static_cast<std::size_t>(kEnuOfNeu[1])],
            enu[static_cast<std::size_t>(kEnuOfNeu[2])]};
}

bool hasFreeCoordinate(const Unknowns &unknowns, int point)
{
    const auto &u = unknowns.point[static_cast<std::size_t>(point)];
    return u[0] >= 0 || u[1] >= 0 || u[2] >= 0;
}

} // namespace

double confidenceFactor(int dimension, double confidence)
{
    return std::sqrt(chiSquareQuantile(confidence, dimension));
}

Ellipse ellipse(const Eigen::Matrix2d &covariance, double factor)
{
    // Closed form of the eigen decomposition of a symmetric 2x2 matrix.
    const double a = covariance(0, 0);
    const double b = covariance(1, 1);
    const double c = 0.5 * (covariance(0, 1) + covariance(1, 0));
    const double mean = 0.5 * (a + b);
    const double radius = std::hypot(0.5 * (a - b), c);
    Ellipse e;
    e.semiAxis1 = factor * std::sqrt(std::max(mean + radius, 0.0));
    e.semiAxis2 = factor * std::sqrt(std::max(mean - radius, 0.0));
    // The major axis makes the angle t with the first axis, tan 2t = 2c / (a - b).
    double bearing = radius > 0.0 ? 0.5 * std::atan2(2.0 * c, a - b) * kRadToDeg : 0.0;
    if (bearing < 0.0)
        bearing += 180.0;
    e.bearing = bearing >= 180.0 ? 0.0 : bearing;
    return e;
}

Ellipsoid ellipsoid(const Eigen::Matrix3d &covariance, double factor)
{
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(
        0.5 * (covariance + covariance.transpose()));
    Ellipsoid e;
    // Eigenvalues come in increasing order.
    for (int k = 0; k < 3; ++k) {
        e.semiAxes(k) = factor * std::sqrt(std::max(solver.eigenvalues()(2 - k), 0.0));
        Eigen::Vector3d direction = solver.eigenvectors().col(2 - k);
        if (direction(2) < 0.0 || (direction(2) == 0.0 && direction(0) < 0.0))
            direction = -direction;
        e.directions.col(k) = direction;
    }
    return e;
}

Ellipse rectangle(double first, double second)
{
    if (second > first)
        return {second, first, 90.0};
    return {first, second, 0.0};
}

Eigen::Matrix2d pairBlock(const Eigen::Matrix3d &matrix, int pair)
{
    const int i = kPairComponents[pair][0];
    const int j = kPairComponents[pair][1];
    Eigen::Matrix2d block;
    block << matrix(i, i), matrix(i, j), matrix(j, i), matrix(j, j);
    return block;
}

std::vector<std::pair<int, int>> linkedPairs(const Network &network)
{
    std::vector<std::pair<int, int>> pairs;
    pairs.reserve(network.observations.size());
    for (const Observation &o : network.observations) {
        if (o.station != o.target)
            pairs.emplace_back(std::min(o.station, o.target), std::max(o.station, o.target));
    }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    pairs.shrink_to_fit();
    return pairs;
}

Regions computeRegions(const Network &network, const AdjustmentOutcome &outcome,
                       const Statistics &statistics, const Options &options)
{
    Regions regions;
    regions.options = options.regions;
    const RegionOptions &wanted = regions.options;
    bool confidence = false;
    bool relativeConfidence = false;
    bool reliability = options.logReliability;
    bool relativeReliability = false;
    for (std::size_t d = 0; d < 3; ++d) {
        const RegionRow &c = wanted.confidence[d];
        const RegionRow &f = wanted.reliability[d];
        if (c.requested())
            regions.confidenceFactors[d] = confidenceFactor(static_cast<int>(d) + 1, c.confidence);
        if (f.requested() || (d == 0 && options.logReliability)) {
            regions.noncentralities[d] = noncentrality(f.confidence, f.beta);
            if (!(regions.noncentralities[d] > 0.0))
                throw std::domain_error(fr("risque de seconde espèce FIA") + std::to_string(d + 1) +
                                        fr("D_BETA trop grand pour son seuil de confiance : le "
                                           "biais minimal détectable n'a pas de sens."));
        }
        confidence = confidence || c.requested();
        relativeConfidence = relativeConfidence || c.relative;
        reliability = reliability || f.requested();
        relativeReliability = relativeReliability || f.relative;
    }
    regions.links = linkedPairs(network);
    const ComponentFrames frames(network, options, outcome.state, wanted.coordinates);
    if (!statistics.inverse) {
        // No unknowns: no region, but the biases of the observations still have their size.
        if (reliability)
            regions.reliability = computeReliability(network, outcome, statistics, {}, frames);
        return regions;
    }
    const SelectedInverse &inverse = *statistics.inverse;
    const double variance = statistics.sigmaScale * statistics.sigmaScale;

    if (confidence) {
        for (std::size_t p = 0; p < network.points.size(); ++p) {
            if (hasFreeCoordinate(outcome.unknowns, static_cast<int>(p))) {
                PointCovariance c;
                c.point1 = static_cast<int>(p);
                regions.points.push_back(c);
            }
        }
        forEachChunk(regions.points.size(), 256, [&](std::size_t begin, std::size_t end) {
            for (std::size_t k = begin; k < end; ++k) {
                PointCovariance &c = regions.points[k];
                const std::array<int, 3> u = neuUnknowns(outcome.unknowns, c.point1);
                const Eigen::Matrix3d r = frames.rotation(c.point1, c.point1);
                c.covariance = variance * (r * inverse.block({u[0], u[1], u[2]}) * r.transpose());
            }
        });
    }
    // Relative regions between two fixed points would be empty.
    std::vector<std::pair<int, int>> relativeLinks;
    if (relativeConfidence || relativeReliability) {
        for (const auto &link : regions.links) {
            if (hasFreeCoordinate(outcome.unknowns, link.first) ||
                hasFreeCoordinate(outcome.unknowns, link.second))
                relativeLinks.push_back(link);
        }
    }
    if (relativeConfidence) {
        regions.pairs.resize(relativeLinks.size());
        forEachChunk(relativeLinks.size(), 256, [&](std::size_t begin, std::size_t end) {
            for (std::size_t k = begin; k < end; ++k) {
                const auto [first, second] = relativeLinks[k];
                const std::array<int, 3> a = neuUnknowns(outcome.unknowns, first);
                const std::array<int, 3> b = neuUnknowns(outcome.unknowns, second);
                const Eigen::MatrixXd q = inverse.block({a[0], a[1], a[2], b[0], b[1], b[2]});
                // The difference of the two points in the components of the frame at the first.
                Eigen::Matrix<double, 3, 6> difference;
                difference << -frames.rotation(first, first), frames.rotation(second, first);
                PointCovariance &c = regions.pairs[k];
                c.point1 = first;
                c.point2 = second;
                c.covariance = variance * (difference * q * difference.transpose());
            }
        });
    }
    if (reliability)
        regions.reliability = computeReliability(
            network, outcome, statistics,
            relativeReliability ? relativeLinks : std::vector<std::pair<int, int>>(), frames);
    return regions;
}

bool checkFinite(const Network &network, const AdjustmentOutcome &outcome,
                 const Statistics &statistics, const Regions &regions, Diagnostics &diagnostics)
{
    std::string what;
    int fileNumber = 0;
    int lineNumber = 0;
    auto finite = [](double v) { return std::isfinite(v); };
    for (std::size_t p = 0; p < network.points.size() && what.empty(); ++p) {
        if (!outcome.state.coordinates[p].allFinite() || !statistics.pointSigmas[p].allFinite()) {
            what = fr("coordonnées ajustées du point « ") + network.points[p].name + fr(" »");
            fileNumber = network.points[p].fileNumber;
            lineNumber = network.points[p].lineNumber;
        }
    }
    for (std::size_t i = 0; i < network.observations.size() && what.empty(); ++i) {
        const ObservationStatistics &s = statistics.perObservation[i];
        if (!finite(outcome.computed(static_cast<Eigen::Index>(i))) || !finite(s.residual) ||
            !finite(s.normalized) || !finite(s.redundancy) || !finite(s.adjustedSigma)) {
            what = fr("résidu de l'observation");
            fileNumber = network.observations[i].fileNumber;
            lineNumber = network.observations[i].lineNumber;
        }
    }
    if (what.empty()) {
        bool sound =
            std::all_of(outcome.state.orientations.begin(), outcome.state.orientations.end(),
                        finite) &&
            std::all_of(statistics.orientationSigmas.begin(), statistics.orientationSigmas.end(),
                        finite) &&
            std::all_of(outcome.state.heights.begin(), outcome.state.heights.end(), finite) &&
            std::all_of(statistics.heightSigmas.begin(), statistics.heightSigmas.end(), finite);
        for (double v : {statistics.weightedSquares, statistics.varianceFactor, statistics.chiLower,
                         statistics.chiUpper, statistics.sigmaScale, statistics.criticalValue,
                         statistics.redundancySum})
            sound = sound && finite(v);
        for (const PartialFactor &f : statistics.partialFactors)
            sound = sound && finite(f.weightedSquares) && finite(f.redundancy);
        for (const SecondaryStatistics &p : statistics.secondary)
            sound = sound && finite(p.value) && finite(p.sigma) && finite(p.test);
        if (!sound)
            what = fr("statistiques de l'ajustement (orientations, hauteurs inconnues, paramètres "
                      "secondaires, v'Pv, s0, bornes des tests)");
    }
    if (what.empty()) {
        bool sound =
            std::all_of(regions.confidenceFactors.begin(), regions.confidenceFactors.end(),
                        finite) &&
            std::all_of(regions.noncentralities.begin(), regions.noncentralities.end(), finite) &&
            std::all_of(regions.reliability.biasFactor.begin(),
                        regions.reliability.biasFactor.end(), finite);
        for (const auto *list : {&regions.points, &regions.pairs})
            for (const PointCovariance &c : *list)
                sound = sound && c.covariance.allFinite();
        for (const auto *list : {&regions.reliability.points, &regions.reliability.pairs})
            for (const ReliabilityBox &b : *list)
                sound = sound && b.extent.allFinite();
        if (!sound)
            what = fr("régions de confiance ou de fiabilité");
    }
    if (what.empty())
        return true;
    diagnostics.error(
        network.fileName(fileNumber), lineNumber,
        fr("Résultat non fini (") + what +
            fr(") : le calcul a débordé, sans doute sur des valeurs ou des précisions "
               "aberrantes. Aucun résultat n'est écrit."));
    return false;
}

} // namespace engine
