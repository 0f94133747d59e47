// Confidence and reliability regions: the shapes of known covariances computed by hand, a
// symmetric network, the closed forms of a levelling line, and the reading of their keys.

#include "engine/api/process.h"
#include "engine/estimation/regions.h"
#include "engine/estimation/reliability.h"
#include "engine/model/options.h"
#include "engine/output/drawingfile.h"
#include "engine/output/report.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <cmath>
#include <stdexcept>

using namespace observationlines;

namespace {

constexpr double kLengthTol = 1e-9;         // metres, shapes of exact covariances
constexpr double kHandLengthTol = 1e-7;     // metres, against values worked out to 8 digits
constexpr double kHandBearingTol = 1e-6;    // degrees, likewise
constexpr double kBearingTol = 1e-7;        // degrees
constexpr double kFactorTol = 1e-5;         // confidence factors and delta0 against tables
constexpr double kNetworkLengthTol = 1e-7;  // metres, regions of mirrored points
constexpr double kNetworkBearingTol = 1e-4; // degrees
constexpr double kClosedFormTol = 1e-7;     // metres, levelling line closed forms
constexpr double kGonToRad = kPi / 200.0;

engine::Options regionOptions(const char *confidenceMode, const char *reliabilityMode)
{
    const std::string text = engine::defaultConfigurationText("\n") + "REG1D_MODE " +
                             confidenceMode + "\nREG2D_MODE " + confidenceMode + "\nREG3D_MODE " +
                             confidenceMode + "\nFIA1D_MODE " + reliabilityMode + "\nFIA2D_MODE " +
                             reliabilityMode + "\nFIA3D_MODE " + reliabilityMode +
                             "\nREG1D_TYPE 111\n";
    engine::Diagnostics diagnostics;
    return engine::optionsFromValues(engine::readConfigurationValues(text), "test.cfg",
                                     diagnostics);
}

const engine::PointCovariance *covarianceOf(const engine::Regions &regions, int point1,
                                            int point2 = -1)
{
    const auto &list = point2 < 0 ? regions.points : regions.pairs;
    for (const auto &c : list) {
        if (c.point1 == point1 && c.point2 == point2)
            return &c;
    }
    return nullptr;
}

const engine::ReliabilityBox *boxOf(const engine::Regions &regions, int point1, int point2 = -1)
{
    const auto &list = point2 < 0 ? regions.reliability.points : regions.reliability.pairs;
    for (const auto &b : list) {
        if (b.point1 == point1 && b.point2 == point2)
            return &b;
    }
    return nullptr;
}

// A network symmetric about the north axis: A and B fixed on the axis, P, Q and R on the west
// side mirrored by P', Q' and R' on the east side; every point observes every other one with a
// direction set, slope distances and zenith angles, all exact.
struct MirrorPoint
{
    const char *name;
    double e, n, u;
};

const std::vector<MirrorPoint> &mirrorPoints()
{
    static const std::vector<MirrorPoint> points = {
        {"A", 0.0, 0.0, 50.0},      {"B", 0.0, 640.0, 58.0},    {"P", -260.0, 170.0, 61.0},
        {"P'", 260.0, 170.0, 61.0}, {"Q", -310.0, 470.0, 44.0}, {"Q'", 310.0, 470.0, 44.0},
        {"R", -120.0, 820.0, 70.0}, {"R'", 120.0, 820.0, 70.0}};
    return points;
}

std::vector<std::string> mirrorLines()
{
    std::vector<std::string> lines;
    lines.push_back(sigm("DIS", 0.003, 2.0, 0.0, 0.0));
    for (const MirrorPoint &p : mirrorPoints()) {
        const bool fixed = p.e == 0.0;
        // Free points start a few centimetres off, symmetrically.
        const double side = p.e < 0.0 ? -1.0 : 1.0;
        lines.push_back(lenu(fixed ? "111" : "000", p.name, p.e + (fixed ? 0.0 : side * 0.04),
                             p.n + (fixed ? 0.0 : 0.03), p.u + (fixed ? 0.0 : -0.02)));
    }
    for (const MirrorPoint &s : mirrorPoints()) {
        lines.push_back(record("DSET"));
        for (const MirrorPoint &t : mirrorPoints()) {
            if (&s == &t)
                continue;
            const double dE = t.e - s.e;
            const double dN = t.n - s.n;
            const double dU = t.u - s.u;
            const double h = std::hypot(dE, dN);
            lines.push_back(angle("DIR", "", s.name, t.name, grades(std::atan2(dE, dN)), "10"));
            lines.push_back(dist("DIS", s.name, t.name, std::hypot(h, dU), ""));
            lines.push_back(angle("ZANG", "", s.name, t.name, grades(std::atan2(h, dU)), "15"));
        }
    }
    return lines;
}

// A levelling line between two fixed bench marks.
struct LevellingLine
{
    std::vector<std::string> names = {"A", "P1", "P2", "P3", "B"};
    std::vector<double> rises = {1.204, -0.503, 2.811, 1.500};
    std::vector<double> sigmas = {0.0012, 0.0020, 0.0009, 0.0015}; // metres

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        double h = 100.0;
        for (std::size_t k = 0; k < names.size(); ++k) {
            const bool fixed = k == 0 || k + 1 == names.size();
            out.push_back(lenu(fixed ? "111" : "110", names[k], 100.0 * k, 0.0, h + 0.01));
            if (k < rises.size())
                h += rises[k];
        }
        for (std::size_t k = 0; k < rises.size(); ++k)
            out.push_back(ohdf("", names[k], names[k + 1], rises[k] + (k == 1 ? 0.004 : 0.0),
                               number(sigmas[k], 6), 0.0));
        return out;
    }
};

} // namespace

