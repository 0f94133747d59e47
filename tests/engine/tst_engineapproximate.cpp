// Approximate coordinates computed from the observations: networks whose observations are drawn
// here from true coordinates are run once with every point given and once with the fixed points
// alone; both runs must adjust to the same coordinates.

#include "engine/base/files.h"
#include "engine/base/text.h"
#include "engine/input/configurationfile.h"
#include "engine/model/approximatecoordinates.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

using namespace observationlines;

namespace {

constexpr double kSameAdjustment = 1e-5; // metres: 0.01 mm
constexpr double kHi = 1.5;              // metres, every station
constexpr double kHt = 1.6;              // metres, every target
constexpr double kDirectionSigma = 10.0; // decimilligrades
constexpr double kZenithSigma = 15.0;    // decimilligrades
constexpr double kDmgon = kPi / 2e6;     // radians

struct TruePoint
{
    Eigen::Vector3d position;
    std::string fixity; // as given when every point is given
};

double azimuthOf(const Eigen::Vector3d &from, const Eigen::Vector3d &to)
{
    return std::atan2(to.x() - from.x(), to.y() - from.y());
}

// Writes the record lines of a network from its true coordinates, in blocks that stand on their
// own (a point, a station with its set and sights, a levelled height difference), so that the
// blocks can come in any order.
class NetworkWriter
{
public:
    explicit NetworkWriter(unsigned seed, double noiseScale = 1.0)
        : m_random(seed)
        , m_noiseScale(noiseScale)
    {}

    void point(const std::string &name, const Eigen::Vector3d &position, const std::string &fixity)
    {
        m_points[name] = {position, fixity};
        m_order.push_back(name);
    }

    const Eigen::Vector3d &truth(const std::string &name) const
    {
        return m_points.at(name).position;
    }
    const std::map<std::string, TruePoint> &points() const { return m_points; }

    // A station: one set with directions to `directions`, slope distances to `distances`,
    // zenith angles to `zeniths`. `blunder` (radians) is added to the direction to `blundered`.
    void station(const std::string &name, const std::vector<std::string> &directions,
                 const std::vector<std::string> &distances, const std::vector<std::string> &zeniths,
                 const std::string &blundered = std::string(), double blunder = 0.0)
    {
        const Eigen::Vector3d &s = truth(name);
        std::vector<std::string> block{height("HI", name, kHi)};
        const double orientation = 0.7 + 0.37 * static_cast<double>(m_blocks.size() % 17);
        if (!directions.empty())
            block.push_back(withSigmaId("DSET", "HZ"));
        for (const std::string &t : directions) {
            const double value = azimuthOf(s, truth(t)) - orientation +
                                 noise(kDirectionSigma * kDmgon) + (t == blundered ? blunder : 0.0);
            block.push_back(height("HT", t, kHt));
            block.push_back(angle("DIR", "HZ", name, t, grades(value)));
        }
        for (const std::string &t : distances) {
            block.push_back(height("HT", t, kHt));
            block.push_back(dist("DIS", name, t, sight(s, truth(t)).norm() + noise(0.002), ""));
        }
        for (const std::string &t : zeniths) {
            const Eigen::Vector3d d = sight(s, truth(t));
            block.push_back(height("HT", t, kHt));
            block.push_back(angle(
                "ZANG", "ZEN", name, t,
                grades(std::atan2(d.head<2>().norm(), d.z()) + noise(kZenithSigma * kDmgon))));
        }
        m_blocks.push_back(block);
    }

    void levelling(const std::string &from, const std::string &to)
    {
        const double length = (truth(to) - truth(from)).head<2>().norm();
        m_blocks.push_back(
            {ohdf("", from, to, truth(to).z() - truth(from).z() + noise(0.0005), "0.001", length)});
    }

