// GNSS vectors (3DD blocks of DXYZ lines with their matrix): a network of vectors and
// total-station observations made from true coordinates with GeographicLib, the header's
// modifiers on a single vector worked out by hand, one block against separate blocks, the 3D
// test against its closed form, the loops of vectors and the errors of malformed blocks.
#include "enginetesthelpers.h"

#include "engine/estimation/gnssloops.h"
#include "engine/output/report.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <Eigen/Dense>

#include <QtTest>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string dxyz(const std::string &station, const std::string &target, const Eigen::Vector3d &d)
{
    return record("DXYZ", {{11, station},
                           {24, target},
                           {37, fixedText(d.x(), 5)},
                           {51, fixedText(d.y(), 5)},
                           {65, fixedText(d.z(), 5)},
                           {79, "m"}});
}

std::string header(const std::string &code, const std::string &frame, const std::string &shape,
                   const std::vector<std::pair<int, std::string>> &fields = {})
{
    std::vector<std::pair<int, std::string>> all = {{7, frame}, {10, shape}, {92, "m"}};
    all.insert(all.end(), fields.begin(), fields.end());
    return record(code, all);
}

std::vector<std::string> elements(const std::vector<std::string> &values)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < values.size(); i += 3) {
        std::vector<std::pair<int, std::string>> fields;
        for (std::size_t k = 0; k < 3 && i + k < values.size(); ++k)
            fields.emplace_back(7 + 24 * static_cast<int>(k), values[i + k]);
        lines.push_back(record("ELEM", fields));
    }
    return lines;
}

std::vector<std::string> upper(const Eigen::MatrixXd &m)
{
    std::vector<std::string> values;
    for (Eigen::Index i = 0; i < m.rows(); ++i)
        for (Eigen::Index j = i; j < m.cols(); ++j)
            values.push_back(QString::number(m(i, j), 'g', 17).toStdString());
    return values;
}

using Fields = std::vector<std::pair<int, std::string>>;

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// GRS80, the engine's ellipsoid without an ELIP record, and the horizon the test's points are
// laid out in.
const GeographicLib::Geocentric &grs80()
{
    static const GeographicLib::Geocentric e(6378137.0, 1.0 / 298.257222101);
    return e;
}

const GeographicLib::LocalCartesian &site()
{
    static const GeographicLib::LocalCartesian s(45.5, 6.2, 400.0, grs80());
    return s;
}

struct TruePoint
{
    Eigen::Vector3d xyz;
    double latitude = 0.0; // degrees
    double longitude = 0.0;
    double height = 0.0;
    Eigen::Matrix3d enu; // east, north, up as columns, geocentric
};

// A point at east, north, up of the site.
TruePoint truePoint(double east, double north, double up)
{
    TruePoint p;
    site().Reverse(east, north, up, p.latitude, p.longitude, p.height);
    std::vector<double> rotation(9);
    grs80().Forward(p.latitude, p.longitude, p.height, p.xyz.x(), p.xyz.y(), p.xyz.z(), rotation);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.enu(i, j) = rotation[std::size_t(3 * i + j)];
    return p;
}

std::string plhd(const std::string &name, const TruePoint &p, const std::string &flags)
{
    return record("PLHD", {{7, flags},
                           {11, name},
                           {24, QString::number(p.latitude, 'f', 12).toStdString()},
                           {42, QString::number(p.longitude, 'f', 12).toStdString()},
                           {60, fixedText(p.height, 6)},
                           {73, "m"}});
}

// A covariance of a vector in X, Y, Z: a few millimetres, correlated.
Eigen::Matrix3d vectorCovariance(int k)
{
    Eigen::Matrix3d m;
    m << 4.0, 1.0, -0.5, 1.0, 6.0, 1.5, -0.5, 1.5, 9.0;
    return m * 1e-6 * (1.0 + 0.1 * k);
}

engine::Options geodetic(bool spherical)
{
    engine::Options options;
    options.model = spherical ? engine::ModelType::Spherical3D : engine::ModelType::Ellipsoidal3D;
    return options;
}

Eigen::Vector3d adjustedGeocentric(const EngineRun &run, const std::string &name)
{
    return run.network.ellipsoidGeocentricOf(run.adjusted(name));
}

