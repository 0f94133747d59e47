#include "engine/estimation/adjustment.h"

#include "engine/base/text.h"
#include "engine/estimation/linearsystem.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/solver/ordering.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace engine {

namespace {

// A coordinate correction beyond this (metres) means the iterations run away.
constexpr double kDivergence = 1e7;

} // namespace

// A mean of unit vectors, so that readings near 0 and 400 gon agree.
void approximateOrientations(const Network &network, const Options &options, State &state,
                             const std::vector<EllipsoidalPosition> *positions)
{
    state.orientations.assign(network.sets.size(), 0.0);
    if (options.approximateOrientation == ApproximateOrientation::Zero)
        return;
    std::vector<std::complex<double>> sums(network.sets.size());
    std::vector<bool> started(network.sets.size(), false);
    for (const Observation &o : network.observations) {
        if (o.kind != ObservationKind::Direction || o.set < 0)
            continue;
        const auto set = static_cast<std::size_t>(o.set);
        if (options.approximateOrientation == ApproximateOrientation::First && started[set])
            continue;
        Eigen::Vector3d d;
        if (positions) {
            const EllipsoidalPosition &from = (*positions)[static_cast<std::size_t>(o.station)];
            d = from.horizon.transpose() *
                ((*positions)[static_cast<std::size_t>(o.target)].geocentric - from.geocentric);
        } else {
            d = state.coordinates[static_cast<std::size_t>(o.target)] -
                state.coordinates[static_cast<std::size_t>(o.station)];
        }
        if (d.head<2>().norm() <= 0.0)
            continue;
        const double orientation = std::atan2(d.x(), d.y()) - o.value;
        sums[set] += std::polar(1.0, orientation);
        started[set] = true;
    }
    for (std::size_t s = 0; s < sums.size(); ++s) {
        if (started[s] && std::abs(sums[s]) > 0.0)
            state.orientations[s] = normalizeAngle(std::arg(sums[s]));
    }
}

