#include "engine/estimation/adjustment.h"

#include "engine/base/parallelfailure.h"
#include "engine/base/text.h"
#include "engine/estimation/linearsystem.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/solver/ordering.h"

#include <Eigen/Cholesky>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <numeric>
#include <stdexcept>

namespace engine {

namespace {

// A coordinate correction beyond this (metres) means the iterations run away.
constexpr double kDivergence = 1e7;

// Observations linearised together, by one thread.
constexpr Eigen::Index kObservationRun = 4096;

// A design matrix below this size is kept through the final factorization: taking it again after
// costs more time than its memory is worth.
constexpr std::size_t kDesignWorthReleasing = std::size_t(64) << 20;

std::size_t bytesOf(const DesignMatrix &design)
{
    return static_cast<std::size_t>(design.nonZeros()) * (sizeof(double) + sizeof(int)) +
           static_cast<std::size_t>(design.outerSize()) * sizeof(int);
}

std::atomic<bool> everyIterationFactored{false};

} // namespace

void setFactorEveryIteration(bool every)
{
    everyIterationFactored = every;
}

bool factorEveryIteration()
{
    return everyIterationFactored;
}

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
    for (int k : network.secondaryOf(o)) {
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
            eq.computed += (value - o.refraction()) * eq.refraction;
            columns.emplace_back(column, eq.refraction);
            break;
        case SecondaryType::VarianceGroup:
            break;
        }
    }
    eq.station *= 1.0 + lengthening;
    eq.target *= 1.0 + lengthening;
}

// The most entries the row of `o` in the design can take: its station's and its target's
// unknown coordinates, its set's orientation, its secondary parameters and its unknown heights.
long entryBound(const Observation &o, const Unknowns &unknowns)
{
    long bound = o.secondaryCount;
    for (const int point : {o.station, o.target}) {
        for (const int column : unknowns.point[static_cast<std::size_t>(point)])
            bound += column >= 0;
    }
    if (o.kind == ObservationKind::Direction && o.set >= 0)
        bound += unknowns.set[static_cast<std::size_t>(o.set)] >= 0;
    bound += o.instrumentUnknown >= 0;
    bound += o.targetUnknown >= 0;
    return bound;
}