// Vectors between pairs of `points` as one 3DD block with one matrix of 3n rows, with
// `correlation` between the same components of consecutive vectors; the covariances of the
// vectors are vectorCovariance(first), vectorCovariance(first + 1)...
std::vector<std::string> vectorBlock(const std::map<std::string, TruePoint> &points,
                                     const std::vector<std::pair<std::string, std::string>> &pairs,
                                     double correlation, const std::vector<Eigen::Vector3d> &errors,
                                     int first = 0)
{
    const auto n = static_cast<Eigen::Index>(pairs.size());
    Eigen::MatrixXd c = Eigen::MatrixXd::Zero(3 * n, 3 * n);
    std::vector<std::string> lines = {record("3DD", {})};
    for (Eigen::Index k = 0; k < n; ++k) {
        const auto &[from, to] = pairs[static_cast<std::size_t>(k)];
        const Eigen::Vector3d d =
            points.at(to).xyz - points.at(from).xyz +
            (errors.empty() ? Eigen::Vector3d::Zero() : errors[static_cast<std::size_t>(k)]);
        lines.push_back(dxyz(from, to, d));
        c.block<3, 3>(3 * k, 3 * k) = vectorCovariance(first + static_cast<int>(k));
    }
    for (Eigen::Index k = 0; k + 1 < n; ++k) {
        for (int i = 0; i < 3; ++i) {
            const double s = std::sqrt(c(3 * k + i, 3 * k + i) * c(3 * k + 3 + i, 3 * k + 3 + i));
            c(3 * k + i, 3 * k + 3 + i) = c(3 * k + 3 + i, 3 * k + i) = correlation * s;
        }
    }
    return lines + std::vector<std::string>{header("COV", "CT", "UPPR")} + elements(upper(c));
}

} // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(Fields)

class TestEngineGnss : public QObject
{
    Q_OBJECT

private slots:
    void syntheticNetwork_data();
    void syntheticNetwork();
    void oneBlockOrSeveral();
    void headerModifiers_data();
    void headerModifiers();
    void repeatedVectorTest();
    void residualsInNorthEastUp();
    void loops();
    void badBlocks_data();
    void badBlocks();
};

void TestEngineGnss::syntheticNetwork_data()
{
    QTest::addColumn<bool>("spherical");
    QTest::newRow("ellipsoidal model") << false;
    QTest::newRow("spherical model") << true;
}

