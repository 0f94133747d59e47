// What the geodetic models give out: the adjusted coordinates in the report's forms (XYZ, PLH in
// degrees-minutes-seconds and in decimal degrees, the tangent plane), the regions in the
// components asked for, and the drawing in the tangent plane; each against positions and
// rotations computed by GeographicLib from the true coordinates the observations were made from.
#include "engine/estimation/regions.h"
#include "engine/model/angles.h"
#include "engine/output/coordinatereport.h"
#include "engine/output/drawingfile.h"
#include "enginetesthelpers.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <Eigen/Eigenvalues>
#include <QtTest>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct TruePoint
{
    const char *name;
    double latitude; // degrees
    double longitude;
    double height; // metres
    bool fixed;
};

// Two fixed points and two free ones over some 5 km; the free ones start metres away.
const TruePoint kPoints[] = {{"A", 46.20, 7.10, 480.0, true},
                             {"B", 46.23, 7.16, 1250.0, true},
                             {"C", 46.18, 7.17, 720.0, false},
                             {"D", 46.25, 7.09, 990.0, false}};

const GeographicLib::Geocentric &earth()
{
    static const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
    return grs80;
}

Eigen::Vector3d geocentric(const TruePoint &p)
{
    Eigen::Vector3d xyz;
    earth().Forward(p.latitude, p.longitude, p.height, xyz.x(), xyz.y(), xyz.z());
    return xyz;
}

// Error-free directions, distances and zenith angles between every two points, from the true
// positions in each station's horizon, and the free points' records offset by `offset`.
std::vector<std::string> networkLines(const Eigen::Vector3d &offset)
{
    std::vector<std::string> lines;
    for (const TruePoint &p : kPoints) {
        if (p.fixed) {
            lines.push_back(record("PLHD", {{7, "111"},
                                            {11, p.name},
                                            {24, "N" + fixedText(p.latitude, 9)},
                                            {42, "E" + fixedText(p.longitude, 9)},
                                            {60, fixedText(p.height, 4)},
                                            {73, "m"}}));
        } else {
            const Eigen::Vector3d start = geocentric(p) + offset;
            lines.push_back(record("XYZ", {{7, "000"},
                                           {11, p.name},
                                           {24, fixedText(start.x(), 4)},
                                           {43, fixedText(start.y(), 4)},
                                           {62, fixedText(start.z(), 4)},
                                           {81, "m"}}));
        }
    }
    constexpr double kGrades = 200.0 / engine::kPi;
    for (const TruePoint &s : kPoints) {
        const GeographicLib::LocalCartesian horizon(s.latitude, s.longitude, s.height, earth());
        lines.push_back(record("DSET", {}));
        for (const TruePoint &t : kPoints) {
            if (&s == &t)
                continue;
            double e = 0.0;
            double n = 0.0;
            double u = 0.0;
            horizon.Forward(t.latitude, t.longitude, t.height, e, n, u);
            const auto sight = [&](const char *code, const std::string &value, const char *sigma,
                                   const char *unit) {
                return record(code,
                              {{11, s.name}, {24, t.name}, {50, value}, {66, sigma}, {77, unit}});
            };
            const double azimuth = engine::normalizeAngle(std::atan2(e, n));
            lines.push_back(sight("DIR", fixedText(azimuth * kGrades, 9), "10", ""));
            lines.push_back(
                sight("DIST", fixedText(std::sqrt(e * e + n * n + u * u), 6), "0.002", "m"));
            lines.push_back(
                sight("ZANG", fixedText(std::atan2(std::hypot(e, n), u) * kGrades, 9), "20", ""));
        }
    }
    return lines;
}

engine::Options outputOptions()
{
    engine::Options options;
    options.model = engine::ModelType::Ellipsoidal3D;
    // Error-free observations leave s0 at 0: the precisions stay the a priori ones.
    options.sigmaScaling = engine::SigmaScaling::Never;
    options.solutionForms.geocentric = true;
    options.solutionForms.geographic = true;
    options.solutionForms.local = true;
    return options;
}

