// Numerical tests of the adjustment on synthetic networks whose observations are computed here
// from known coordinates, independently of the engine's model.

#include "densegrid.h"
#include "engine/base/text.h"
#include "engine/solver/ordering.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

using namespace observationlines;

Q_DECLARE_METATYPE(engine::ApproximateOrientation)

namespace {

constexpr double kCoordTol = 1e-4;         // metres: coordinates recovered to 0.1 mm
constexpr double kExactLengthTol = 1e-5;   // metres: residual of an exact length
constexpr double kExactAngleTol = 2e-7;    // radians: residual of an exact angle (0.04")
constexpr double kRedundancySumTol = 1e-6; // sum of redundancy numbers against the freedom
constexpr double kClosedFormTol = 1e-4;    // metres: traverse and levelling closed forms
constexpr double kGonToRad = kPi / 200.0;

struct TruePoint
{
    const char *name;
    double e, n, u;
    const char *fixity;
    double de, dn, du; // perturbation of the approximate coordinates
};

// A network of two fixed points and four free ones on a hillside.
const std::vector<TruePoint> &hillside()
{
    static const std::vector<TruePoint> points = {
        {"A", 1000.0, 2000.0, 100.0, "111", 0, 0, 0},
        {"B", 1520.0, 2080.0, 112.5, "111", 0, 0, 0},
        {"C", 1210.0, 2460.0, 96.2, "000", 0.31, -0.22, 0.45},
        {"D", 1690.0, 2590.0, 131.7, "000", -0.41, 0.13, -0.28},
        {"E", 1430.0, 2810.0, 118.4, "000", 0.18, 0.37, 0.2},
        {"F", 980.0, 2650.0, 88.9, "000", -0.25, -0.3, -0.15},
    };
    return points;
}

struct Sighting
{
    double distance, azimuth, zenith;
};

Sighting sight(const TruePoint &from, const TruePoint &to, double hi, double ht)
{
    const double dE = to.e - from.e;
    const double dN = to.n - from.n;
    const double dU = (to.u + ht) - (from.u + hi);
    const double h = std::hypot(dE, dN);
    return {std::sqrt(h * h + dU * dU), std::atan2(dE, dN), std::atan2(h, dU)};
}

using Noise = std::function<double(double sigma)>;

// Every station sights every other point: a direction set, distances and zenith angles, with
// instrument and target heights. `scale` multiplies the perturbation of the free points.
std::vector<std::string> hillsideLines(bool degrees, double scale, const Noise &noise)
{
    std::vector<std::string> lines;
    lines.push_back(" TITL  Reseau de versant");
    lines.push_back(withSigmaId("ANGT", degrees ? "DMS" : "GRD"));
    lines.push_back(sigm("DIS", 0.002, 2.0, 0.0, 0.0));
    const auto &points = hillside();
    for (const TruePoint &p : points)
        lines.push_back(
            lenu(p.fixity, p.name, p.e + scale * p.de, p.n + scale * p.dn, p.u + scale * p.du));
    const double angleSigma = degrees ? 3.0 : 10.0; // arc seconds or decimilligrades
    const double angleSigmaRad =
        degrees ? angleSigma / 3600.0 * kPi / 180.0 : angleSigma * 1e-4 * kGonToRad;
    auto form = [&](double radians) { return degrees ? dms(radians) : grades(radians); };
    for (std::size_t s = 0; s < points.size(); ++s) {
        const double hi = 1.5 + 0.1 * static_cast<double>(s);
        lines.push_back(height("HI", points[s].name, hi));
        lines.push_back(record("DSET"));
        for (std::size_t t = 0; t < points.size(); ++t) {
            if (s == t)
                continue;
            const double ht = 1.3 + 0.05 * static_cast<double>(t);
            lines.push_back(height("HT", points[t].name, ht));
            const Sighting v = sight(points[s], points[t], hi, ht);
            const double distanceSigma = 0.002 + 2e-6 * v.distance;
            lines.push_back(angle("DIR", "", points[s].name, points[t].name,
                                  form(v.azimuth + noise(angleSigmaRad)), number(angleSigma, 1)));
            lines.push_back(
                dist("DIS", points[s].name, points[t].name, v.distance + noise(distanceSigma), ""));
            lines.push_back(angle("ZANG", "", points[s].name, points[t].name,
                                  form(v.zenith + noise(angleSigmaRad)), number(angleSigma, 1)));
        }
    }
    return lines;
}

Noise noNoise()
{
    return [](double) { return 0.0; };
}

Noise gaussian(unsigned seed)
{
    auto generator = std::make_shared<std::mt19937>(seed);
    return [generator](double sigma) {
        std::normal_distribution<double> normal(0.0, sigma);
        return normal(*generator);
    };
}

const engine::Observation *findObservation(const EngineRun &run, engine::ObservationKind kind,
                                           const std::string &station, const std::string &target)
{
    for (const auto &o : run.network.observations) {
        if (o.kind == kind && run.network.points[o.station].name == station &&
            run.network.points[o.target].name == target)
            return &o;
    }
    return nullptr;
}

// A free point P (plan coordinates) measured by distances from five fixed points: f = 3. The
// distance from A, 233 m at 2.5 mm, carries `blunder` metres.
std::vector<std::string> resectionByDistances(double blunder)
{
    const double east = 500.0;
    const double north = 800.0;
    struct Known
    {
        const char *name;
        double distance, azimuthDegrees;
    };
    const Known known[] = {{"A", 233.0, 20.0},
                           {"B", 180.0, 95.0},
                           {"C", 260.0, 170.0},
                           {"D", 150.0, 250.0},
                           {"E", 210.0, 320.0}};
    std::vector<std::string> lines;
    lines.push_back(lenu("001", "P", east + 0.12, north - 0.08, 100.0));
    for (const Known &k : known) {
        const double a = k.azimuthDegrees * kPi / 180.0;
        lines.push_back(lenu("111", k.name, east + k.distance * std::sin(a),
                             north + k.distance * std::cos(a), 100.0));
    }
    for (const Known &k : known)
        lines.push_back(
            dist("", "P", k.name, k.distance + (k.name[0] == 'A' ? blunder : 0.0), "0.0025"));
    return lines;
}

// The ways a generated grid holds its datum.
enum class GridDatum {
    FixedCorners,      // its four corners fixed
    ObservedPositions, // its four corners observed by positions with a full covariance
    Free               // nothing fixed: a free network of minimum trace
};

// A jittered grid of `side` x `side` points 250 m apart on rolling terrain; each station observes
// every neighbour within two grid steps by a direction, a slope distance and a zenith angle,
// computed here from the true coordinates with noise. The free points start a couple of metres
// off, so that the iterations take at least three steps.
std::vector<std::string> gridLines(int side, GridDatum datum)
{
    densegrid::Noise noise(20261210u);
    constexpr double kStep = 250.0;
    const std::vector<Eigen::Vector3d> truth = densegrid::truth(side, kStep, noise);
    const auto corner = [side](int r, int c) {
        return (r == 0 || r == side - 1) && (c == 0 || c == side - 1);
    };
    std::vector<std::string> lines;
    lines.push_back(" TITL  Grille");
    lines.push_back(sigm("DIS", 0.002, 2.0, 0.0, 0.0));
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            const Eigen::Vector3d &p = truth[static_cast<std::size_t>(r * side + c)];
            const bool fixed = datum == GridDatum::FixedCorners && corner(r, c);
            const double off = fixed ? 0.0 : 2.0;
            lines.push_back(lenu(fixed ? "111" : "000", densegrid::pointName(r * side + c),
                                 p.x() + off * noise(), p.y() + off * noise(),
                                 p.z() + off * noise()));
            if (datum != GridDatum::ObservedPositions || !corner(r, c))
                continue;
            // North, east, up at a centimetre, correlated.
            lines.push_back(record("3DC"));
            lines.push_back(lenu("000", densegrid::pointName(r * side + c), p.x(), p.y(), p.z()));
            lines.push_back(record("COV", {{7, "LG"}, {10, "UPPR"}, {92, "m"}}));
            lines.push_back(record("ELEM", {{7, "0.0004"}, {31, "0.0001"}, {55, "0.00005"}}));
            lines.push_back(record("ELEM", {{7, "0.0009"}, {31, "0.0002"}, {55, "0.0016"}}));
        }
    }
    densegrid::appendSights(lines, truth, side, noise);
    return lines;
}