// Six points around 45.5° N: A fixed, B to F free; vectors (one block of three correlated vectors
// and single ones) with directions, zenith angles and distances made from the true positions.
// The adjustment recovers every point to 0.1 mm.
void TestEngineGnss::syntheticNetwork()
{
    QFETCH(bool, spherical);
    std::map<std::string, TruePoint> p;
    p["A"] = truePoint(0.0, 0.0, 0.0);
    p["B"] = truePoint(820.0, 140.0, 12.0);
    p["C"] = truePoint(450.0, 760.0, -8.0);
    p["D"] = truePoint(-380.0, 620.0, 21.0);
    p["E"] = truePoint(-520.0, -310.0, 5.0);
    p["F"] = truePoint(300.0, -560.0, -15.0);

    std::vector<std::string> lines = {record("SIGM", {{7, "TS"}, {11, "1"}, {79, "mm"}}),
                                      plhd("A", p["A"], "111")};
    // B and F are given approximately, metres off; C, D, E are placed by the vectors.
    for (const char *name : {"B", "F"}) {
        const TruePoint &t = p[name];
        lines.push_back(record("XYZ", {{7, "000"},
                                       {11, name},
                                       {24, fixedText(t.xyz.x() + 1.3, 4)},
                                       {43, fixedText(t.xyz.y() - 0.8, 4)},
                                       {62, fixedText(t.xyz.z() + 2.1, 4)},
                                       {81, "m"}}));
    }
    lines = lines + vectorBlock(p, {{"A", "B"}, {"A", "C"}, {"A", "D"}}, 0.3, {}) +
            vectorBlock(p, {{"D", "E"}}, 0.0, {}) + vectorBlock(p, {{"C", "B"}}, 0.0, {}) +
            vectorBlock(p, {{"E", "A"}}, 0.0, {});
    // Total station at A and at F, sighting targets by the true geometry in the station's
    // horizon: direction = azimuth - orientation, zenith angle, chord.
    const double orientation = 0.4;
    for (const auto &[station, targets] :
         std::vector<std::pair<std::string, std::vector<std::string>>>{{"A", {"B", "F", "E"}},
                                                                       {"F", {"A", "B", "E"}}}) {
        lines.push_back(record("DSET", {{7, "TS"}}));
        const TruePoint &s = p[station];
        for (const std::string &target : targets) {
            const Eigen::Vector3d d = s.enu.transpose() * (p[target].xyz - s.xyz);
            double direction = std::atan2(d.x(), d.y()) - orientation;
            if (direction < 0.0)
                direction += 2.0 * M_PI;
            const double zenith = std::atan2(d.head<2>().norm(), d.z());
            const double toGon = 200.0 / M_PI;
            lines.push_back(record(
                "DIR",
                {{11, station}, {24, target}, {50, fixedText(direction * toGon, 7)}, {66, "3"}}));
            lines.push_back(record(
                "ZANG",
                {{11, station}, {24, target}, {50, fixedText(zenith * toGon, 7)}, {66, "5"}}));
            lines.push_back(record(
                "DIST",
                {{7, "TS"}, {11, station}, {24, target}, {50, fixedText(d.norm(), 5)}, {77, "m"}}));
        }
    }
    const std::unique_ptr<EngineRun> run = runEngine(lines, geodetic(spherical));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    double worst = 0.0;
    for (const auto &[name, t] : p)
        worst = std::max(worst, (adjustedGeocentric(*run, name) - t.xyz).norm());
    QVERIFY2(worst < 1e-4, std::to_string(worst).c_str());
    // 6 vectors, 6 directions, 6 zenith angles, 6 distances; 15 coordinates and 2 orientations.
    QCOMPARE(run->statistics.observations, 6 * 3 + 18);
    QCOMPARE(run->statistics.degreesOfFreedom, 36 - 17);
}

// Vectors with no correlation between them give the same adjustment whether their matrix is one
// 9 x 9 block or three 3 x 3 blocks.
void TestEngineGnss::oneBlockOrSeveral()
{
    std::map<std::string, TruePoint> p;
    p["A"] = truePoint(0.0, 0.0, 0.0);
    p["B"] = truePoint(1500.0, 200.0, 30.0);
    p["C"] = truePoint(600.0, 1300.0, -20.0);
    const std::vector<Eigen::Vector3d> errors = {
        {0.004, -0.002, 0.003}, {-0.003, 0.005, -0.001}, {0.002, 0.001, -0.006}};
    const std::vector<std::string> start = {plhd("A", p["A"], "111")};
    const std::unique_ptr<EngineRun> one = runEngine(
        start + vectorBlock(p, {{"A", "B"}, {"B", "C"}, {"C", "A"}}, 0.0, errors), geodetic(false));
    const std::unique_ptr<EngineRun> three =
        runEngine(start + vectorBlock(p, {{"A", "B"}}, 0.0, {errors[0]}) +
                      vectorBlock(p, {{"B", "C"}}, 0.0, {errors[1]}, 1) +
                      vectorBlock(p, {{"C", "A"}}, 0.0, {errors[2]}, 2),
                  geodetic(false));
    QVERIFY2(one->solved, diagnosticsText(one->diagnostics).c_str());
    QVERIFY2(three->solved, diagnosticsText(three->diagnostics).c_str());
    QCOMPARE(one->network.correlated.size(), std::size_t(1));
    QCOMPARE(three->network.correlated.size(), std::size_t(3));
    for (const char *name : {"B", "C"})
        QVERIFY((adjustedGeocentric(*one, name) - adjustedGeocentric(*three, name)).norm() < 1e-9);
    QVERIFY(std::abs(one->statistics.weightedSquares - three->statistics.weightedSquares) < 1e-9);
    QVERIFY(one->statistics.weightedSquares > 0.1);
    for (std::size_t i = 0; i < 9; ++i)
        QVERIFY(std::abs(one->statistics.perObservation[i].normalized -
                         three->statistics.perObservation[i].normalized) < 1e-7);
}