// The numbers of the report line of `name` after the line holding `heading`.
std::vector<double> numbersAfter(const std::vector<std::string> &lines, const std::string &heading,
                                 const std::string &name)
{
    bool inSection = false;
    for (const std::string &line : lines) {
        if (line.find(heading) != std::string::npos)
            inSection = true;
        const QStringList words = QString::fromStdString(line).split(' ', Qt::SkipEmptyParts);
        if (!inSection || words.isEmpty() || words.front().toStdString() != name)
            continue;
        std::vector<double> numbers;
        for (const QString &word : words) {
            bool ok = false;
            const double value = word.toDouble(&ok);
            if (ok)
                numbers.push_back(value);
        }
        return numbers;
    }
    return {};
}

// GeographicLib's rotation (row-major) from east, north, up at a point into the axes of a frame,
// taking north, east, up at the point; into north, east, up as well when `intoHorizon`.
Eigen::Matrix3d neuRotation(const std::vector<double> &rowMajor, bool intoHorizon)
{
    Eigen::Matrix3d m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m(r, c) = rowMajor[static_cast<std::size_t>(3 * r + c)];
    Eigen::Matrix3d swap;
    swap << 0, 1, 0, 1, 0, 0, 0, 0, 1;
    return intoHorizon ? Eigen::Matrix3d(swap * m * swap) : Eigen::Matrix3d(m * swap);
}

} // namespace

class TestEngineGeodeticOutput : public QObject
{
    Q_OBJECT

private slots:
    void reportGivesTheTruthInEachForm();
    void regionsTurnIntoTheirComponents_data();
    void regionsTurnIntoTheirComponents();
};

