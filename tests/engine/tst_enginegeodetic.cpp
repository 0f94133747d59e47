// The geodetic models' input: the reference ellipsoid (ELIP), points given by XYZ, PLH and PLHD
// records, the sphere's latitude (PMOY), and their checks; the equations of the ellipsoidal model
// against sights computed with GeographicLib's local Cartesian frames; the spherical model against
// the same truth and against the ellipsoidal model.
#include "engine/api/process.h"
#include "engine/input/configurationfile.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/model/options.h"
#include "enginetesthelpers.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <QtTest>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string elip(const std::string &name, const std::string &a, const std::string &b,
                 const std::string &unit = "m")
{
    return record("ELIP", {{7, name}, {24, a}, {38, b}, {79, unit}});
}

std::string plh(const std::string &code, const std::string &flags, const std::string &latitude,
                const std::string &longitude, const std::string &height,
                const std::string &unit = "m")
{
    return record(
        code, {{7, flags}, {11, "P"}, {24, latitude}, {42, longitude}, {60, height}, {73, unit}});
}

std::string xyz(const std::string &flags, const std::string &x, const std::string &y,
                const std::string &z, const std::string &unit = "m")
{
    return record("XYZ", {{7, flags}, {11, "P"}, {24, x}, {43, y}, {62, z}, {81, unit}});
}

engine::Options geodeticOptions(engine::ModelType model = engine::ModelType::Ellipsoidal3D)
{
    engine::Options options;
    options.model = model;
    return options;
}

std::string pmoy(const std::string &latitude)
{
    return record("PMOY", {{7, latitude}});
}

struct Built
{
    engine::Diagnostics diagnostics;
    engine::Network network;
};

Built build(const std::vector<std::string> &lines, const engine::Options &options = {})
{
    Built built;
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source = engine::readObservationFiles(
        path, memoryLoader({{path, joinLines(lines)}}), built.diagnostics);
    built.network = engine::buildNetwork(source, options, built.diagnostics);
    return built;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(Eigen::Vector3d)

class TestEngineGeodetic : public QObject
{
    Q_OBJECT

private slots:
    void ellipsoid_data();
    void ellipsoid();
    void coordinates_data();
    void coordinates();
    void ellipsoidalEquations_data();
    void ellipsoidalEquations();
    void ellipsoidalNetworkIsRecovered();
    void sphereRadius_data();
    void sphereRadius();
    void meanLatitudeRecord_data();
    void meanLatitudeRecord();
    void sphereSightErrors_data();
    void sphereSightErrors();
    void sphereAgainstEllipsoid_data();
    void sphereAgainstEllipsoid();
    void sphereInTheReport_data();
    void sphereInTheReport();
};

void TestEngineGeodetic::ellipsoid_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<double>("semiMajor");
    QTest::addColumn<double>("semiMinor");
    QTest::addColumn<int>("errorLine"); // 0: no error
    QTest::addColumn<QString>("errorPart");

    // GRS80: a = 6378137 m, 1/f = 298.257222101, hence b = 6356752.314140 m (Moritz, Geodetic
    // Reference System 1980, Bulletin Géodésique 54, 1980).
    QTest::newRow("GRS80 without ELIP")
        << std::vector<std::string>{} << 6378137.0 << 6356752.314140 << 0 << QString();
    // Clarke 1880 (IGN): a = 6378249.2 m, b = 6356515.0 m.
    QTest::newRow("Clarke 1880") << std::vector<std::string>{elip("CLARKE 1880", "6378249.2",
                                                                  "6356515.0")}
                                 << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("in centimetres")
        << std::vector<std::string>{elip("CLARKE 1880", "637824920", "635651500", "cm")}
        << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("the same twice in two units")
        << std::vector<std::string>{elip("A", "6378249.2", "6356515.0"),
                                    elip("B", "637824920", "635651500", "cm")}
        << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("two different")
        << std::vector<std::string>{elip("CLARKE 1880", "6378249.2", "6356515.0"),
                                    elip("GRS80", "6378137.0", "6356752.3141")}
        << 6378249.2 << 6356515.0 << 2 << QString("ligne 1");
    QTest::newRow("semi-minor above semi-major")
        << std::vector<std::string>{elip("ECHANGE", "6356752.3141", "6378137.0")} << 6378137.0
        << 6356752.314140 << 1 << QString("plus grand que le demi-grand axe");
    QTest::newRow("axis in kilometres")
        << std::vector<std::string>{elip("KM", "6378.137", "6356.752")} << 6378137.0
        << 6356752.314140 << 1 << QString("demi-grand axe");
    QTest::newRow("NaN") << std::vector<std::string>{elip("NAN", "nan", "6356752.3141")}
                         << 6378137.0 << 6356752.314140 << 1 << QString("nan");
    QTest::newRow("missing semi-minor")
        << std::vector<std::string>{elip("SEUL", "6378137.0", "")} << 6378137.0 << 6356752.314140
        << 1 << QString("demi-petit axe");
}

void TestEngineGeodetic::ellipsoid()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(double, semiMajor);
    QFETCH(double, semiMinor);
    QFETCH(int, errorLine);
    QFETCH(QString, errorPart);

    const Built built = build(lines);
    const auto &items = built.diagnostics.items();
    if (errorLine == 0) {
        QVERIFY2(!built.diagnostics.hasErrors(), diagnosticsText(built.diagnostics).c_str());
    } else {
        QVERIFY(!items.empty());
        for (const auto &item : items)
            QCOMPARE(item.line, errorLine);
        QVERIFY2(QString::fromLatin1(items.front().text.c_str()).contains(errorPart),
                 items.front().text.c_str());
    }
    QVERIFY(std::abs(built.network.ellipsoid.semiMajor - semiMajor) < 1e-6);
    QVERIFY(std::abs(built.network.ellipsoid.semiMinor - semiMinor) < 1e-6);
}