// The adjustment of `lines`, each iteration's corrections kept, its phases timed.
struct TimedRun
{
    engine::Diagnostics diagnostics;
    engine::Network network;
    engine::AdjustmentOutcome outcome;
    engine::SolverTimings timings;
};

std::unique_ptr<TimedRun> timedAdjustment(const std::vector<std::string> &lines,
                                          const engine::Options &options)
{
    auto run = std::make_unique<TimedRun>();
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source = engine::readObservationFiles(
        path, memoryLoader({{path, joinLines(lines)}}), run->diagnostics);
    run->network = engine::buildNetwork(source, options, run->diagnostics);
    if (run->diagnostics.hasErrors())
        return run;
    engine::Reweighting reweighting;
    reweighting.timings = &run->timings;
    run->outcome = engine::adjust(run->network, options, run->diagnostics, std::move(reweighting));
    return run;
}

} // namespace

Q_DECLARE_METATYPE(GridDatum)

class TestEngineAdjustment : public QObject
{
    Q_OBJECT

private slots:
    void exactNetworkIsRecovered_data();
    void exactNetworkIsRecovered();
    void levellingLineMatchesClosedForm_data();
    void levellingLineMatchesClosedForm();
    void traverseMatchesClosedForm();
    void redundancyNumbersSumToTheFreedom_data();
    void redundancyNumbersSumToTheFreedom();
    void plantedBlunderRanksFirstAndInvalid_data();
    void plantedBlunderRanksFirstAndInvalid();
    void blunderOfASmallNetworkIsFound_data();
    void blunderOfASmallNetworkIsFound();
    void weakPointsAreNamed_data();
    void weakPointsAreNamed();
    void badNetworksAreReported_data();
    void badNetworksAreReported();
    void laterIterationsMatchTheDirectSolve_data();
    void laterIterationsMatchTheDirectSolve();
    void structuralPatternHoldsTheNormalMatrix_data();
    void structuralPatternHoldsTheNormalMatrix();
};

