// Points given in a projection and with altitudes: the same network given in PLH and in NEH, NEO,
// PLO (the geoid from GEOI records or from a GFIL grid) adjusts to the same positions; bad
// projections, names and grids are errors with their file and line; the deflections of the
// vertical reduce angles observed along the plumb line. True positions and projected coordinates
// come from GeographicLib, apart from the engine's code.
#include "engine/api/process.h"
#include "engine/import/geoidgrid.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/output/drawingfile.h"
#include "enginetesthelpers.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LambertConformalConic.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kDeg = engine::kPi / 180.0;
constexpr double kArcSecond = kDeg / 3600.0;

std::string decimalDegrees(double degrees, bool latitude)
{
    const char letter = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
    return std::string(1, letter) + fixedText(std::abs(degrees), 11);
}

struct TruePoint
{
    const char *name;
    double latitude; // degrees
    double longitude;
    double height; // ellipsoidal, metres
};

// Two fixed points and two placed from the observations, some 4 km apart, on GRS80.
const TruePoint kPoints[] = {{"A", 46.000, 6.000, 500.0},
                             {"B", 46.020, 6.030, 620.0},
                             {"C", 46.010, 6.040, 550.0},
                             {"D", 45.995, 6.025, 580.0}};

// The undulation of the test grid: linear, which bilinear interpolation keeps exactly.
double gridUndulation(double latitude, double longitude)
{
    return 40.0 + 0.5 * latitude - 0.25 * longitude;
}

const GeographicLib::Geocentric &earth()
{
    static const engine::ReferenceEllipsoid grs80;
    static const GeographicLib::Geocentric e(grs80.semiMajor, grs80.flattening());
    return e;
}

Eigen::Vector3d geocentric(const TruePoint &p)
{
    Eigen::Vector3d xyz;
    earth().Forward(p.latitude, p.longitude, p.height, xyz.x(), xyz.y(), xyz.z());
    return xyz;
}

// East, north and up of the horizon at latitude and longitude (radians), as columns.
Eigen::Matrix3d horizon(double latitude, double longitude)
{
    Eigen::Matrix3d m;
    m.col(0) << -std::sin(longitude), std::cos(longitude), 0.0;
    m.col(1) << -std::sin(latitude) * std::cos(longitude),
        -std::sin(latitude) * std::sin(longitude), std::cos(latitude);
    m.col(2) << std::cos(latitude) * std::cos(longitude), std::cos(latitude) * std::sin(longitude),
        std::sin(latitude);
    return m;
}

// Deflections of the vertical at each point (xi, eta in arc seconds); zero: none.
struct Deflection
{
    double xi = 0.0;
    double eta = 0.0;
};

// Directions, zenith angles (radians, ANGT RAD) and distances between every pair, error-free,
// each station's angles in the horizon of its plumb line.
std::vector<std::string> observations(const std::vector<Deflection> &deflections)
{
    std::vector<std::string> lines = {record("ANGT", {{7, "RAD"}})};
    const std::size_t n = std::size(kPoints);
    for (std::size_t s = 0; s < n; ++s) {
        const TruePoint &station = kPoints[s];
        const Deflection d = s < deflections.size() ? deflections[s] : Deflection();
        const double latitude = station.latitude * kDeg + d.xi * kArcSecond;
        const double longitude =
            station.longitude * kDeg + d.eta * kArcSecond / std::cos(station.latitude * kDeg);
        const Eigen::Matrix3d plumb = horizon(latitude, longitude);
        lines.push_back(record("DSET", {}));
        for (std::size_t t = 0; t < n; ++t) {
            if (t == s)
                continue;
            const TruePoint &target = kPoints[t];
            const Eigen::Vector3d d3 = geocentric(target) - geocentric(station);
            const Eigen::Vector3d enu = plumb.transpose() * d3;
            const double h = std::hypot(enu.x(), enu.y());
            const auto sight = [&](const char *code, const std::string &value,
                                   std::vector<std::pair<int, std::string>> more) {
                std::vector<std::pair<int, std::string>> fields = {
                    {11, station.name}, {24, target.name}, {50, value}};
                fields.insert(fields.end(), more.begin(), more.end());
                return record(code, fields);
            };
            lines.push_back(
                sight("DIR", fixedText(engine::normalizeAngle(std::atan2(enu.x(), enu.y())), 12),
                      {{66, "3"}}));
            lines.push_back(sight("ZANG", fixedText(std::atan2(h, enu.z()), 12), {{66, "3"}}));
            lines.push_back(sight("DIST", fixedText(d3.norm(), 6), {{66, "0.001"}, {77, "m"}}));
        }
    }
    return lines;
}