class TestEngineRegions : public QObject
{
    Q_OBJECT

private slots:
    void ellipseOfAKnownCovariance_data();
    void ellipseOfAKnownCovariance();
    void ellipsoidOfAKnownCovariance();
    void confidenceFactorsAndNoncentrality_data();
    void confidenceFactorsAndNoncentrality();
    void rectangleKeepsTheLargerSideFirst();
    void symmetricNetworkGivesMirroredRegions();
    void everyElementNeededLiesOnThePattern();
    void levellingLineMatchesClosedForms();
    void biasOfAnObservationBetweenFixedPoints();
    void regionKeysAreRead_data();
    void regionKeysAreRead();
    void reportListsTheRegionsAskedFor();
    void extremeProbabilitiesGiveFiniteResults_data();
    void extremeProbabilitiesGiveFiniteResults();
    void probabilitiesOutsideTheirDomainAreRefused();
};

void TestEngineRegions::ellipseOfAKnownCovariance_data()
{
    QTest::addColumn<double>("cnn");
    QTest::addColumn<double>("cne");
    QTest::addColumn<double>("cee");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("semiAxis1");
    QTest::addColumn<double>("semiAxis2");
    QTest::addColumn<double>("bearing");
    // Eigenvalues 3 +- sqrt(1 + 2.25); tan 2t = 3 / 2.
    QTest::newRow("correlated, larger north")
        << 4.0 << 1.5 << 2.0 << 1.0 << 2.19152359 << 1.09417748 << 28.15496624;
    QTest::newRow("east larger, no correlation") << 1.0 << 0.0 << 4.0 << 1.0 << 2.0 << 1.0 << 90.0;
    // Eigenvalues 3 and 1, major axis towards north-west.
    QTest::newRow("negative correlation") << 2.0 << -1.0 << 2.0 << 1.0 << 1.7320508 << 1.0 << 135.0;
    QTest::newRow("positive correlation, equal variances")
        << 2.0 << 1.0 << 2.0 << 1.0 << 1.7320508 << 1.0 << 45.0;
    QTest::newRow("circle") << 1.0 << 0.0 << 1.0 << 2.0 << 2.0 << 2.0 << 0.0;
    QTest::newRow("scaled by k") << 0.0004 << 0.0 << 0.0001 << 2.5 << 0.05 << 0.025 << 0.0;
    QTest::newRow("fixed point") << 0.0 << 0.0 << 0.0 << 2.4 << 0.0 << 0.0 << 0.0;
}