    // The lines: precisions, points (all, or only those whose fixity is "111"), observations.
    // `shuffle` mixes the blocks with that seed (0: in the order written).
    std::vector<std::string> lines(bool allPoints, unsigned shuffle = 0) const
    {
        std::vector<std::vector<std::string>> blocks;
        std::mt19937 random(shuffle + 1);
        std::normal_distribution<double> start(0.0, 0.05);
        for (const std::string &name : m_order) {
            const TruePoint &p = m_points.at(name);
            if (!allPoints && p.fixity != "111")
                continue;
            const bool fixed = p.fixity == "111";
            blocks.push_back({lenu(p.fixity, name, p.position.x() + (fixed ? 0 : start(random)),
                                   p.position.y() + (fixed ? 0 : start(random)),
                                   p.position.z() + (fixed ? 0 : start(random)))});
        }
        blocks.insert(blocks.end(), m_blocks.begin(), m_blocks.end());
        if (shuffle != 0)
            std::shuffle(blocks.begin(), blocks.end(), random);
        std::vector<std::string> out = {withSigmaId("ANGT", "GRD"), sigm("DIS", 0.002, 2.0, 0, 0),
                                        sigm("HZ", kDirectionSigma, 0, 0, 0),
                                        sigm("ZEN", kZenithSigma, 0, 0, 0)};
        for (const auto &block : blocks)
            out.insert(out.end(), block.begin(), block.end());
        return out;
    }

private:
    static Eigen::Vector3d sight(const Eigen::Vector3d &from, const Eigen::Vector3d &to)
    {
        return (to + Eigen::Vector3d(0, 0, kHt)) - (from + Eigen::Vector3d(0, 0, kHi));
    }

    double noise(double sigma)
    {
        std::normal_distribution<double> normal(0.0, sigma * m_noiseScale);
        return normal(m_random);
    }