std::string plh(const char *code, const TruePoint &p, double height)
{
    return record(code, {{7, "111"},
                         {11, p.name},
                         {24, decimalDegrees(p.latitude, true)},
                         {42, decimalDegrees(p.longitude, false)},
                         {60, fixedText(height, 6)},
                         {73, "m"}});
}

std::string projected(const char *code, const TruePoint &p, double north, double east,
                      double height, const char *projection)
{
    return record(code, {{7, "111"},
                         {11, p.name},
                         {24, fixedText(north, 6)},
                         {41, fixedText(east, 6)},
                         {58, fixedText(height, 5)},
                         {69, projection},
                         {77, "m"}});
}

std::string geoi(const char *point, double undulation, const char *xi = "", const char *eta = "")
{
    return record("GEOI",
                  {{11, point}, {24, xi}, {42, eta}, {60, fixedText(undulation, 4)}, {73, "m"}});
}

// TM with its central meridian at 6 degrees east, origin at 46 degrees north.
std::string tmer(const std::string &scale = "0.9996")
{
    return record("TMER", {{7, "UTM32"},
                           {15, "E6 00"},
                           {23, "N46 00"},
                           {31, "100000.0"},
                           {44, "500000.0"},
                           {57, scale},
                           {70, "m"}});
}

// Lambert with its false origin at 46.5 north, 3 east.
std::string lamb(const std::string &name = "LAMB93", const std::string &origin = "N46 30",
                 const std::string &first = "N44 00", const std::string &second = "N49 00")
{
    return record("LAMB", {{7, name},
                           {15, origin},
                           {23, "E3 00"},
                           {31, "6600000.0"},
                           {44, "700000.0"},
                           {57, first},
                           {65, second},
                           {73, "m"}});
}

// Writes the grid of gridUndulation() as a ".geo" file in `dir`: nodes every tenth of a degree
// from 45.5 to 46.5 north and 5.5 to 6.5 east.
QString writeGrid(const QTemporaryDir &dir)
{
    engine::import::GeoidGrid grid;
    grid.south = 45.5;
    grid.west = 5.5;
    grid.latStep = 0.1;
    grid.lonStep = 0.1;
    grid.rows = 11;
    grid.columns = 11;
    for (int r = 0; r < 11; ++r) {
        for (int c = 0; c < 11; ++c)
            grid.values.push_back(
                static_cast<float>(gridUndulation(45.5 + 0.1 * r, 5.5 + 0.1 * c)));
    }
    const QString path = dir.filePath("grid.geo");
    std::ofstream(path.toStdString(), std::ios::binary) << engine::import::encodeGeoFile(grid);
    return path;
}

engine::Options ellipsoidal()
{
    engine::Options options;
    options.model = engine::ModelType::Ellipsoidal3D;
    return options;
}

// Runs the network of `fixedLines` (the fixed points A and B) and the error-free observations.
std::unique_ptr<EngineRun> run(const std::vector<std::string> &fixedLines,
                               const std::vector<Deflection> &deflections = {})
{
    std::vector<std::string> lines = fixedLines;
    const std::vector<std::string> more = observations(deflections);
    lines.insert(lines.end(), more.begin(), more.end());
    return runEngine(lines, ellipsoidal());
}

} // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)

class TestEngineProjectedNetwork : public QObject
{
    Q_OBJECT

private slots:
    void sameNetworkInEveryForm_data();
    void sameNetworkInEveryForm();
    void badInputNamesFileAndLine_data();
    void badInputNamesFileAndLine();
    void deflectionSigns_data();
    void deflectionSigns();
    void deflectionsReduceAnglesToTheNormal();
    void heightDifferenceIsOneOfAltitudes();
    void reportAndDrawingInTheProjection();
};