namespace {

// Why an observation cannot be linearised.
std::string undefinedSightText(const Observation &o, const ObservationEquation &eq)
{
    switch (eq.geometry) {
    case SightGeometry::CoincidentPoints:
        return fr("Calcul impossible : la station et le point visé sont confondus.");
    case SightGeometry::VerticalSight:
        return o.kind == ObservationKind::Zenith
                   ? fr("Calcul impossible : visée verticale (station et point visé sur la même "
                        "verticale) : l'angle zénithal n'y est pas dérivable.")
                   : fr("Calcul impossible : visée verticale (station et point visé sur la même "
                        "verticale) : sa direction n'est pas définie.");
    case SightGeometry::Defined:
        break;
    }
    return fr("Calcul impossible : valeurs non finies (coordonnées approchées aberrantes ?).");
}

// The secondary parameters of `o` taken into its equation `eq` at `state`: a distance's
// constants and scales, a zenith angle's refraction coefficient in place of its record's. Appends
// the parameters' columns and derivatives to `columns`.
void applySecondary(const Network &network, const Unknowns &unknowns, const Observation &o,
                    const State &state, ObservationEquation &eq,
                    std::vector<std::pair<int, double>> &columns)
{
    double lengthening = 0.0; // the scales, relative
    const double measured = eq.computed;
    for (int k : o.secondary) {
        const auto index = static_cast<std::size_t>(k);
        const double value = state.secondary[index];
        const int column = unknowns.secondary[index];
        switch (network.secondaryParameters[index].type) {
        case SecondaryType::Constant:
            eq.computed += value;
            columns.emplace_back(column, 1.0);
            break;
        case SecondaryType::Scale:
            lengthening += value * 1e-6;
            eq.computed += measured * value * 1e-6;
            columns.emplace_back(column, measured * 1e-6);
            break;
        case SecondaryType::Refraction:
            eq.computed += (value - o.refraction) * eq.refraction;
            columns.emplace_back(column, eq.refraction);
            break;
        case SecondaryType::VarianceGroup:
            break;
        }
    }
    eq.station *= 1.0 + lengthening;
    eq.target *= 1.0 + lengthening;
}

struct Linearisation
{
    Eigen::SparseMatrix<double, Eigen::RowMajor> design;
    Eigen::VectorXd computed;
    Eigen::VectorXd misclosures;
    bool defined = true;
};

// `positions`: the points of the geodetic models at `state`, or null in the local model;
// `onEllipsoid`: in the spherical model, the same points on the ellipsoid (for the vectors).
Linearisation linearise(const Network &network, const Unknowns &unknowns, const State &state,
                        const std::vector<EllipsoidalPosition> *positions,
                        const std::vector<EllipsoidalPosition> *onEllipsoid,
                        Diagnostics &diagnostics)
{
    const auto m = static_cast<Eigen::Index>(network.observations.size());
    Linearisation lin;
    lin.computed.resize(m);
    lin.misclosures.resize(m);
    std::vector<Eigen::Triplet<double>> triplets;
    triplets.reserve(network.observations.size() * 7);
    std::vector<std::pair<int, double>> secondaryColumns;
    for (Eigen::Index i = 0; i < m; ++i) {
        const Observation &o = network.observations[static_cast<std::size_t>(i)];
        ObservationEquation eq =
            positions ? evaluateEllipsoidal(o, *positions, state, onEllipsoid) : evaluate(o, state);
        secondaryColumns.clear();
        if (!o.secondary.empty() && eq.geometry == SightGeometry::Defined)
            applySecondary(network, unknowns, o, state, eq, secondaryColumns);
        const bool finite = std::isfinite(eq.computed) && eq.station.allFinite() &&
                            eq.target.allFinite() && std::isfinite(eq.orientation);
        if (eq.geometry != SightGeometry::Defined || !finite) {
            lin.defined = false;
            diagnostics.error(network.fileName(o.fileNumber), o.lineNumber,
                              undefinedSightText(o, eq));
            lin.computed(i) = 0.0;
            lin.misclosures(i) = 0.0;
            continue;
        }
        lin.computed(i) = eq.computed;
        lin.misclosures(i) = misclosure(o, eq.computed);
        const auto &stationUnknowns = unknowns.point[static_cast<std::size_t>(o.station)];
        const auto &targetUnknowns = unknowns.point[static_cast<std::size_t>(o.target)];
        for (int c = 0; c < 3; ++c) {
            if (stationUnknowns[static_cast<std::size_t>(c)] >= 0 && eq.station(c) != 0.0)
                triplets.emplace_back(i, stationUnknowns[static_cast<std::size_t>(c)],
                                      eq.station(c));
            if (targetUnknowns[static_cast<std::size_t>(c)] >= 0 && eq.target(c) != 0.0)
                triplets.emplace_back(i, targetUnknowns[static_cast<std::size_t>(c)], eq.target(c));
        }
        if (o.kind == ObservationKind::Direction && o.set >= 0) {
            const int column = unknowns.set[static_cast<std::size_t>(o.set)];
            if (column >= 0)
                triplets.emplace_back(i, column, eq.orientation);
        }
        for (const auto &[column, derivative] : secondaryColumns)
            triplets.emplace_back(i, column, derivative);
    }
    lin.design.resize(m, unknowns.count);
    lin.design.setFromTriplets(triplets.begin(), triplets.end());
    return lin;
}

// « name » of a point, Latin-1.
std::string quoted(const std::string &name)
{
    return fr("« ") + name + fr(" »");
}

// The points and direction sets that own the undetermined unknowns, each named once with its
// undetermined components, in the order of the unknowns: « P » (E, N), orientation du jeu 3
// (station « S »).
std::string undeterminedText(const Network &network, const Unknowns &unknowns,
                             std::vector<int> undetermined)
{
    constexpr std::size_t kListed = 12;
    std::sort(undetermined.begin(), undetermined.end());
    std::vector<std::string> items;
    int lastPoint = -1;
    bool lastListed = false;
    std::size_t owners = 0;
    for (int index : undetermined) {
        const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(index)];
        const bool ofPoint = component < kOrientationComponent;
        if (ofPoint && owner == lastPoint) {
            if (lastListed)
                items.back().insert(items.back().size() - 1,
                                    std::string(", ") + componentName(component));
            continue;
        }
        ++owners;
        lastPoint = ofPoint ? owner : -1;
        lastListed = items.size() < kListed;
        if (!lastListed)
            continue;
        items.push_back(!ofPoint ? unknownLabel(network, unknowns, index)
                                 : quoted(network.points[static_cast<std::size_t>(owner)].name) +
                                       " (" + componentName(component) + ")");
    }
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    if (owners > items.size())
        text += fr(" et ") + std::to_string(owners - items.size()) + fr(" autre(s)");
    return text;
}