struct Linearisation
{
    DesignMatrix design;
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
    // The observations are taken in runs of a fixed length, in parallel. Each run writes the
    // entries of its rows (columns ascending, a column met twice summed in the order met) straight
    // into the design, from where the run's rows would end if each took as many entries as its
    // observation can, and keeps its errors; the runs are then moved together in the order of
    // the observations. The design is so never held twice.
    struct Run
    {
        std::vector<int> counts; // entries of each row
        std::vector<std::pair<Eigen::Index, std::string>> errors;
    };
    const Eigen::Index runCount = (m + kObservationRun - 1) / kObservationRun;
    std::vector<Run> runs(static_cast<std::size_t>(runCount));
    const auto runEnd = [&](Eigen::Index r) { return std::min(m, (r + 1) * kObservationRun); };
    std::vector<long> boundStart(static_cast<std::size_t>(runCount) + 1, 0);
#pragma omp parallel for schedule(static)
    for (Eigen::Index r = 0; r < runCount; ++r) {
        long bound = 0;
        for (Eigen::Index i = r * kObservationRun; i < runEnd(r); ++i)
            bound += entryBound(network.observations[static_cast<std::size_t>(i)], unknowns);
        boundStart[static_cast<std::size_t>(r) + 1] = bound;
    }
    std::partial_sum(boundStart.begin(), boundStart.end(), boundStart.begin());
    lin.design.resize(m, unknowns.count);
    lin.design.resizeNonZeros(static_cast<Eigen::Index>(boundStart.back()));
    int *columns = lin.design.innerIndexPtr();
    double *values = lin.design.valuePtr();
    ParallelFailure failure;
#pragma omp parallel for schedule(dynamic, 1)
    for (Eigen::Index r = 0; r < runCount; ++r) {
        failure.run([&] {
            Run &run = runs[static_cast<std::size_t>(r)];
            const Eigen::Index end = runEnd(r);
            run.counts.reserve(static_cast<std::size_t>(end - r * kObservationRun));
            long at = boundStart[static_cast<std::size_t>(r)];
            std::vector<std::pair<int, double>> row;
            for (Eigen::Index i = r * kObservationRun; i < end; ++i) {
                const Observation &o = network.observations[static_cast<std::size_t>(i)];
                ObservationEquation eq =
                    positions ? evaluateEllipsoidal(o, *positions, state, onEllipsoid)
                              : evaluate(o, state);
                row.clear();
                if (o.secondaryCount > 0 && eq.geometry == SightGeometry::Defined)
                    applySecondary(network, unknowns, o, state, eq, row);
                const bool finite = std::isfinite(eq.computed) && eq.station.allFinite() &&
                                    eq.target.allFinite() && std::isfinite(eq.orientation);
                if (eq.geometry != SightGeometry::Defined || !finite) {
                    run.errors.emplace_back(i, undefinedSightText(o, eq));
                    lin.computed(i) = 0.0;
                    lin.misclosures(i) = 0.0;
                    run.counts.push_back(0);
                    continue;
                }
                lin.computed(i) = eq.computed;
                lin.misclosures(i) = misclosure(o, eq.computed);
                // The secondary parameters' columns, already in `row`, go after the others.
                const std::vector<std::pair<int, double>> secondary(row.begin(), row.end());
                row.clear();
                const auto &stationUnknowns = unknowns.point[static_cast<std::size_t>(o.station)];
                const auto &targetUnknowns = unknowns.point[static_cast<std::size_t>(o.target)];
                for (int c = 0; c < 3; ++c) {
                    if (stationUnknowns[static_cast<std::size_t>(c)] >= 0 && eq.station(c) != 0.0)
                        row.emplace_back(stationUnknowns[static_cast<std::size_t>(c)],
                                         eq.station(c));
                    if (targetUnknowns[static_cast<std::size_t>(c)] >= 0 && eq.target(c) != 0.0)
                        row.emplace_back(targetUnknowns[static_cast<std::size_t>(c)], eq.target(c));
                }
                if (o.kind == ObservationKind::Direction && o.set >= 0) {
                    const int column = unknowns.set[static_cast<std::size_t>(o.set)];
                    if (column >= 0)
                        row.emplace_back(column, eq.orientation);
                }
                row.insert(row.end(), secondary.begin(), secondary.end());
                if (o.instrumentUnknown >= 0 && eq.instrumentHeight != 0.0)
                    row.emplace_back(unknowns.height[static_cast<std::size_t>(o.instrumentUnknown)],
                                     eq.instrumentHeight);
                if (o.targetUnknown >= 0 && eq.targetHeight != 0.0)
                    row.emplace_back(unknowns.height[static_cast<std::size_t>(o.targetUnknown)],
                                     eq.targetHeight);
                std::stable_sort(row.begin(), row.end(),
                                 [](const auto &a, const auto &b) { return a.first < b.first; });
                // The bound holds by construction; checked all the same, since a row beyond it
                // would write over the next run's.
                if (at + static_cast<long>(row.size()) >
                    boundStart[static_cast<std::size_t>(r) + 1])
                    throw std::logic_error(
                        fr("ligne de la matrice des dérivées plus longue que prévu"));
                const long first = at;
                for (const auto &[column, value] : row) {
                    if (at > first && columns[at - 1] == column) {
                        values[at - 1] += value;
                    } else {
                        columns[at] = column;
                        values[at++] = value;
                    }
                }
                run.counts.push_back(static_cast<int>(at - first));
            }
        });
    }
    failure.rethrow();
    int *outer = lin.design.outerIndexPtr();
    outer[0] = 0;
    Eigen::Index i = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        for (const auto &[index, text] : runs[r].errors) {
            const Observation &o = network.observations[static_cast<std::size_t>(index)];
            lin.defined = false;
            diagnostics.error(network.fileName(o.fileNumber), o.lineNumber, text);
        }
        const long from = boundStart[r];
        for (int count : runs[r].counts) {
            outer[i + 1] = outer[i] + count;
            ++i;
        }
        // Each run moves down (or stays): never over a run not yet moved.
        const long to = outer[r * kObservationRun];
        const long count = outer[i] - to;
        if (to != from) {
            std::memmove(columns + to, columns + from,
                         static_cast<std::size_t>(count) * sizeof(int));
            std::memmove(values + to, values + from,
                         static_cast<std::size_t>(count) * sizeof(double));
        }
    }
    lin.design.resizeNonZeros(outer[m]);
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