void TestEngineProjectedNetwork::sameNetworkInEveryForm_data()
{
    QTest::addColumn<std::vector<std::string>>("fixedLines");
    QTest::addColumn<bool>("withGrid");

    const TruePoint &a = kPoints[0];
    const TruePoint &b = kPoints[1];
    const engine::ReferenceEllipsoid grs80;
    const GeographicLib::TransverseMercator tm(grs80.semiMajor, grs80.flattening(), 0.9996);
    double x0 = 0, y0 = 0, gamma = 0, k = 0;
    tm.Forward(6.0, 46.0, 6.0, x0, y0, gamma, k);
    const double tmOrigin = y0;
    const auto tmGrid = [&](const TruePoint &p) {
        double x = 0, y = 0, g = 0, kk = 0;
        tm.Forward(6.0, p.latitude, p.longitude, x, y, g, kk);
        return std::make_pair(100000.0 + y - tmOrigin, 500000.0 + x);
    };
    const GeographicLib::LambertConformalConic lcc(grs80.semiMajor, grs80.flattening(), 44.0, 49.0,
                                                   1.0);
    lcc.Forward(3.0, 46.5, 3.0, x0, y0, gamma, k);
    const double lccOrigin = y0;
    const auto lccGrid = [&](const TruePoint &p) {
        double x = 0, y = 0, g = 0, kk = 0;
        lcc.Forward(3.0, p.latitude, p.longitude, x, y, g, kk);
        return std::make_pair(6600000.0 + y - lccOrigin, 700000.0 + x);
    };
    const double na = 47.25;
    const double nb = 47.75;
    const double gridA = gridUndulation(a.latitude, a.longitude);
    const double gridB = gridUndulation(b.latitude, b.longitude);
    using Lines = std::vector<std::string>;

    QTest::newRow("PLH") << Lines{plh("PLHD", a, a.height), plh("PLHD", b, b.height)} << false;
    QTest::newRow("PLO with GEOI")
        << Lines{geoi("A", na), geoi("B", nb), plh("PLOD", a, a.height - na),
                 plh("PLOD", b, b.height - nb)}
        << false;
    QTest::newRow("PLO with a GFIL grid")
        << Lines{record("GFIL", {{7, "grid.geo"}}), plh("PLOD", a, a.height - gridA),
                 plh("PLOD", b, b.height - gridB)}
        << true;
    const auto [tmNorthA, tmEastA] = tmGrid(a);
    const auto [tmNorthB, tmEastB] = tmGrid(b);
    QTest::newRow("NEH in transverse Mercator")
        << Lines{tmer(), projected("NEH", a, tmNorthA, tmEastA, a.height, "UTM32"),
                 projected("NEH", b, tmNorthB, tmEastB, b.height, "UTM32")}
        << false;
    // The projection may come after the points that name it.
    QTest::newRow("NEO in transverse Mercator with GEOI, projection last")
        << Lines{geoi("A", na), geoi("B", nb),
                 projected("NEO", a, tmNorthA, tmEastA, a.height - na, "UTM32"),
                 projected("NEO", b, tmNorthB, tmEastB, b.height - nb, "UTM32"), tmer()}
        << false;
    const auto [lccNorthA, lccEastA] = lccGrid(a);
    const auto [lccNorthB, lccEastB] = lccGrid(b);
    QTest::newRow("NEO in Lambert with a GFIL grid")
        << Lines{lamb(), record("GFIL", {{7, "grid.geo"}}),
                 projected("NEO", a, lccNorthA, lccEastA, a.height - gridA, "LAMB93"),
                 projected("NEO", b, lccNorthB, lccEastB, b.height - gridB, "LAMB93")}
        << true;
}