void TestEngineGeodeticOutput::reportGivesTheTruthInEachForm()
{
    const engine::Options options = outputOptions();
    const Eigen::Vector3d offset(2.5, -3.0, 1.5);
    const auto run = runEngine(networkLines(offset), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const std::vector<std::string> lines =
        engine::coordinateReport(run->network, run->outcome, run->statistics, options);

    // The tangent plane lies at the ellipsoid below the centroid of the starting positions.
    Eigen::Vector3d centroid = Eigen::Vector3d::Zero();
    for (const TruePoint &p : kPoints)
        centroid += geocentric(p) + (p.fixed ? Eigen::Vector3d::Zero() : offset);
    centroid /= static_cast<double>(std::size(kPoints));
    double originLatitude = 0.0;
    double originLongitude = 0.0;
    double originHeight = 0.0;
    earth().Reverse(centroid.x(), centroid.y(), centroid.z(), originLatitude, originLongitude,
                    originHeight);
    const GeographicLib::LocalCartesian plane(originLatitude, originLongitude, 0.0, earth());

    const engine::Regions regions =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    const engine::DrawingFile drawing = engine::drawingOf(run->network, run->outcome, regions);

    for (const TruePoint &p : kPoints) {
        const Eigen::Vector3d xyz = geocentric(p);
        const std::vector<double> x = numbersAfter(lines, "XYZ (m)", p.name);
        QCOMPARE(x.size(), std::size_t(p.fixed ? 3 : 6));
        for (int k = 0; k < 3; ++k)
            QVERIFY2(std::abs(x[static_cast<std::size_t>(k)] - xyz(k)) < 2e-4, p.name);

        // "N 46 12 0.00000" reads as the numbers 46, 12, 0.0; the height follows the longitude.
        const std::vector<double> dms = numbersAfter(lines, "PLH (", p.name);
        QVERIFY(dms.size() >= 7);
        const double latitude = dms[0] + dms[1] / 60.0 + dms[2] / 3600.0;
        const double longitude = dms[3] + dms[4] / 60.0 + dms[5] / 3600.0;
        QVERIFY2(std::abs(latitude - p.latitude) * 3600.0 < 2e-5, p.name);
        QVERIFY2(std::abs(longitude - p.longitude) * 3600.0 < 2e-5, p.name);
        QVERIFY2(std::abs(dms[6] - p.height) < 2e-4, p.name);

        const std::vector<double> decimal = numbersAfter(lines, "cimaux (nord", p.name);
        QCOMPARE(decimal.size(), std::size_t(3));
        QVERIFY2(std::abs(decimal[0] - p.latitude) < 2e-9, p.name);
        QVERIFY2(std::abs(decimal[1] - p.longitude) < 2e-9, p.name);

        double e = 0.0;
        double n = 0.0;
        double u = 0.0;
        plane.Forward(p.latitude, p.longitude, p.height, e, n, u);
        const std::vector<double> local = numbersAfter(lines, "COORDONNEES AJUSTEES (m)", p.name);
        QVERIFY(local.size() >= 3);
        QVERIFY2(std::abs(local[0] - e) < 2e-4 && std::abs(local[1] - n) < 2e-4 &&
                     std::abs(local[2] - u) < 2e-4,
                 p.name);

        const auto index = static_cast<std::size_t>(run->pointIndex(p.name));
        QVERIFY2((drawing.coordinates[index] - Eigen::Vector3d(n, e, u)).norm() < 1e-4, p.name);
    }
}

void TestEngineGeodeticOutput::regionsTurnIntoTheirComponents_data()
{
    QTest::addColumn<int>("coordinates");
    QTest::newRow("geocentric XYZ") << int(engine::RegionCoordinates::Xyz);
    QTest::newRow("tangent plane NEU") << int(engine::RegionCoordinates::Neu);
}

// A point's covariance in XYZ or NEU is its covariance in its own horizon (PLU) turned by
// GeographicLib's rotation at its true position; the relative region of two points is the same
// ellipsoid in every frame, so its half-axes do not change.
void TestEngineGeodeticOutput::regionsTurnIntoTheirComponents()
{
    QFETCH(int, coordinates);
    engine::Options options = outputOptions();
    options.regions.confidence[2] = {true, true, 0.95};
    const auto run = runEngine(networkLines(Eigen::Vector3d(2.0, 1.0, -2.0)), options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    options.regions.coordinates = engine::RegionCoordinates::Plu;
    const engine::Regions own =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    options.regions.coordinates = static_cast<engine::RegionCoordinates>(coordinates);
    const engine::Regions turned =
        engine::computeRegions(run->network, run->outcome, run->statistics, options);
    QCOMPARE(turned.points.size(), own.points.size());
    QCOMPARE(turned.pairs.size(), own.pairs.size());

    const engine::Network &network = run->network;
    const GeographicLib::LocalCartesian plane(network.tangentOrigin.latitude * 180.0 / engine::kPi,
                                              network.tangentOrigin.longitude * 180.0 / engine::kPi,
                                              0.0, earth());
    for (std::size_t k = 0; k < own.points.size(); ++k) {
        const TruePoint &p = kPoints[own.points[k].point1];
        std::vector<double> m(9);
        Eigen::Vector3d ignored;
        if (options.regions.coordinates == engine::RegionCoordinates::Xyz)
            earth().Forward(p.latitude, p.longitude, p.height, ignored.x(), ignored.y(),
                            ignored.z(), m);
        else
            plane.Forward(p.latitude, p.longitude, p.height, ignored.x(), ignored.y(), ignored.z(),
                          m);
        const Eigen::Matrix3d r =
            neuRotation(m, options.regions.coordinates == engine::RegionCoordinates::Neu);
        const Eigen::Matrix3d expected = r * own.points[k].covariance * r.transpose();
        QVERIFY2((turned.points[k].covariance - expected).norm() < 1e-9 * expected.norm(), p.name);
    }
    for (std::size_t k = 0; k < own.pairs.size(); ++k) {
        const auto axes = [](const Eigen::Matrix3d &c) {
            return Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(c).eigenvalues();
        };
        const Eigen::Vector3d a = axes(own.pairs[k].covariance);
        QVERIFY((axes(turned.pairs[k].covariance) - a).norm() < 1e-9 * a.norm());
    }
}

QTEST_APPLESS_MAIN(TestEngineGeodeticOutput)
#include "tst_enginegeodeticoutput.moc"
