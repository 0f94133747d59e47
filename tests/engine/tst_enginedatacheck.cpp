// The check of the data before the adjustment, on networks whose observations are computed here
// from true coordinates: each mistake of unit or face is planted on one line, which the hint must
// name, and a plain blunder of the same size must get no hint.

#include "engine/api/process.h"
#include "engine/base/parallel.h"
#include "engine/estimation/datacheck.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace observationlines;

namespace {

constexpr double kGon = kPi / 200.0;
constexpr double kDegree = kPi / 180.0;

struct TruePoint
{
    const char *name;
    double e, n, u;
};

const TruePoint kPoints[] = {{"P1", 0.0, 0.0, 100.0},
                             {"P2", 420.0, 35.0, 104.2},
                             {"P3", 180.0, 310.0, 97.5},
                             {"P4", 510.0, 400.0, 110.3},
                             {"P5", 260.0, 640.0, 101.8}};
constexpr int kPointCount = 5;

// The planted mistakes, each with a plain blunder of the same size.
enum class Plant {
    None,
    DistanceCentimetresAsMetres,
    DistanceCentimetresAsMillimetres,
    DistanceBlunder,
    HeightDifferenceMillimetresAsMetres,
    HeightDifferenceBlunder,
    ZenithDmsUnderGrades,
    ZenithBlunder,
    DirectionGradesUnderDms,
    DirectionBlunderUnderDms,
    PackedUnderDms,
    DecimalBlunderUnderDms,
    InstrumentHeightInCentimetres,
    InstrumentHeightBlunder,
    TargetHeightInMillimetres,
    TargetHeightBlunder,
    OtherFace,
    DirectionBlunder
};

struct Network
{
    std::vector<std::string> lines;
    int plantedLine = 0; // 1-based line of the planted record
};

// A bounded, deterministic noise of at most half a standard deviation: the check must see an
// honest observation as fitting.
double noise(int k, double sigma)
{
    return 0.5 * sigma * std::sin(1.7 * k + 0.3);
}

bool degreesFor(Plant plant)
{
    return plant == Plant::DirectionGradesUnderDms || plant == Plant::DirectionBlunderUnderDms ||
           plant == Plant::PackedUnderDms || plant == Plant::DecimalBlunderUnderDms;
}

// Every station sights every other point: a direction set, a distance and a zenith angle each,
// with instrument and target heights; two levelled height differences. The planted record is the
// sighting from P3 to P5, or the HI of P3, or the HT of P5, or the height difference P2 to P3.
Network network(Plant plant)
{
    Network net;
    auto add = [&](const std::string &line, bool planted = false) {
        net.lines.push_back(line);
        if (planted)
            net.plantedLine = static_cast<int>(net.lines.size());
    };
    const bool degrees = degreesFor(plant);
    add(withSigmaId("ANGT", degrees ? "DMS" : "GRD"));
    add(sigm("D", 0.002, 2.0, 0.0, 0.0));
    add(sigm("N", 0.001, 0.0, 0.0, 0.0));
    for (int p = 0; p < kPointCount; ++p)
        add(lenu(p < 2 ? "111" : "000", kPoints[p].name, kPoints[p].e, kPoints[p].n, kPoints[p].u));
    const double angleSigma = degrees ? 3.0 * kDegree / 3600.0 : 10.0e-4 * kGon;
    const std::string angleSigmaText = degrees ? "3" : "10";
    auto form = [&](double radians) { return degrees ? dms(radians) : grades(radians); };
    for (int t = 0; t < kPointCount; ++t) {
        double ht = 1.3 + 0.05 * t;
        if (t == 4 && plant == Plant::TargetHeightInMillimetres)
            add(height("HT", kPoints[t].name, 100.0 * ht, "mm"), true); // typed in cm
        else if (t == 4 && plant == Plant::TargetHeightBlunder)
            add(height("HT", kPoints[t].name, ht - 1.2), true);
        else
            add(height("HT", kPoints[t].name, ht));
    }
    int k = 0;
    for (int s = 0; s < kPointCount; ++s) {
        const double hi = 1.5 + 0.1 * s;
        if (s == 2 && plant == Plant::InstrumentHeightInCentimetres)
            add(height("HI", kPoints[s].name, hi, "cm"), true); // typed in metres
        else if (s == 2 && plant == Plant::InstrumentHeightBlunder)
            add(height("HI", kPoints[s].name, hi - 1.0), true);
        else
            add(height("HI", kPoints[s].name, hi));
        add(record("DSET"));
        const double orientation = (37.0 + 61.0 * s) * kGon;
        for (int t = 0; t < kPointCount; ++t) {
            if (s == t)
                continue;
            const TruePoint &a = kPoints[s];
            const TruePoint &b = kPoints[t];
            const double ht = 1.3 + 0.05 * t;
            const double dE = b.e - a.e;
            const double dN = b.n - a.n;
            const double dU = (b.u + ht) - (a.u + hi);
            const double h = std::hypot(dE, dN);
            const double distance = std::hypot(h, dU) + noise(++k, 0.002);
            double reading = std::atan2(dE, dN) - orientation + noise(++k, angleSigma);
            reading = std::fmod(reading + 4.0 * kPi, 2.0 * kPi);
            const double zenith = std::atan2(h, dU) + noise(++k, angleSigma);
            const bool planted = s == 2 && t == 4;
            const std::string from = a.name;
            const std::string to = b.name;

            if (planted && plant == Plant::DirectionGradesUnderDms)
                add(angle("DIR", "", from, to, number(reading / kGon, 6), angleSigmaText), true);
            else if (planted && plant == Plant::DirectionBlunderUnderDms)
                add(angle("DIR", "", from, to, form(reading + 21.0 * kDegree), angleSigmaText),
                    true);
            else if (planted && plant == Plant::PackedUnderDms) {
                const double d = reading / kDegree;
                const double whole = std::floor(d);
                const double minutes = std::floor((d - whole) * 60.0);
                const double seconds = ((d - whole) * 60.0 - minutes) * 60.0;
                add(angle("DIR", "", from, to,
                          number(whole + minutes / 100.0 + seconds / 10000.0, 8), angleSigmaText),
                    true);
            } else if (planted && plant == Plant::DecimalBlunderUnderDms)
                add(angle("DIR", "", from, to, number(reading / kDegree + 0.3, 6), angleSigmaText),
                    true);
            else if (planted && plant == Plant::OtherFace)
                add(angle("DIR", "", from, to, form(reading + kPi), angleSigmaText), true);
            else if (planted && plant == Plant::DirectionBlunder)
                add(angle("DIR", "", from, to, form(reading + 190.0 * kGon), angleSigmaText), true);
            else
                add(angle("DIR", "", from, to, form(reading), angleSigmaText));

            if (planted && plant == Plant::DistanceCentimetresAsMetres)
                add(dist("D", from, to, 100.0 * distance, "", "m "), true);
            else if (planted && plant == Plant::DistanceCentimetresAsMillimetres)
                add(dist("D", from, to, 100.0 * distance, "", "mm"), true);
            else if (planted && plant == Plant::DistanceBlunder)
                add(dist("D", from, to, 93.0 * distance, "", "m "), true);
            else
                add(dist("D", from, to, distance, ""));

            if (planted && plant == Plant::ZenithDmsUnderGrades)
                add(angle("ZANG", "", from, to, dms(zenith), angleSigmaText), true);
            else if (planted && plant == Plant::ZenithBlunder)
                add(angle("ZANG", "", from, to, form(zenith - 10.0 * kGon), angleSigmaText), true);
            else
                add(angle("ZANG", "", from, to, form(zenith), angleSigmaText));
        }
    }
    const double h12 = kPoints[1].u - kPoints[0].u + noise(++k, 0.001);
    const double h23 = kPoints[2].u - kPoints[1].u + noise(++k, 0.001);
    add(ohdf("N", "P1", "P2", h12, "", 430.0));
    if (plant == Plant::HeightDifferenceMillimetresAsMetres)
        add(ohdf("N", "P2", "P3", 1000.0 * h23, "", 380.0, "m "), true);
    else if (plant == Plant::HeightDifferenceBlunder)
        add(ohdf("N", "P2", "P3", 870.0 * h23, "", 380.0, "m "), true);
    else
        add(ohdf("N", "P2", "P3", h23, "", 380.0));
    return net;
}

// Adds amounts[k] standard deviations to the k-th length (DIST or OHDF) of `lines`; returns the
// lines spoiled.
std::vector<int> spoil(std::vector<std::string> &lines, const std::vector<double> &amounts)
{
    std::vector<int> spoiled;
    for (std::size_t i = 0; i < lines.size() && spoiled.size() < amounts.size(); ++i) {
        std::string &line = lines[i];
        const std::string code = line.substr(1, 4);
        if (code != "DIST" && code != "OHDF")
            continue;
        const double sigma = code == "DIST" ? 0.002 + 2e-6 * std::stod(line.substr(49, 15)) : 0.001;
        const double value = std::stod(line.substr(49, 15));
        place(line, 50, 15, number(value + amounts[spoiled.size()] * sigma, 6), true);
        spoiled.push_back(static_cast<int>(i) + 1);
    }
    return spoiled;
}

struct Checked
{
    std::unique_ptr<EngineRun> run;
    engine::DataCheck check;
};

Checked check(const std::vector<std::string> &lines)
{
    Checked c;
    c.run = std::make_unique<EngineRun>();
    const std::string path = engine::normalizedPath("network.iob");
    c.run->source = engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}),
                                                 c.run->diagnostics);
    c.run->network = engine::buildNetwork(c.run->source, engine::Options(), c.run->diagnostics);
    if (!c.run->diagnostics.hasErrors())
        c.check = engine::checkData(c.run->network, engine::Options());
    return c;
}