void TestEngineProjectedNetwork::sameNetworkInEveryForm()
{
    QFETCH(std::vector<std::string>, fixedLines);
    QFETCH(bool, withGrid);
    QTemporaryDir dir;
    if (withGrid)
        writeGrid(dir);
    // The grid's name is relative to the folder of the observation file.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const std::unique_ptr<EngineRun> reference = run(
        {plh("PLHD", kPoints[0], kPoints[0].height), plh("PLHD", kPoints[1], kPoints[1].height)});
    const std::unique_ptr<EngineRun> given = run(fixedLines);
    QDir::setCurrent(previous);
    QVERIFY2(reference->solved, diagnosticsText(reference->diagnostics).c_str());
    QVERIFY2(given->solved, diagnosticsText(given->diagnostics).c_str());
    for (const TruePoint &p : kPoints) {
        const double apart = (given->adjusted(p.name) - reference->adjusted(p.name)).norm();
        QVERIFY2(apart < 1e-4, qPrintable(QString("%1: %2 m").arg(p.name).arg(apart)));
        const double error = (given->adjusted(p.name) - geocentric(p)).norm();
        QVERIFY2(error < 1e-4,
                 qPrintable(QString("%1 from the truth: %2 m").arg(p.name).arg(error)));
    }
}

void TestEngineProjectedNetwork::badInputNamesFileAndLine_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    const TruePoint &a = kPoints[0];
    const TruePoint &b = kPoints[1];
    const std::string pointA = projected("NEH", a, 100000.0, 500000.0, a.height, "UTM32");
    const std::string pointB = plh("PLHD", b, b.height);
    using Lines = std::vector<std::string>;
    QTest::newRow("projection no record defines")
        << Lines{pointA, pointB} << 1 << QString("Projection « UTM32 » inconnue");
    QTest::newRow("two projections with one name")
        << Lines{tmer(), pointB, tmer()} << 3 << QString("déjà définie");
    QTest::newRow("scale factor of 0")
        << Lines{pointB, tmer("0")} << 2 << QString("facteur d'échelle");
    QTest::newRow("parallels symmetric about the equator")
        << Lines{lamb("SYM", "N00 00", "N30 00", "S30 00"), pointB} << 1 << QString("symétriques");
    QTest::newRow("oblique Mercator centred on the pole")
        << Lines{pointB, record("OMER", {{7, "POLE"},
                                         {15, "E7 26 22.5"},
                                         {33, "N90 00 00"},
                                         {51, "90 00 00"},
                                         {68, "200000"},
                                         {80, "600000"},
                                         {93, "1.0"},
                                         {106, "m"}})}
        << 2 << QString("pôle");
    QTest::newRow("point outside the grid")
        << Lines{record("GFIL", {{7, "grid.geo"}}), pointB,
                 plh("PLOD", TruePoint{"A", 44.0, 6.0, 0.0}, 300.0)}
        << 3 << QString("hors de la grille");
    QTest::newRow("altitude without a geoid")
        << Lines{pointB, plh("PLOD", a, 450.0)} << 2 << QString("Altitude sans géoïde");
    QTest::newRow("unreadable grid") << Lines{pointB, record("GFIL", {{7, "missing.geo"}})} << 2
                                     << QString("Grille de géoïde illisible");
    QTest::newRow("two GEOI for one point")
        << Lines{pointB, geoi("B", 47.0), geoi("B", 47.5)} << 3 << QString("déjà donné");
    QTest::newRow("deflection beyond 5 minutes")
        << Lines{pointB, geoi("B", 47.0, "N 00 06 00")} << 2 << QString("hors limites");
}

void TestEngineProjectedNetwork::badInputNamesFileAndLine()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(int, line);
    QFETCH(QString, message);
    QTemporaryDir dir;
    writeGrid(dir);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const std::unique_ptr<EngineRun> r = runEngine(lines, ellipsoidal());
    QDir::setCurrent(previous);
    const std::string all = diagnosticsText(r->diagnostics);
    bool found = false;
    for (const engine::Diagnostic &d : r->diagnostics.items()) {
        found = found || (d.severity == engine::Diagnostic::Severity::Error && d.line == line &&
                          !d.file.empty() && QString::fromLatin1(d.text.c_str()).contains(message));
    }
    QVERIFY2(found, all.c_str());
}