// The points among the undetermined unknowns (by their up or by one of their unknown heights) that
// have unknown instrument or target heights: their up and those heights may only be known together.
std::string heightsText(const Network &network, const Unknowns &unknowns,
                        const std::vector<int> &undetermined)
{
    std::vector<bool> withHeights(network.points.size(), false);
    for (const UnknownHeight &height : network.unknownHeights)
        withHeights[static_cast<std::size_t>(height.point)] = true;
    std::vector<int> points;
    for (int index : undetermined) {
        if (index < 0)
            continue;
        const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(index)];
        int point = -1;
        if (component == kHeightComponent)
            point = network.unknownHeights[static_cast<std::size_t>(owner)].point;
        else if (component == 2 && withHeights[static_cast<std::size_t>(owner)])
            point = owner;
        if (point >= 0 && std::find(points.begin(), points.end(), point) == points.end())
            points.push_back(point);
    }
    std::string names;
    for (int point : points)
        names += (names.empty() ? "" : ", ") +
                 quoted(network.points[static_cast<std::size_t>(point)].name);
    if (names.empty())
        return names;
    return fr(" La hauteur de ") + names +
           fr(" et ses hauteurs d'instrument ou de cible inconnues (UNHI, UNHT) ne se séparent "
              "pas : les visées ne déterminent qu'une combinaison de ces hauteurs. Fixer ou "
              "niveler "
              "le point, le viser depuis une station de hauteur connue, ou donner l'une des "
              "hauteurs (HI, HT).");
}

// Why a constrained network is singular when the design matrix leaves datum parameters free:
// how many coordinates are fixed, what is free and what would fix it. Empty when nothing of the
// datum is free; a singular system then comes from the points themselves.
std::string datumDefectText(const Network &network, const DatumDefect &defect)
{
    if (defect.size() == 0)
        return std::string();
    std::vector<bool> observed(network.points.size(), false);
    bool distances = false;
    for (const Observation &o : network.observations) {
        observed[static_cast<std::size_t>(o.station)] = true;
        observed[static_cast<std::size_t>(o.target)] = true;
        distances = distances || o.kind == ObservationKind::Distance;
    }
    std::array<int, 3> fixedCount{};
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        for (std::size_t c = 0; c < 3; ++c)
            fixedCount[c] += observed[p] && network.points[p].fixed[c] ? 1 : 0;
    }
    const int fixedTotal = fixedCount[0] + fixedCount[1] + fixedCount[2];
    std::string text = fixedTotal == 0
                           ? fr("aucune coordonnée n'est fixée")
                           : std::to_string(fixedTotal) + fr(" coordonnée(s) fixée(s) (est ") +
                                 std::to_string(fixedCount[0]) + fr(", nord ") +
                                 std::to_string(fixedCount[1]) + fr(", up ") +
                                 std::to_string(fixedCount[2]) + ")";
    text += fr(" : le réseau a un défaut de datum de ") + std::to_string(defect.size()) +
            fr(", les observations laissent libres ") + defect.text() + ".";
    auto isFree = [&](DatumParameter p) {
        return std::find(defect.free.begin(), defect.free.end(), p) != defect.free.end();
    };
    if (fixedCount[0] + fixedCount[1] == 0 &&
        (isFree(DatumParameter::TranslationEast) || isFree(DatumParameter::TranslationNorth) ||
         isFree(DatumParameter::TranslationX) || isFree(DatumParameter::TranslationY)))
        text += fr(" Aucun point n'est fixé en planimétrie.");
    if (fixedCount[2] == 0 &&
        (isFree(DatumParameter::TranslationUp) || isFree(DatumParameter::TranslationZ)))
        text += fr(" Aucune hauteur n'est fixée.");
    if (isFree(DatumParameter::Scale) || isFree(DatumParameter::PlanScale))
        text +=
            distances ? fr(" L'échelle est libre.") : fr(" L'échelle est libre : aucune distance.");
    return text + fr(" Fixer d'autres coordonnées, ou demander le calcul en réseau libre "
                     "(FREENET TRACEMIN, ou BASESEL sur des points de base marqués 2).");
}