// Whether two checks list the same misfits and hints, to the bit.
bool sameCheck(const engine::DataCheck &a, const engine::DataCheck &b)
{
    const auto sameMisfit = [](const engine::ObservationMisfit &x,
                               const engine::ObservationMisfit &y) {
        return x.observation == y.observation && x.misfit == y.misfit &&
               x.normalized == y.normalized;
    };
    const auto sameHint = [](const engine::Hint &x, const engine::Hint &y) {
        return x.kind == y.kind && x.fileNumber == y.fileNumber && x.lineNumber == y.lineNumber &&
               x.observation == y.observation && x.observations == y.observations &&
               x.reread == y.reread && x.written == y.written &&
               x.normalizedAsRead == y.normalizedAsRead && x.normalizedReread == y.normalizedReread;
    };
    return std::equal(a.misfits.begin(), a.misfits.end(), b.misfits.begin(), b.misfits.end(),
                      sameMisfit) &&
           std::equal(a.hints.begin(), a.hints.end(), b.hints.begin(), b.hints.end(), sameHint);
}

// A levelling network: five benchmarks joined by seven height differences (three independent
// loops), each of standard deviation 1 mm.
struct Levelling
{
    std::vector<std::string> lines;
    std::vector<std::pair<int, int>> links;
};

Levelling levelling(int plantedLink, double planted)
{
    const double heights[] = {100.0, 102.314, 98.771, 105.02, 101.553};
    Levelling l;
    l.links = {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 4}, {4, 2}, {1, 3}};
    l.lines.push_back(sigm("N", 0.001, 0.0, 0.0, 0.0));
    for (int p = 0; p < 5; ++p)
        l.lines.push_back(lenu(p == 0 ? "111" : "000", "B" + std::to_string(p + 1), 100.0 * p,
                               50.0 * (p % 2), heights[p]));
    for (std::size_t k = 0; k < l.links.size(); ++k) {
        const auto [from, to] = l.links[k];
        double dh = heights[to] - heights[from] + noise(static_cast<int>(k), 0.001);
        if (static_cast<int>(k) == plantedLink)
            dh += planted;
        l.lines.push_back(
            ohdf("N", "B" + std::to_string(from + 1), "B" + std::to_string(to + 1), dh, "", 500.0));
    }
    return l;
}

} // namespace

