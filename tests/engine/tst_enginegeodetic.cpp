// The geodetic models' input: the reference ellipsoid (ELIP), points given by XYZ, PLH and PLHD
// records, and their checks; the equations of the ellipsoidal model against sights computed
// with GeographicLib's local Cartesian frames.
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "enginetesthelpers.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <QtTest>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

// A record line: its code in columns 2 to 5 and each text from its first column (from 1).
std::string record(const std::string &code, const std::vector<std::pair<int, std::string>> &fields)
{
    std::string line = " " + code;
    for (const auto &[first, value] : fields) {
        const std::size_t at = static_cast<std::size_t>(first - 1);
        if (line.size() < at)
            line.resize(at, ' ');
        line.replace(at, std::min(value.size(), line.size() - at), value);
    }
    return line;
}

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

engine::Options geodeticOptions()
{
    engine::Options options;
    options.model = engine::ModelType::Ellipsoidal3D;
    return options;
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
    o.refraction = kind == engine::ObservationKind::Zenith ? 0.13 : 0.0;
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
    case engine::ObservationKind::Geocentric:
    case engine::ObservationKind::Geographic:
    case engine::ObservationKind::Local:
        QFAIL("not an observation between two points");
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

// A number for a record field: fixed, `decimals` decimals.
std::string fixedText(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toStdString();
}

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

QTEST_APPLESS_MAIN(TestEngineGeodetic)
#include "tst_enginegeodetic.moc"