    std::mt19937 m_random;
    double m_noiseScale;
    std::map<std::string, TruePoint> m_points;
    std::vector<std::string> m_order;
    std::vector<std::vector<std::string>> m_blocks;
};

double terrain(double e, double n)
{
    return 150.0 + 40.0 * std::sin(e / 900.0) * std::cos(n / 700.0) + 6.0 * std::cos(e / 130.0);
}

// One block of 51 points around four known ones, 1.3 km by 1.1 km, holding every way of placing
// a point: a traverse from K1 to K2 with two side shots per station, intersections, resections,
// free stations, distances alone (with one zenith angle for the height) and a levelling line from
// K3 to K4.
void cluster(NetworkWriter &w, const std::string &prefix, double east, double north)
{
    const auto at = [&](double e, double n, double du = 0.0) {
        return Eigen::Vector3d(east + e, north + n, terrain(east + e, north + n) + du);
    };
    const auto id = [&](const std::string &kind, int i) {
        return prefix + kind + std::to_string(i);
    };
    const std::string k1 = id("K", 1), k2 = id("K", 2), k3 = id("K", 3), k4 = id("K", 4);
    w.point(k1, at(0, 0), "111");
    w.point(k2, at(1200, 100), "111");
    w.point(k3, at(100, 1000), "111");
    w.point(k4, at(1300, 1100), "111");
    std::vector<std::string> intersected, trilaterated;
    for (int j = 1; j <= 4; ++j) {
        w.point(id("I", j), at(150.0 + 250.0 * j, 680.0 + 30.0 * (j % 2), 12.0), "000");
        intersected.push_back(id("I", j));
        w.point(id("L", j), at(200.0 + 220.0 * j, 420.0 - 60.0 * (j % 2)), "000");
        trilaterated.push_back(id("L", j));
    }
    // The traverse and its side shots.
    std::vector<std::string> traverse = {k1};
    for (int i = 1; i <= 8; ++i) {
        const double e = 133.0 * i;
        const double n = 120.0 + 60.0 * (i % 2);
        w.point(id("T", i), at(e, n), "000");
        w.point(id("S", 2 * i - 1), at(e + 20.0, n + 70.0), "000");
        w.point(id("S", 2 * i), at(e - 25.0, n - 60.0), "000");
        traverse.push_back(id("T", i));
    }
    traverse.push_back(k2);
    for (std::size_t i = 1; i + 1 < traverse.size(); ++i) {
        const std::string a = id("S", 2 * static_cast<int>(i) - 1);
        const std::string b = id("S", 2 * static_cast<int>(i));
        w.station(traverse[i], {traverse[i - 1], traverse[i + 1], a, b}, {traverse[i + 1], a, b},
                  {traverse[i - 1], traverse[i + 1], a, b});
        // The next station measures the side shots again: a second distance for each.
        const std::string &next = traverse[i + 1];
        if (next != k2)
            w.station(next, {}, {a, b}, {});
    }
    const std::vector<std::string> lastShots = {id("S", 15), id("S", 16)};
    auto with = [](std::vector<std::string> a, const std::vector<std::string> &b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    w.station(k1, with({k3, traverse[1]}, intersected), with({traverse[1]}, trilaterated),
              with(with({traverse[1]}, intersected), trilaterated));
    w.station(k2, with({k4, traverse[8]}, intersected),
              with({traverse[8]}, with(lastShots, trilaterated)), with({traverse[8]}, intersected));
    w.station(k3, with({k1, k4}, intersected), trilaterated, intersected);
    w.station(k4, with({k2, k3}, intersected), {}, intersected);
    // Resections on the four known points, free stations on two of them.
    const Eigen::Vector2d resections[] = {{400, 450}, {800, 520}, {600, 850}};
    for (int j = 0; j < 3; ++j) {
        const std::string r = id("R", j + 1);
        w.point(r, at(resections[j].x(), resections[j].y()), "000");
        w.station(r, {k1, k2, k3, k4}, {}, {k1, k2, k3, k4});
    }
    w.point(id("F", 1), at(200, 300), "000");
    w.station(id("F", 1), {k1, k2}, {k1, k2}, {k1, k2});
    w.point(id("F", 2), at(1000, 800), "000");
    w.station(id("F", 2), {k3, k4}, {k3, k4}, {k3, k4});
    // The levelling line: its points carry no plan observation.
    std::string previous = k3;
    for (int j = 1; j <= 10; ++j) {
        const std::string v = id("V", j);
        w.point(v, at(100.0 + 109.0 * j, 1000.0 + 9.0 * j + 15.0 * (j % 2), 1.5), "110");
        w.levelling(previous, v);
        previous = v;
    }
    w.levelling(previous, k4);
}

// Twenty blocks: 1,020 points.
NetworkWriter generatedNetwork(unsigned seed)
{
    NetworkWriter w(seed);
    for (int c = 0; c < 20; ++c)
        cluster(w, "C" + std::to_string(c) + "_", 20000.0 + 3000.0 * (c % 5),
                40000.0 + 3000.0 * (c / 5));
    return w;
}

engine::Options tightOptions()
{
    engine::Options options;
    options.convergence = 1e-7;
    options.maxIterations = 30;
    return options;
}

std::string readText(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of `text` (line ends dropped), without those holding `dropped` when it is not empty.
std::vector<std::string> splitLines(const std::string &text, const std::string &dropped)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (dropped.empty() || line.find(dropped) == std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

bool hasError(const engine::Diagnostics &diagnostics, const QStringList &parts)
{
    for (const auto &d : diagnostics.items()) {
        bool all = d.severity == engine::Diagnostic::Severity::Error;
        for (const QString &part : parts)
            all = all && d.text.find(engine::fr(part.toStdString())) != std::string::npos;
        if (all)
            return true;
    }
    return false;
}

// The adjusted coordinates of both runs agree to kSameAdjustment, except the components the
// computed run fixed (the plan of the levelled points, which nothing observes).
void compareAdjustments(const EngineRun &given, const EngineRun &computed)
{
    QVERIFY2(given.solved, diagnosticsText(given.diagnostics).c_str());
    QVERIFY2(computed.solved, diagnosticsText(computed.diagnostics).c_str());
    QCOMPARE(computed.network.points.size(), given.network.points.size());
    double worst = 0.0;
    std::string where;
    for (const engine::Point &p : computed.network.points) {
        const Eigen::Vector3d a = given.adjusted(p.name);
        const Eigen::Vector3d b = computed.adjusted(p.name);
        for (int c = 0; c < 3; ++c) {
            if (p.fixed[static_cast<std::size_t>(c)] && !p.given)
                continue;
            if (std::fabs(a(c) - b(c)) > worst) {
                worst = std::fabs(a(c) - b(c));
                where = p.name;
            }
        }
    }
    QVERIFY2(worst < kSameAdjustment, (where + ": " + std::to_string(worst)).c_str());
}

} // namespace

class TestEngineApproximate : public QObject
{
    Q_OBJECT

private slots:
    void samplesAdjustTheSame_data();
    void samplesAdjustTheSame();
    void generatedNetworkAdjustsTheSame();
    void recordOrderDoesNotMatter();
    void unorientedTraverseIsJoined();
    void blunderedIntersectionKeepsItsMedian_data();
    void blunderedIntersectionKeepsItsMedian();
    void unplaceablePointsAreNamed_data();
    void unplaceablePointsAreNamed();
    void horizonConstructions();
};

void TestEngineApproximate::samplesAdjustTheSame_data()
{
    QTest::addColumn<QString>("observations");
    QTest::addColumn<QString>("configuration");
    QTest::newRow("reseau") << "reseau.iob"
                            << "reseau.cfg";
    QTest::newRow("ellipsoide") << "ellipsoide.iob"
                                << "ellipsoide.cfg";
}

void TestEngineApproximate::samplesAdjustTheSame()
{
    QFETCH(QString, observations);
    QFETCH(QString, configuration);
    const QDir samples(QStringLiteral(TAVLO_SAMPLES_DIR));
    engine::Diagnostics unused;
    engine::Options options = engine::optionsFromValues(
        engine::readConfigurationValues(readText(samples.filePath(configuration))), "cfg", unused);
    options.convergence = 1e-7;
    options.maxIterations = 30;
    // The sample's included files, read from the same folder.
    const std::string text = readText(samples.filePath(observations));
    std::map<std::string, std::string> files;
    for (const QString &name : samples.entryList({"*.iob"}))
        files[engine::normalizedPath(name.toStdString())] = readText(samples.filePath(name));
    std::unique_ptr<EngineRun> runs[2];
    for (int computed = 0; computed < 2; ++computed) {
        // The computed run drops the approximate values of the free points ("LNEU 000",
        // "XYZ  000").
        const std::vector<std::string> lines = splitLines(text, computed ? " 000 " : "");
        const std::string path = engine::normalizedPath(observations.toStdString());
        auto run = std::make_unique<EngineRun>();
        std::map<std::string, std::string> sources = files;
        sources[path] = joinLines(lines);
        run->source = engine::readObservationFiles(path, memoryLoader(sources), run->diagnostics);
        run->network = engine::buildNetwork(run->source, options, run->diagnostics);
        QVERIFY2(!run->diagnostics.hasErrors(), diagnosticsText(run->diagnostics).c_str());
        run->outcome = engine::adjust(run->network, options, run->diagnostics);
        run->statistics = engine::computeStatistics(run->network, run->outcome, options);
        run->solved = run->outcome.solved && !run->diagnostics.hasErrors();
        runs[computed] = std::move(run);
    }
    int computedPoints = 0;
    for (const engine::Point &p : runs[1]->network.points)
        computedPoints += p.given ? 0 : 1;
    QVERIFY(computedPoints >= 4);
    compareAdjustments(*runs[0], *runs[1]);
}

void TestEngineApproximate::generatedNetworkAdjustsTheSame()
{
    const NetworkWriter w = generatedNetwork(17);
    QVERIFY(w.points().size() >= 1000);
    const auto given = runEngine(w.lines(true), tightOptions());
    const auto computed = runEngine(w.lines(false), tightOptions());
    compareAdjustments(*given, *computed);
    // Every way of placing a point took part.
    std::string placements;
    for (const engine::Point &p : computed->network.points)
        placements += p.placement + "\n";
    for (const char *method : {"rayonnement", "intersection", "relèvement", "station libre",
                               "multilatération", "nivellement", "trigonométrie"})
        QVERIFY2(placements.find(engine::fr(method)) != std::string::npos, method);
}

void TestEngineApproximate::recordOrderDoesNotMatter()
{
    const NetworkWriter w = generatedNetwork(5);
    engine::Network networks[2];
    for (unsigned shuffle = 0; shuffle < 2; ++shuffle) {
        engine::Diagnostics diagnostics;
        const std::string path = engine::normalizedPath("network.iob");
        const auto source = engine::readObservationFiles(
            path, memoryLoader({{path, joinLines(w.lines(false, shuffle * 7))}}), diagnostics);
        networks[shuffle] = engine::buildNetwork(source, engine::Options(), diagnostics);
        QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
    }
    QCOMPARE(networks[1].points.size(), networks[0].points.size());
    double worstTruth = 0.0;
    for (const engine::Point &p : networks[0].points) {
        const engine::Point &q =
            networks[1].points[static_cast<std::size_t>(networks[1].pointIndex.at(p.name))];
        QVERIFY2((p.approximate - q.approximate).norm() < 1e-9, p.name.c_str());
        QCOMPARE(q.placement, p.placement);
        if (!p.fixed[0])
            worstTruth = std::max(worstTruth, (p.approximate - w.truth(p.name)).norm());
    }
    // Approximate, but close enough for the iterations to start well.
    QVERIFY2(worstTruth < 1.0, std::to_string(worstTruth).c_str());
}

// A traverse between two known points that sights no other known point: no set can be oriented,
// so the stations' frames are joined from A until they reach B, then carried onto A and B.
void TestEngineApproximate::unorientedTraverseIsJoined()
{
    NetworkWriter w(11);
    std::vector<std::string> names = {"A"};
    w.point("A", {5000, 5000, 200}, "111");
    for (int i = 1; i <= 6; ++i) {
        names.push_back("P" + std::to_string(i));
        w.point(names.back(),
                {5000.0 + 180.0 * i, 5000.0 + 70.0 * (i % 2) + 15.0 * i, 200.0 + 3 * i}, "000");
    }
    names.push_back("B");
    w.point("B", {5000.0 + 180.0 * 7, 5130.0, 215}, "111");
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::vector<std::string> sighted;
        if (i > 0)
            sighted.push_back(names[i - 1]);
        if (i + 1 < names.size())
            sighted.push_back(names[i + 1]);
        w.station(names[i], sighted.size() == 2 ? sighted : std::vector<std::string>{}, sighted,
                  sighted);
    }
    const auto given = runEngine(w.lines(true), tightOptions());
    const auto computed = runEngine(w.lines(false), tightOptions());
    compareAdjustments(*given, *computed);
    const engine::Point &p =
        computed->network.points[static_cast<std::size_t>(computed->pointIndex("P3"))];
    QVERIFY2(p.placement.find(engine::fr("assemblage de stations")) != std::string::npos,
             p.placement.c_str());
}

void TestEngineApproximate::blunderedIntersectionKeepsItsMedian_data()
{
    QTest::addColumn<QString>("blunderedFrom");
    QTest::newRow("direction from A") << "A";
    QTest::newRow("direction from C") << "C";
}

// P is seen by directions from A, B and C and by a distance from B. One direction carries a
// blunder of 0.05 gon (0.8 m across at 1 km): of the four positions of P (rayonnement from B,
// three intersections) two are untouched, agree, and keep P where they put it; the mean of the
// four would move it by decimetres.
void TestEngineApproximate::blunderedIntersectionKeepsItsMedian()
{
    QFETCH(QString, blunderedFrom);
    NetworkWriter w(3, 0.0);
    w.point("A", {0, 0, 100}, "111");
    w.point("B", {1500, 200, 110}, "111");
    w.point("C", {700, 1600, 95}, "111");
    w.point("D", {-400, 900, 105}, "111");
    w.point("P", {800, 700, 120}, "000");
    const double blunder = 0.05 * kPi / 200.0;
    const std::string bad = blunderedFrom.toStdString();
    w.station("A", {"B", "D", "P"}, {}, {"P"}, bad == "A" ? "P" : "", blunder);
    w.station("B", {"A", "C", "P"}, {"P"}, {"P"}, "", 0.0);
    w.station("C", {"D", "B", "P"}, {}, {}, bad == "C" ? "P" : "", blunder);
    const auto run = runEngine(w.lines(false), tightOptions());
    const engine::Point &p = run->network.points[static_cast<std::size_t>(run->pointIndex("P"))];
    QVERIFY(!p.given);
    QVERIFY2((p.approximate - w.truth("P")).norm() < 1e-3,
             (std::to_string((p.approximate - w.truth("P")).norm()) + " m").c_str());
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    const engine::Observation *blundered = nullptr;
    for (const engine::Observation &o : run->network.observations) {
        if (o.kind == engine::ObservationKind::Direction &&
            run->network.points[static_cast<std::size_t>(o.station)].name == bad &&
            run->network.points[static_cast<std::size_t>(o.target)].name == "P")
            blundered = &o;
    }
    QVERIFY(blundered);
    const auto index = static_cast<std::size_t>(blundered - run->network.observations.data());
    QCOMPARE(run->statistics.perObservation[index].rank, 1);
}

void TestEngineApproximate::unplaceablePointsAreNamed_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("message");
    const QString a = QString::fromStdString(lenu("111", "A", 0, 0, 0));
    const QString b = QString::fromStdString(lenu("111", "B", 100, 0, 0));
    const QString ab = QString::fromStdString(dist("", "A", "B", 100.0, "0.002"));
    const auto line = [](const std::string &l) { return QString::fromStdString(l); };
    QTest::newRow("cluster of its own")
        << QStringList{a,
                       b,
                       ab,
                       line(dist("", "X", "Y", 50.0, "0.002")),
                       line(dist("", "Y", "Z", 40.0, "0.002")),
                       line(record("DSET")),
                       line(angle("DIR", "", "Z", "X", "10 00 00", "10")),
                       line(angle("DIR", "", "Z", "Y", "80 00 00", "10"))}
        << QStringList{"« X », « Y » et « Z »", "qu'entre eux"};
    QTest::newRow("one direction")
        << QStringList{a,
                       b,
                       ab,
                       line(record("DSET")),
                       line(angle("DIR", "", "A", "B", "0 00 00", "10")),
                       line(angle("DIR", "", "A", "P", "50 00 00", "10"))}
        << QStringList{"« P »", "vu d'une seule station, sans distance"};
    QTest::newRow("two distances") << QStringList{a, b, ab, line(dist("", "A", "P", 80.0, "0.002")),
                                                  line(dist("", "B", "P", 70.0, "0.002"))}
                                   << QStringList{"« P »", "deux positions possibles"};
    QTest::newRow("beyond an unplaced point")
        << QStringList{a,
                       b,
                       ab,
                       line(dist("", "A", "P", 80.0, "0.002")),
                       line(dist("", "P", "Q", 70.0, "0.002")),
                       line(dist("", "Q", "R", 70.0, "0.002"))}
        << QStringList{"« R »", "relié seulement à des points non placés : « Q »"};
}

// Bad input ends in errors that name the points, after a bounded number of rounds.
void TestEngineApproximate::unplaceablePointsAreNamed()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, message);
    std::vector<std::string> text;
    for (const QString &l : lines)
        text.push_back(l.toStdString());
    const auto run = runEngine(text);
    QVERIFY(!run->solved);
    QVERIFY2(hasError(run->diagnostics, message), diagnosticsText(run->diagnostics).c_str());
}