// The system actually factored: with `pinned` unknowns held, their columns are dropped from the
// design matrix and a unit row each (weight 1, misclosure 0) keeps them at zero.
Linearisation pinnedSystem(const Linearisation &lin, const Eigen::VectorXd &weights,
                           const std::vector<int> &pinned, Eigen::VectorXd &pinnedWeights)
{
    Linearisation result;
    const Eigen::Index m = lin.design.rows();
    const auto d = static_cast<Eigen::Index>(pinned.size());
    std::vector<bool> held(static_cast<std::size_t>(lin.design.cols()), false);
    for (int j : pinned)
        held[static_cast<std::size_t>(j)] = true;
    std::vector<Eigen::Triplet<double>> triplets;
    triplets.reserve(static_cast<std::size_t>(lin.design.nonZeros() + d));
    for (Eigen::Index i = 0; i < m; ++i) {
        for (Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator it(lin.design, i); it;
             ++it) {
            if (!held[static_cast<std::size_t>(it.col())])
                triplets.emplace_back(i, it.col(), it.value());
        }
    }
    for (Eigen::Index k = 0; k < d; ++k)
        triplets.emplace_back(m + k, pinned[static_cast<std::size_t>(k)], 1.0);
    result.design.resize(m + d, lin.design.cols());
    result.design.setFromTriplets(triplets.begin(), triplets.end());
    result.misclosures = Eigen::VectorXd::Zero(m + d);
    result.misclosures.head(m) = lin.misclosures;
    pinnedWeights = Eigen::VectorXd::Ones(m + d);
    pinnedWeights.head(m) = weights;
    return result;
}

// Factors the scaled normal matrix; undetermined unknowns go to `diagnostics`. The factor of
// the previous iteration, when given, is factored anew: its analysis of the pattern (order and
// supernodes) and its storage serve again. `formed` is called once the normal matrix is formed,
// before it is factored: the design matrix is not read after it, and may be released there.
std::unique_ptr<NormalFactor>
factor(const Network &network, const Unknowns &unknowns, const Linearisation &lin,
       const Eigen::VectorXd &weights, const std::vector<WeightBlock> &blocks,
       Diagnostics &diagnostics, std::unique_ptr<NormalFactor> previous,
       const std::function<void()> &formed, const std::function<std::string()> &defectText,
       SolverTimings *timings)
{
    using RowIterator = Eigen::SparseMatrix<double, Eigen::RowMajor>::InnerIterator;
    auto result = previous ? std::move(previous) : std::make_unique<NormalFactor>();
    result->timings = timings;
    SolverTimings untimed;
    SolverTimings &phases = timings ? *timings : untimed;
    auto start = SolverTimings::Clock::now();
    const auto record = [&](double &phase) {
        phase += SolverTimings::since(start);
        start = SolverTimings::Clock::now();
    };
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
    record(phases.forming);
    if (!result->solver.analysis()) {
        const NormalMatrix structure = structuralPattern(network, unknowns);
        result->solver.setOrdering(eliminationOrder(network, unknowns, structure));
        result->solver.analyzePattern(structure);
        result->onStructuralPattern = true;
        record(phases.analysis);
    }
    // The normal matrix is added up straight into the analysed pattern, which holds every pair
    // of unknowns an observation joins; forming it as a sparse product is the fallback.
    if (result->solver.formNormal(lin.design, weights, result->scale, blocks)) {
        formed();
        record(phases.forming);
        result->solver.factorNormal();
    } else {
        result->onStructuralPattern = false;
        NormalMatrix normal;
        {
            const Eigen::SparseMatrix<double> design = lin.design;
            normal = design.transpose() * weightMatrix(weights, blocks) * design;
        }
        normal = result->scale.asDiagonal() * normal * result->scale.asDiagonal();
        formed();
        result->solver.compute(normal);
    }
    double factorization = 0.0;
    record(factorization);
    phases.factorizations.push_back(factorization);
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
    const std::string defect = defectText();
    std::string text = fr("Système normal singulier : ");
    if (!defect.empty())
        text += defect;
    else if (undetermined.front() < 0)
        text += fr("la factorisation a échoué.");
    else {
        const std::string heights = heightsText(network, unknowns, undetermined);
        text += fr("les observations ne déterminent pas ") +
                undeterminedText(network, unknowns, undetermined) + "." +
                (heights.empty() ? fr(" Ces points ne sont pas assez observés, ou leur géométrie "
                                      "est critique (point sur le cercle dangereux d'un "
                                      "relèvement, visées alignées).")
                                 : heights);
    }
    diagnostics.error(std::string(), 0, text);
    return nullptr;
}