void TestEngineGeodetic::coordinates_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<bool>("local");    // read in the local model
    QTest::addColumn<QString>("fixed"); // east, north, up; empty when an error is expected
    QTest::addColumn<Eigen::Vector3d>("geocentric");
    QTest::addColumn<QString>("errorPart");

    // IOGP Geomatics Guidance Note 7-2, geographic/geocentric conversion example (WGS 84):
    // 53°48'33.820"N 2°07'46.380"E h = 73.000 m is X 3771793.968, Y 140253.342, Z 5124304.349 m.
    const std::string wgs84 = elip("WGS84", "6378137.0", "6356752.31425");
    const Eigen::Vector3d iogp(3771793.968, 140253.342, 5124304.349);
    // The same point mirrored in the plane of the prime meridian, and in the equator's.
    const Eigen::Vector3d west(iogp.x(), -iogp.y(), iogp.z());
    const Eigen::Vector3d south(iogp.x(), iogp.y(), -iogp.z());
    using Lines = std::vector<std::string>;
    const std::string latitude = "N53 48 33.820";
    const std::string longitude = "E2 7 46.380";

    QTest::newRow("PLH, latitude and height fixed")
        << Lines{wgs84, plh("PLH", "101", latitude, longitude, "73.000")} << false << "011" << iogp
        << QString();
    QTest::newRow("ELIP after the point")
        << Lines{plh("PLH", "111", latitude, longitude, "7300.0", "cm"), wgs84} << false << "111"
        << iogp << QString();
    QTest::newRow("PLHD") << Lines{wgs84, plh("PLHD", "000", "N53.8093944444", "E2.12955", "73")}
                          << false << "000" << iogp << QString();
    QTest::newRow("longitude from 0 to 360")
        << Lines{wgs84, plh("PLH", "000", latitude, "E357 52 13.620", "73")} << false << "000"
        << west << QString();
    QTest::newRow("west") << Lines{wgs84, plh("PLH", "000", latitude, "W2 7 46.380", "73")} << false
                          << "000" << west << QString();
    QTest::newRow("south") << Lines{wgs84, plh("PLH", "000", "S53 48 33.820", longitude, "73")}
                           << false << "000" << south << QString();
    QTest::newRow("XYZ in centimetres")
        << Lines{wgs84, xyz("111", "377179396.8", "14025334.2", "512430434.9", "cm")} << false
        << "111" << iogp << QString();

    const Eigen::Vector3d none = Eigen::Vector3d::Zero();
    QTest::newRow("latitude beyond 90") << Lines{plh("PLH", "000", "N90 00 01", longitude, "73")}
                                        << false << "" << none << QString("de 90° sud à 90° nord");
    QTest::newRow("minutes of 60") << Lines{plh("PLH", "000", "N45 60 00", longitude, "73")}
                                   << false << "" << none << QString("minutes et secondes");
    QTest::newRow("longitude of a full turn")
        << Lines{plh("PLH", "000", latitude, "E360 00 00", "73")} << false << "" << none
        << QString("moins d'un tour");
    QTest::newRow("latitude with an east letter")
        << Lines{plh("PLH", "000", "E53 48 33.820", longitude, "73")} << false << "" << none
        << QString("N ou S attendu");
    QTest::newRow("PLHD in three parts") << Lines{plh("PLHD", "000", latitude, "E2.12955", "73")}
                                         << false << "" << none << QString("degrés décimaux");
    QTest::newRow("NaN latitude") << Lines{plh("PLHD", "000", "nan", "E2.12955", "73")} << false
                                  << "" << none << QString("illisible");
    QTest::newRow("NaN height") << Lines{plh("PLH", "000", latitude, longitude, "nan")} << false
                                << "" << none << QString("illisible");
    QTest::newRow("XYZ in kilometres")
        << Lines{xyz("000", "3771.793968", "140.253342", "5124.304349")} << false << "" << none
        << QString("hauteur ellipsoïdale");
    QTest::newRow("XYZ partly fixed")
        << Lines{xyz("110", "3771793.968", "140253.342", "5124304.349")} << false << "" << none
        << QString("fixées en partie");
    QTest::newRow("PLH in the local model") << Lines{plh("PLH", "000", latitude, longitude, "73")}
                                            << true << "" << none << QString("modèle géodésique");
}

void TestEngineGeodetic::coordinates()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(bool, local);
    QFETCH(QString, fixed);
    QFETCH(Eigen::Vector3d, geocentric);
    QFETCH(QString, errorPart);

    const Built built = build(lines, local ? engine::Options() : geodeticOptions());
    const auto &items = built.diagnostics.items();
    if (!errorPart.isEmpty()) {
        QVERIFY(!items.empty());
        const std::string &text = items.front().text;
        QVERIFY2(QString::fromLatin1(text.c_str()).contains(errorPart), text.c_str());
        QCOMPARE(items.front().line, lines.size() == 1 ? 1 : 2);
        return;
    }
    QVERIFY2(!built.diagnostics.hasErrors(), diagnosticsText(built.diagnostics).c_str());
    QCOMPARE(static_cast<int>(built.network.points.size()), 1);
    const engine::Point &p = built.network.points.front();
    QString fixity;
    for (const bool f : p.fixed)
        fixity += f ? '1' : '0';
    QCOMPARE(fixity, fixed);
    QVERIFY2((p.geocentric - geocentric).norm() < 1e-3, QString("%1 %2 %3")
                                                            .arg(p.geocentric.x(), 0, 'f', 4)
                                                            .arg(p.geocentric.y(), 0, 'f', 4)
                                                            .arg(p.geocentric.z(), 0, 'f', 4)
                                                            .toLatin1());
    // Both forms of the position describe the same place.
    const engine::Geographic &g = p.geographic;
    QVERIFY((engine::toGeocentric(built.network.ellipsoid, g) - geocentric).norm() < 1e-3);
}