// What the fixed coordinates leave free, judged from their count and the kinds of observations:
// the observations fix neither the position of the network (east, north, up) nor, without
// azimuths, its rotation about the vertical, nor, with angles alone, its scale. Empty when the
// count suffices; a singular system then comes from the points themselves.
std::string datumDefect(const Network &network, const Unknowns &unknowns)
{
    std::vector<bool> observed(network.points.size(), false);
    // An observed position ties its point as fixed coordinates would.
    std::vector<bool> positioned(network.points.size(), false);
    std::array<bool, 7> kinds{};
    for (const Observation &o : network.observations) {
        observed[static_cast<std::size_t>(o.station)] = true;
        observed[static_cast<std::size_t>(o.target)] = true;
        if (isObservedPosition(o.kind))
            positioned[static_cast<std::size_t>(o.station)] = true;
        else
            kinds[static_cast<std::size_t>(o.kind)] = true;
    }
    const bool positions =
        std::find(positioned.begin(), positioned.end(), true) != positioned.end();
    const bool distances = kinds[static_cast<std::size_t>(ObservationKind::Distance)];
    const bool directions = kinds[static_cast<std::size_t>(ObservationKind::Direction)];
    const bool azimuths = kinds[static_cast<std::size_t>(ObservationKind::Azimuth)];
    const bool zeniths = kinds[static_cast<std::size_t>(ObservationKind::Zenith)];
    const bool levelling = kinds[static_cast<std::size_t>(ObservationKind::HeightDifference)];
    // A GNSS vector fixes the scale and the orientation of the network, not its position.
    const bool vectors = kinds[static_cast<std::size_t>(ObservationKind::Vector)];
    std::array<int, 3> fixedCount{};
    int planPoints = 0; // observed points with a fixed east or north
    bool freePlan = false;
    bool freeHeight = false;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        if (!observed[p])
            continue;
        const Point &point = network.points[p];
        for (std::size_t c = 0; c < 3; ++c)
            fixedCount[c] += point.fixed[c] || positioned[p] ? 1 : 0;
        planPoints += point.fixed[0] || point.fixed[1] || positioned[p] ? 1 : 0;
        freePlan = freePlan || unknowns.point[p][0] >= 0 || unknowns.point[p][1] >= 0;
        freeHeight = freeHeight || unknowns.point[p][2] >= 0;
    }
    const int fixedPlan = fixedCount[0] + fixedCount[1];
    std::vector<std::string> missing;
    if (freePlan) {
        if (!distances && !directions && !azimuths && !positions && !vectors)
            missing.push_back(fr("la planimétrie des points libres (aucune observation DIST, DIR "
                                 "ou AZIM)"));
        if (fixedCount[0] == 0)
            missing.push_back(fr("la translation en est"));
        if (fixedCount[1] == 0)
            missing.push_back(fr("la translation en nord"));
        if (!azimuths && !vectors && (fixedPlan < 3 || planPoints < 2))
            missing.push_back(fr("la rotation autour de la verticale (aucune observation AZIM : il "
                                 "faut au moins 3 coordonnées planimétriques fixes sur 2 points)"));
        // Zenith angles carry the scale of known height differences over to the plan.
        const bool scaleObserved =
            distances || vectors || (zeniths && (levelling || fixedCount[2] >= 2));
        if (!scaleObserved && (fixedPlan < 4 || planPoints < 2))
            missing.push_back(fr("l'échelle (aucune observation DIST : il faut 2 points fixes en "
                                 "planimétrie)"));
    }
    if (freeHeight) {
        if (!distances && !zeniths && !levelling && !positions && !vectors)
            missing.push_back(fr("les hauteurs des points libres (aucune observation DIST, ZANG "
                                 "ou OHDF)"));
        else if (fixedCount[2] == 0)
            missing.push_back(fr("la translation verticale (aucune hauteur fixe)"));
    }
    if (missing.empty())
        return std::string();
    std::string present;
    for (ObservationKind kind :
         {ObservationKind::Distance, ObservationKind::Direction, ObservationKind::Azimuth,
          ObservationKind::Zenith, ObservationKind::HeightDifference, ObservationKind::Vector}) {
        if (kinds[static_cast<std::size_t>(kind)])
            present += std::string(present.empty() ? "" : ", ") + observationCode(kind);
    }
    const int fixedTotal = fixedPlan + fixedCount[2];
    std::string text = fixedTotal == 0
                           ? fr("aucune coordonnée n'est fixée, le réseau n'a pas de datum")
                           : std::to_string(fixedTotal) + fr(" coordonnée(s) fixée(s) (est ") +
                                 std::to_string(fixedCount[0]) + fr(", nord ") +
                                 std::to_string(fixedCount[1]) + fr(", up ") +
                                 std::to_string(fixedCount[2]) + fr(") ne suffisent pas");
    text += fr(". Avec les observations présentes (") + present + fr("), il manque à fixer : ");
    for (std::size_t i = 0; i < missing.size(); ++i)
        text += (i == 0 ? "" : "; ") + missing[i];
    return text + ".";
}