void TestEngineAdjustment::exactNetworkIsRecovered_data()
{
    QTest::addColumn<bool>("degrees");
    QTest::addColumn<double>("scale");
    QTest::addColumn<engine::ApproximateOrientation>("orientation");
    QTest::newRow("grades, decimetre start")
        << false << 1.0 << engine::ApproximateOrientation::Mean;
    QTest::newRow("degrees, decimetre start")
        << true << 1.0 << engine::ApproximateOrientation::First;
    QTest::newRow("grades, metre start, zero orientation")
        << false << 8.0 << engine::ApproximateOrientation::Zero;
}

void TestEngineAdjustment::exactNetworkIsRecovered()
{
    QFETCH(bool, degrees);
    QFETCH(double, scale);
    QFETCH(engine::ApproximateOrientation, orientation);
    engine::Options options;
    options.approximateOrientation = orientation;
    options.maxIterations = 20;
    const auto run = runEngine(hillsideLines(degrees, scale, noNoise()), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    for (const TruePoint &p : hillside()) {
        const Eigen::Vector3d c = run->adjusted(p.name);
        QVERIFY2(std::fabs(c.x() - p.e) < kCoordTol, p.name);
        QVERIFY2(std::fabs(c.y() - p.n) < kCoordTol, p.name);
        QVERIFY2(std::fabs(c.z() - p.u) < kCoordTol, p.name);
    }
    for (std::size_t i = 0; i < run->network.observations.size(); ++i) {
        const double v = run->statistics.perObservation[i].residual;
        const bool length = run->network.observations[i].kind == engine::ObservationKind::Distance;
        QVERIFY(std::fabs(v) < (length ? kExactLengthTol : kExactAngleTol));
    }
    // 6 stations x 5 sightings x 3 observations; 4 free points x 3 + 6 orientations.
    QCOMPARE(run->statistics.observations, 90);
    QCOMPARE(run->statistics.unknowns, 18);
}

void TestEngineAdjustment::levellingLineMatchesClosedForm_data()
{
    QTest::addColumn<bool>("perRootKilometre");
    QTest::newRow("own standard deviations") << false;
    QTest::newRow("family in mm per root km") << true;
}

void TestEngineAdjustment::levellingLineMatchesClosedForm()
{
    QFETCH(bool, perRootKilometre);
    // A (100 m) to B (105 m) through P1, P2, P3; the observed rises close with 12 mm too much.
    const double start = 100.0;
    const double end = 105.0;
    const std::vector<double> rises = {1.204, -0.503, 2.811, 1.500};
    const std::vector<double> lengths = {400.0, 250.0, 900.0, 650.0}; // metres
    const std::vector<std::string> names = {"A", "P1", "P2", "P3", "B"};
    std::vector<double> sigmas;
    for (double length : lengths)
        sigmas.push_back(perRootKilometre ? 0.002 * std::sqrt(length / 1000.0)
                                          : 0.001 + 0.000002 * length);

    std::vector<std::string> lines;
    lines.push_back(sigm("NIV", 0.0, 2.0, 0.0, 0.0, "mm"));
    double h = start;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const bool fixed = k == 0 || k + 1 == names.size();
        lines.push_back(lenu(fixed ? "111" : "110", names[k], 100.0 * k, 0.0,
                             fixed ? (k == 0 ? start : end) : h + 0.3));
        if (k < rises.size())
            h += rises[k];
    }
    for (std::size_t k = 0; k < rises.size(); ++k)
        lines.push_back(ohdf(perRootKilometre ? "NIV" : "", names[k], names[k + 1], rises[k],
                             perRootKilometre ? std::string() : number(sigmas[k], 6), lengths[k]));

    engine::Options options;
    options.heightDifferencePerRootKm = perRootKilometre;
    const auto run = runEngine(lines, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());

    // Closed form: the misclosure is shared out in proportion to the variances.
    double misclosure = start - end;
    double totalVariance = 0.0;
    for (std::size_t k = 0; k < rises.size(); ++k) {
        misclosure += rises[k];
        totalVariance += sigmas[k] * sigmas[k];
    }
    double expected = start;
    for (std::size_t k = 0; k + 1 < rises.size(); ++k) {
        expected += rises[k] - misclosure * sigmas[k] * sigmas[k] / totalVariance;
        QVERIFY(std::fabs(run->adjusted(names[k + 1]).z() - expected) < kClosedFormTol);
    }
    QCOMPARE(run->statistics.degreesOfFreedom, 1);
    QVERIFY(std::fabs(run->statistics.weightedSquares - misclosure * misclosure / totalVariance) <
            1e-6);
    for (std::size_t k = 0; k < rises.size(); ++k)
        QVERIFY(std::fabs(run->statistics.perObservation[k].redundancy -
                          sigmas[k] * sigmas[k] / totalVariance) < 1e-6);
    // The variance of an adjusted height along the line: S_k (S - S_k) / S, with S_k the sum of
    // the variances from A to the point and S the sum over the whole line.
    double before = 0.0;
    for (std::size_t k = 0; k + 1 < rises.size(); ++k) {
        before += sigmas[k] * sigmas[k];
        const double expectedSigma = std::sqrt(before * (totalVariance - before) / totalVariance);
        const double sigma =
            run->statistics.pointSigmas[static_cast<std::size_t>(run->pointIndex(names[k + 1]))](
                2) /
            run->statistics.sigmaScale;
        QVERIFY(std::fabs(sigma - expectedSigma) < 1e-9);
    }
}