void TestEngineProjectedNetwork::deflectionSigns_data()
{
    QTest::addColumn<QString>("xi");
    QTest::addColumn<QString>("eta");
    QTest::addColumn<double>("azimuth");      // of the sight, degrees
    QTest::addColumn<double>("zenithChange"); // astronomic less geodetic, arc seconds
    // The plumb line's zenith leans by xi towards north and eta towards east: a sight towards
    // where it leans is nearer to it, z = z_astronomic + xi cos(azimuth) + eta sin(azimuth).
    QTest::newRow("north deflection, sight north") << "N 00 00 25.25"
                                                   << "" << 0.0 << -25.25;
    QTest::newRow("north deflection, sight south") << "N 00 00 25.25"
                                                   << "" << 180.0 << 25.25;
    QTest::newRow("west deflection, sight east") << ""
                                                 << "W 00 00 25.25" << 90.0 << 25.25;
    QTest::newRow("east deflection, sight east") << ""
                                                 << "E 00 00 12.5" << 90.0 << -12.5;
    QTest::newRow("south deflection, sight east") << "S 00 00 30"
                                                  << "" << 90.0 << 0.0;
}

void TestEngineProjectedNetwork::deflectionSigns()
{
    QFETCH(QString, xi);
    QFETCH(QString, eta);
    QFETCH(double, azimuth);
    QFETCH(double, zenithChange);
    // A station and a target 1 km away along `azimuth`, level.
    const double latitude = 46.0 * kDeg;
    const double az = azimuth * kDeg;
    const TruePoint station{"S", 46.0, 6.0, 500.0};
    const Eigen::Vector3d s = geocentric(station);
    const Eigen::Matrix3d h = horizon(latitude, 6.0 * kDeg);
    const Eigen::Vector3d t =
        s + h * Eigen::Vector3d(1000.0 * std::sin(az), 1000.0 * std::cos(az), 0.0);
    engine::Diagnostics diagnostics;
    std::vector<std::string> lines = {
        plh("PLHD", station, station.height),
        geoi("S", 47.0, xi.toStdString().c_str(), eta.toStdString().c_str())};
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source =
        engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
    const engine::Network network = engine::buildNetwork(source, ellipsoidal(), diagnostics);
    QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
    engine::State state;
    state.coordinates = {s, t};
    engine::Network two = network;
    engine::Point target;
    target.name = "T";
    two.points.push_back(target);
    const std::vector<engine::EllipsoidalPosition> positions =
        engine::ellipsoidalPositions(two, state);
    engine::Observation zenith;
    zenith.kind = engine::ObservationKind::Zenith;
    zenith.station = 0;
    zenith.target = 1;
    const double z = engine::evaluateEllipsoidal(zenith, positions, state).computed;
    // The geodetic zenith angle of a level sight of 1 km: 90 degrees plus half its angle at the
    // Earth's centre (1 km over the radius), a few arc seconds; the change is what matters.
    engine::Network plain = two;
    plain.points[0].geoid.reset();
    const double z0 =
        engine::evaluateEllipsoidal(zenith, engine::ellipsoidalPositions(plain, state), state)
            .computed;
    QVERIFY2(std::abs((z - z0) / kArcSecond - zenithChange) < 0.01,
             qPrintable(QString::number((z - z0) / kArcSecond, 'f', 4)));
}