// Factors the scaled normal matrix; undetermined unknowns go to `diagnostics`. The factor of
// the previous iteration, when given, is factored anew: its analysis of the pattern (order and
// supernodes) and its storage serve again.
std::unique_ptr<NormalFactor> factor(const Network &network, const Unknowns &unknowns,
                                     const Linearisation &lin, const Eigen::VectorXd &weights,
                                     const std::vector<WeightBlock> &blocks,
                                     Diagnostics &diagnostics,
                                     std::unique_ptr<NormalFactor> previous)
{
    using RowIterator = Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator;
    auto result = previous ? std::move(previous) : std::make_unique<NormalFactor>();
    const Eigen::Index n = lin.design.cols();
    Eigen::VectorXd diagonal = Eigen::VectorXd::Zero(n);
    for (Eigen::Index i = 0; i < lin.design.rows(); ++i) {
        for (RowIterator it(lin.design, i); it; ++it)
            diagonal(it.col()) += weights(i) * it.value() * it.value();
    }
    for (const WeightBlock &block : blocks) {
        for (Eigen::Index a = 0; a < block.size(); ++a) {
            for (Eigen::Index b = 0; b < block.size(); ++b) {
                for (RowIterator ia(lin.design, block.first + a); ia; ++ia) {
                    for (RowIterator ib(lin.design, block.first + b); ib; ++ib) {
                        if (ia.col() == ib.col())
                            diagonal(ia.col()) += block.weight(a, b) * ia.value() * ib.value();
                    }
                }
            }
        }
    }
    result->scale.resize(n);
    for (Eigen::Index j = 0; j < n; ++j) {
        const double d = diagonal(j);
        result->scale(j) = d > 0.0 && std::isfinite(d) ? 1.0 / std::sqrt(d) : 1.0;
    }
    if (!result->solver.analysis()) {
        const NormalMatrix structure = structuralPattern(network, unknowns);
        result->solver.setOrdering(eliminationOrder(network, unknowns, structure));
        result->solver.analyzePattern(structure);
    }
    // The normal matrix is added up straight into the analysed pattern, which holds every pair
    // of unknowns an observation joins; forming it as a sparse product is the fallback.
    if (!result->solver.computeNormal(lin.design, weights, result->scale, blocks)) {
        const Eigen::SparseMatrix<double> design = lin.design;
        NormalMatrix normal = design.transpose() * weightMatrix(weights, blocks) * design;
        normal = result->scale.asDiagonal() * normal * result->scale.asDiagonal();
        result->solver.compute(normal);
    }
    std::vector<int> undetermined;
    if (result->solver.info() == Eigen::Success) {
        const Eigen::VectorXd &pivots = result->solver.vectorD();
        const auto &order = result->solver.permutationP().indices();
        std::vector<int> original(static_cast<std::size_t>(n));
        for (Eigen::Index j = 0; j < n; ++j)
            original[static_cast<std::size_t>(order(j))] = static_cast<int>(j);
        for (Eigen::Index k = 0; k < n; ++k) {
            if (!(pivots(k) > kPivotTolerance))
                undetermined.push_back(original[static_cast<std::size_t>(k)]);
        }
    } else {
        undetermined.push_back(-1);
    }
    if (undetermined.empty())
        return result;
    const std::string defect = datumDefect(network, unknowns);
    std::string text = fr("Système normal singulier : ");
    if (!defect.empty())
        text += defect;
    else if (undetermined.front() < 0)
        text += fr("la factorisation a échoué.");
    else
        text += fr("les observations ne déterminent pas ") +
                undeterminedText(network, unknowns, undetermined) +
                fr(". Ces points ne sont pas assez observés, ou leur géométrie est critique "
                   "(point sur le cercle dangereux d'un relèvement, visées alignées).");
    diagnostics.error(std::string(), 0, text);
    return nullptr;
}

} // namespace