void TestEngineAdjustment::traverseMatchesClosedForm()
{
    // A straight traverse A - P1 - P2 - B along the east axis, with azimuths and distances. Along
    // the line the distances close on B, across it the azimuths do; each misclosure is shared
    // out in proportion to the variances of its observations.
    const std::vector<double> distances = {100.010, 99.995, 100.020};
    const std::vector<double> distanceSigmas = {0.005, 0.003, 0.004};
    const std::vector<double> deviations = {10.0, -5.0, 20.0}; // decimilligrades off 100 gon
    const double azimuthSigma = 10.0;                          // decimilligrades
    const std::vector<std::string> names = {"A", "P1", "P2", "B"};

    std::vector<std::string> lines;
    lines.push_back(lenu("111", "A", 0.0, 0.0, 50.0));
    lines.push_back(lenu("001", "P1", 100.2, 0.3, 50.0));
    lines.push_back(lenu("001", "P2", 199.7, -0.2, 50.0));
    lines.push_back(lenu("111", "B", 300.0, 0.0, 50.0));
    for (std::size_t k = 0; k < 3; ++k) {
        const double azimuth = (100.0 + deviations[k] * 1e-4) * kGonToRad;
        lines.push_back(
            angle("AZIM", "", names[k], names[k + 1], grades(azimuth), number(azimuthSigma, 1)));
        lines.push_back(
            dist("", names[k], names[k + 1], distances[k], number(distanceSigmas[k], 4)));
    }
    const auto run = runEngine(lines);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());

    double alongMisclosure = -300.0;
    double alongVariance = 0.0;
    double acrossMisclosure = 0.0;
    double acrossVariance = 0.0;
    std::vector<double> across(3);
    std::vector<double> acrossSigmas(3);
    for (std::size_t k = 0; k < 3; ++k) {
        alongMisclosure += distances[k];
        alongVariance += distanceSigmas[k] * distanceSigmas[k];
        const double deviation = deviations[k] * 1e-4 * kGonToRad;
        across[k] = -distances[k] * std::sin(deviation);
        acrossSigmas[k] = distances[k] * azimuthSigma * 1e-4 * kGonToRad;
        acrossMisclosure += across[k];
        acrossVariance += acrossSigmas[k] * acrossSigmas[k];
    }
    double east = 0.0;
    double north = 0.0;
    for (std::size_t k = 0; k < 2; ++k) {
        east +=
            distances[k] - alongMisclosure * distanceSigmas[k] * distanceSigmas[k] / alongVariance;
        north += across[k] - acrossMisclosure * acrossSigmas[k] * acrossSigmas[k] / acrossVariance;
        const Eigen::Vector3d c = run->adjusted(names[k + 1]);
        QVERIFY2(std::fabs(c.x() - east) < kClosedFormTol, names[k + 1].c_str());
        QVERIFY2(std::fabs(c.y() - north) < kClosedFormTol, names[k + 1].c_str());
    }
    QCOMPARE(run->statistics.degreesOfFreedom, 2);
}