namespace {

// A true position, in degrees and metres as GeographicLib takes them.
struct TruePosition
{
    double latitude;
    double longitude;
    double height;
};

} // namespace

Q_DECLARE_METATYPE(engine::ObservationKind)

void TestEngineGeodetic::ellipsoidalEquations_data()
{
    QTest::addColumn<engine::ObservationKind>("kind");
    QTest::addColumn<double>("targetLatitude"); // degrees; the station stands at 45.5 N 6.2 E
    QTest::addColumn<double>("targetLongitude");
    QTest::addColumn<double>("targetHeight");

    using K = engine::ObservationKind;
    const struct
    {
        const char *name;
        K kind;
    } kinds[] = {{"DIST", K::Distance},
                 {"AZIM", K::Azimuth},
                 {"DIR", K::Direction},
                 {"ZANG", K::Zenith},
                 {"OHDF", K::HeightDifference}};
    for (const auto &k : kinds) {
        QTest::addRow("%s over 3 km, climbing", k.name) << k.kind << 45.52 << 6.23 << 1310.0;
        QTest::addRow("%s over 40 km, to the south-west", k.name) << k.kind << 45.2 << 5.9 << 260.0;
    }
}

void TestEngineGeodetic::ellipsoidalEquations()
{
    QFETCH(engine::ObservationKind, kind);
    QFETCH(double, targetLatitude);
    QFETCH(double, targetLongitude);
    QFETCH(double, targetHeight);

    const engine::ReferenceEllipsoid grs80;
    const GeographicLib::Geocentric earth(grs80.semiMajor, grs80.flattening());
    const TruePosition truth[2] = {{45.5, 6.2, 420.0},
                                   {targetLatitude, targetLongitude, targetHeight}};
    const auto geocentric = [&](const TruePosition &p) {
        Eigen::Vector3d xyz;
        earth.Forward(p.latitude, p.longitude, p.height, xyz.x(), xyz.y(), xyz.z());
        return xyz;
    };

    engine::Observation o;
    o.kind = kind;
    o.station = 0;
    o.target = 1;
    o.instrumentHeight = 1.55;
    o.targetHeight = 1.80;
    o.setRefraction(kind == engine::ObservationKind::Zenith ? 0.13 : 0.0);
    o.set = 0;
    engine::State state;
    state.orientations = {0.3};

    // The sight in the station's own horizon: GeographicLib's local frame at the station mark,
    // whose up is the mark's normal, so the instrument stands at (0, 0, HI).
    const GeographicLib::LocalCartesian atStation(truth[0].latitude, truth[0].longitude,
                                                  truth[0].height, earth);
    double e = 0.0;
    double n = 0.0;
    double u = 0.0;
    atStation.Forward(truth[1].latitude, truth[1].longitude, truth[1].height + o.targetHeight, e, n,
                      u);
    u -= o.instrumentHeight;
    const double h = std::hypot(e, n);
    double expected = 0.0;
    switch (kind) {
    case engine::ObservationKind::Distance:
        expected = std::sqrt(h * h + u * u);
        break;
    case engine::ObservationKind::Azimuth:
        expected = engine::normalizeAngle(std::atan2(e, n));
        break;
    case engine::ObservationKind::Direction:
        expected = engine::normalizeAngle(std::atan2(e, n) - 0.3);
        break;
    case engine::ObservationKind::Zenith:
        expected = std::atan2(h, u) - 0.13 * h / (2.0 * engine::kEarthRadius);
        break;
    case engine::ObservationKind::HeightDifference:
        expected = truth[1].height - truth[0].height;
        break;
    case engine::ObservationKind::Vector:
    case engine::ObservationKind::Geocentric:
    case engine::ObservationKind::Geographic:
    case engine::ObservationKind::Local:
        QFAIL("not a sight between two points");
    }

    const auto evaluateAt = [&](const TruePosition(&points)[2]) {
        const std::vector<engine::EllipsoidalPosition> positions = {
            engine::ellipsoidalPosition(grs80, geocentric(points[0])),
            engine::ellipsoidalPosition(grs80, geocentric(points[1]))};
        return engine::evaluateEllipsoidal(o, positions, state);
    };
    const engine::ObservationEquation eq = evaluateAt(truth);
    QCOMPARE(eq.geometry, engine::SightGeometry::Defined);
    const bool angle = kind != engine::ObservationKind::Distance &&
                       kind != engine::ObservationKind::HeightDifference;
    // A micrometre, or a thousandth of an arc second.
    const double tolerance = angle ? 5e-9 : 1e-6;
    QVERIFY2(std::abs(eq.computed - expected) < tolerance,
             QByteArray::number(eq.computed - expected, 'g', 6));

    // Each derivative against the change of the computed value when the point moves 1 cm along
    // that axis of its horizon, the move made in GeographicLib's local frame at the point. The
    // model holds the horizons still, which is right to the sight's length over the Earth's radius
    // (a few parts in 10 000 over 3 km, in 1 000 over 40 km).
    const double stillHorizons = 2.0 * std::sqrt(h * h + u * u) / engine::kEarthRadius;
    constexpr double kStep = 0.01;
    for (int point = 0; point < 2; ++point) {
        const Eigen::Vector3d &derivatives = point == 0 ? eq.station : eq.target;
        const GeographicLib::LocalCartesian atPoint(truth[point].latitude, truth[point].longitude,
                                                    truth[point].height, earth);
        for (int axis = 0; axis < 3; ++axis) {
            double values[2] = {0.0, 0.0};
            for (int side = 0; side < 2; ++side) {
                Eigen::Vector3d move = Eigen::Vector3d::Zero();
                move(axis) = side == 0 ? -kStep : kStep;
                TruePosition moved[2] = {truth[0], truth[1]};
                atPoint.Reverse(move.x(), move.y(), move.z(), moved[point].latitude,
                                moved[point].longitude, moved[point].height);
                values[side] = evaluateAt(moved).computed;
            }
            const double numeric =
                (angle ? engine::wrapAngle(values[1] - values[0]) : values[1] - values[0]) /
                (2.0 * kStep);
            QVERIFY2(std::abs(numeric - derivatives(axis)) <=
                         stillHorizons * derivatives.norm() + 1e-12,
                     QString("point %1 axis %2: %3 against %4")
                         .arg(point)
                         .arg(axis)
                         .arg(derivatives(axis), 0, 'g', 8)
                         .arg(numeric, 0, 'g', 8)
                         .toLatin1());
        }
    }
    if (kind == engine::ObservationKind::Direction)
        QCOMPARE(eq.orientation, -1.0);
}