Q_DECLARE_METATYPE(Plant)

class TestEngineDataCheck : public QObject
{
    Q_OBJECT

private slots:
    void hints_data();
    void hints();
    void levellingLoops_data();
    void levellingLoops();
    void worstFirst();
    void reportListsTheWorstAndAllBeyondTheThreshold_data();
    void reportListsTheWorstAndAllBeyondTheThreshold();
};

void TestEngineDataCheck::hints_data()
{
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<int>("kind"); // -1: no hint

    const int none = -1;
    auto kind = [](engine::HintKind k) { return static_cast<int>(k); };
    QTest::newRow("distance in cm marked m")
        << Plant::DistanceCentimetresAsMetres << kind(engine::HintKind::LinearUnit);
    QTest::newRow("distance in cm marked mm")
        << Plant::DistanceCentimetresAsMillimetres << kind(engine::HintKind::LinearUnit);
    QTest::newRow("distance blunder") << Plant::DistanceBlunder << none;
    QTest::newRow("height difference in mm marked m")
        << Plant::HeightDifferenceMillimetresAsMetres << kind(engine::HintKind::LinearUnit);
    QTest::newRow("height difference blunder") << Plant::HeightDifferenceBlunder << none;
    QTest::newRow("zenith in DMS under GRD")
        << Plant::ZenithDmsUnderGrades << kind(engine::HintKind::AngleUnit);
    QTest::newRow("zenith blunder") << Plant::ZenithBlunder << none;
    QTest::newRow("direction in grades under DMS")
        << Plant::DirectionGradesUnderDms << kind(engine::HintKind::AngleUnit);
    QTest::newRow("direction blunder under DMS") << Plant::DirectionBlunderUnderDms << none;
    QTest::newRow("DDD.MMSS under DMS")
        << Plant::PackedUnderDms << kind(engine::HintKind::Sexagesimal);
    QTest::newRow("decimal degrees blunder") << Plant::DecimalBlunderUnderDms << none;
    QTest::newRow("HI in metres marked cm")
        << Plant::InstrumentHeightInCentimetres << kind(engine::HintKind::InstrumentHeight);
    QTest::newRow("HI blunder") << Plant::InstrumentHeightBlunder << none;
    QTest::newRow("HT in cm marked mm")
        << Plant::TargetHeightInMillimetres << kind(engine::HintKind::TargetHeight);
    QTest::newRow("HT blunder") << Plant::TargetHeightBlunder << none;
    QTest::newRow("direction in the other face")
        << Plant::OtherFace << kind(engine::HintKind::OtherFace);
    QTest::newRow("direction blunder") << Plant::DirectionBlunder << none;
}