void TestEngineRegions::ellipseOfAKnownCovariance()
{
    QFETCH(double, cnn);
    QFETCH(double, cne);
    QFETCH(double, cee);
    QFETCH(double, factor);
    QFETCH(double, semiAxis1);
    QFETCH(double, semiAxis2);
    QFETCH(double, bearing);
    Eigen::Matrix2d covariance;
    covariance << cnn, cne, cne, cee;
    const engine::Ellipse e = engine::ellipse(covariance, factor);
    QVERIFY2(std::fabs(e.semiAxis1 - semiAxis1) < kHandLengthTol,
             qPrintable(QString::number(e.semiAxis1, 'f', 9)));
    QVERIFY2(std::fabs(e.semiAxis2 - semiAxis2) < kHandLengthTol,
             qPrintable(QString::number(e.semiAxis2, 'f', 9)));
    QVERIFY2(std::fabs(e.bearing - bearing) < kHandBearingTol,
             qPrintable(QString::number(e.bearing, 'f', 9)));
}

void TestEngineRegions::ellipsoidOfAKnownCovariance()
{
    // Variances 9 and 4 along the bearings 30 and 120 degrees, 1 vertically; then the same
    // turned so that the major axis rises at 20 degrees towards the bearing 30.
    const double b = 30.0 * kPi / 180.0;
    const Eigen::Vector3d horizontal(std::cos(b), std::sin(b), 0.0); // (north, east, up)
    const Eigen::Vector3d across(-std::sin(b), std::cos(b), 0.0);
    const Eigen::Vector3d vertical(0.0, 0.0, 1.0);
    const Eigen::Matrix3d flat = 9.0 * horizontal * horizontal.transpose() +
                                 4.0 * across * across.transpose() +
                                 1.0 * vertical * vertical.transpose();
    engine::Ellipsoid e = engine::ellipsoid(flat, 2.0);
    QVERIFY(std::fabs(e.semiAxes(0) - 6.0) < kLengthTol);
    QVERIFY(std::fabs(e.semiAxes(1) - 4.0) < kLengthTol);
    QVERIFY(std::fabs(e.semiAxes(2) - 2.0) < kLengthTol);
    QVERIFY(std::fabs(std::fabs(e.directions.col(0).dot(horizontal)) - 1.0) < 1e-12);
    QVERIFY(std::fabs(e.directions(2, 2) - 1.0) < 1e-12); // the minor axis is vertical, upwards

    const double rise = 20.0 * kPi / 180.0;
    const Eigen::Vector3d tilted = std::cos(rise) * horizontal + std::sin(rise) * vertical;
    const Eigen::Vector3d normal = -std::sin(rise) * horizontal + std::cos(rise) * vertical;
    const Eigen::Matrix3d steep = 9.0 * tilted * tilted.transpose() +
                                  4.0 * across * across.transpose() +
                                  1.0 * normal * normal.transpose();
    e = engine::ellipsoid(steep, 1.0);
    const Eigen::Vector3d major = e.directions.col(0);
    QVERIFY(std::fabs(e.semiAxes(0) - 3.0) < kLengthTol);
    QVERIFY(major(2) > 0.0);
    QVERIFY(std::fabs(std::atan2(major(1), major(0)) * 180.0 / kPi - 30.0) < kBearingTol);
    QVERIFY(std::fabs(std::atan2(major(2), major.head<2>().norm()) * 180.0 / kPi - 20.0) <
            kBearingTol);
}

