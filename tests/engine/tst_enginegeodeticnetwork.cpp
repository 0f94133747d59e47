// Whole networks in the ellipsoidal model, some 30 km across, whose observations are generated
// from true geographic positions in GeographicLib's local Cartesian frame at each station, apart
// from the engine's equations: the data check on long sights and its hints, the placing of the
// points that no coordinate record gives, and blunders found by the adjustment.
#include "engine/estimation/datacheck.h"
#include "engine/model/angles.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <QtTest>

#include <cmath>
#include <string>
#include <vector>

using namespace observationlines;

namespace {

constexpr double kGon = kPi / 200.0;
constexpr double kAngleSigma = 10.0e-4 * kGon; // 10 decimilligrades
constexpr double kRefraction = 0.13;
constexpr double kTargetHeight = 1.8;

struct TruePoint
{
    const char *name;
    double latitude; // degrees
    double longitude;
    double height; // metres above the ellipsoid
};

// Alpine foothills and peaks, sights of 5 to 33 km; A and B are fixed.
const TruePoint kPoints[] = {{"A", 46.00, 7.00, 480.0}, {"B", 46.11, 7.13, 1420.0},
                             {"C", 46.03, 7.26, 760.0}, {"D", 46.19, 6.94, 1880.0},
                             {"E", 46.07, 7.05, 610.0}, {"F", 45.94, 7.17, 1050.0},
                             {"G", 46.21, 7.23, 2310.0}};
constexpr int kPointCount = 7;
constexpr int kFixedCount = 2;

// How the free points are given.
enum class Start {
    Truth,  // XYZ at their true positions
    Astray, // XYZ metres away from them
    None    // no coordinate record: placed from the observations
};

// The planted mistakes, on the sight from C to G. (A height read in the wrong unit moves a sight
// of several kilometres by less than the data check's threshold.)
enum class Plant {
    None,
    DistanceCentimetresAsMetres,
    ZenithDmsUnderGrades,
    OtherFace,
    ZenithBlunder
};

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

// A bounded, deterministic noise of at most half a standard deviation.
double noise(int k, double sigma)
{
    return 0.5 * sigma * std::sin(1.7 * k + 0.3);
}

std::string plhd(const std::string &fixity, const TruePoint &p)
{
    std::string line = record("PLHD");
    place(line, 7, 3, fixity, false);
    place(line, 11, 12, p.name, false);
    place(line, 24, 18, "N" + number(p.latitude, 10), false);
    place(line, 42, 18, "E" + number(p.longitude, 10), false);
    place(line, 60, 12, number(p.height, 4), true);
    place(line, 73, 1, "m", false);
    return line;
}

std::string xyz(const std::string &name, const Eigen::Vector3d &position)
{
    std::string line = lenu("000", name, position.x(), position.y(), position.z());
    line.replace(1, 4, "XYZ ");
    return line;
}

struct Network
{
    std::vector<std::string> lines;
    int plantedLine = 0; // 1-based
    int blunderLines[2] = {0, 0};
};

double instrumentHeight(int station)
{
    return 1.45 + 0.07 * station;
}

// Every station sights every other point: a direction set, a distance and a zenith angle each;
// two azimuths and two levelled height differences. With `blunders`, 25 cm on the distance from C
// to E and 150 decimilligrades on the zenith angle from E to F.
Network network(Start start, Plant plant = Plant::None, bool blunders = false)
{
    Network net;
    const auto add = [&](const std::string &line, int *mark = nullptr) {
        net.lines.push_back(line);
        if (mark)
            *mark = static_cast<int>(net.lines.size());
    };
    add(sigm("D", 0.002, 2.0, 0.0, 0.0));
    add(sigm("N", 0.002, 0.0, 0.0, 0.0));
    for (int p = 0; p < kPointCount; ++p) {
        const TruePoint &point = kPoints[p];
        if (p < kFixedCount)
            add(plhd("111", point));
        else if (start == Start::Truth)
            add(xyz(point.name, geocentric(point)));
        else if (start == Start::Astray)
            add(xyz(point.name, geocentric(point) +
                                    Eigen::Vector3d(2.1 * p - 7.0, 3.0 - 1.3 * p, 4.5 - 1.6 * p)));
    }
    for (const TruePoint &point : kPoints)
        add(height("HT", point.name, kTargetHeight));
    int k = 0;
    for (int s = 0; s < kPointCount; ++s) {
        const TruePoint &station = kPoints[s];
        const double hi = instrumentHeight(s);
        add(height("HI", station.name, hi));
        add(record("DSET"));
        const GeographicLib::LocalCartesian horizon(station.latitude, station.longitude,
                                                    station.height, earth());
        const double orientation = (37.0 + 61.0 * s) * kGon;
        for (int t = 0; t < kPointCount; ++t) {
            if (t == s)
                continue;
            const TruePoint &target = kPoints[t];
            double e = 0.0;
            double n = 0.0;
            double u = 0.0;
            horizon.Forward(target.latitude, target.longitude, target.height + kTargetHeight, e, n,
                            u);
            u -= hi;
            const double h = std::hypot(e, n);
            const double slope = std::hypot(h, u);
            const double reading =
                engine::normalizeAngle(std::atan2(e, n) - orientation + noise(++k, kAngleSigma));
            const double distance = slope + noise(++k, 0.002 + 2e-6 * slope);
            const double zenith = std::atan2(h, u) -
                                  kRefraction * h / (2.0 * engine::kEarthRadius) +
                                  noise(++k, kAngleSigma);
            const bool planted = s == 2 && t == 6;
            const std::string refraction = number(kRefraction, 2);

            if (planted && plant == Plant::OtherFace)
                add(angle("DIR", "", station.name, target.name, grades(reading + kPi), "10"),
                    &net.plantedLine);
            else
                add(angle("DIR", "", station.name, target.name, grades(reading), "10"));

            if ((s == 0 && t == 6) || (s == 3 && t == 0))
                add(angle(
                    "AZIM", "", station.name, target.name,
                    grades(engine::normalizeAngle(std::atan2(e, n) + noise(++k, kAngleSigma))),
                    "10"));

            if (planted && plant == Plant::DistanceCentimetresAsMetres)
                add(dist("D", station.name, target.name, 100.0 * distance, ""), &net.plantedLine);
            else if (blunders && s == 2 && t == 4)
                add(dist("D", station.name, target.name, distance + 0.25, ""),
                    &net.blunderLines[0]);
            else
                add(dist("D", station.name, target.name, distance, ""));

            if (planted && plant == Plant::ZenithDmsUnderGrades)
                add(angle("ZANG", "", station.name, target.name, dms(zenith), "10", refraction),
                    &net.plantedLine);
            else if (planted && plant == Plant::ZenithBlunder)
                add(angle("ZANG", "", station.name, target.name, grades(zenith - 0.2 * kGon), "10",
                          refraction),
                    &net.plantedLine);
            else if (blunders && s == 4 && t == 5)
                add(angle("ZANG", "", station.name, target.name, grades(zenith + 150.0e-4 * kGon),
                          "10", refraction),
                    &net.blunderLines[1]);
            else
                add(angle("ZANG", "", station.name, target.name, grades(zenith), "10", refraction));
        }
    }
    for (const auto &[from, to] : {std::pair{0, 4}, std::pair{2, 5}})
        add(ohdf("N", kPoints[from].name, kPoints[to].name,
                 kPoints[to].height - kPoints[from].height + noise(++k, 0.002), "", 0.0));
    return net;
}

engine::Options ellipsoidal()
{
    engine::Options options;
    options.model = engine::ModelType::Ellipsoidal3D;
    return options;
}

std::unique_ptr<EngineRun> built(const std::vector<std::string> &lines)
{
    auto run = std::make_unique<EngineRun>();
    const std::string path = engine::normalizedPath("network.iob");
    run->source = engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}),
                                               run->diagnostics);
    run->network = engine::buildNetwork(run->source, ellipsoidal(), run->diagnostics);
    return run;
}

} // namespace