void TestEngineDataCheck::hints()
{
    QFETCH(Plant, plant);
    QFETCH(int, kind);

    const Checked honest = check(network(Plant::None).lines);
    QVERIFY2(!honest.run->diagnostics.hasErrors(),
             diagnosticsText(honest.run->diagnostics).c_str());
    QVERIFY(honest.check.hints.empty());
    QCOMPARE(honest.check.checked, honest.run->network.observations.size());
    QVERIFY(std::abs(honest.check.misfits.front().normalized) < 1.0);

    const Network net = network(plant);
    const Checked c = check(net.lines);
    QVERIFY2(!c.run->diagnostics.hasErrors(), diagnosticsText(c.run->diagnostics).c_str());
    QVERIFY(net.plantedLine > 0);
    QCOMPARE(c.check.checked, c.run->network.observations.size());
    // The mistake shows, the blunder as much as the mistake.
    QVERIFY(std::abs(c.check.misfits.front().normalized) > engine::kHintMisfit);
    // The same check whatever the number of threads.
    for (const int threads : {1, 2, 8}) {
        engine::setThreadCount(threads);
        const engine::DataCheck again = engine::checkData(c.run->network, engine::Options());
        engine::setThreadCount(0);
        QVERIFY2(sameCheck(again, c.check), std::to_string(threads).c_str());
    }
    if (kind < 0) {
        QCOMPARE(c.check.hints.size(), std::size_t(0));
        return;
    }
    QCOMPARE(c.check.hints.size(), std::size_t(1));
    const engine::Hint &h = c.check.hints.front();
    QCOMPARE(static_cast<int>(h.kind), kind);
    QCOMPARE(h.fileNumber, 1);
    QCOMPARE(h.lineNumber, net.plantedLine);
    QVERIFY(std::abs(h.normalizedReread) <= engine::kHintFit);
}