namespace {

// Radians as decimal grades, the default angle unit of the files.
std::string gradesText(double radians)
{
    return fixedText(radians * 200.0 / engine::kPi, 10);
}

} // namespace

void TestEngineGeodetic::ellipsoidalNetworkIsRecovered()
{
    const engine::ReferenceEllipsoid grs80;
    const GeographicLib::Geocentric earth(grs80.semiMajor, grs80.flattening());
    struct TruePoint
    {
        const char *name;
        TruePosition position;
        double instrument; // HI, metres
    };
    // Two fixed points, three free ones over some 6 km of Alpine foothills.
    const TruePoint points[] = {{"A", {45.50, 6.20, 420.0}, 1.50},
                                {"B", {45.53, 6.26, 1310.0}, 1.62},
                                {"C", {45.48, 6.27, 650.0}, 1.48},
                                {"D", {45.55, 6.21, 980.0}, 1.71},
                                {"E", {45.515, 6.235, 800.0}, 1.55}};
    constexpr double kTargetHeight = 1.80;
    constexpr double kRefraction = 0.13;
    const auto geocentric = [&](const TruePosition &p) {
        Eigen::Vector3d xyz;
        earth.Forward(p.latitude, p.longitude, p.height, xyz.x(), xyz.y(), xyz.z());
        return xyz;
    };

    std::vector<std::string> lines;
    lines.push_back(plh("PLHD", "111", "N45.50", "E6.20", "420").replace(10, 1, "A"));
    lines.push_back(plh("PLHD", "111", "N45.53", "E6.26", "1310").replace(10, 1, "B"));
    // Free points metres away from where they are.
    const Eigen::Vector3d offC(3.1, -2.4, 4.0);
    const Eigen::Vector3d offE(-2.7, 3.3, -1.9);
    const Eigen::Vector3d c = geocentric(points[2].position) + offC;
    const Eigen::Vector3d e = geocentric(points[4].position) + offE;
    lines.push_back(xyz("000", fixedText(c.x(), 4), fixedText(c.y(), 4), fixedText(c.z(), 4))
                        .replace(10, 1, "C"));
    lines.push_back(plh("PLHD", "000", "N45.55004", "E6.20996", "982.5").replace(10, 1, "D"));
    lines.push_back(xyz("000", fixedText(e.x(), 4), fixedText(e.y(), 4), fixedText(e.z(), 4))
                        .replace(10, 1, "E"));
    for (const TruePoint &p : points) {
        lines.push_back(record("HI", {{11, p.name}, {24, fixedText(p.instrument, 3)}, {35, "m"}}));
        lines.push_back(record("HT", {{11, p.name}, {24, fixedText(kTargetHeight, 3)}, {35, "m"}}));
    }
    for (std::size_t s = 0; s < std::size(points); ++s) {
        const TruePoint &station = points[s];
        const GeographicLib::LocalCartesian horizon(
            station.position.latitude, station.position.longitude, station.position.height, earth);
        const double orientation = 0.4 + 0.9 * static_cast<double>(s);
        lines.push_back(record("DSET", {}));
        for (std::size_t t = 0; t < std::size(points); ++t) {
            if (t == s)
                continue;
            const TruePoint &target = points[t];
            double east = 0.0;
            double north = 0.0;
            double up = 0.0;
            horizon.Forward(target.position.latitude, target.position.longitude,
                            target.position.height + kTargetHeight, east, north, up);
            up -= station.instrument;
            const double h = std::hypot(east, north);
            const double azimuth = std::atan2(east, north);
            const auto sight = [&](const char *code, const std::string &value,
                                   std::vector<std::pair<int, std::string>> more = {}) {
                std::vector<std::pair<int, std::string>> fields = {
                    {11, station.name}, {24, target.name}, {50, value}};
                fields.insert(fields.end(), more.begin(), more.end());
                return record(code, fields);
            };
            lines.push_back(sight("DIR", gradesText(engine::normalizeAngle(azimuth - orientation)),
                                  {{66, "10"}}));
            lines.push_back(sight("DIST", fixedText(std::sqrt(h * h + up * up), 6),
                                  {{66, "0.001"}, {77, "m"}}));
            lines.push_back(sight(
                "ZANG",
                gradesText(std::atan2(h, up) - kRefraction * h / (2.0 * engine::kEarthRadius)),
                {{66, "10"}, {77, fixedText(kRefraction, 2)}}));
            if (s == 0 && t == 1)
                lines.push_back(
                    sight("AZIM", gradesText(engine::normalizeAngle(azimuth)), {{66, "10"}}));
            if (s == 2 && t == 3)
                lines.push_back(record(
                    "OHDF", {{11, station.name},
                             {24, target.name},
                             {50, fixedText(target.position.height - station.position.height, 6)},
                             {66, "0.001"},
                             {93, "m"}}));
        }
    }

    const engine::Options options = geodeticOptions();
    Built built = build(lines, options);
    QVERIFY2(!built.diagnostics.hasErrors(), diagnosticsText(built.diagnostics).c_str());
    const engine::AdjustmentOutcome outcome =
        engine::adjust(built.network, options, built.diagnostics);
    QVERIFY2(outcome.solved, diagnosticsText(built.diagnostics).c_str());
    // Error-free observations leave no residual: a hundredth of a millimetre, or of a milligrade.
    for (std::size_t i = 0; i < built.network.observations.size(); ++i) {
        const engine::ObservationKind kind = built.network.observations[i].kind;
        const bool length = kind == engine::ObservationKind::Distance ||
                            kind == engine::ObservationKind::HeightDifference;
        const double residual = std::abs(outcome.residuals(static_cast<Eigen::Index>(i)));
        QVERIFY2(residual < (length ? 1e-5 : 1.6e-7),
                 (std::to_string(built.network.observations[i].lineNumber) + ": " +
                  std::to_string(residual))
                     .c_str());
    }
    for (const TruePoint &p : points) {
        const auto index = static_cast<std::size_t>(built.network.pointIndex.at(p.name));
        const Eigen::Vector3d truth = geocentric(p.position);
        QVERIFY((outcome.approximate.coordinates[index] - truth).norm() > 1.0 ||
                std::string(p.name) < "C");
        const double error = (outcome.state.coordinates[index] - truth).norm();
        QVERIFY2(error < 1e-4, (std::string(p.name) + ": " + std::to_string(error)).c_str());
    }
}