void TestEngineRegions::confidenceFactorsAndNoncentrality_data()
{
    QTest::addColumn<int>("dimension");
    QTest::addColumn<double>("confidence");
    QTest::addColumn<double>("beta");
    QTest::addColumn<double>("expected");
    // Square roots of chi-square quantiles from the tables; delta0 from normal quantiles.
    QTest::newRow("1D 95 %") << 1 << 0.95 << 0.0 << 1.959964;
    QTest::newRow("2D 95 %") << 2 << 0.95 << 0.0 << 2.447747;
    QTest::newRow("3D 95 %") << 3 << 0.95 << 0.0 << 2.795483;
    QTest::newRow("2D 99 %") << 2 << 0.99 << 0.0 << 3.034854;
    QTest::newRow("2D 39.35 %: one sigma") << 2 << 1.0 - std::exp(-0.5) << 0.0 << 1.0;
    QTest::newRow("delta0 95 %, beta 20 %") << 0 << 0.95 << 0.20 << 2.801585;
    QTest::newRow("delta0 99.9 %, beta 20 %") << 0 << 0.999 << 0.20 << 4.132147;
    QTest::newRow("delta0 95 %, beta 5 %") << 0 << 0.95 << 0.05 << 3.604817;
}

void TestEngineRegions::confidenceFactorsAndNoncentrality()
{
    QFETCH(int, dimension);
    QFETCH(double, confidence);
    QFETCH(double, beta);
    QFETCH(double, expected);
    const double value = dimension > 0 ? engine::confidenceFactor(dimension, confidence)
                                       : engine::noncentrality(confidence, beta);
    QVERIFY2(std::fabs(value - expected) < kFactorTol, qPrintable(QString::number(value, 'f', 7)));
}

void TestEngineRegions::rectangleKeepsTheLargerSideFirst()
{
    engine::Ellipse r = engine::rectangle(0.03, 0.01);
    QCOMPARE(r.semiAxis1, 0.03);
    QCOMPARE(r.semiAxis2, 0.01);
    QCOMPARE(r.bearing, 0.0);
    r = engine::rectangle(0.01, 0.03);
    QCOMPARE(r.semiAxis1, 0.03);
    QCOMPARE(r.semiAxis2, 0.01);
    QCOMPARE(r.bearing, 90.0);
}