void TestEngineDataCheck::levellingLoops_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<double>("planted"); // metres

    QTest::newRow("honest") << -1 << 0.0;
    QTest::newRow("12 mm on a link of two loops") << 2 << 0.012;
    QTest::newRow("-9 mm on a link of one loop") << 4 << -0.009;
    QTest::newRow("3 mm, within the tolerance") << 4 << 0.003;
}

void TestEngineDataCheck::levellingLoops()
{
    QFETCH(int, link);
    QFETCH(double, planted);

    const Levelling l = levelling(link, planted);
    const Checked c = check(l.lines);
    QVERIFY2(!c.run->diagnostics.hasErrors(), diagnosticsText(c.run->diagnostics).c_str());
    // Seven links between five points: three independent loops.
    QCOMPARE(c.check.loops.size(), std::size_t(3));
    const std::size_t firstLink = c.run->network.observations.size() - l.links.size();
    for (const engine::LevellingLoop &loop : c.check.loops) {
        // Each loop closes on its points: every link joins the next point to the one before.
        QCOMPARE(loop.points.size(), loop.observations.size());
        QCOMPARE(loop.observations.size(), std::size_t(loop.links));
        QCOMPARE(loop.observations.front(), loop.closing);
        QVERIFY(loop.points.size() >= 2);
        // The misclosure is the planted error when the loop takes the planted link, the noise of
        // at most half a millimetre per link otherwise.
        bool takesPlanted = false;
        for (int o : loop.observations)
            takesPlanted = takesPlanted || static_cast<int>(o - firstLink) == link;
        const double expected = takesPlanted ? planted : 0.0;
        QVERIFY2(std::abs(std::abs(loop.misclosure) - std::abs(expected)) <=
                     0.0005 * loop.observations.size(),
                 std::to_string(loop.misclosure).c_str());
        QVERIFY(std::abs(loop.sigma - 0.001 * std::sqrt(double(loop.observations.size()))) < 1e-9);
        QCOMPARE(loop.flagged(), std::abs(expected) > 0.006);
    }
    for (std::size_t k = 1; k < c.check.loops.size(); ++k)
        QVERIFY(std::abs(c.check.loops[k].misclosure) / c.check.loops[k].sigma <=
                std::abs(c.check.loops[k - 1].misclosure) / c.check.loops[k - 1].sigma);
}

void TestEngineDataCheck::worstFirst()
{
    // Three distances of the honest network spoiled by 40, 7 and 18 standard deviations.
    Network net = network(Plant::None);
    const std::vector<int> lines = spoil(net.lines, {40.0, 7.0, 18.0});
    const Checked c = check(net.lines);
    QVERIFY2(!c.run->diagnostics.hasErrors(), diagnosticsText(c.run->diagnostics).c_str());
    QCOMPARE(c.check.checked, c.run->network.observations.size());
    const int expectedOrder[] = {lines[0], lines[2], lines[1]};
    const double expectedSize[] = {40.0, 18.0, 7.0};
    for (int k = 0; k < 3; ++k) {
        const engine::ObservationMisfit &m = c.check.misfits[static_cast<std::size_t>(k)];
        QCOMPARE(c.run->network.observations[static_cast<std::size_t>(m.observation)].lineNumber,
                 expectedOrder[k]);
        QVERIFY(std::abs(m.normalized - expectedSize[k]) < 1.0);
    }
    for (std::size_t k = 1; k < c.check.misfits.size(); ++k)
        QVERIFY(std::abs(c.check.misfits[k].normalized) <=
                std::abs(c.check.misfits[k - 1].normalized));
}