void TestEngineGeodetic::sphereRadius_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<double>("latitude"); // degrees, of the sphere
    QTest::addColumn<int>("recordLine");  // of the PMOY record; 0: the points' mean latitude

    using Lines = std::vector<std::string>;
    const std::string a = plh("PLHD", "111", "N44.0", "E6.0", "500").replace(10, 1, "A");
    const std::string b = plh("PLHD", "111", "N46.5", "E6.5", "300").replace(10, 1, "B");
    QTest::newRow("PMOY at 45 degrees") << Lines{a, b, pmoy("N45 00 00")} << 45.0 << 3;
    QTest::newRow("PMOY in the south")
        << Lines{pmoy("S33 52 12.5"), a, b} << -(33.0 + 52.0 / 60.0 + 12.5 / 3600.0) << 1;
    QTest::newRow("PMOY without a letter") << Lines{a, pmoy("12 30 00")} << 12.5 << 2;
    QTest::newRow("PMOY at the equator") << Lines{pmoy("N0 00 00"), a} << 0.0 << 1;
    QTest::newRow("PMOY at the pole") << Lines{a, pmoy("N90")} << 90.0 << 2;
    QTest::newRow("the same PMOY twice")
        << Lines{pmoy("N45 30"), a, pmoy("N45 30 00.000")} << 45.5 << 1;
    QTest::newRow("no PMOY: the mean latitude of the points") << Lines{a, b} << 45.25 << 0;
}

void TestEngineGeodetic::sphereRadius()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(double, latitude);
    QFETCH(int, recordLine);

    const Built built = build(lines, geodeticOptions(engine::ModelType::Spherical3D));
    QVERIFY2(built.diagnostics.items().empty(), diagnosticsText(built.diagnostics).c_str());
    const engine::Network &network = built.network;
    QVERIFY(network.sphere.has_value());
    QCOMPARE(network.meanLatitudeLine, recordLine);
    const double phi = latitude * engine::kPi / 180.0;
    QVERIFY(std::abs(network.sphere->latitude() - phi) < 1e-12);

    // GRS80's radii of curvature in the meridian, M = a (1 - e^2) / W^3, and in the prime
    // vertical, N = a / W, with W = sqrt(1 - e^2 sin^2 phi).
    const double a = 6378137.0;
    const double f = 1.0 / 298.257222101;
    const double e2 = f * (2.0 - f);
    const double w = std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
    const double m = a * (1.0 - e2) / (w * w * w);
    const double n = a / w;
    const double radius = std::sqrt(m * n);
    QVERIFY2(std::abs(network.surface.semiMajor - radius) < 1e-6,
             QByteArray::number(network.surface.semiMajor - radius, 'g', 6));
    QCOMPARE(network.surface.semiMinor, network.surface.semiMajor);
    QCOMPARE(network.sphere->radius(), network.surface.semiMajor);
}

void TestEngineGeodetic::meanLatitudeRecord_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("warning"); // a warning rather than an error
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("errorPart");

    using Lines = std::vector<std::string>;
    const int sphere = int(engine::ModelType::Spherical3D);
    QTest::newRow("beyond 90 degrees")
        << Lines{pmoy("N90 00 01")} << sphere << false << 1 << QString("de 90° sud à 90° nord");
    QTest::newRow("unreadable") << Lines{pmoy("N45 3O 00")} << sphere << false << 1
                                << QString("illisible");
    QTest::newRow("NaN") << Lines{pmoy("nan")} << sphere << false << 1 << QString("illisible");
    QTest::newRow("a longitude's letter")
        << Lines{pmoy("E45 30 00")} << sphere << false << 1 << QString("N ou S attendu");
    QTest::newRow("blank") << Lines{pmoy("")} << sphere << false << 1
                           << QString("Valeur manquante : latitude (colonnes 7 à 23)");
    QTest::newRow("beyond column 23")
        << Lines{record("PMOY", {{7, "N 45 30   00.0000"}, {25, "7"}})} << sphere << false << 1
        << QString("Texte hors des champs");
    QTest::newRow("two different") << Lines{pmoy("N45 30 00"), pmoy("N45 30 01")} << sphere << false
                                   << 2 << QString("ligne 1 : une seule latitude moyenne");
    QTest::newRow("in the ellipsoidal model")
        << Lines{pmoy("N45 30 00")} << int(engine::ModelType::Ellipsoidal3D) << true << 1
        << QString("ne sert qu'au modèle 3D_SPHERIQUE");
    QTest::newRow("in the local model")
        << Lines{pmoy("N45 30 00")} << int(engine::ModelType::Local3D) << true << 1
        << QString("ne sert qu'au modèle 3D_SPHERIQUE");
}