void TestEngineAdjustment::redundancyNumbersSumToTheFreedom_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<bool>("degrees");
    QTest::newRow("seed 1, grades") << 1u << false;
    QTest::newRow("seed 7, degrees") << 7u << true;
    QTest::newRow("seed 42, grades") << 42u << false;
}

void TestEngineAdjustment::redundancyNumbersSumToTheFreedom()
{
    QFETCH(unsigned, seed);
    QFETCH(bool, degrees);
    const auto run = runEngine(hillsideLines(degrees, 1.0, gaussian(seed)));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &s = run->statistics;
    double sum = 0.0;
    for (const auto &o : s.perObservation) {
        QVERIFY(o.redundancy >= 0.0 && o.redundancy <= 1.0);
        sum += o.redundancy;
    }
    QVERIFY(std::fabs(sum - s.degreesOfFreedom) < kRedundancySumTol);
    QCOMPARE(s.degreesOfFreedom, 90 - 18);
    // Noise drawn at the a priori precisions gives a variance factor near one.
    QVERIFY(s.varianceFactor > 0.4 && s.varianceFactor < 2.0);
}

void TestEngineAdjustment::plantedBlunderRanksFirstAndInvalid_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("target");
    QTest::newRow("distance C-E, 6 cm") << int(engine::ObservationKind::Distance) << "C"
                                        << "E";
    QTest::newRow("direction D-F, 150 cc") << int(engine::ObservationKind::Direction) << "D"
                                           << "F";
    QTest::newRow("zenith angle E-A, 150 cc") << int(engine::ObservationKind::Zenith) << "E"
                                              << "A";
}

void TestEngineAdjustment::plantedBlunderRanksFirstAndInvalid()
{
    QFETCH(int, kind);
    QFETCH(QString, station);
    QFETCH(QString, target);
    std::vector<std::string> lines = hillsideLines(false, 1.0, gaussian(3));
    const std::string code = kind == int(engine::ObservationKind::Distance)    ? "DIST"
                             : kind == int(engine::ObservationKind::Direction) ? "DIR "
                                                                               : "ZANG";
    std::size_t blunderLine = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string &l = lines[i];
        if (l.substr(1, 4) == code && l.substr(10, 12).find(station.toStdString()) == 0 &&
            l.substr(23, 12).find(target.toStdString()) == 0)
            blunderLine = i;
    }
    QVERIFY(blunderLine > 0);
    std::string &l = lines[blunderLine];
    if (code == "DIST") {
        const double value = std::stod(l.substr(49, 15)) + 0.06;
        place(l, 50, 15, number(value, 6), true);
    } else {
        // Add 150 decimilligrades to the last part of the three-part angle.
        std::string field = l.substr(49, 15);
        const std::size_t cut = field.find_last_of(' ');
        const double last = std::stod(field.substr(cut + 1)) + 150.0;
        const double middle = std::stod(field.substr(cut - 2, 2)) + std::floor(last / 100.0);
        place(l, 50, 15,
              field.substr(0, cut - 2) + (middle < 10 ? "0" : "") + number(middle, 0) + " " +
                  number(std::fmod(last, 100.0), 4),
              true);
    }
    const auto run = runEngine(lines);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Observation *blunder =
        findObservation(*run, static_cast<engine::ObservationKind>(kind), station.toStdString(),
                        target.toStdString());
    QVERIFY(blunder);
    const auto index = static_cast<std::size_t>(blunder - run->network.observations.data());
    QCOMPARE(blunder->lineNumber, int(blunderLine) + 1);
    QCOMPARE(run->statistics.perObservation[index].rank, 1);
    QCOMPARE(run->statistics.rankOrder.front(), int(index));
    QVERIFY(!run->statistics.perObservation[index].valid);
    QCOMPARE(run->statistics.chiSquare, engine::ChiSquareOutcome::Failed);
}

void TestEngineAdjustment::blunderOfASmallNetworkIsFound_data()
{
    QTest::addColumn<int>("scaling");
    QTest::addColumn<int>("test");
    QTest::newRow("automatic: tau")
        << int(engine::SigmaScaling::Auto) << int(engine::ResidualTestKind::Tau);
    QTest::newRow("always: tau") << int(engine::SigmaScaling::Always)
                                 << int(engine::ResidualTestKind::Tau);
    QTest::newRow("never: normal")
        << int(engine::SigmaScaling::Never) << int(engine::ResidualTestKind::Normal);
}