void TestEngineProjectedNetwork::deflectionsReduceAnglesToTheNormal()
{
    // Angles observed along plumb lines leaning by some 20": with their GEOI records the network
    // comes out where it is; without them, it does not.
    const std::vector<Deflection> deflections = {
        {12.0, -20.0}, {-15.0, 8.0}, {25.0, 5.0}, {-5.0, 18.0}};
    std::vector<std::string> fixed = {plh("PLHD", kPoints[0], kPoints[0].height),
                                      plh("PLHD", kPoints[1], kPoints[1].height)};
    const std::unique_ptr<EngineRun> ignored = run(fixed, deflections);
    const char *const xi[] = {"N 00 00 12", "S 00 00 15", "N 00 00 25", "S 00 00 05"};
    const char *const eta[] = {"W 00 00 20", "E 00 00 08", "E 00 00 05", "E 00 00 18"};
    for (std::size_t i = 0; i < std::size(kPoints); ++i)
        fixed.push_back(geoi(kPoints[i].name, 47.0, xi[i], eta[i]));
    const std::unique_ptr<EngineRun> reduced = run(fixed, deflections);
    QVERIFY2(reduced->solved, diagnosticsText(reduced->diagnostics).c_str());
    QVERIFY2(ignored->solved, diagnosticsText(ignored->diagnostics).c_str());
    double worstIgnored = 0.0;
    for (const TruePoint &p : kPoints) {
        const double error = (reduced->adjusted(p.name) - geocentric(p)).norm();
        QVERIFY2(error < 1e-4, qPrintable(QString("%1: %2 m").arg(p.name).arg(error)));
        worstIgnored = std::max(worstIgnored, (ignored->adjusted(p.name) - geocentric(p)).norm());
    }
    QVERIFY2(worstIgnored > 1e-3, qPrintable(QString::number(worstIgnored)));
}

void TestEngineProjectedNetwork::heightDifferenceIsOneOfAltitudes()
{
    // With a geoid a levelled height difference joins altitudes: the undulations of its two ends
    // (GEOI) differ by 0.5 m, which the adjusted ellipsoidal heights keep.
    const TruePoint &a = kPoints[0];
    const TruePoint &c = kPoints[2];
    const double na = 47.25;
    const double nc = 47.75;
    std::vector<std::string> lines = {plh("PLHD", a, a.height),
                                      plh("PLHD", kPoints[1], kPoints[1].height), geoi("A", na),
                                      geoi("C", nc)};
    const std::vector<std::string> more = observations({});
    lines.insert(lines.end(), more.begin(), more.end());
    lines.push_back(record("OHDF", {{11, "A"},
                                    {24, "C"},
                                    {50, fixedText((c.height - nc) - (a.height - na), 6)},
                                    {66, "0.0001"},
                                    {93, "m"}}));
    const std::unique_ptr<EngineRun> r = runEngine(lines, ellipsoidal());
    QVERIFY2(r->solved, diagnosticsText(r->diagnostics).c_str());
    const double error = (r->adjusted("C") - geocentric(c)).norm();
    QVERIFY2(error < 1e-4, qPrintable(QString::number(error)));
    const auto &o = r->network.observations.back();
    QCOMPARE(o.kind, engine::ObservationKind::HeightDifference);
    QVERIFY(std::abs(r->outcome.residuals(
                static_cast<Eigen::Index>(r->network.observations.size() - 1))) < 1e-5);
}