void TestEngineRegions::symmetricNetworkGivesMirroredRegions()
{
    const engine::Options options = regionOptions("11", "11");
    const auto run = runEngine(mirrorLines(), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Regions regions =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    const double k = regions.confidenceFactors[1];
    QVERIFY(k > 2.4);

    auto mirrored = [&](const engine::Ellipse &west, const engine::Ellipse &east) {
        // Axes are undirected: bearings compare modulo 180 degrees.
        const double gap = std::fmod(std::fabs(east.bearing - (180.0 - west.bearing)), 180.0);
        return std::fabs(west.semiAxis1 - east.semiAxis1) < kNetworkLengthTol &&
               std::fabs(west.semiAxis2 - east.semiAxis2) < kNetworkLengthTol &&
               std::min(gap, 180.0 - gap) < kNetworkBearingTol;
    };
    auto planEllipse = [&](const engine::PointCovariance *c) {
        return engine::ellipse(engine::pairBlock(c->covariance, 0), k);
    };
    for (const char *name : {"P", "Q", "R"}) {
        const int west = run->pointIndex(name);
        const int east = run->pointIndex(std::string(name) + "'");
        const auto *w = covarianceOf(regions, west);
        const auto *e = covarianceOf(regions, east);
        QVERIFY(w && e);
        const engine::Ellipse we = planEllipse(w);
        QVERIFY2(mirrored(we, planEllipse(e)), name);
        // A real ellipse, neither a circle nor along an axis, so that the test means something.
        QVERIFY(we.semiAxis1 > 1.05 * we.semiAxis2);
        QVERIFY(std::fabs(std::fmod(we.bearing, 90.0)) > 1.0);
        // Up variances and the north-east correlation mirror too.
        QVERIFY(std::fabs(w->covariance(2, 2) - e->covariance(2, 2)) < 1e-12);
        QVERIFY(std::fabs(w->covariance(0, 1) + e->covariance(0, 1)) < 1e-12);

        const auto *wb = boxOf(regions, west);
        const auto *eb = boxOf(regions, east);
        QVERIFY(wb && eb);
        QVERIFY((wb->extent - eb->extent).norm() < kNetworkLengthTol);
        QVERIFY(wb->extent.minCoeff() > 0.0);
    }
    // Relative regions between mirrored pairs, and across the axis.
    const int p = run->pointIndex("P");
    const int q = run->pointIndex("Q");
    const int pm = run->pointIndex("P'");
    const int qm = run->pointIndex("Q'");
    const auto *westPair = covarianceOf(regions, std::min(p, q), std::max(p, q));
    const auto *eastPair = covarianceOf(regions, std::min(pm, qm), std::max(pm, qm));
    QVERIFY(westPair && eastPair);
    QVERIFY(mirrored(planEllipse(westPair), planEllipse(eastPair)));
    const auto *across = covarianceOf(regions, std::min(p, pm), std::max(p, pm));
    QVERIFY(across);
    QVERIFY(std::fabs(across->covariance(0, 1)) < 1e-12);
    const auto *westBox = boxOf(regions, std::min(p, q), std::max(p, q));
    const auto *eastBox = boxOf(regions, std::min(pm, qm), std::max(pm, qm));
    QVERIFY(westBox && eastBox);
    QVERIFY((westBox->extent - eastBox->extent).norm() < kNetworkLengthTol);
}

void TestEngineRegions::everyElementNeededLiesOnThePattern()
{
    // A grid of 15 x 15 points on a slope, large enough for the factor to keep a sparse pattern.
    // Each point observes its four neighbours by directions; distances and zenith angles go east
    // and west, and north and south in the even columns only. A direction due north has no
    // derivative along north or up, so in the odd columns nothing in the numbers couples a point
    // with the north and up of its north neighbour. The regions still need those elements: an
    // observation moves every coordinate of its two points.
    constexpr int kSide = 15;
    auto name = [](int row, int column) {
        return "G" + std::to_string(row) + "_" + std::to_string(column);
    };
    auto height = [](int row, int column) { return 100.0 + 3.0 * row - 2.0 * column; };
    std::vector<std::string> lines = {sigm("DIS", 0.003, 2.0, 0.0, 0.0)};
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const bool corner = (r == 0 || r == kSide - 1) && (c == 0 || c == kSide - 1);
            lines.push_back(
                lenu(corner ? "111" : "000", name(r, c), 200.0 * c, 200.0 * r, height(r, c)));
        }
    }
    const int steps[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            lines.push_back(record("DSET"));
            for (const auto &step : steps) {
                const int tr = r + step[0];
                const int tc = c + step[1];
                if (tr < 0 || tc < 0 || tr >= kSide || tc >= kSide)
                    continue;
                const double dE = 200.0 * step[1];
                const double dN = 200.0 * step[0];
                const double dU = height(tr, tc) - height(r, c);
                lines.push_back(
                    angle("DIR", "", name(r, c), name(tr, tc), grades(std::atan2(dE, dN)), "10"));
                if (step[0] == 0 || c % 2 == 0) {
                    lines.push_back(
                        dist("DIS", name(r, c), name(tr, tc), std::hypot(200.0, dU), ""));
                    lines.push_back(angle("ZANG", "", name(r, c), name(tr, tc),
                                          grades(std::atan2(200.0, dU)), "15"));
                }
            }
        }
    }
    const engine::Options options = regionOptions("11", "11");
    const auto run = runEngine(lines, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::SelectedInverse &inverse = *run->statistics.inverse;
    const engine::Unknowns &u = run->outcome.unknowns;
    int missing = 0;
    for (const engine::Observation &o : run->network.observations) {
        std::vector<int> unknowns;
        for (int point : {o.station, o.target})
            for (int k : u.point[std::size_t(point)])
                unknowns.push_back(k);
        if (o.set >= 0)
            unknowns.push_back(u.set[std::size_t(o.set)]);
        for (int a : unknowns)
            for (int b : unknowns)
                missing += a >= 0 && b >= 0 && !inverse.entry(a, b) ? 1 : 0;
    }
    QCOMPARE(missing, 0);
}