void TestEngineAdjustment::blunderOfASmallNetworkIsFound()
{
    QFETCH(int, scaling);
    QFETCH(int, test);
    // 10 cm on a distance of 2.5 mm: 40 sigma, with 3 degrees of freedom. When s0 scales the
    // precisions, the normalized residual is Pope's tau; with a single blunder and otherwise
    // exact observations the tau of the blunder is exactly sqrt(f) = 1.732, below the normal
    // quantile 1.960 but above the tau critical value sqrt(3) 0.95 = 1.645.
    engine::Options options;
    options.sigmaScaling = static_cast<engine::SigmaScaling>(scaling);
    const auto run = runEngine(resectionByDistances(0.10), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &s = run->statistics;
    QCOMPARE(s.degreesOfFreedom, 3);
    QCOMPARE(int(s.residualTest), test);
    const auto *blunder = findObservation(*run, engine::ObservationKind::Distance, "P", "A");
    QVERIFY(blunder);
    const auto &b = s.perObservation[std::size_t(blunder - run->network.observations.data())];
    QCOMPARE(b.rank, 1);
    QVERIFY(!b.valid);
    if (test == int(engine::ResidualTestKind::Tau)) {
        QCOMPARE(s.validCount, 4);
        QVERIFY(std::fabs(std::fabs(b.normalized) - std::sqrt(3.0)) < 1e-6);
        QVERIFY(std::fabs(s.criticalValue - std::sqrt(3.0) * 0.95) < 1e-9);
    } else {
        QVERIFY(std::fabs(s.criticalValue - 1.959963985) < 1e-9);
    }
}

void TestEngineAdjustment::weakPointsAreNamed_data()
{
    QTest::addColumn<double>("offCircle");
    // The pivot of P falls under its bound: singular system.
    QTest::newRow("on the danger circle") << 0.0;
    // The noise of the observations can lift the pivot above its bound, as 5 mm off the circle
    // do here, and the system then solves, with standard deviations of hundreds of metres.
    QTest::newRow("5 mm off the danger circle") << 0.005;
}

void TestEngineAdjustment::weakPointsAreNamed()
{
    QFETCH(double, offCircle);
    // A resection: P sights A, B and C with one direction set, and lies on the circle through
    // them (or just off it); its plan position is undetermined along the circle.
    const double radius = 200.0;
    const double centreE = 1000.0;
    const double centreN = 2000.0;
    const char *names[] = {"A", "B", "C", "P"};
    const double bearings[] = {10.0, 120.0, 250.0, 300.0}; // degrees, from the centre
    double east[4];
    double north[4];
    for (int k = 0; k < 4; ++k) {
        const double r = radius + (k == 3 ? offCircle : 0.0);
        east[k] = centreE + r * std::cos(bearings[k] * kPi / 180.0);
        north[k] = centreN + r * std::sin(bearings[k] * kPi / 180.0);
    }
    std::vector<std::string> lines;
    for (int k = 0; k < 3; ++k)
        lines.push_back(lenu("111", names[k], east[k], north[k], 100.0));
    lines.push_back(lenu("001", "P", east[3] + 0.3, north[3] - 0.2, 100.0));
    lines.push_back(record("DSET"));
    for (int k = 0; k < 3; ++k)
        lines.push_back(angle("DIR", "", "P", names[k],
                              grades(std::atan2(east[k] - east[3], north[k] - north[3])), "10"));
    const auto run = runEngine(lines);
    QVERIFY(!run->solved);
    bool named = false;
    for (const auto &d : run->diagnostics.items())
        named = named || (d.severity == engine::Diagnostic::Severity::Error &&
                          d.text.find(engine::fr("« P »")) != std::string::npos);
    QVERIFY2(named, diagnosticsText(run->diagnostics).c_str());
}

void TestEngineAdjustment::badNetworksAreReported_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");

    const QString a = QString::fromStdString(lenu("111", "A", 0, 0, 0));
    const QString b = QString::fromStdString(lenu("000", "B", 100, 0, 0));
    const QString free = QString::fromStdString(lenu("000", "A", 0, 0, 0));
    const QString distAB = QString::fromStdString(dist("", "A", "B", 100.0, "0.002"));
    const QString zangAB =
        QString::fromStdString(angle("ZANG", "", "A", "B", grades(100 * kGonToRad), "10"));
    QTest::newRow("no datum") << QStringList{free, b, distAB, zangAB} << 0
                              << "singulier|aucune coordonnée n'est fixée|translation en est|"
                                 "translation en nord|translation verticale|rotation autour";
    const QString c = QString::fromStdString(lenu("000", "C", 50, 80, 3));
    QTest::newRow("one fixed point and no azimuth")
        << QStringList{a,
                       b,
                       c,
                       distAB,
                       QString::fromStdString(dist("", "B", "C", std::hypot(50.0, 80.0), "0.002")),
                       QString::fromStdString(dist("", "A", "C", std::hypot(50.0, 80.0), "0.002")),
                       zangAB,
                       QString::fromStdString(angle("ZANG", "", "A", "C", "97 00 00", "10")),
                       QString::fromStdString(angle("ZANG", "", "B", "C", "97 00 00", "10"))}
        << 0 << "singulier|3 coordonnée(s) fixée(s) (est 1, nord 1, up 1)|rotation autour";
    QTest::newRow("vertical sight")
        << QStringList{a, QString::fromStdString(lenu("000", "B", 0, 0, 20)),
                       QString::fromStdString(angle("AZIM", "", "A", "B", "100 00 00", "10"))}
        << 3 << "visée verticale|direction n'est pas définie";
    QTest::newRow("free point unobserved")
        << QStringList{a, b, distAB, QString::fromStdString(lenu("000", "C", 5, 5, 5))} << 4
        << "aucune observation";
    QTest::newRow("point that cannot be placed")
        << QStringList{a, b, QString::fromStdString(dist("", "A", "Z", 10.0, "0.002"))} << 3
        << "Coordonnées approchées impossibles pour « Z »|une seule distance";
    QTest::newRow("unknown sigma id")
        << QStringList{a, b, QString::fromStdString(dist("XX", "A", "B", 100.0, ""))} << 3
        << "Sigma-ID inconnu";
    QTest::newRow("no precision")
        << QStringList{a, b, QString::fromStdString(dist("", "A", "B", 100.0, ""))} << 3
        << "Aucune précision";
    QTest::newRow("unknown code") << QStringList{a, b, " ABCD  x"} << 3 << "inconnu";
    QTest::newRow("epoch without the multi-epoch mode")
        << QStringList{a, b, " EPOC  E1"} << 3 << "MEP_MODE OUI";
    QTest::newRow("unreadable number")
        << QStringList{a, QString::fromStdString(lenu("000", "B", 100, 0, 0)).replace(40, 1, "x")}
        << 2 << "illisible";
    QTest::newRow("coincident points")
        << QStringList{a, QString::fromStdString(lenu("000", "B", 0, 0, 0)),
                       QString::fromStdString(angle("AZIM", "", "A", "B", "100 00 00", "10"))}
        << 3 << "confondus";
    QTest::newRow("same station and target")
        << QStringList{a, b, QString::fromStdString(dist("", "A", "A", 1.0, "0.002"))} << 3
        << "la station elle";
    QTest::newRow("no observations") << QStringList{a} << 0 << "Aucune observation";
}