void TestEngineGeodetic::meanLatitudeRecord()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(int, model);
    QFETCH(bool, warning);
    QFETCH(int, errorLine);
    QFETCH(QString, errorPart);

    const Built built = build(lines, geodeticOptions(engine::ModelType(model)));
    const auto &items = built.diagnostics.items();
    QVERIFY(!items.empty());
    for (const auto &item : items) {
        QCOMPARE(item.line, errorLine);
        QCOMPARE(item.severity == engine::Diagnostic::Severity::Warning, warning);
    }
    QVERIFY2(QString::fromLatin1(items.front().text.c_str()).contains(errorPart),
             items.front().text.c_str());
    QCOMPARE(built.network.sphere.has_value(), model == int(engine::ModelType::Spherical3D));
}

namespace {

// The sphere's errors below are the ones docs/engine.md gives; its tables come from the figures
// these tests print.
constexpr double kArcSecond = engine::kPi / 180.0 / 3600.0;

const GeographicLib::Geocentric &grs80Earth()
{
    static const engine::ReferenceEllipsoid grs80;
    static const GeographicLib::Geocentric earth(grs80.semiMajor, grs80.flattening());
    return earth;
}

std::string pointLine(const char *code, const std::string &flags, const std::string &name,
                      const TruePosition &p)
{
    const std::string latitude = (p.latitude < 0 ? "S" : "N") + fixedText(std::abs(p.latitude), 12);
    const std::string longitude =
        (p.longitude < 0 ? "W" : "E") + fixedText(std::abs(p.longitude), 12);
    return record(code, {{7, flags},
                         {11, name},
                         {24, latitude},
                         {42, longitude},
                         {60, fixedText(p.height, 4)},
                         {73, "m"}});
}

} // namespace

void TestEngineGeodetic::sphereSightErrors_data()
{
    QTest::addColumn<double>("length");        // metres
    QTest::addColumn<double>("distanceError"); // largest error allowed, metres
    QTest::addColumn<double>("zenithError");   // arc seconds
    QTest::addColumn<double>("zenithAtLeast"); // what the sphere's curvature must miss, arc seconds
    QTest::addColumn<double>("azimuthError");  // arc seconds

    QTest::newRow("1 km") << 1000.0 << 3e-4 << 0.05 << 0.02 << 0.06;
    QTest::newRow("10 km") << 10000.0 << 3e-3 << 0.4 << 0.2 << 0.06;
    QTest::newRow("100 km") << 100000.0 << 0.03 << 4.0 << 2.0 << 0.06;
}

// Sights from a station at 45.5 N 6.2 E, 500 m, to targets 300 m higher in eight directions,
// computed on the sphere at the station's latitude against GeographicLib's local frame at the
// station.
void TestEngineGeodetic::sphereSightErrors()
{
    QFETCH(double, length);
    QFETCH(double, distanceError);
    QFETCH(double, zenithError);
    QFETCH(double, zenithAtLeast);
    QFETCH(double, azimuthError);

    const GeographicLib::Geocentric &earth = grs80Earth();
    const TruePosition station{45.5, 6.2, 500.0};
    const GeographicLib::LocalCartesian horizon(station.latitude, station.longitude, station.height,
                                                earth);
    std::vector<std::string> lines = {pmoy("N45 30 00"), pointLine("PLHD", "111", "S", station)};
    std::vector<TruePosition> targets;
    for (int k = 0; k < 8; ++k) {
        const double azimuth = k * engine::kPi / 4.0 + 0.1;
        TruePosition t{0.0, 0.0, 0.0};
        // Along the tangent plane, then brought to 300 m above the station's height.
        horizon.Reverse(length * std::sin(azimuth), length * std::cos(azimuth), 0.0, t.latitude,
                        t.longitude, t.height);
        t.height = station.height + 300.0;
        targets.push_back(t);
        lines.push_back(pointLine("PLHD", "111", "T" + std::to_string(k), t));
    }
    const Built built = build(lines, geodeticOptions(engine::ModelType::Spherical3D));
    QVERIFY2(!built.diagnostics.hasErrors(), diagnosticsText(built.diagnostics).c_str());
    const engine::Network &network = built.network;
    engine::State state;
    for (const engine::Point &p : network.points)
        state.coordinates.push_back(network.geocentricOf(p));
    const std::vector<engine::EllipsoidalPosition> positions =
        engine::ellipsoidalPositions(network.surface, state);

    double worst[3] = {0.0, 0.0, 0.0}; // distance, zenith angle, azimuth
    for (std::size_t k = 0; k < targets.size(); ++k) {
        double e = 0.0;
        double n = 0.0;
        double u = 0.0;
        horizon.Forward(targets[k].latitude, targets[k].longitude, targets[k].height, e, n, u);
        const double h = std::hypot(e, n);
        const double truth[3] = {std::sqrt(h * h + u * u), std::atan2(h, u), std::atan2(e, n)};
        const engine::ObservationKind kinds[3] = {engine::ObservationKind::Distance,
                                                  engine::ObservationKind::Zenith,
                                                  engine::ObservationKind::Azimuth};
        for (int i = 0; i < 3; ++i) {
            engine::Observation o;
            o.kind = kinds[i];
            o.station = network.pointIndex.at("S");
            o.target = network.pointIndex.at("T" + std::to_string(k));
            const double computed = engine::evaluateEllipsoidal(o, positions, state).computed;
            const double error = std::abs(engine::wrapAngle(computed - truth[i]));
            worst[i] = std::max(worst[i], i == 0 ? error : error / kArcSecond);
        }
    }
    qInfo("sphere, sights of %.0f km: distance %.2g m, zenith angle %.2g\", azimuth %.2g\"",
          length / 1000.0, worst[0], worst[1], worst[2]);
    QVERIFY2(worst[0] < distanceError, QByteArray::number(worst[0], 'g', 3));
    QVERIFY2(worst[1] < zenithError, QByteArray::number(worst[1], 'g', 3));
    QVERIFY2(worst[1] >= zenithAtLeast, QByteArray::number(worst[1], 'g', 3));
    QVERIFY2(worst[2] < azimuthError, QByteArray::number(worst[2], 'g', 3));
}