Q_DECLARE_METATYPE(Plant)
Q_DECLARE_METATYPE(Start)

class TestEngineGeodeticNetwork : public QObject
{
    Q_OBJECT

private slots:
    void dataCheck_data();
    void dataCheck();
    void pointsArePlacedOnTheEllipsoid();
    void twoBlundersRankFirst_data();
    void twoBlundersRankFirst();
};

void TestEngineGeodeticNetwork::dataCheck_data()
{
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<int>("kind"); // -1: no hint

    const auto kind = [](engine::HintKind k) { return static_cast<int>(k); };
    QTest::newRow("honest") << Plant::None << -1;
    QTest::newRow("distance in cm marked m")
        << Plant::DistanceCentimetresAsMetres << kind(engine::HintKind::LinearUnit);
    QTest::newRow("zenith in DMS under GRD")
        << Plant::ZenithDmsUnderGrades << kind(engine::HintKind::AngleUnit);
    QTest::newRow("direction in the other face")
        << Plant::OtherFace << kind(engine::HintKind::OtherFace);
    QTest::newRow("zenith blunder") << Plant::ZenithBlunder << -1;
}

void TestEngineGeodeticNetwork::dataCheck()
{
    QFETCH(Plant, plant);
    QFETCH(int, kind);

    const Network net = network(Start::Truth, plant);
    const auto run = built(net.lines);
    QVERIFY2(!run->diagnostics.hasErrors(), diagnosticsText(run->diagnostics).c_str());
    const engine::DataCheck check = engine::checkData(run->network, ellipsoidal());
    QCOMPARE(check.checked, run->network.observations.size());
    const engine::ObservationMisfit &worst = check.misfits.front();
    if (plant == Plant::None) {
        // Noise of half a standard deviation at most.
        QVERIFY2(std::abs(worst.normalized) < 1.0, QByteArray::number(worst.normalized));
        QVERIFY(check.hints.empty());
        QVERIFY(check.loops.empty() || !check.loops.front().flagged());
        return;
    }
    QVERIFY(std::abs(worst.normalized) > engine::kHintMisfit);
    if (kind < 0) {
        QCOMPARE(run->network.observations[static_cast<std::size_t>(worst.observation)].lineNumber,
                 net.plantedLine);
        QVERIFY(check.hints.empty());
        return;
    }
    QCOMPARE(check.hints.size(), std::size_t(1));
    const engine::Hint &h = check.hints.front();
    QCOMPARE(static_cast<int>(h.kind), kind);
    QCOMPARE(h.lineNumber, net.plantedLine);
    QVERIFY(std::abs(h.normalizedReread) <= engine::kHintFit);
}