// Carries the solution of the network solved with `pinned` unknowns held to the datum of the
// options: moves the adjusted state by -G M^-1 G' W dx, dx its corrections from the approximate
// state, so that G' W dx = 0, and builds the datum transform of its covariance on the outcome's
// factor. False, with an error, when the base points do not define the datum.
bool carryToDatum(const Network &network, const Options &options, AdjustmentOutcome &out,
                  const std::vector<int> &pinned, Diagnostics &diagnostics)
{
    const Unknowns &unknowns = out.unknowns;
    State &state = out.state;
    const DesignSystem system{out.design, out.weights, out.weightBlocks};
    std::vector<EllipsoidalPosition> positions;
    auto datum = std::make_unique<DatumTransform>();
    datum->pinned = pinned;
    datum->selection = datumSelection(network, unknowns, options.freeNetwork);
    // The covariance is carried with the motions at the state of the design matrix, which they
    // leave unchanged to rounding.
    if (network.geodetic)
        positions = ellipsoidalPositions(network.surface, state);
    const Eigen::MatrixXd designBasis = datumBasis(out.datumDefect, network, unknowns, state,
                                                   network.geodetic ? &positions : nullptr, system);
    // The motions of the datum depend on where the points are: the move is taken again from
    // where it leads until it no longer moves them (twice or three times).
    constexpr int kPasses = 5;
    constexpr double kSettled = 1e-12; // metres or radians
    for (int pass = 0; pass < kPasses; ++pass) {
        if (network.geodetic)
            positions = ellipsoidalPositions(network.surface, state);
        datum->basis = datumBasis(out.datumDefect, network, unknowns, state,
                                  network.geodetic ? &positions : nullptr, system);
        const Eigen::MatrixXd wg = datum->selection.asDiagonal() * datum->basis;
        const Eigen::LDLT<Eigen::MatrixXd> m(datum->basis.transpose() * wg);
        if (m.info() != Eigen::Success || !m.isPositive() || m.rcond() < 1e-10)
            break;
        Eigen::VectorXd dx = Eigen::VectorXd::Zero(unknowns.count);
        for (int j = 0; j < unknowns.count; ++j) {
            const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(j)];
            const auto o = static_cast<std::size_t>(owner);
            if (component == kHeightComponent) {
                dx(j) = state.heights[o] - out.approximate.heights[o];
            } else if (component == kOrientationComponent) {
                dx(j) = normalizeAngle(state.orientations[o] - out.approximate.orientations[o]);
                if (dx(j) > kPi)
                    dx(j) -= 2.0 * kPi;
            } else {
                const Eigen::Vector3d moved = state.coordinates[o] - out.approximate.coordinates[o];
                dx(j) = network.geodetic ? positions[o].horizon.col(component).dot(moved)
                                         : moved(component);
            }
        }
        const Eigen::VectorXd shift = datum->basis * m.solve(wg.transpose() * dx);
        for (int j = 0; j < unknowns.count; ++j) {
            const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(j)];
            const auto o = static_cast<std::size_t>(owner);
            if (component == kHeightComponent)
                continue; // no motion of the datum changes a height above its mark
            if (component == kOrientationComponent)
                state.orientations[o] = normalizeAngle(state.orientations[o] - shift(j));
            else if (network.geodetic)
                state.coordinates[o] -= positions[o].horizon.col(component) * shift(j);
            else
                state.coordinates[o](component) -= shift(j);
        }
        if (!(shift.cwiseAbs().maxCoeff() > kSettled))
            break;
    }
    datum->basis = designBasis;
    if (!datum->complete(*out.factor)) {
        diagnostics.error(std::string(), 0,
                          fr("Réseau libre sur des points de base (FREENET BASESEL) : les "
                             "coordonnées marquées 2 ne fixent pas ") +
                              out.datumDefect.text() +
                              fr(". Marquer 2 des coordonnées d'autres points, plus éloignés."));
        return false;
    }
    out.datum = std::move(datum);
    return true;
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
    const bool freeNetwork = options.freeNetwork != FreeNetwork::None;
    if (options.freeNetwork == FreeNetwork::SelectedBase &&
        datumSelection(network, unknowns, options.freeNetwork).sum() == 0.0) {
        diagnostics.error(std::string(), 0,
                          fr("Réseau libre sur des points de base (FREENET BASESEL) : aucune "
                             "coordonnée libre n'est marquée 2 dans les indicateurs de fixité."));
        return out;
    }

    State state;
    // In the geodetic models the coordinates are geocentric, on the ellipsoid or on the sphere.
    const bool ellipsoidal = network.geodetic;
    for (const Point &p : network.points)
        state.coordinates.push_back(ellipsoidal ? network.geocentricOf(p) : p.approximate);
    for (const UnknownHeight &height : network.unknownHeights)
        state.heights.push_back(height.approximate);
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

    // The unknowns held while a free network is solved.
    std::vector<int> pinned;
    Eigen::VectorXd pinnedWeights;
    // Factors the normal matrix at `lin` (with the held unknowns, if any) and, when `dx` is
    // given, solves it. Unless `keepDesign`, the design matrix is released once the normal matrix
    // is formed: the factorization is the run's peak of memory, and the design the largest thing
    // there that it does not need.
    const auto solveFactor = [&](Linearisation &lin, const State &at,
                                 std::unique_ptr<NormalFactor> previous, Eigen::VectorXd *dx,
                                 bool keepDesign) -> std::unique_ptr<NormalFactor> {
        const auto defectText = [&]() {
            if (freeNetwork)
                return std::string();
            Linearisation again;
            if (lin.design.rows() == 0)
                again = linearise(network, unknowns, at, positionsAt(at), endsAt(at), diagnostics);
            const DesignSystem system{lin.design.rows() == 0 ? again.design : lin.design,
                                      out.weights, out.weightBlocks};
            return datumDefectText(
                network, detectDatumDefect(network, unknowns, at, positionsAt(at), system));
        };
        Linearisation held;
        if (!pinned.empty())
            held = pinnedSystem(lin, out.weights, pinned, pinnedWeights);
        const Linearisation &system = pinned.empty() ? lin : held;
        const Eigen::VectorXd &weights = pinned.empty() ? out.weights : pinnedWeights;
        Eigen::VectorXd rhs;
        const auto formed = [&]() {
            if (dx)
                rhs = rightHandSide(system.design, system.misclosures, weights, out.weightBlocks);
            if (!keepDesign) {
                held.design = DesignMatrix();
                lin.design = DesignMatrix();
            }
        };
        auto f = factor(network, unknowns, system, weights, out.weightBlocks, diagnostics,
                        std::move(previous), formed, defectText, reweighting.timings);
        if (f && dx)
            *dx = solveNormal(*f, rhs);
        return f;
    };

    // The datum defect of a free network, from the first linearisation.
    bool detected = !freeNetwork;
    const auto detect = [&](const Linearisation &lin) {
        if (detected)
            return;
        detected = true;
        const DesignSystem system{lin.design, out.weights, out.weightBlocks};
        out.datumDefect = detectDatumDefect(network, unknowns, state, positionsAt(state), system);
        if (out.datumDefect.size() > 0)
            pinned = pinnedUnknowns(
                datumBasis(out.datumDefect, network, unknowns, state, positionsAt(state), system),
                unknowns);
        else
            diagnostics.warning(std::string(), 0,
                                fr("Réseau libre demandé, mais les coordonnées fixées "
                                   "définissent déjà le datum : le réseau est calculé tel "
                                   "qu'il est contraint."));
    };

    std::unique_ptr<NormalFactor> previous = std::move(reweighting.factor);
    // From the second iteration on, the factor of an earlier one, made in this run with the same
    // weights and the same held unknowns, preconditions the solve of the new normal equations.
    bool previousOwn = false;
    const bool inverseEachIteration = options.matrices.inverse == MatrixOutput::EachIteration;
    const auto solveNear = [&](const Linearisation &lin, const NormalFactor &nearby,
                               Eigen::VectorXd &dx) {
        const auto start = SolverTimings::Clock::now();
        std::optional<Eigen::VectorXd> solution;
        int steps = 0;
        if (pinned.empty()) {
            solution = solveNormalNear(nearby, lin.design, lin.misclosures, out.weights,
                                       out.weightBlocks, &steps);
        } else {
            Eigen::VectorXd weights;
            const Linearisation held = pinnedSystem(lin, out.weights, pinned, weights);
            solution = solveNormalNear(nearby, held.design, held.misclosures, weights,
                                       out.weightBlocks, &steps);
        }
        if (reweighting.timings) {
            reweighting.timings->iterativeSolves.push_back(SolverTimings::since(start));
            reweighting.timings->iterativeSteps.push_back(solution ? steps : -1);
        }
        if (!solution)
            return false;
        dx = std::move(*solution);
        return true;
    };
    // A pre-analysis takes the design at the approximate coordinates, without iterating: the
    // observed values are not read.
    const bool preAnalysis = options.calculationType == CalculationType::Simulation;
    bool converged = unknowns.count == 0 || preAnalysis;
    const int maxIterations = reweighting.singleStep ? 1 : options.maxIterations;
    for (int iteration = 1; iteration <= maxIterations && !converged; ++iteration) {
        const AdjustmentOutcome *known = iteration == 1 ? reweighting.linearisedAtStart : nullptr;
        const auto start = SolverTimings::Clock::now();
        Linearisation lin =
            known ? Linearisation{known->design, known->computed, -known->residuals, true}
                  : linearise(network, unknowns, state, positionsAt(state), endsAt(state),
                              diagnostics);
        if (reweighting.timings)
            reweighting.timings->forming += SolverTimings::since(start);
        if (!lin.defined)
            return out;
        detect(lin);
        Eigen::VectorXd dx;
        std::unique_ptr<NormalFactor> normalFactor;
        if (previousOwn && !factorEveryIteration() && !inverseEachIteration &&
            solveNear(lin, *previous, dx)) {
            normalFactor = std::move(previous);
        } else {
            normalFactor =
                solveFactor(lin, state, std::move(previous), &dx, options.matrices.eachIteration());
            if (!normalFactor)
                return out;
            previousOwn = true;
        }
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
        // The unknown heights are lengths too: the iterations end when they settle as well.
        double heightCorrection = 0.0;
        for (int j : unknowns.height)
            heightCorrection = std::max(heightCorrection, std::fabs(dx(j)));
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

        if (record.maxCorrection > kDivergence || heightCorrection > kDivergence) {
            diagnostics.error(std::string(), 0,
                              fr("Les itérations divergent (correction de ") +
                                  fixed(std::max(record.maxCorrection, heightCorrection), 0, 3) +
                                  fr(" m) : vérifier les coordonnées approchées et les "
                                     "observations."));
            return out;
        }
        for (int j = 0; j < unknowns.count; ++j) {
            const auto [owner, component] = unknowns.owner[static_cast<std::size_t>(j)];
            if (component == kSecondaryComponent) {
                state.secondary[static_cast<std::size_t>(owner)] += dx(j);
            } else if (component == kHeightComponent) {
                state.heights[static_cast<std::size_t>(owner)] += dx(j);
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
        converged = reweighting.singleStep || (record.maxCorrection < options.convergence &&
                                               heightCorrection < options.convergence);
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

    const auto start = SolverTimings::Clock::now();
    Linearisation final =
        linearise(network, unknowns, state, positionsAt(state), endsAt(state), diagnostics);
    if (reweighting.timings)
        reweighting.timings->forming += SolverTimings::since(start);
    if (!final.defined)
        return out;
    out.computed = std::move(final.computed);
    out.residuals = preAnalysis ? Eigen::VectorXd::Zero(m) : Eigen::VectorXd(-final.misclosures);
    if (!reweighting.finalFactor) {
        out.design = std::move(final.design);
        out.factor = std::move(previous);
        out.solved = true;
        return out;
    }
    if (unknowns.count > 0) {
        detect(final);
        const bool keepDesign = bytesOf(final.design) < kDesignWorthReleasing;
        out.factor = solveFactor(final, state, std::move(previous), nullptr, keepDesign);
        if (!out.factor)
            return out;
        if (keepDesign) {
            out.design = std::move(final.design);
        } else {
            // The design matrix, released for the factorization, is taken again at the same
            // state.
            const auto again = SolverTimings::Clock::now();
            out.design =
                linearise(network, unknowns, state, positionsAt(state), endsAt(state), diagnostics)
                    .design;
            if (reweighting.timings)
                reweighting.timings->forming += SolverTimings::since(again);
        }
    } else {
        out.design = std::move(final.design);
    }
    if (!pinned.empty() && !carryToDatum(network, options, out, pinned, diagnostics))
        return out;
    out.solved = true;
    return out;
}

} // namespace engine