// A free point B at the end of a single vector from the fixed point A has the vector's
// covariance: turned into the horizon of A, where the LG matrix stands, its standard deviations
// in north, east and up are those the header gives, worked out here by hand.
void TestEngineGnss::headerModifiers_data()
{
    QTest::addColumn<QString>("sigmaId");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<double>("north"); // expected standard deviations, metres
    QTest::addColumn<double>("east");
    QTest::addColumn<double>("up");

    // As read: COV LG DIAG 3 mm, 4 mm, 6 mm (north, east, up).
    QTest::newRow("as read") << QString() << Fields{} << 0.003 << 0.004 << 0.006;
    QTest::newRow("ALL factor 4 doubles them")
        << QString() << Fields{{26, "4"}} << 0.006 << 0.008 << 0.012;
    // ALL constant: 1 mm added to every element, diagonal included: sqrt(9 + 1) mm...
    QTest::newRow("ALL constant 1 mm") << QString() << Fields{{15, "0.001"}} << std::sqrt(10e-6)
                                       << std::sqrt(17e-6) << std::sqrt(37e-6);
    QTest::newRow("DIAG constant 2 mm and factor 2")
        << QString() << Fields{{37, "0.002"}, {48, "2"}} << std::sqrt(18e-6 + 4e-6)
        << std::sqrt(32e-6 + 4e-6) << std::sqrt(72e-6 + 4e-6);
    // 2 ppm of 5 km: 10 mm on each component.
    QTest::newRow("PPM DIAG 2") << QString() << Fields{{59, "2"}} << std::sqrt(9e-6 + 1e-4)
                                << std::sqrt(16e-6 + 1e-4) << std::sqrt(36e-6 + 1e-4);
    QTest::newRow("UP factor 4 and constant 5 mm") << QString() << Fields{{70, "0.005"}, {81, "4"}}
                                                   << 0.003 << 0.004 << std::sqrt(144e-6 + 25e-6);
    // The family's station and target centring, 1 mm and 2 mm: 5 mm² on north and east.
    QTest::newRow("centring of the SIGM family")
        << QString("GPS") << Fields{} << std::sqrt(14e-6) << std::sqrt(21e-6) << 0.006;
}

void TestEngineGnss::headerModifiers()
{
    QFETCH(QString, sigmaId);
    QFETCH(Fields, fields);
    QFETCH(double, north);
    QFETCH(double, east);
    QFETCH(double, up);
    const TruePoint a = truePoint(0.0, 0.0, 0.0);
    const TruePoint b = truePoint(5000.0, 0.0, 0.0);
    const std::vector<std::string> lines = {
        record("SIGM", {{7, "GPS"}, {11, "1"}, {33, "9"}, {44, "1"}, {55, "2"}, {79, "mm"}}),
        plhd("A", a, "111"),
        record("3DD", {{7, sigmaId.toStdString()}}),
        dxyz("A", "B", b.xyz - a.xyz),
        header("COV", "LG", "DIAG", fields),
        elements({"0.000009", "0.000016", "0.000036"}).front()};
    const std::unique_ptr<EngineRun> run = runEngine(lines, geodetic(false));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    // The engine's covariance of B is in B's horizon (east, north, up).
    const Eigen::Matrix3d atB = run->statistics.pointCovariances[std::size_t(run->pointIndex("B"))];
    const Eigen::Matrix3d turn = a.enu.transpose() * b.enu;
    const Eigen::Vector3d s = (turn * atB * turn.transpose()).diagonal().cwiseSqrt();
    QVERIFY2(std::abs(s.y() - north) < 1e-9 * north, std::to_string(s.y()).c_str());
    QVERIFY2(std::abs(s.x() - east) < 1e-9 * east, std::to_string(s.x()).c_str());
    QVERIFY2(std::abs(s.z() - up) < 1e-9 * up, std::to_string(s.z()).c_str());
}

