// Unknown instrument and target heights (UNHI, UNHT): networks computed here from true marks and
// true heights by closed forms (GeographicLib for the geodetic positions), started from wrong
// approximate heights, in every model and in a free network; and the heights no observation can
// determine.
#include "engine/base/text.h"
#include "engine/output/report.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <GeographicLib/TransverseMercator.hpp>

#include <QtTest>

#include <cmath>

using namespace observationlines;

namespace {

struct Mark
{
    const char *name;
    double e, n, u;
    double instrument; // true instrument height at the mark as a station
    double target;     // true target height on the mark
};

// Five marks on a hillside, some 600 m across. Stations A to D have unknown instrument heights,
// E a known one; the target on E has an unknown height, the one on C a known one.
const std::vector<Mark> kMarks = {{"A", 0.0, 0.0, 100.0, 1.512, 0.0},
                                  {"B", 520.0, 80.0, 112.5, 1.487, 0.0},
                                  {"C", 210.0, 460.0, 96.2, 1.603, 1.500},
                                  {"D", 690.0, 590.0, 131.7, 1.455, 0.0},
                                  {"E", -20.0, 650.0, 88.9, 1.530, 1.750}};

bool unknownInstrument(const Mark &m)
{
    return std::string(m.name) != "E";
}

enum class Frame { Local, Ellipsoid, Sphere, Projection };

// The line of a mark in `frame`: its true position, or for a free mark one a few centimetres
// astray; positions to the micrometre.
std::string markLine(Frame frame, const Mark &m, std::size_t k, const std::string &flags,
                     const GeographicLib::Geocentric &earth)
{
    const bool free = flags == "000";
    const double astray = free ? 0.03 : 0.0;
    const double e = m.e + astray * std::sin(1.0 + k);
    const double n = m.n - astray * std::cos(2.0 + k);
    const double u = m.u + astray * std::sin(3.0 * k);
    if (frame == Frame::Local)
        return lenu(flags, m.name, e, n, u);
    const GeographicLib::LocalCartesian origin(46.0, 7.0, 0.0, earth);
    double latitude = 0.0;
    double longitude = 0.0;
    double height = 0.0;
    origin.Reverse(e, n, u, latitude, longitude, height);
    if (frame == Frame::Projection) {
        const GeographicLib::TransverseMercator tm(earth.EquatorialRadius(), earth.Flattening(),
                                                   0.9996);
        double east = 0.0;
        double north = 0.0;
        tm.Forward(7.0, latitude, longitude, east, north);
        return record("NEH", {{7, flags},
                              {11, m.name},
                              {24, fixedText(north, 6)},
                              {41, fixedText(east + 500000.0, 6)},
                              {58, fixedText(height, 6)},
                              {69, "TM7"},
                              {77, "m"}});
    }
    return record("PLHD", {{7, flags},
                           {11, m.name},
                           {24, "N" + fixedText(latitude, 12)},
                           {42, "E" + fixedText(longitude, 12)},
                           {60, fixedText(height, 6)},
                           {73, "m"}});
}

// The network: from every station a direction set, distances and zenith angles to every other
// mark, between instrument and target, exact. The heights of instruments and targets are unknown
// where marked so (all known without `unknown`), given `offset` metres wrong.
std::vector<std::string> networkLines(Frame frame, const std::map<std::string, std::string> &fixity,
                                      double offset, bool unknown = true)
{
    // The spherical model's sphere is the ellipsoid itself when the ellipsoid is a sphere.
    const GeographicLib::Geocentric earth(6378137.0,
                                          frame == Frame::Sphere ? 0.0 : 1.0 / 298.257222101);
    const GeographicLib::LocalCartesian origin(46.0, 7.0, 0.0, earth);
    std::vector<std::string> lines;
    if (frame == Frame::Sphere)
        lines.push_back(
            record("ELIP", {{7, "SPHERE"}, {24, "6378137.0"}, {38, "6378137.0"}, {79, "m"}}));
    if (frame == Frame::Projection)
        lines.push_back(record("TMER", {{7, "TM7"},
                                        {15, "E7 00"},
                                        {23, "N0 00"},
                                        {31, "0.0"},
                                        {44, "500000.0"},
                                        {57, "0.9996"},
                                        {70, "m"}}));
    // Per mark its geocentric position and its horizon (east, north, up as columns).
    std::vector<Eigen::Vector3d> position;
    std::vector<Eigen::Matrix3d> horizon;
    for (std::size_t k = 0; k < kMarks.size(); ++k) {
        const Mark &m = kMarks[k];
        const auto own = fixity.find(m.name);
        lines.push_back(markLine(frame, m, k, own != fixity.end() ? own->second : "000", earth));
        if (frame == Frame::Local) {
            position.emplace_back(m.e, m.n, m.u);
            horizon.push_back(Eigen::Matrix3d::Identity());
            continue;
        }
        double latitude = 0.0;
        double longitude = 0.0;
        double height = 0.0;
        origin.Reverse(m.e, m.n, m.u, latitude, longitude, height);
        Eigen::Vector3d xyz;
        std::vector<double> rotation(9);
        earth.Forward(latitude, longitude, height, xyz.x(), xyz.y(), xyz.z(), rotation);
        position.push_back(xyz);
        horizon.push_back(
            Eigen::Map<Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(rotation.data()));
    }
    for (const Mark &m : kMarks) {
        const bool unknownTarget = unknown && m.name == std::string("E");
        if (m.target > 0.0)
            lines.push_back(height(unknownTarget ? "UNHT" : "HT", m.name,
                                   m.target + (unknownTarget ? offset : 0.0)));
    }
    for (std::size_t s = 0; s < kMarks.size(); ++s) {
        const Mark &from = kMarks[s];
        const bool unknownHere = unknown && unknownInstrument(from);
        lines.push_back(height(unknownHere ? "UNHI" : "HI", from.name,
                               from.instrument + (unknownHere ? offset : 0.0)));
        lines.push_back(record("DSET"));
        for (std::size_t t = 0; t < kMarks.size(); ++t) {
            if (t == s)
                continue;
            const Mark &to = kMarks[t];
            const Eigen::Vector3d d =
                horizon[s].transpose() * ((position[t] + to.target * horizon[t].col(2)) -
                                          (position[s] + from.instrument * horizon[s].col(2)));
            lines.push_back(
                angle("DIR", "", from.name, to.name, grades(std::atan2(d.x(), d.y())), "3"));
            lines.push_back(dist("", from.name, to.name, d.norm(), "0.002"));
            lines.push_back(angle("ZANG", "", from.name, to.name,
                                  grades(std::atan2(d.head<2>().norm(), d.z())), "3"));
        }
    }
    return lines;
}

engine::Options heightOptions(Frame frame, engine::FreeNetwork free)
{
    engine::Options options;
    options.model = frame == Frame::Local    ? engine::ModelType::Local3D
                    : frame == Frame::Sphere ? engine::ModelType::Spherical3D
                                             : engine::ModelType::Ellipsoidal3D;
    options.freeNetwork = free;
    options.sigmaScaling = engine::SigmaScaling::Never;
    options.convergence = 1e-8;
    options.maxIterations = 20;
    return options;
}

// The largest difference, metres, between the adjusted unknown heights and the true ones.
double heightError(const EngineRun &run)
{
    double largest = 0.0;
    for (std::size_t h = 0; h < run.network.unknownHeights.size(); ++h) {
        const engine::UnknownHeight &u = run.network.unknownHeights[h];
        const Mark &m = kMarks[static_cast<std::size_t>(
            std::find_if(kMarks.begin(), kMarks.end(),
                         [&](const Mark &k) {
                             return run.network.points[static_cast<std::size_t>(u.point)].name ==
                                    k.name;
                         }) -
            kMarks.begin())];
        largest = std::max(largest, std::fabs(run.outcome.state.heights[h] -
                                              (u.instrument ? m.instrument : m.target)));
    }
    return largest;
}

} // namespace