void TestEngineProjectedNetwork::reportAndDrawingInTheProjection()
{
    // The network given in NEO in the transverse Mercator with GEOI undulations: the report gives
    // every point in NEO and PLO with its scale factor and convergence, lists the geoid, and the
    // drawing is in the projection's grid.
    const engine::ReferenceEllipsoid grs80;
    const GeographicLib::TransverseMercator tm(grs80.semiMajor, grs80.flattening(), 0.9996);
    double x0 = 0, y0 = 0, gamma = 0, k = 0;
    tm.Forward(6.0, 46.0, 6.0, x0, y0, gamma, k);
    struct Expected
    {
        double north, east, scale, convergence; // convergence in degrees
    };
    std::vector<Expected> expected;
    for (const TruePoint &p : kPoints) {
        double x = 0, y = 0;
        tm.Forward(6.0, p.latitude, p.longitude, x, y, gamma, k);
        expected.push_back({100000.0 + y - y0, 500000.0 + x, k, gamma});
    }
    const double undulation = 47.25;
    std::vector<std::string> lines = {tmer()};
    for (std::size_t i = 0; i < 2; ++i)
        lines.push_back(projected("NEO", kPoints[i], expected[i].north, expected[i].east,
                                  kPoints[i].height - undulation, "UTM32"));
    for (const TruePoint &p : kPoints)
        lines.push_back(geoi(p.name, undulation));
    const std::vector<std::string> more = observations({});
    lines.insert(lines.end(), more.begin(), more.end());

    const std::string iob = engine::normalizedPath("projected.iob");
    const std::string cfg = engine::normalizedPath("projected.cfg");
    const std::string configuration =
        QString::fromLatin1(engine::defaultConfigurationText("\n").c_str())
            .replace(QRegularExpression("TYPEMODEL[^\n]*"), "TYPEMODEL  3D_ELLIPSOIDALE")
            .replace(QRegularExpression("LOG_SOLFIN[^\n]*"), "LOG_SOLFIN 0230")
            .replace(QRegularExpression("LOG_GEOID[^\n]*"), "LOG_GEOID  OUI")
            .replace(QRegularExpression("NBDEC_DIST[^\n]*"), "NBDEC_DIST 4")
            .replace(QRegularExpression("NBDEC_ANGT[^\n]*"), "NBDEC_ANGT 2")
            .replace(QRegularExpression("TYPEANGLES[^\n]*"), "TYPEANGLES DMS")
            .toStdString();
    const engine::ProcessOutput out = engine::runProcessing(
        iob, cfg, memoryLoader({{iob, joinLines(lines)}, {cfg, configuration}}));
    const QString report = QString::fromLatin1(out.report.c_str());
    QVERIFY2(out.summary.status == 0, qPrintable(report.mid(report.indexOf("MESSAGES"), 800)));
    const int neo = report.indexOf("COORDONNEES AJUSTEES NEO");
    QVERIFY2(neo > 0, qPrintable(report));
    const QString section = report.mid(neo, report.indexOf("COORDONNEES AJUSTEES", neo + 30) - neo);
    for (std::size_t i = 0; i < std::size(kPoints); ++i) {
        const Expected &e = expected[i];
        const QString name = kPoints[i].name;
        const QString row =
            QString("   %1").arg(name, -14) + QString::number(e.north, 'f', 4).rightJustified(18) +
            QString::number(e.east, 'f', 4).rightJustified(18) +
            QString::number(kPoints[i].height - undulation, 'f', 4).rightJustified(16);
        QVERIFY2(section.contains(row), qPrintable(row + "\n" + section));
        const QString scale = QString("   %1").arg(name, -14) + QString("UTM32").leftJustified(9) +
                              QString::number(e.scale, 'f', 9).rightJustified(14);
        QVERIFY2(section.contains(scale), qPrintable(scale + "\n" + section));
        // The convergence in degrees, minutes and seconds (blank-padded as the report writes
        // angles), to the hundredth of a second.
        const double seconds = std::abs(e.convergence) * 3600.0;
        const int wholeMinutes = static_cast<int>(seconds / 60.0);
        const QString dmsText = QString("%1 %2 %3")
                                    .arg(wholeMinutes / 60)
                                    .arg(wholeMinutes % 60, 2)
                                    .arg(seconds - wholeMinutes * 60.0, 7, 'f', 4);
        QVERIFY2(section.contains(QString(e.convergence < 0 ? "- " : "+ ") + dmsText.left(10)),
                 qPrintable(dmsText + "\n" + section.mid(section.indexOf("Point         Proj"))));
    }
    QVERIFY(report.contains("COORDONNEES AJUSTEES PLO"));
    const int geoid = report.indexOf("GEOIDE : ONDULATION");
    QVERIFY2(geoid > 0, qPrintable(report));
    QVERIFY(report.mid(geoid, 1200).contains(QString("   A") + QString(13, ' ') + "    47.2500"));
    QVERIFY(out.drawing);
    for (std::size_t i = 0; i < std::size(kPoints); ++i) {
        const Eigen::Vector3d &neu = out.drawing->coordinates[i];
        const auto index = static_cast<std::size_t>(i);
        QVERIFY2(std::abs(neu.x() - expected[index].north) < 1e-4 &&
                     std::abs(neu.y() - expected[index].east) < 1e-4,
                 qPrintable(QString("%1 %2").arg(neu.x(), 0, 'f', 4).arg(neu.y(), 0, 'f', 4)));
    }
}

QTEST_APPLESS_MAIN(TestEngineProjectedNetwork)
#include "tst_engineprojectednetwork.moc"