// Two measurements x1, x2 of the vector from the fixed A to B: B takes their weighted mean, and
// the 3D test of either vector is v' Qvv^-1 v with v1 = (P1 + P2)^-1 P2 (x2 - x1) and
// Qvv = C1 - (P1 + P2)^-1, which with 3 degrees of freedom equals v'Pv =
// (x1 - x2)' (C1 + C2)^-1 (x1 - x2). Its critical value at 95 % is the chi-square quantile of 3
// degrees of freedom, 7.815 in the tables; with the precisions scaled, that of the beta law.
void TestEngineGnss::repeatedVectorTest()
{
    const TruePoint a = truePoint(0.0, 0.0, 0.0);
    const TruePoint b = truePoint(900.0, -400.0, 25.0);
    const Eigen::Vector3d x1 = b.xyz - a.xyz + Eigen::Vector3d(0.004, -0.003, 0.002);
    const Eigen::Vector3d x2 = b.xyz - a.xyz + Eigen::Vector3d(-0.002, 0.005, -0.004);
    const Eigen::Matrix3d c1 = vectorCovariance(0);
    const Eigen::Matrix3d c2 = vectorCovariance(5);
    const std::vector<std::string> lines =
        std::vector<std::string>{plhd("A", a, "111"), record("3DD", {}), dxyz("A", "B", x1),
                                 header("COV", "CT", "UPPR")} +
        elements(upper(c1)) +
        std::vector<std::string>{record("3DD", {}), dxyz("A", "B", x2),
                                 header("COV", "CT", "UPPR")} +
        elements(upper(c2));
    engine::Options options = geodetic(false);
    options.sigmaScaling = engine::SigmaScaling::Never;
    const std::unique_ptr<EngineRun> run = runEngine(lines, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &st = run->statistics;
    // The values were written with 5 decimals.
    Eigen::Vector3d r1;
    Eigen::Vector3d r2;
    for (int c = 0; c < 3; ++c) {
        r1(c) = run->network.observations[std::size_t(c)].value;
        r2(c) = run->network.observations[std::size_t(3 + c)].value;
    }
    const Eigen::Vector3d gap = r1 - r2;
    const double expected = gap.dot((c1 + c2).inverse() * gap);
    QCOMPARE(st.items.size(), std::size_t(2));
    for (const engine::ItemStatistics &item : st.items)
        QVERIFY2(std::abs(item.test - expected) < 1e-6 * expected,
                 (std::to_string(item.test) + " " + std::to_string(expected)).c_str());
    QVERIFY(std::abs(st.weightedSquares - expected) < 1e-6 * expected);
    QVERIFY(std::abs(st.itemCriticalValue - 7.815) < 5e-4);

    // Four measurements with the precisions scaled by s0: f = 9, and the bound is 9 B with
    // B = 3 F / (3 F + 6), F = 4.757 the 95 % quantile of Fisher's law (3, 6) in the tables.
    std::vector<std::string> four = {plhd("A", a, "111")};
    for (int k = 0; k < 4; ++k) {
        const Eigen::Vector3d x = b.xyz - a.xyz + Eigen::Vector3d(0.002 * k, -0.001 * k, 0.003);
        four = four +
               std::vector<std::string>{record("3DD", {}), dxyz("A", "B", x),
                                        header("COV", "CT", "UPPR")} +
               elements(upper(c1));
    }
    options.sigmaScaling = engine::SigmaScaling::Always;
    const std::unique_ptr<EngineRun> scaled = runEngine(four, options);
    QVERIFY2(scaled->solved, diagnosticsText(scaled->diagnostics).c_str());
    QCOMPARE(scaled->statistics.degreesOfFreedom, 9);
    const double f = 4.757;
    QVERIFY(std::abs(scaled->statistics.itemCriticalValue - 9.0 * 3.0 * f / (3.0 * f + 6.0)) <
            2e-3);
}

// LOG_RESNEU: the residual of the first of two measurements of one vector, v1 =
// (P1 + P2)^-1 P2 (x2 - x1) in X, Y, Z, turned into north, east, up by GeographicLib's horizon at
// its station, with each turned component over the square root of its turned Qvv.
void TestEngineGnss::residualsInNorthEastUp()
{
    const TruePoint a = truePoint(0.0, 0.0, 0.0);
    const TruePoint b = truePoint(-700.0, 1200.0, -35.0);
    const Eigen::Vector3d x1 = b.xyz - a.xyz + Eigen::Vector3d(0.006, -0.004, 0.005);
    const Eigen::Vector3d x2 = b.xyz - a.xyz + Eigen::Vector3d(-0.003, 0.005, -0.004);
    const Eigen::Matrix3d c1 = vectorCovariance(0);
    const Eigen::Matrix3d c2 = vectorCovariance(3);
    const std::vector<std::string> lines =
        std::vector<std::string>{plhd("A", a, "111"), record("3DD", {}), dxyz("A", "B", x1),
                                 header("COV", "CT", "UPPR")} +
        elements(upper(c1)) +
        std::vector<std::string>{record("3DD", {}), dxyz("A", "B", x2),
                                 header("COV", "CT", "UPPR")} +
        elements(upper(c2));
    engine::Options options = geodetic(false);
    options.sigmaScaling = engine::SigmaScaling::Never;
    options.logResidualsNeu = true;
    const std::unique_ptr<EngineRun> run = runEngine(lines, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    engine::ReportInput in;
    in.options = &options;
    in.network = &run->network;
    in.outcome = &run->outcome;
    in.statistics = &run->statistics;
    in.diagnostics = &run->diagnostics;
    const std::string report = engine::writeReport(in, "\n");
    const auto section = report.find("RESIDUS 3D EN NEU");
    QVERIFY(section != std::string::npos);
    // The first vector's line: DXYZ A B, file 1, line 3.
    std::istringstream rows(report.substr(section));
    std::string row;
    std::vector<double> values;
    while (std::getline(rows, row)) {
        std::istringstream words(row);
        std::string code, station, target;
        int file = 0;
        int line = 0;
        if (words >> code >> station >> target >> file >> line && code == "DXYZ" && line == 3) {
            double value = 0.0;
            for (int k = 0; k < 6 && words >> value; ++k)
                values.push_back(value);
        }
    }
    QCOMPARE(values.size(), std::size_t(6));
    Eigen::Vector3d r1;
    Eigen::Vector3d r2;
    for (int c = 0; c < 3; ++c) {
        r1(c) = run->network.observations[std::size_t(c)].value;
        r2(c) = run->network.observations[std::size_t(3 + c)].value;
    }
    const Eigen::Matrix3d p1 = c1.inverse();
    const Eigen::Matrix3d p2 = c2.inverse();
    const Eigen::Matrix3d q = (p1 + p2).inverse();
    const Eigen::Vector3d v1 = q * p2 * (r2 - r1);
    Eigen::Matrix3d neu;
    neu << a.enu.col(1), a.enu.col(0), a.enu.col(2);
    const Eigen::Vector3d turned = neu.transpose() * v1;
    const Eigen::Matrix3d qvv = neu.transpose() * (c1 - q) * neu;
    for (int c = 0; c < 3; ++c) {
        QVERIFY2(std::abs(values[std::size_t(c)] - turned(c)) < 0.6e-4, row.c_str());
        const double w = turned(c) / std::sqrt(qvv(c, c));
        QVERIFY2(std::abs(values[std::size_t(3 + c)] - w) < 0.006,
                 (std::to_string(values[std::size_t(3 + c)]) + " " + std::to_string(w)).c_str());
    }
}

// The loops of a triangle of vectors and of a vector measured twice: exact vectors close to
// 0; a 5 cm error planted in one vector shows in each loop through it, flagged.
void TestEngineGnss::loops()
{
    std::map<std::string, TruePoint> p;
    p["A"] = truePoint(0.0, 0.0, 0.0);
    p["B"] = truePoint(2000.0, 300.0, 40.0);
    p["C"] = truePoint(700.0, 1800.0, -30.0);
    const Eigen::Vector3d planted(0.03, 0.0, 0.04); // 5 cm, geocentric
    for (bool withError : {false, true}) {
        const std::vector<std::string> lines =
            std::vector<std::string>{plhd("A", p["A"], "111")} +
            vectorBlock(p, {{"A", "B"}, {"B", "C"}}, 0.2, {}) +
            vectorBlock(p, {{"A", "C"}}, 0.0,
                        {withError ? planted : Eigen::Vector3d::Zero().eval()}) +
            vectorBlock(p, {{"C", "A"}}, 0.0, {});
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("network.iob");
        const engine::ObservationSource source = engine::readObservationFiles(
            path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
        const engine::Network network = engine::buildNetwork(source, geodetic(false), diagnostics);
        QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
        const engine::GnssLoops result = engine::gnssLoops(network);
        // Four vectors between three points: two independent loops.
        QCOMPARE(result.loops.size(), std::size_t(2));
        QVERIFY(std::abs(result.critical - 14.16) < 0.01); // chi-square, 3 dof, 0.9973
        for (const engine::GnssLoop &loop : result.loops) {
            const double size = loop.misclosure.norm();
            if (!withError) {
                QVERIFY2(size < 2e-5, std::to_string(size).c_str()); // the 5 decimals written
                QVERIFY(loop.test < result.critical);
            } else {
                QVERIFY2(std::abs(size - 0.05) < 2e-5, std::to_string(size).c_str());
                QVERIFY(loop.test > result.critical);
                QVERIFY(std::abs(loop.ppm() - size / loop.length * 1e6) < 1e-9);
            }
        }
        QCOMPARE(result.flagged(), withError ? 2 : 0);
    }
}

void TestEngineGnss::badBlocks_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<bool>("geodetic");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("errorPart");

    const TruePoint a = truePoint(0.0, 0.0, 0.0);
    const std::string pa = plhd("A", a, "111");
    const std::string dd = record("3DD", {});
    const std::string v = dxyz("A", "B", Eigen::Vector3d(100.0, 200.0, 300.0));
    const std::string cov = header("COV", "CT", "UPPR");
    const std::vector<std::string> six = elements({"1e-6", "0", "0", "1e-6", "0", "1e-6"});

    QTest::newRow("matrix not positive definite")
        << std::vector<std::string>{pa, dd, v, cov} +
               elements({"1e-6", "2e-6", "0", "1e-6", "0", "1e-6"})
        << true << 4 << QString("définie positive");
    QTest::newRow("too few ELEM values")
        << std::vector<std::string>{pa, dd, v, cov} + elements({"1e-6", "0", "0", "1e-6", "0"})
        << true << 4 << QString("6 attendu");
    QTest::newRow("too many ELEM values")
        << std::vector<std::string>{pa, dd, v, cov} + six + elements({"1e-6"}) << true << 7
        << QString("Trop d'");
    QTest::newRow("two vectors, one 3 x 3 matrix")
        << std::vector<std::string>{pa, dd, v, dxyz("B", "C", Eigen::Vector3d(1.0, 2.0, 3.0)),
                                    cov} +
               six
        << true << 5 << QString("21 attendu");
    QTest::newRow("DXYZ outside a 3DD block")
        << std::vector<std::string>{pa, v, cov} + six << true << 2 << QString("hors d'un bloc 3DD");
    QTest::newRow("vector from a point to itself")
        << std::vector<std::string>{pa, dd, dxyz("A", "A", Eigen::Vector3d(1.0, 2.0, 3.0)), cov} +
               six
        << true << 3 << QString("lui-même");
    QTest::newRow("matrix header before any vector") << std::vector<std::string>{pa, dd, cov} + six
                                                     << true << 3 << QString("avant tout vecteur");
    QTest::newRow("3DD without its matrix")
        << std::vector<std::string>{pa, dd, v, pa} << true << 2 << QString("sans matrice");
    QTest::newRow("vectors in the local model")
        << std::vector<std::string>{record("LENU", {{7, "111"},
                                                    {11, "A"},
                                                    {24, "0"},
                                                    {43, "0"},
                                                    {62, "0"},
                                                    {81, "m"}}),
                                    dd, v, cov} +
               six
        << false << 2 << QString("3D_LOCALE");
}

// Each malformed block is an error at the line that shows it; nothing is silently dropped.
void TestEngineGnss::badBlocks()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(bool, geodetic);
    QFETCH(int, errorLine);
    QFETCH(QString, errorPart);

    engine::Diagnostics diagnostics;
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source =
        engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
    engine::buildNetwork(source, geodetic ? ::geodetic(false) : engine::Options(), diagnostics);
    bool found = false;
    for (const auto &d : diagnostics.items()) {
        if (d.line == errorLine && QString::fromLatin1(d.text.c_str()).contains(errorPart))
            found = true;
    }
    QVERIFY2(found, diagnosticsText(diagnostics).c_str());
}

QTEST_APPLESS_MAIN(TestEngineGnss)
#include "tst_enginegnss.moc"