Q_DECLARE_METATYPE(Frame)
Q_DECLARE_METATYPE(engine::FreeNetwork)

class TestEngineUnknownHeights : public QObject
{
    Q_OBJECT

private slots:
    void trueHeightsAreRecovered_data();
    void trueHeightsAreRecovered();
    void undeterminedHeightsAreRefused_data();
    void undeterminedHeightsAreRefused();
};

void TestEngineUnknownHeights::trueHeightsAreRecovered_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<engine::FreeNetwork>("free");
    QTest::newRow("local") << Frame::Local << engine::FreeNetwork::None;
    QTest::newRow("local, free network") << Frame::Local << engine::FreeNetwork::MinimumTrace;
    QTest::newRow("ellipsoid") << Frame::Ellipsoid << engine::FreeNetwork::None;
    QTest::newRow("ellipsoid, free network")
        << Frame::Ellipsoid << engine::FreeNetwork::MinimumTrace;
    QTest::newRow("sphere") << Frame::Sphere << engine::FreeNetwork::None;
    QTest::newRow("projection") << Frame::Projection << engine::FreeNetwork::None;
}

void TestEngineUnknownHeights::trueHeightsAreRecovered()
{
    QFETCH(Frame, frame);
    QFETCH(engine::FreeNetwork, free);
    // A fixed, and B's north: the least a network of sights needs.
    const std::map<std::string, std::string> minimal = {{"A", "111"}, {"B", "010"}};
    const bool freeNetwork = free != engine::FreeNetwork::None;
    const auto run = runEngine(
        networkLines(frame, freeNetwork ? std::map<std::string, std::string>() : minimal, 0.07),
        heightOptions(frame, free));
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    QCOMPARE(static_cast<int>(run->network.unknownHeights.size()), 5);
    QVERIFY2(heightError(*run) < 1e-4, qPrintable(QString::number(heightError(*run))));
    QVERIFY(run->statistics.weightedSquares < 1e-3);
    // Each height is in the report's section with its standard deviation: the target on E, true
    // 1.750 m, given 1.820 m.
    for (double sigma : run->statistics.heightSigmas)
        QVERIFY(sigma > 1e-5 && sigma < 0.01);
    const engine::Options options = heightOptions(frame, free);
    engine::ReportInput in;
    in.options = &options;
    in.network = &run->network;
    in.outcome = &run->outcome;
    in.statistics = &run->statistics;
    in.diagnostics = &run->diagnostics;
    const QString report = QString::fromLatin1(engine::writeReport(in, "\n").c_str());
    const int section = report.indexOf("HAUTEURS D'INSTRUMENT ET DE CIBLE INCONNUES");
    QVERIFY(section > 0);
    const QRegularExpression targetRow(
        QStringLiteral("cible +E +1\\.8200 +1\\.7500 +(\\d+\\.\\d\\d) "));
    const QRegularExpressionMatch row = targetRow.match(report, section);
    QVERIFY2(row.hasMatch(), qPrintable(report.mid(section, 800)));
    double targetSigma = 0.0;
    for (std::size_t h = 0; h < run->network.unknownHeights.size(); ++h) {
        if (!run->network.unknownHeights[h].instrument)
            targetSigma = run->statistics.heightSigmas[h];
    }
    QCOMPARE(row.captured(1).toDouble(), std::round(targetSigma * 1e5) / 100.0);

    // The heights are no datum parameter: the defect is that of the marks with known heights
    // (in plan the translations and the rotation about the vertical), and their precisions are
    // those of any datum.
    if (freeNetwork) {
        const auto known =
            runEngine(networkLines(frame, {}, 0.0, false), heightOptions(frame, free));
        QVERIFY2(known->solved, diagnosticsText(known->diagnostics).c_str());
        QCOMPARE(run->outcome.datumDefect.size(), known->outcome.datumDefect.size());
        QCOMPARE(run->outcome.datumDefect.text(), known->outcome.datumDefect.text());
        if (frame == Frame::Local)
            QCOMPARE(run->outcome.datumDefect.size(), 4);
        const auto held = runEngine(networkLines(frame, minimal, 0.07),
                                    heightOptions(frame, engine::FreeNetwork::None));
        QVERIFY2(held->solved, diagnosticsText(held->diagnostics).c_str());
        for (std::size_t h = 0; h < run->statistics.heightSigmas.size(); ++h)
            QVERIFY2(std::fabs(run->statistics.heightSigmas[h] / held->statistics.heightSigmas[h] -
                               1.0) < 1e-6,
                     qPrintable(QString::number(run->statistics.heightSigmas[h] -
                                                held->statistics.heightSigmas[h])));
    }

    // A pre-analysis of the same network has the heights' precisions, with no observed value.
    engine::Options design = heightOptions(frame, free);
    design.calculationType = engine::CalculationType::Simulation;
    const auto planned = runEngine(
        networkLines(frame, freeNetwork ? std::map<std::string, std::string>() : minimal, 0.0),
        design);
    QVERIFY2(planned->solved, diagnosticsText(planned->diagnostics).c_str());
    for (std::size_t h = 0; h < run->statistics.heightSigmas.size(); ++h)
        QVERIFY(std::fabs(planned->statistics.heightSigmas[h] / run->statistics.heightSigmas[h] -
                          1.0) < 1e-3);
}