void TestEngineAdjustment::badNetworksAreReported()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(QString, message);
    std::vector<std::string> text;
    for (const QString &l : lines)
        text.push_back(l.toLatin1().toStdString());
    const auto run = runEngine(text);
    QVERIFY(!run->solved);
    QVERIFY(run->diagnostics.hasErrors());
    bool found = false;
    for (const auto &d : run->diagnostics.items()) {
        bool all = d.severity == engine::Diagnostic::Severity::Error && d.line == line;
        for (const QString &part : message.split('|'))
            all = all && d.text.find(part.toLatin1().toStdString()) != std::string::npos;
        found = found || all;
    }
    QVERIFY2(found, diagnosticsText(run->diagnostics).c_str());
}

// The iterations after the first solve their normal equations by conjugate gradients on the
// factor of the first: the same iterations, corrections and adjusted coordinates as when every
// iteration factors its own normal matrix.
void TestEngineAdjustment::laterIterationsMatchTheDirectSolve_data()
{
    QTest::addColumn<GridDatum>("datum");
    QTest::newRow("fixed corners") << GridDatum::FixedCorners;
    QTest::newRow("observed positions") << GridDatum::ObservedPositions;
    QTest::newRow("free network") << GridDatum::Free;
}

void TestEngineAdjustment::laterIterationsMatchTheDirectSolve()
{
    QFETCH(GridDatum, datum);
    engine::Options options;
    options.logIntermediateSolutions = engine::IterationListing::All;
    if (datum == GridDatum::Free)
        options.freeNetwork = engine::FreeNetwork::MinimumTrace;
    const std::vector<std::string> lines = gridLines(7, datum);
    engine::setFactorEveryIteration(true);
    const auto direct = timedAdjustment(lines, options);
    engine::setFactorEveryIteration(false);
    const auto near = timedAdjustment(lines, options);
    QVERIFY2(direct->outcome.solved, diagnosticsText(direct->diagnostics).c_str());
    QVERIFY2(near->outcome.solved, diagnosticsText(near->diagnostics).c_str());
    const int iterations = direct->outcome.iterations;
    QVERIFY(iterations >= 3);
    QCOMPARE(near->outcome.iterations, iterations);
    QCOMPARE(direct->timings.factorizations.size(), std::size_t(iterations + 1));
    QVERIFY(direct->timings.iterativeSolves.empty());
    // Factored at the first iteration and at the adjusted state only.
    QCOMPARE(near->timings.factorizations.size(), std::size_t(2));
    QCOMPARE(near->timings.iterativeSteps.size(), std::size_t(iterations - 1));
    // Each iteration starts where the one before left the points, which the two paths round
    // differently: the corrections agree to their own 1e-9 beyond that rounding.
    double extent = 0.0;
    for (const Eigen::Vector3d &c : direct->outcome.state.coordinates)
        extent = std::max(extent, c.cwiseAbs().maxCoeff());
    const double rounding = 64.0 * std::numeric_limits<double>::epsilon() * extent;
    for (std::size_t k = 0; k < static_cast<std::size_t>(iterations); ++k) {
        const Eigen::VectorXd &expected = direct->outcome.history[k].corrections;
        const Eigen::VectorXd &found = near->outcome.history[k].corrections;
        QCOMPARE(found.size(), expected.size());
        const double gap = (found - expected).cwiseAbs().maxCoeff();
        QVERIFY2(gap <= 1e-9 * expected.cwiseAbs().maxCoeff() + rounding,
                 qPrintable(QString("iteration %1: %2").arg(k + 1).arg(gap)));
    }
    double moved = 0.0;
    double gap = 0.0;
    for (std::size_t p = 0; p < direct->outcome.state.coordinates.size(); ++p) {
        const Eigen::Vector3d &adjusted = direct->outcome.state.coordinates[p];
        moved = std::max(
            moved, (adjusted - direct->outcome.approximate.coordinates[p]).cwiseAbs().maxCoeff());
        gap = std::max(gap, (near->outcome.state.coordinates[p] - adjusted).cwiseAbs().maxCoeff());
    }
    QVERIFY2(gap <= 1e-9 * moved, qPrintable(QString::number(gap)));
}