void TestEngineGeodetic::sphereAgainstEllipsoid_data()
{
    QTest::addColumn<double>("extent");            // metres, the side of the network
    QTest::addColumn<double>("horizontal");        // largest difference allowed, metres
    QTest::addColumn<double>("vertical");          // metres
    QTest::addColumn<double>("horizontalAtLeast"); // what the sphere must miss, metres
    QTest::addColumn<double>("varianceFactor");    // the sphere's largest

    QTest::newRow("1 km") << 1000.0 << 5e-4 << 1e-4 << 1e-4 << 1e-3;
    QTest::newRow("10 km") << 10000.0 << 5e-3 << 3e-3 << 1e-3 << 2e-3;
    QTest::newRow("100 km") << 100000.0 << 0.05 << 0.01 << 0.01 << 0.04;
}

// A network of 4 x 4 points over a square, three corners fixed, every point sighting its
// neighbours (directions, distances, zenith angles; one azimuth), with error-free observations
// from true positions on GRS80, adjusted in both models from the same approximate coordinates.
void TestEngineGeodetic::sphereAgainstEllipsoid()
{
    QFETCH(double, extent);
    QFETCH(double, horizontal);
    QFETCH(double, vertical);
    QFETCH(double, horizontalAtLeast);
    QFETCH(double, varianceFactor);

    const GeographicLib::Geocentric &earth = grs80Earth();
    const GeographicLib::LocalCartesian centre(45.5, 6.2, 0.0, earth);
    constexpr int kSide = 4;
    constexpr double kHeight = 1.5; // HI and HT, metres
    const double spacing = extent / (kSide - 1);
    std::vector<TruePosition> truth;
    std::vector<std::string> names;
    std::vector<std::string> lines;
    for (int i = 0; i < kSide; ++i) {
        for (int j = 0; j < kSide; ++j) {
            TruePosition p{0.0, 0.0, 0.0};
            centre.Reverse((j - 1.5) * spacing, (i - 1.5) * spacing, 0.0, p.latitude, p.longitude,
                           p.height);
            p.height = 300.0 + 150.0 * ((3 * i + 5 * j) % 7);
            const std::string name = "P" + std::to_string(i) + std::to_string(j);
            const bool fixed =
                (i == 0 || i == kSide - 1) && (j == 0 || j == kSide - 1) && i + j < 2 * (kSide - 1);
            TruePosition approximate = p;
            if (!fixed) {
                approximate.latitude += 2e-5;
                approximate.longitude -= 3e-5;
                approximate.height += 2.0;
            }
            lines.push_back(pointLine("PLHD", fixed ? "111" : "000", name, approximate));
            lines.push_back(record("HI", {{11, name}, {24, fixedText(kHeight, 3)}, {35, "m"}}));
            lines.push_back(record("HT", {{11, name}, {24, fixedText(kHeight, 3)}, {35, "m"}}));
            truth.push_back(p);
            names.push_back(name);
        }
    }
    for (int s = 0; s < kSide * kSide; ++s) {
        const TruePosition &station = truth[std::size_t(s)];
        const GeographicLib::LocalCartesian horizon(station.latitude, station.longitude,
                                                    station.height + kHeight, earth);
        lines.push_back(record("DSET", {}));
        const double orientation = 0.3 * s;
        for (int t = 0; t < kSide * kSide; ++t) {
            if (t == s || std::abs(t / kSide - s / kSide) > 1 ||
                std::abs(t % kSide - s % kSide) > 1)
                continue;
            const TruePosition &target = truth[std::size_t(t)];
            double e = 0.0;
            double n = 0.0;
            double u = 0.0;
            horizon.Forward(target.latitude, target.longitude, target.height + kHeight, e, n, u);
            const double h = std::hypot(e, n);
            const double distance = std::sqrt(h * h + u * u);
            const auto sight = [&](const char *code, const std::string &value,
                                   const std::string &sigma, bool unit) {
                std::vector<std::pair<int, std::string>> fields = {{11, names[std::size_t(s)]},
                                                                   {24, names[std::size_t(t)]},
                                                                   {50, value},
                                                                   {66, sigma}};
                if (unit)
                    fields.emplace_back(77, "m");
                lines.push_back(record(code, fields));
            };
            // 6 and 10 decimilligrades (1.9" and 3.2"), 2 mm + 2 ppm.
            sight("DIR", gradesText(engine::normalizeAngle(std::atan2(e, n) - orientation)), "6",
                  false);
            sight("DIST", fixedText(distance, 6), fixedText(0.002 + 2e-6 * distance, 6), true);
            sight("ZANG", gradesText(std::atan2(h, u)), "10", false);
            if (s == 0 && t == 1)
                sight("AZIM", gradesText(engine::normalizeAngle(std::atan2(e, n))), "6", false);
        }
    }

    const auto ellipsoidal = runEngine(lines, geodeticOptions());
    const auto spherical = runEngine(lines, geodeticOptions(engine::ModelType::Spherical3D));
    for (const EngineRun *run : {ellipsoidal.get(), spherical.get()})
        QVERIFY2(run->outcome.solved && !run->diagnostics.hasErrors(),
                 diagnosticsText(run->diagnostics).c_str());
    QVERIFY(ellipsoidal->statistics.varianceFactor < 1e-4);
    double worstHorizontal = 0.0;
    double worstVertical = 0.0;
    for (const std::string &name : names) {
        const Eigen::Vector3d d = spherical->network.planeOf(spherical->adjusted(name)) -
                                  ellipsoidal->network.planeOf(ellipsoidal->adjusted(name));
        worstHorizontal = std::max(worstHorizontal, std::hypot(d.x(), d.y()));
        worstVertical = std::max(worstVertical, std::abs(d.z()));
    }
    const double sphereFactor = spherical->statistics.varianceFactor;
    qInfo("sphere against ellipsoid over %.0f km: horizontal %.2g m, vertical %.2g m, variance "
          "factor %.3g (ellipsoid %.2g)",
          extent / 1000.0, worstHorizontal, worstVertical, sphereFactor,
          ellipsoidal->statistics.varianceFactor);
    QVERIFY2(worstHorizontal < horizontal, QByteArray::number(worstHorizontal, 'g', 3));
    QVERIFY2(worstVertical < vertical, QByteArray::number(worstVertical, 'g', 3));
    QVERIFY2(worstHorizontal >= horizontalAtLeast, QByteArray::number(worstHorizontal, 'g', 3));
    QVERIFY2(sphereFactor < varianceFactor, QByteArray::number(sphereFactor, 'g', 3));
}