void TestEngineUnknownHeights::undeterminedHeightsAreRefused_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    const QString a = QString::fromStdString(lenu("111", "A", 0.0, 0.0, 100.0));
    const QString b = QString::fromStdString(lenu("111", "B", 300.0, 40.0, 104.0));
    const auto q = [](const std::string &text) { return QString::fromStdString(text); };
    const QString dirAB = q(angle("DIR", "", "A", "B", grades(1.4), "3"));
    const QString distAP = q(dist("", "A", "P", 250.0, "0.002"));
    const QString zangAP = q(angle("ZANG", "", "A", "P", grades(1.55), "3"));
    const QString distBP = q(dist("", "B", "P", 180.0, "0.002"));
    const QString zangBP = q(angle("ZANG", "", "B", "P", grades(1.57), "3"));
    // P is new: every sight of it is to its unknown target, whose height only adds to P's up.
    QTest::newRow("target height and a new point's up")
        << QStringList{a, b, q(height("UNHT", "P", 1.3)), distAP, zangAP, distBP, zangBP} << 3
        << "seule leur somme";
    // P stationed and sighted, always with its unknown heights: the sights see only P's up less
    // both heights.
    QTest::newRow("station and target of unknown heights")
        << QStringList{a,
                       b,
                       q(lenu("000", "P", 150.0, 200.0, 101.0)),
                       q(height("UNHT", "P", 1.3)),
                       q(height("UNHI", "P", 1.5)),
                       distAP,
                       zangAP,
                       distBP,
                       zangBP,
                       q(dist("", "P", "A", 250.0, "0.002")),
                       q(angle("ZANG", "", "P", "A", grades(1.59), "3")),
                       q(dist("", "P", "B", 180.0, "0.002")),
                       q(angle("ZANG", "", "P", "B", grades(1.58), "3"))}
        << 0 << "(UNHI, UNHT) ne se s";
    QTest::newRow("instrument height with directions only")
        << QStringList{a,
                       b,
                       q(height("UNHI", "A", 1.5)),
                       q(record("DSET")),
                       dirAB,
                       q(angle("DIR", "", "A", "P", grades(1.1), "3")),
                       distBP,
                       zangBP}
        << 3 << "aucune distance ni aucun angle z";
    QTest::newRow("instrument height given twice")
        << QStringList{a, b, q(height("UNHI", "A", 1.5)), q(height("UNHI", "A", 1.6)),
                       q(dist("", "A", "B", 302.9, "0.002"))}
        << 3 << "en double : la ligne 4";
    QTest::newRow("target height no sight takes")
        << QStringList{a, b, q(dist("", "A", "B", 302.9, "0.002")), q(height("UNHT", "B", 1.5))}
        << 4 << "aucune distance ni aucun angle z";
}

void TestEngineUnknownHeights::undeterminedHeightsAreRefused()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(QString, message);
    std::vector<std::string> text;
    for (const QString &l : lines)
        text.push_back(l.toStdString());
    const auto run = runEngine(text, heightOptions(Frame::Local, engine::FreeNetwork::None));
    QVERIFY(!run->solved);
    bool found = false;
    for (const auto &d : run->diagnostics.items())
        found = found || (d.line == line && QString::fromLatin1(d.text.c_str()).contains(message));
    QVERIFY2(found, diagnosticsText(run->diagnostics).c_str());
}

QTEST_APPLESS_MAIN(TestEngineUnknownHeights)
#include "tst_engineunknownheights.moc"