AdjustmentOutcome adjust(const Network &network, const Options &options, Diagnostics &diagnostics)
{
    return adjust(network, options, diagnostics, Reweighting());
}

AdjustmentOutcome adjust(const Network &network, const Options &options, Diagnostics &diagnostics,
                         Reweighting reweighting)
{
    AdjustmentOutcome out;
    if (network.observations.empty()) {
        diagnostics.error(std::string(), 0, fr("Aucune observation à ajuster."));
        return out;
    }
    out.unknowns = numberUnknowns(network, diagnostics);
    if (diagnostics.hasErrors())
        return out;
    const Unknowns &unknowns = out.unknowns;

    State state;
    // In the geodetic models the coordinates are geocentric, on the ellipsoid or on the sphere.
    const bool ellipsoidal = network.geodetic;
    for (const Point &p : network.points)
        state.coordinates.push_back(ellipsoidal ? network.geocentricOf(p) : p.approximate);
    std::vector<EllipsoidalPosition> positions;
    const auto positionsAt = [&](const State &at) -> const std::vector<EllipsoidalPosition> * {
        if (!ellipsoidal)
            return nullptr;
        positions = ellipsoidalPositions(network, at);
        return &positions;
    };
    approximateOrientations(network, options, state, positionsAt(state));
    for (const SecondaryParameter &parameter : network.secondaryParameters)
        state.secondary.push_back(parameter.start);
    // The spherical model's vectors are differences on the ellipsoid: their ends are taken back
    // there at each iteration.
    const bool vectorsOnEllipsoid =
        network.sphere &&
        std::any_of(network.observations.begin(), network.observations.end(),
                    [](const Observation &o) { return o.kind == ObservationKind::Vector; });
    std::vector<EllipsoidalPosition> ends;
    const auto endsAt = [&](const State &at) -> const std::vector<EllipsoidalPosition> * {
        if (!vectorsOnEllipsoid)
            return nullptr;
        ends.clear();
        ends.reserve(at.coordinates.size());
        for (const Eigen::Vector3d &onSphere : at.coordinates)
            ends.push_back(
                ellipsoidalPosition(network.ellipsoid, network.ellipsoidGeocentricOf(onSphere)));
        return &ends;
    };
    out.approximate = state;
    if (reweighting.start)
        state = *reweighting.start;

    const auto m = static_cast<Eigen::Index>(network.observations.size());
    out.weights.resize(m);
    for (Eigen::Index i = 0; i < m; ++i) {
        const double sigma = network.observations[static_cast<std::size_t>(i)].sigma;
        out.weights(i) = 1.0 / (sigma * sigma);
    }
    for (const CorrelatedBlock &block : network.correlated) {
        WeightBlock w;
        w.first = block.first;
        w.weight =
            block.covariance.llt().solve(Eigen::MatrixXd::Identity(block.size(), block.size()));
        w.weight = 0.5 * (w.weight + w.weight.transpose());
        out.weights.segment(block.first, block.size()).setZero();
        out.weightBlocks.push_back(std::move(w));
    }
    if (reweighting.factors.size() == m) {
        out.weightFactors = reweighting.factors;
        out.weights = out.weights.cwiseProduct(reweighting.factors);
        for (WeightBlock &block : out.weightBlocks)
            block.weight *= reweighting.factors(block.first);
    }

    std::unique_ptr<NormalFactor> previous = std::move(reweighting.factor);
    bool converged = unknowns.count == 0;
    const int maxIterations = reweighting.singleStep ? 1 : options.maxIterations;
    for (int iteration = 1; iteration <= maxIterations && !converged; ++iteration) {
        const Linearisation lin =
            linearise(network, unknowns, state, positionsAt(state), endsAt(state), diagnostics);
        if (!lin.defined)
            return out;
        auto normalFactor = factor(network, unknowns, lin, out.weights, out.weightBlocks,
                                   diagnostics, std::move(previous));
        if (!normalFactor)
            return out;
        const Eigen::VectorXd dx =
            solveNormal(*normalFactor, lin.design, lin.misclosures, out.weights, out.weightBlocks);
        out.iterations = iteration;

        if (!dx.allFinite()) {
            diagnostics.error(std::string(), 0,
                              fr("Les itérations divergent (corrections non finies) : vérifier "
                                 "les coordonnées approchées et les observations."));
            return out;
        }
        IterationRecord record;
        record.number = iteration;
        for (int j = 0; j < unknowns.coordinateCount; ++j) {
            if (!(std::fabs(dx(j)) <= record.maxCorrection)) {
                record.maxCorrection = std::fabs(dx(j));
                record.maxPoint = unknowns.owner[static_cast<std::size_t>(j)].first;
                record.maxComponent = unknowns.owner[static_cast<std::size_t>(j)].second;
            }
        }
        const bool keepMisclosures =
            options.logObservedMinusComputed == IterationListing::All ||
            (options.logObservedMinusComputed == IterationListing::First && iteration == 1);
        const bool keepCorrections =
            options.logIntermediateSolutions == IterationListing::All ||
            (options.logIntermediateSolutions == IterationListing::First && iteration == 1);
        if (keepMisclosures)
            record.misclosures = lin.misclosures;
        if (keepCorrections)
            record.corrections = dx;
        if (options.matrices.eachIteration()) {
            auto system = std::make_shared<LinearSystem>();
            system->iteration = iteration;
            system->design = lin.design;
            system->misclosures = lin.misclosures;
            system->solution = dx;
            if (options.matrices.inverse == MatrixOutput::EachIteration)
                system->inverse =
                    inverseOnPattern(network, unknowns, SelectedInverse(*normalFactor));
            record.system = std::move(system);
        }
        out.history.push_back(record);

        if (record.maxCorrection > kDivergence) {
            diagnostics.error(std::string(), 0,
                              fr("Les itérations divergent (correction de ") +
                                  fixed(record.maxCorrection, 0, 3) +
                                  fr(" m) : vérifier les coordonnées approchées et les "
                                     "observations."));
            return out;
        }
        for (int j = 0; j < unknowns.count; ++j) {
            const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(j)];
            if (component == kSecondaryComponent) {
                state.secondary[static_cast<std::size_t>(owner)] += dx(j);
            } else if (component == kOrientationComponent) {
                double &orientation = state.orientations[static_cast<std::size_t>(owner)];
                orientation = normalizeAngle(orientation + dx(j));
            } else if (ellipsoidal) {
                // East, north and up of the point's horizon, the columns of its matrix.
                const auto point = static_cast<std::size_t>(owner);
                state.coordinates[point] += positions[point].horizon.col(component) * dx(j);
            } else {
                state.coordinates[static_cast<std::size_t>(owner)](component) += dx(j);
            }
        }
        converged = reweighting.singleStep || record.maxCorrection < options.convergence;
        previous = std::move(normalFactor);
    }
    out.state = state;
    if (!converged) {
        diagnostics.error(std::string(), 0,
                          fr("Pas de convergence après ") + std::to_string(out.iterations) +
                              fr(" itérations (critère ") + fixed(options.convergence, 0, 6) +
                              fr(" m) : augmenter NBMAXITER ou vérifier les coordonnées "
                                 "approchées."));
        return out;
    }

    const Linearisation final =
        linearise(network, unknowns, state, positionsAt(state), endsAt(state), diagnostics);
    if (!final.defined)
        return out;
    out.design = final.design;
    out.computed = final.computed;
    out.residuals = -final.misclosures;
    if (!reweighting.finalFactor) {
        out.factor = std::move(previous);
        out.solved = true;
        return out;
    }
    if (unknowns.count > 0) {
        out.factor = factor(network, unknowns, final, out.weights, out.weightBlocks, diagnostics,
                            std::move(previous));
        if (!out.factor)
            return out;
    }
    out.solved = true;
    return out;
}

} // namespace engine