void TestEngineDataCheck::reportListsTheWorstAndAllBeyondTheThreshold_data()
{
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<int>("spoiled"); // lengths spoiled by 30 standard deviations
    QTest::addColumn<int>("listed");
    // What the hint says after the planted record's line number; "%1" stands for its angle field
    // as written (columns 50 to 64), which the report prints after the records as read are freed.
    QTest::addColumn<QString>("hint");

    QTest::newRow("none beyond") << Plant::None << 0 << 20 << QString();
    QTest::newRow("a few beyond") << Plant::None << 5 << 20 << QString();
    QTest::newRow("more beyond than the worst listed") << Plant::None << 22 << 22 << QString();
    QTest::newRow("a hint") << Plant::DistanceCentimetresAsMetres << 0 << 20
                            << QString("DIST P3 -> P5 : lue en cm et non en m");
    QTest::newRow("an angle in another unit")
        << Plant::ZenithDmsUnderGrades << 0 << 20
        << QString::fromUtf8("ZANG P3 -> P5 : la lecture « %1 » lue en DMS et non en GRD");
    QTest::newRow("an angle packed as DDD.MMSS")
        << Plant::PackedUnderDms << 0 << 20
        << QString::fromUtf8("DIR P3 -> P5 : la lecture « %1 » lue comme DDD.MMSS");
}

void TestEngineDataCheck::reportListsTheWorstAndAllBeyondTheThreshold()
{
    QFETCH(Plant, plant);
    QFETCH(int, spoiled);
    QFETCH(int, listed);
    QFETCH(QString, hint);

    Network net = network(plant);
    spoil(net.lines, std::vector<double>(static_cast<std::size_t>(spoiled), 30.0));
    const std::string observations = engine::normalizedPath("network.iob");
    const std::string configuration = engine::normalizedPath("network.cfg");
    const engine::ProcessOutput output = engine::runProcessing(
        observations, configuration,
        memoryLoader({{observations, joinLines(net.lines)},
                      {configuration, engine::defaultConfigurationText("\n")}}));
    const QString report = QString::fromLatin1(output.report.c_str());
    const QStringList lines = report.split('\n');
    const int heading = lines.indexOf(" CONTROLE DES DONNEES AVANT AJUSTEMENT");
    QVERIFY(heading > 0);
    const int rule = lines.indexOf(QRegularExpression("^-+$"), heading);
    const int end = lines.indexOf(
        QRegularExpression(QString::fromUtf8("^   Observations contrôlées.*")), heading);
    QVERIFY(rule > heading && end > rule);
    QCOMPARE(end - rule - 1, listed);
    // Every observation is counted, though only those listed are kept.
    if (plant == Plant::None)
        QCOMPARE(lines[end], QString::fromUtf8("   Observations contrôlées : %1, au-delà de 10 "
                                               "sigma : %2")
                                 .arg(output.summary.observations)
                                 .arg(spoiled));
    // Ranked from 1, the worst first.
    double previous = 1e300;
    for (int k = 0; k < listed; ++k) {
        const QStringList fields = lines[rule + 1 + k].split(' ', Qt::SkipEmptyParts);
        QCOMPARE(fields.value(0), QString::number(k + 1));
        const double normalized = std::abs(fields.value(fields.size() - 3).toDouble());
        QVERIFY(normalized <= previous);
        previous = normalized;
    }
    if (spoiled > 0)
        QVERIFY(previous > engine::kListedMisfit || listed == int(engine::kListedWorst));

    const int hints = plant == Plant::None ? 0 : 1;
    QCOMPARE(output.summary.hints, hints);
    QVERIFY(report.contains(QString::fromUtf8("Indices d'erreurs probables : %1").arg(hints)));
    if (hints > 0) {
        const QString planted =
            QString::fromLatin1(net.lines[static_cast<std::size_t>(net.plantedLine - 1)].c_str());
        if (hint.contains("%1"))
            hint = hint.arg(planted.mid(49, 15).trimmed());
        QVERIFY2(report.contains(QString::fromStdString(observations) +
                                 QString(", ligne %1 : ").arg(net.plantedLine) + hint),
                 qPrintable(report));
    }
}

QTEST_APPLESS_MAIN(TestEngineDataCheck)

#include "tst_enginedatacheck.moc"