// The constructions against closed forms: a 3-4-5 triangle and a square.
void TestEngineApproximate::horizonConstructions()
{
    using namespace engine::horizon;
    const Eigen::Vector2d o(0, 0), e(4, 0), n(0, 3);
    const auto crossing = intersect(o, kPi / 4, Eigen::Vector2d(2, 0), 0.0, 0.1);
    QVERIFY(crossing && (*crossing - Eigen::Vector2d(2, 2)).norm() < 1e-12);
    QVERIFY(!intersect(o, 0.0, e, kPi, 0.1)); // the rays part
    const auto both = circles(e, 3.0, n, 4.0, 0.1);
    QVERIFY(both);
    QVERIFY(((*both)[0] - Eigen::Vector2d(4, 3)).norm() < 1e-12 ||
            ((*both)[1] - Eigen::Vector2d(4, 3)).norm() < 1e-12);
    // From the centre of the square with corners (0,0), (2,0), (2,2), (0,2), read with the set
    // turned by 1 radian.
    const Eigen::Vector2d station(1, 1);
    auto reading = [&](const Eigen::Vector2d &t) {
        return std::atan2(t.x() - station.x(), t.y() - station.y()) - 1.0;
    };
    const Eigen::Vector2d a(0, 0), b(2, 0), c(2, 3);
    const auto resected = resect(a, reading(a), b, reading(b), c, reading(c));
    QVERIFY(resected && (*resected - station).norm() < 1e-9);
    const auto free = freeStation(a, reading(a), std::sqrt(2.0), b, reading(b), std::sqrt(2.0));
    QVERIFY(free && (*free - station).norm() < 1e-9);
    // Zenith angle of 45 degrees over 10 m: 10 m up, plus instrument minus target height.
    QVERIFY(std::fabs(heightDifference(kPi / 4, 0.0, 10.0, 1.5, 1.2) - 10.3) < 1e-12);
    QVERIFY(std::fabs(horizontalLength(10.0, kPi / 6, 0.0) - 5.0) < 1e-12);
}

QTEST_GUILESS_MAIN(TestEngineApproximate)
#include "tst_engineapproximate.moc"