void TestEngineRegions::levellingLineMatchesClosedForms()
{
    const LevellingLine line;
    engine::Options options = regionOptions("11", "11");
    options.sigmaScaling = engine::SigmaScaling::Never;
    const auto run = runEngine(line.lines(), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Regions regions =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);

    double total = 0.0;
    for (double s : line.sigmas)
        total += s * s;
    // Every rise has r = sigma^2 / total, so every MDB is delta0 sqrt(total).
    const double delta0 = regions.noncentralities[0];
    QVERIFY(std::fabs(delta0 - 2.801585) < kFactorTol);
    for (std::size_t k = 0; k < line.rises.size(); ++k) {
        const double mdb = delta0 * regions.reliability.biasFactor[k];
        QVERIFY2(std::fabs(mdb - delta0 * std::sqrt(total)) < kClosedFormTol,
                 qPrintable(QString::number(mdb, 'f', 8)));
    }
    // A bias b on rise k moves the height of point j by b ([k <= j] - S_j / total), S_j the sum
    // of the variances of the rises up to j: the larger of the two rises at P_j gives its box.
    double before = 0.0;
    for (std::size_t j = 1; j + 1 < line.names.size(); ++j) {
        before += line.sigmas[j - 1] * line.sigmas[j - 1];
        const double share = before / total;
        const double expected = delta0 * std::sqrt(total) * std::max(1.0 - share, share);
        const auto *box = boxOf(regions, run->pointIndex(line.names[j]));
        QVERIFY(box);
        QVERIFY2(std::fabs(delta0 * box->extent(2) - expected) < kClosedFormTol,
                 line.names[j].c_str());
        QVERIFY(box->extent.head<2>().isZero());
        // The 1D confidence interval of the height: sqrt(S_j (total - S_j) / total).
        const auto *c = covarianceOf(regions, run->pointIndex(line.names[j]));
        QVERIFY(c);
        QVERIFY(std::fabs(c->covariance(2, 2) - before * (total - before) / total) < 1e-12);
    }
}

void TestEngineRegions::biasOfAnObservationBetweenFixedPoints()
{
    // Nothing to adjust: the distance is its own check (r = 1), its MDB is delta0 sigma.
    const engine::Options options = regionOptions("10", "10");
    const auto run =
        runEngine({lenu("111", "A", 0.0, 0.0, 10.0), lenu("111", "B", 30.0, 40.0, 10.0),
                   dist("", "A", "B", 50.003, "0.002")},
                  options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Regions regions =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    QVERIFY(regions.points.empty());
    QVERIFY(regions.reliability.points.empty());
    QCOMPARE(regions.reliability.biasFactor.size(), std::size_t(1));
    QVERIFY(std::fabs(regions.noncentralities[0] * regions.reliability.biasFactor[0] -
                      2.801585 * 0.002) < kFactorTol * 0.002);
}

void TestEngineRegions::regionKeysAreRead_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("expected"); // conf modes, reliability modes, components, pairs
    QTest::addColumn<bool>("warning");
    QTest::addColumn<bool>("error");
    QTest::newRow("defaults") << ""
                              << "10 10 00|00 10 00|001|100" << false << false;
    QTest::newRow("both, relative, none")
        << "REG1D_MODE 11\nREG2D_MODE 01\nREG3D_MODE 00\nFIA3D_MODE 11\n"
        << "11 01 00|00 10 11|001|100" << false << false;
    QTest::newRow("short digits") << "REG1D_TYPE 1\nREG2D_TYPE 011\n"
                                  << "10 10 00|00 10 00|100|011" << false << false;
    QTest::newRow("unknown mode falls back to none")
        << "REG2D_MODE 22\n"
        << "10 00 00|00 10 00|001|100" << true << false;
    QTest::newRow("XYZ is given in NEU") << "REG_COORD  XYZ\n"
                                         << "10 10 00|00 10 00|001|100" << true << false;
    QTest::newRow("unreadable confidence of a row asked for")
        << "REG2D_CONF abc\n"
        << "10 10 00|00 10 00|001|100" << false << true;
    QTest::newRow("unreadable confidence of a row not asked for")
        << "REG3D_CONF abc\nFIA3D_BETA 2\n"
        << "10 10 00|00 10 00|001|100" << false << false;
    QTest::newRow("second-kind risk out of range") << "FIA2D_BETA 1.5\n"
                                                   << "10 10 00|00 10 00|001|100" << false << true;
}