void TestEngineAdjustment::structuralPatternHoldsTheNormalMatrix_data()
{
    laterIterationsMatchTheDirectSolve_data();
}

void TestEngineAdjustment::structuralPatternHoldsTheNormalMatrix()
{
    QFETCH(GridDatum, datum);
    engine::Options options;
    if (datum == GridDatum::Free)
        options.freeNetwork = engine::FreeNetwork::MinimumTrace;
    const auto run = timedAdjustment(gridLines(6, datum), options);
    QVERIFY2(run->outcome.solved, diagnosticsText(run->diagnostics).c_str());
    QVERIFY(run->outcome.factor);
    // Added up on the pattern, not by the fallback product.
    QVERIFY(run->outcome.factor->onStructuralPattern);

    // The pattern of N from the final design, |A|' W |A| with W all ones over each weight block,
    // so that no sum cancels.
    const auto &design = run->outcome.design;
    const Eigen::SparseMatrix<double> a = design.cwiseAbs();
    std::vector<Eigen::Triplet<double>> ones;
    for (Eigen::Index i = 0; i < a.rows(); ++i)
        ones.emplace_back(i, i, 1.0);
    for (const engine::WeightBlock &block : run->outcome.weightBlocks)
        for (Eigen::Index r = 0; r < block.size(); ++r)
            for (Eigen::Index c = 0; c < block.size(); ++c)
                if (r != c)
                    ones.emplace_back(block.first + r, block.first + c, 1.0);
    Eigen::SparseMatrix<double> w(a.rows(), a.rows());
    w.setFromTriplets(ones.begin(), ones.end());
    const Eigen::SparseMatrix<double> normal = a.transpose() * w * a;
    const engine::NormalMatrix structure =
        engine::structuralPattern(run->network, run->outcome.unknowns);
    QCOMPARE(structure.cols(), normal.cols());
    long entries = 0;
    for (Eigen::Index j = 0; j < normal.cols(); ++j) {
        for (Eigen::SparseMatrix<double>::InnerIterator it(normal, j); it; ++it) {
            if (it.row() < j || !(it.value() > 0.0))
                continue;
            ++entries;
            QVERIFY2(structure.coeff(it.row(), j) == 1.0,
                     qPrintable(QString("N(%1, %2)").arg(it.row()).arg(j)));
        }
    }
    QVERIFY(entries > normal.cols());
}

QTEST_GUILESS_MAIN(TestEngineAdjustment)
#include "tst_engineadjustment.moc"