void TestEngineGeodeticNetwork::pointsArePlacedOnTheEllipsoid()
{
    // Placed in the tangent plane as in the local model, G would fall 31 m from where it is.
    // H is seen only from A and B, by azimuths and one distance: with the azimuths taken as
    // bearings of the plane it would fall 17 m away.
    std::vector<std::string> lines = network(Start::None).lines;
    const TruePoint h = {"H", 46.16, 7.04, 900.0};
    lines.push_back(height("HT", h.name, kTargetHeight));
    for (int s = 0; s < kFixedCount; ++s) {
        const TruePoint &station = kPoints[s];
        lines.push_back(height("HI", station.name, instrumentHeight(s)));
        const GeographicLib::LocalCartesian horizon(station.latitude, station.longitude,
                                                    station.height, earth());
        double e = 0.0;
        double n = 0.0;
        double u = 0.0;
        horizon.Forward(h.latitude, h.longitude, h.height + kTargetHeight, e, n, u);
        u -= instrumentHeight(s);
        lines.push_back(angle("AZIM", "", station.name, h.name,
                              grades(engine::normalizeAngle(std::atan2(e, n))), "10"));
        if (s == 0) {
            const double horizontal = std::hypot(e, n);
            lines.push_back(dist("D", station.name, h.name, std::hypot(horizontal, u), ""));
            lines.push_back(angle("ZANG", "", station.name, h.name,
                                  grades(std::atan2(horizontal, u) -
                                         kRefraction * horizontal / (2.0 * engine::kEarthRadius)),
                                  "10", number(kRefraction, 2)));
        }
    }
    const auto run = built(lines);
    QVERIFY2(!run->diagnostics.hasErrors(), diagnosticsText(run->diagnostics).c_str());
    std::vector<TruePoint> placed(std::begin(kPoints) + kFixedCount, std::end(kPoints));
    placed.push_back(h);
    for (const TruePoint &truth : placed) {
        const engine::Point &point =
            run->network.points[static_cast<std::size_t>(run->pointIndex(truth.name))];
        QVERIFY(!point.given);
        const double off = (run->network.geocentricOf(point) - geocentric(truth)).norm();
        QVERIFY2(off < 0.5, (std::string(truth.name) + ": " + std::to_string(off)).c_str());
    }
}

void TestEngineGeodeticNetwork::twoBlundersRankFirst_data()
{
    QTest::addColumn<Start>("start");
    QTest::newRow("free points astray") << Start::Astray;
    QTest::newRow("free points placed") << Start::None;
}

void TestEngineGeodeticNetwork::twoBlundersRankFirst()
{
    QFETCH(Start, start);
    const Network net = network(start, Plant::None, true);
    const auto run = runEngine(net.lines, ellipsoidal());
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Statistics &s = run->statistics;
    QVERIFY(s.rankOrder.size() >= 2);
    std::vector<int> ranked;
    for (std::size_t r = 0; r < 2; ++r) {
        const auto index = static_cast<std::size_t>(s.rankOrder[r]);
        QCOMPARE(s.perObservation[index].rank, int(r) + 1);
        QVERIFY(!s.perObservation[index].valid);
        ranked.push_back(run->network.observations[index].lineNumber);
    }
    std::sort(ranked.begin(), ranked.end());
    QCOMPARE(ranked, (std::vector<int>{net.blunderLines[0], net.blunderLines[1]}));
    QCOMPARE(s.chiSquare, engine::ChiSquareOutcome::Failed);
}

QTEST_APPLESS_MAIN(TestEngineGeodeticNetwork)
#include "tst_enginegeodeticnetwork.moc"