void TestEngineRegions::regionKeysAreRead()
{
    QFETCH(QString, lines);
    QFETCH(QString, expected);
    QFETCH(bool, warning);
    QFETCH(bool, error);
    engine::Diagnostics diagnostics;
    const engine::Options options =
        engine::optionsFromValues(engine::readConfigurationValues(
                                      engine::defaultConfigurationText("\n") + lines.toStdString()),
                                  "test.cfg", diagnostics);
    const engine::RegionOptions &r = options.regions;
    auto mode = [](const engine::RegionRow &row) {
        return QString("%1%2").arg(row.absolute ? 1 : 0).arg(row.relative ? 1 : 0);
    };
    auto digits = [](const std::array<bool, 3> &d) {
        return QString("%1%2%3").arg(d[0] ? 1 : 0).arg(d[1] ? 1 : 0).arg(d[2] ? 1 : 0);
    };
    const QString got =
        QStringList{mode(r.confidence[0]), mode(r.confidence[1]), mode(r.confidence[2])}.join(' ') +
        "|" +
        QStringList{mode(r.reliability[0]), mode(r.reliability[1]), mode(r.reliability[2])}.join(
            ' ') +
        "|" + digits(r.components) + "|" + digits(r.pairs);
    QCOMPARE(got, expected);
    bool warned = false;
    for (const auto &d : diagnostics.items())
        warned = warned || d.severity == engine::Diagnostic::Severity::Warning;
    QCOMPARE(warned, warning);
    QCOMPARE(diagnostics.hasErrors(), error);
}

void TestEngineRegions::reportListsTheRegionsAskedFor()
{
    const std::string iob = engine::normalizedPath("mirror.iob");
    const std::string cfg = engine::normalizedPath("mirror.cfg");
    auto report = [&](const std::string &extra) {
        const std::string text = engine::defaultConfigurationText("\n") + extra;
        const engine::ProcessOutput out = engine::runProcessing(
            iob, cfg, memoryLoader({{iob, joinLines(mirrorLines())}, {cfg, text}}));
        return QString::fromLatin1(out.report.c_str());
    };
    const QString asked = report("REG3D_MODE 11\nFIA1D_MODE 10\nFIA3D_MODE 01\n");
    for (const char *text : {"REGIONS DE CONFIANCE", "FIABILITE", "Régions 3D à 95.000 %",
                             "delta0 = 2.8016", "Biais min.", "Observation la plus influente"})
        QVERIFY2(asked.contains(QString::fromUtf8(text)), text);
    // Sections come before the residuals, whose keys the workbench searches for.
    QVERIFY(asked.indexOf("FIABILITE") < asked.indexOf("INFORMATION SUR LES RESIDUS"));

    const QString none = report("REG1D_MODE 00\nREG2D_MODE 00\nFIA2D_MODE 00\nLOG_FIAB   NON\n");
    QVERIFY(!none.contains("REGIONS DE CONFIANCE"));
    QVERIFY(!none.contains("FIABILITE"));
    QVERIFY(!none.contains("Biais min."));
}

void TestEngineRegions::extremeProbabilitiesGiveFiniteResults_data()
{
    QTest::addColumn<double>("validation");
    QTest::addColumn<double>("beta");
    // 1 - alpha / 2 and 1 - beta round to 1 in double precision.
    QTest::newRow("confidence next to 1") << 0.9999999999999999 << 0.20;
    QTest::newRow("second-kind risk 1e-300") << 0.95 << 1e-300;
    QTest::newRow("both") << 0.9999999999999999 << 1e-300;
}