void TestEngineGeodetic::sphereInTheReport_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<double>("latitude"); // degrees, of the sphere
    QTest::addColumn<QString>("origin");

    // Two fixed points 3 km apart and a free one between them.
    const std::vector<std::string> network = {
        plh("PLHD", "111", "N44.99", "E6.00", "500").replace(10, 1, "A"),
        plh("PLHD", "111", "N45.02", "E6.02", "700").replace(10, 1, "B"),
        plh("PLHD", "000", "N45.00", "E6.01", "600").replace(10, 1, "C"),
        record("DIST", {{11, "A"}, {24, "C"}, {50, "1353.0"}, {66, "0.002"}, {77, "m"}}),
        record("DIST", {{11, "B"}, {24, "C"}, {50, "2443.0"}, {66, "0.002"}, {77, "m"}}),
        record("DIST", {{11, "A"}, {24, "B"}, {50, "3767.0"}, {66, "0.002"}, {77, "m"}}),
        record("OHDF", {{11, "A"}, {24, "C"}, {50, "100.0"}, {66, "0.002"}, {93, "m"}})};
    std::vector<std::string> withRecord = network;
    withRecord.insert(withRecord.begin() + 1, pmoy("N45 00 00"));
    QTest::newRow("PMOY") << withRecord << 45.0
                          << QString::fromUtf8("N 45  0  0.0000 (PMOY, fichier 1 ligne 2)");
    QTest::newRow("mean latitude")
        << network << (44.99 + 45.02 + 45.0) / 3.0
        << QString::fromUtf8("N 45  0 12.0000 (latitude moyenne du réseau");
}

// The report says which sphere the observations were computed on, and where its latitude came
// from.
void TestEngineGeodetic::sphereInTheReport()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(double, latitude);
    QFETCH(QString, origin);

    const std::string iob = engine::normalizedPath("sphere.iob");
    const std::string cfg = engine::normalizedPath("sphere.cfg");
    const std::string configuration =
        QString::fromLatin1(engine::defaultConfigurationText("\n").c_str())
            .replace(QRegularExpression("TYPEMODEL[^\n]*"), "TYPEMODEL  3D_SPHERIQUE")
            .toStdString();
    const engine::ProcessOutput out = engine::runProcessing(
        iob, cfg, memoryLoader({{iob, joinLines(lines)}, {cfg, configuration}}));
    const QString report = QString::fromLatin1(out.report.c_str());
    QVERIFY2(out.summary.status == 0, qPrintable(report.mid(report.indexOf("MESSAGES"), 800)));
    // sqrt(M N) = a sqrt(1 - e^2) / (1 - e^2 sin^2 phi) on GRS80.
    const double a = 6378137.0;
    const double f = 1.0 / 298.257222101;
    const double e2 = f * (2.0 - f);
    const double sinPhi = std::sin(latitude * engine::kPi / 180.0);
    const double radius = a * std::sqrt(1.0 - e2) / (1.0 - e2 * sinPhi * sinPhi);
    QVERIFY2(report.contains(QString::fromUtf8("Rayon de la sphère R = racine(M N) (m)")) &&
                 report.contains(": " + QString::number(radius, 'f', 4)),
             qPrintable(QString::number(radius, 'f', 4)));
    QVERIFY2(report.contains(origin), qPrintable(report.mid(report.indexOf("MODELE"), 900)));
}

QTEST_APPLESS_MAIN(TestEngineGeodetic)
#include "tst_enginegeodetic.moc"