void TestEngineRegions::extremeProbabilitiesGiveFiniteResults()
{
    QFETCH(double, validation);
    QFETCH(double, beta);
    // Set straight into the options, past the checks of the configuration reader.
    engine::Options options = regionOptions("11", "11");
    options.validation = validation;
    options.regions.reliability[1].confidence = validation;
    options.regions.reliability[1].beta = beta;
    options.logReliability = true;
    options.regions.reliability[0].beta = beta;
    std::vector<std::string> lines = mirrorLines();
    // A blunder of 5 cm on the last distance, so that the tests have something to find.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->compare(1, 4, "DIST") == 0) {
            place(*line, 50, 15, number(std::stod(line->substr(49, 15)) + 0.05, 6), true);
            break;
        }
    }
    const auto run = runEngine(lines, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &s = run->statistics;
    QVERIFY(std::isfinite(s.criticalValue) && s.criticalValue > 0.0);
    QVERIFY(std::isfinite(s.chiLower) && std::isfinite(s.chiUpper) && s.chiLower < s.chiUpper);
    QVERIFY(s.validCount > 0);
    const engine::Regions regions =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    QVERIFY(regions.noncentralities[1] > 0.0 && std::isfinite(regions.noncentralities[1]));
    QVERIFY(engine::checkFinite(run->network, run->outcome, run->statistics, regions,
                                run->diagnostics));

    const engine::DrawingFile drawing = engine::drawingOf(run->network, run->outcome, regions);
    QVERIFY(!drawing.absoluteRectangles.empty());
    for (const auto *list : {&drawing.absoluteEllipses, &drawing.relativeEllipses,
                             &drawing.absoluteRectangles, &drawing.relativeRectangles}) {
        for (const engine::DrawingRegion &r : *list) {
            QVERIFY(std::isfinite(r.shape.semiAxis1) && std::isfinite(r.shape.semiAxis2) &&
                    std::isfinite(r.shape.bearing));
            QVERIFY(r.shape.semiAxis1 >= r.shape.semiAxis2 && r.shape.semiAxis2 >= 0.0);
        }
    }
    engine::ReportInput in;
    in.options = &options;
    in.network = &run->network;
    in.outcome = &run->outcome;
    in.statistics = &run->statistics;
    in.regions = &regions;
    in.diagnostics = &run->diagnostics;
    const QString report = QString::fromLatin1(engine::writeReport(in, "\n").c_str());
    // The report shows a value that is not finite as "*".
    QVERIFY(!report.contains('*'));
    QVERIFY(!report.contains(
        QRegularExpression("\\b(nan|inf|infinity)\\b", QRegularExpression::CaseInsensitiveOption)));
}

void TestEngineRegions::probabilitiesOutsideTheirDomainAreRefused()
{
    const auto run = runEngine(mirrorLines(), regionOptions("11", "11"));
    QVERIFY(run->solved);
    engine::Options options = regionOptions("11", "11");
    options.validation = 1.0;
    QVERIFY_EXCEPTION_THROWN(engine::computeStatistics(run->network, run->outcome, options),
                             std::domain_error);
    // beta above 1 - alpha / 2 makes delta0 negative: rectangles of negative size.
    options = regionOptions("11", "11");
    options.regions.reliability[1].beta = 0.99;
    QVERIFY_EXCEPTION_THROWN(
        engine::computeRegions(run->network, run->outcome, run->statistics, options),
        std::domain_error);
    // A value that is not finite stops the outputs.
    engine::Statistics broken = engine::computeStatistics(run->network, run->outcome, options);
    broken.perObservation[3].normalized = std::numeric_limits<double>::quiet_NaN();
    engine::Diagnostics diagnostics;
    QVERIFY(
        !engine::checkFinite(run->network, run->outcome, broken, engine::Regions(), diagnostics));
    QCOMPARE(diagnostics.items().front().line, run->network.observations[3].lineNumber);
}

QTEST_GUILESS_MAIN(TestEngineRegions)
#include "tst_engineregions.moc"
