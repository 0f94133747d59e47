// The report follows the LOG_* keys of the configuration; its residual section carries the keys
// the workbench searches for.

#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/model/options.h"
#include "engine/output/report.h"
#include "enginetesthelpers.h"
#include "ficreader.h"
#include "observationlines.h"

#include <QtTest>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

using namespace observationlines;

namespace {

// A levelling loop A-B-C-A with B and C free: three height differences, one rejected blunder.
std::vector<std::string> loopLines(double blunder)
{
    return {" TITL  Boucle",
            lenu("111", "A", 0, 0, 100.0),
            lenu("110", "B", 100, 0, 101.0),
            lenu("110", "C", 0, 100, 99.0),
            lenu("110", "D", 100, 100, 99.0),
            ohdf("", "A", "B", 1.0000, "0.001", 100),
            ohdf("", "B", "C", -2.0010 + blunder, "0.001", 140),
            ohdf("", "C", "A", 1.0005, "0.001", 100),
            ohdf("", "A", "D", -1.0000, "0.001", 140),
            ohdf("", "D", "B", 1.9995, "0.001", 100),
            ohdf("", "D", "C", 0.0010, "0.001", 100)};
}

engine::ProcessOutput run(const std::vector<std::string> &lines, const std::string &cfgText)
{
    const std::string iob = engine::normalizedPath("boucle.iob");
    const std::string cfg = engine::normalizedPath("boucle.cfg");
    return engine::runProcessing(iob, cfg, memoryLoader({{iob, joinLines(lines)}, {cfg, cfgText}}));
}

std::string configuration(const std::string &extraLines)
{
    return engine::defaultConfigurationText("\n") + extraLines;
}

// A levelling line of `points` benchmarks, each joined to the next four by height differences:
// about four observations a point, enough for a residual listing of a few megabytes.
std::vector<std::string> levellingLines(int points)
{
    std::vector<std::string> lines = {" TITL  Nivellement"};
    const auto name = [](int p) { return "R" + std::to_string(p); };
    const auto height = [](int p) { return 100.0 + 0.37 * p + 2.0 * std::sin(0.1 * p); };
    for (int p = 0; p < points; ++p)
        lines.push_back(lenu(p == 0 ? "111" : "110", name(p), 10.0 * p, 0.0, height(p)));
    for (int p = 0; p < points; ++p) {
        for (int q = p + 1; q <= std::min(points - 1, p + 4); ++q) {
            // A millimetre of misclosure that varies, so that every residual is different.
            const double noise = 0.001 * std::sin(1.7 * p + 0.3 * q);
            lines.push_back(
                ohdf("", name(p), name(q), height(q) - height(p) + noise, "0.001", 10.0 * (q - p)));
        }
    }
    return lines;
}

// A report stream that keeps the pieces it is handed, and whether it was committed.
class PieceStream : public engine::ReportStream
{
public:
    PieceStream(std::vector<std::string> &pieces, int &commits)
        : m_pieces(pieces)
        , m_commits(commits)
    {}
    void write(std::string_view latin1) override { m_pieces.emplace_back(latin1); }
    bool commit(std::string &) override
    {
        ++m_commits;
        return true;
    }

private:
    std::vector<std::string> &m_pieces;
    int &m_commits;
};

} // namespace

class TestEngineReport : public QObject
{
    Q_OBJECT

private slots:
    void sectionsFollowTheLogKeys_data();
    void sectionsFollowTheLogKeys();
    void residualSectionListsTheWantedObservations();
    void reportIsStreamedInPieces();
    void residualKeyIsRightAligned();
    void aPosterioriFactorScalesWhenAsked_data();
    void aPosterioriFactorScalesWhenAsked();
    void residualTestIsNamedWithItsCriticalValue_data();
    void residualTestIsNamedWithItsCriticalValue();
    void wideValuesKeepTheirColumnsApart();
    void numbersAreRoundedAsPrintfRoundsThem_data();
    void numbersAreRoundedAsPrintfRoundsThem();
};

void TestEngineReport::sectionsFollowTheLogKeys_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("absent");
    QTest::newRow("defaults") << ""
                              << "OPTIONS DU CALCUL|COORDONNEES APPROCHEES|ITERATIONS|"
                                 "STATISTIQUES|COORDONNEES AJUSTEES|INFORMATION SUR LES "
                                 "RESIDUS|FACTEURS DE VARIANCE PARTIELS|Boucle"
                              << "ERREUR";
    QTest::newRow("no options, no approximate coordinates")
        << "LOG_OPTION NON\nLOG_STATIO NON\n"
        << "STATISTIQUES"
        << "OPTIONS DU CALCUL|COORDONNEES APPROCHEES";
    QTest::newRow("no residuals, no partial factors")
        << "LOG_RESIDU NON\nLOG_SGMGRP NON\n"
        << "STATISTIQUES"
        << "INFORMATION SUR LES RESIDUS|FACTEURS DE VARIANCE PARTIELS";
    QTest::newRow("no adjusted coordinates") << "LOG_SOLFIN 0000\n"
                                             << "STATISTIQUES"
                                             << "COORDONNEES AJUSTEES";
    QTest::newRow("observed minus computed at every iteration")
        << "LOG_OMC    ALL\nLOG_SOLINT FRT_ITER\n"
        << "moins calcul|Corrections des inconnues, it"
        << "ERREUR";
}

void TestEngineReport::sectionsFollowTheLogKeys()
{
    QFETCH(QString, lines);
    QFETCH(QString, present);
    QFETCH(QString, absent);
    const engine::ProcessOutput out = run(loopLines(0.0), configuration(lines.toStdString()));
    QCOMPARE(out.summary.status, 0);
    const QString report = QString::fromLatin1(out.report.c_str());
    for (const QString &text : present.split('|'))
        QVERIFY2(report.contains(text), qPrintable(text));
    for (const QString &text : absent.split('|'))
        QVERIFY2(!report.contains(text), qPrintable(text));
}

void TestEngineReport::residualSectionListsTheWantedObservations()
{
    // Without scaling, so that the blunder does not hide behind the variance factor it inflates.
    auto residualSection = [](const char *listing) {
        const engine::ProcessOutput out =
            run(loopLines(0.006),
                configuration(std::string("LOG_RESIDU ") + listing + "\nTYPESIGMA0 JAMAIS\n"));
        const QString report = QString::fromLatin1(out.report.c_str());
        const int heading = report.indexOf("INFORMATION SUR LES RESIDUS");
        return heading < 0 ? QString() : report.mid(heading);
    };
    const QString all = residualSection("TOUS");
    const QString rejected = residualSection("NOVALID");
    const QRegularExpression entry("\n# {10}\\d");
    QCOMPARE(all.count(entry), 6);
    const int rejectedCount = all.count("REJETEE");
    QVERIFY(rejectedCount >= 1 && rejectedCount < 6);
    QCOMPARE(rejected.count(entry), rejectedCount);
    QCOMPARE(rejected.count("REJETEE"), rejectedCount);
    QVERIFY(!rejected.contains("VALIDE"));
    // The blunder on B-C (line 7) ranks first and is rejected.
    const int first = all.indexOf("#          1");
    QVERIFY(first > 0);
    const QString firstEntry = all.mid(first, all.indexOf("REJETEE", first) - first);
    QVERIFY2(firstEntry.contains("ligne 7") && !firstEntry.contains("VALIDE"),
             qPrintable(firstEntry));
}

void TestEngineReport::reportIsStreamedInPieces()
{
    // A long report goes to its stream in pieces as it is made, never whole, and the pieces make
    // the very text a run without a stream keeps.
    const std::string iob = engine::normalizedPath("nivellement.iob");
    const std::string cfg = engine::normalizedPath("nivellement.cfg");
    const auto files =
        memoryLoader({{iob, joinLines(levellingLines(2500))}, {cfg, configuration("")}});
    const engine::ProcessOutput whole = engine::runProcessing(iob, cfg, files);
    QCOMPARE(whole.summary.status, 0);
    std::vector<std::string> pieces;
    int commits = 0;
    engine::OutputHandling handling;
    std::string openedPath;
    handling.openReport = [&](const std::string &path) {
        openedPath = path;
        return std::make_unique<PieceStream>(pieces, commits);
    };
    const engine::ProcessOutput streamed = engine::runProcessing(iob, cfg, files, handling);
    QCOMPARE(streamed.summary.status, 0);
    QCOMPARE(openedPath, whole.reportPath);
    QVERIFY(streamed.summary.reportWritten);
    QCOMPARE(commits, 1);
    QVERIFY(streamed.report.empty());
    std::string joined;
    std::size_t largest = 0;
    for (const std::string &piece : pieces) {
        joined += piece;
        largest = std::max(largest, piece.size());
    }
    QVERIFY2(joined == whole.report, "the pieces differ from the report held whole");
    QVERIFY2(whole.report.size() > 3 * largest,
             qPrintable(QString("report of %1 bytes in pieces of up to %2")
                            .arg(whole.report.size())
                            .arg(largest)));
}

void TestEngineReport::residualKeyIsRightAligned()
{
    QCOMPARE(engine::residualKey(7), std::string("#          7"));
    QCOMPARE(engine::residualKey(42), std::string("#         42"));
    QCOMPARE(engine::residualKey(1234567), std::string("#    1234567"));
}

void TestEngineReport::aPosterioriFactorScalesWhenAsked_data()
{
    QTest::addColumn<QString>("scaling");
    QTest::addColumn<bool>("scaled");
    QTest::newRow("automatic, precisions too optimistic") << "AUTO" << true;
    QTest::newRow("never") << "JAMAIS" << false;
    QTest::newRow("always") << "TOUJOURS" << true;
}

void TestEngineReport::aPosterioriFactorScalesWhenAsked()
{
    QFETCH(QString, scaling);
    QFETCH(bool, scaled);
    // Misclosures of several millimetres against standard deviations of 1 mm.
    std::vector<std::string> lines = loopLines(0.0);
    lines[6] = ohdf("", "B", "C", -2.0060, "0.001", 140);
    lines[9] = ohdf("", "D", "B", 2.0045, "0.001", 100);
    engine::Options options;
    options.sigmaScaling = scaling == "AUTO"     ? engine::SigmaScaling::Auto
                           : scaling == "JAMAIS" ? engine::SigmaScaling::Never
                                                 : engine::SigmaScaling::Always;
    const auto result = runEngine(lines, options);
    QVERIFY(result->solved);
    const engine::Statistics &s = result->statistics;
    QCOMPARE(s.chiSquare, engine::ChiSquareOutcome::Failed);
    QVERIFY(s.varianceFactor > 4.0);
    QCOMPARE(s.scaled, scaled);
    for (std::size_t i = 0; i < s.perObservation.size(); ++i) {
        const auto &o = s.perObservation[i];
        // w = v / (k sigma sqrt(r)), k = s0 when the factor scales.
        const double k = scaled ? std::sqrt(s.varianceFactor) : 1.0;
        const double expected = o.residual / (k * 0.001 * std::sqrt(o.redundancy));
        QVERIFY(std::fabs(o.normalized - expected) < 1e-9);
    }
}

void TestEngineReport::residualTestIsNamedWithItsCriticalValue_data()
{
    QTest::addColumn<QString>("scaling");
    QTest::addColumn<bool>("oneDegree");
    QTest::addColumn<QString>("testName");
    QTest::addColumn<QString>("reported");
    // The loop has 3 degrees of freedom: tau's critical value is sqrt(3) 0.95 at 95 %.
    QTest::newRow("scaled: tau") << "AUTO" << false << "Tau"
                                 << "tau de Pope (loi tau à 3 degrés de liberté)|"
                                    "Valeur critique|: |tau| <= 1.645 à 95.00 %";
    QTest::newRow("not scaled: normal") << "JAMAIS" << false << "Normale"
                                        << "loi normale|: |w| <= 1.960 à 95.00 %";
    QTest::newRow("one degree of freedom, scaled: none") << "TOUJOURS" << true << "Aucune"
                                                         << "aucun (un seul degré de liberté";
}

void TestEngineReport::residualTestIsNamedWithItsCriticalValue()
{
    QFETCH(QString, scaling);
    QFETCH(bool, oneDegree);
    QFETCH(QString, testName);
    QFETCH(QString, reported);
    // A blunder of 6 mm at 1 mm, so that automatic scaling takes place.
    std::vector<std::string> lines = loopLines(0.006);
    if (oneDegree)
        lines = {lenu("111", "A", 0, 0, 100.0),
                 lenu("110", "B", 100, 0, 101.0),
                 lenu("110", "C", 0, 100, 99.0),
                 ohdf("", "A", "B", 1.0000, "0.001", 100),
                 ohdf("", "B", "C", -2.0030, "0.001", 140),
                 ohdf("", "C", "A", 1.0005, "0.001", 100)};
    const engine::ProcessOutput out =
        run(lines, configuration("TYPESIGMA0 " + scaling.toStdString() + "\n"));
    QCOMPARE(out.summary.status, 0);
    const QString report = QString::fromLatin1(out.report.c_str());
    const QString statistics = report.mid(report.indexOf("STATISTIQUES"));
    for (const QString &text : reported.split('|'))
        QVERIFY2(statistics.contains(text), qPrintable(text));
    QCOMPARE(readFicBytes(QByteArray::fromStdString(out.result), false).testName, testName);
}

void TestEngineReport::wideValuesKeepTheirColumnsApart()
{
    // Coordinates beyond 1e12 m with 9 decimals, and distances of 100 km known to 999 m from
    // points within 53 degrees of one another, so that the standard deviations of P pass 1000 m:
    // every number is wider than its column.
    const double base = 1e12;
    auto point = [&](const char *fixity, const char *name, double east, double north) {
        std::string line = lenu(fixity, name, 0.0, 0.0, 100.0);
        place(line, 24, 18, number(base + east, 3), true);
        place(line, 43, 18, number(base + north, 3), true);
        return line;
    };
    const std::vector<std::string> lines = {
        point("111", "A", 60000.0, 80000.0), point("111", "B", 80000.0, 60000.0),
        point("111", "C", 100000.0, 0.0),    point("001", "P", 30.0, -20.0),
        dist("", "P", "A", 100000.0, "999"), dist("", "P", "B", 100000.0, "999"),
        dist("", "P", "C", 100000.0, "999")};
    const engine::ProcessOutput out =
        run(lines, configuration("NBDEC_DIST 9\nREG1D_TYPE 111\nREG1D_MODE 10\nREG2D_MODE 10\n"
                                 "REG3D_MODE 10\nFIA2D_MODE 10\n"));
    QCOMPARE(out.summary.status, 0);
    const QStringList report = QString::fromLatin1(out.report.c_str()).split('\n');
    // The line of P (or of the DIST partial factor) in the table after each heading, and the
    // number of its blank-separated fields.
    const QList<QPair<QString, int>> tables = {
        {"COORDONNEES APPROCHEES", 5}, // name, fixity, E, N, U
        {"COORDONNEES AJUSTEES", 7},   // name, E, N, U, sE, sN, sU
        {"Corrections apport", 4},     // name, dE, dN, dU
        {"FACTEURS DE VARIANCE", 5},   // kind, count, v'Pv, sum of r, s0^2
        {"gions 1D", 4},               // name, N, E, U
        {"gions 2D", 5},               // name, plane, two half-axes, bearing
        {"gions 3D", 10},              // name, three half-axes with bearing and elevation
        {"gions 2D : seuil", 10}}; // name, plane, two half-sides, "DIST P->A (fichier 1, ligne 5)"
    for (const auto &[heading, fields] : tables) {
        int at = 0;
        while (at < report.size() && !report[at].contains(heading))
            ++at;
        QVERIFY2(at < report.size(), qPrintable(heading));
        const QString key = heading.startsWith("FACTEURS") ? "   DIST " : "   P ";
        while (at < report.size() && !report[at].startsWith(key))
            ++at;
        QVERIFY2(at < report.size(), qPrintable(heading));
        const QStringList words = report[at].split(' ', Qt::SkipEmptyParts);
        QVERIFY2(words.size() == fields, qPrintable(heading + ": " + report[at]));
    }
    // P is known to more than 1000 m.
    QVERIFY(report.join('\n').contains(QRegularExpression(" 1\\d\\d\\d\\.\\d{9}")));
}

void TestEngineReport::numbersAreRoundedAsPrintfRoundsThem_data()
{
    // `count` values from `first` by `step`, each formatted with `decimals`.
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("decimals");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("0.00005") << 0.00005 << 0.0 << 1 << 4;
    QTest::newRow("1.23445") << 1.23445 << 0.0 << 1 << 4;
    QTest::newRow("-0.0") << -0.0 << 0.0 << 1 << 3;
    QTest::newRow("-0.0004 rounds to zero") << -0.0004 << 0.0 << 1 << 3;
    QTest::newRow("-0.0005 just beyond the half") << -0.0005 << 0.0 << 1 << 3;
    QTest::newRow("no decimals") << 1234.5678 << 0.0 << 1 << 0;
    QTest::newRow("twelve decimals") << 0.1 << 0.0 << 1 << 12;
    QTest::newRow("decimals beyond twelve") << 2.0 / 3.0 << 0.0 << 1 << 15;
    QTest::newRow("large") << 123456789012.345678 << 0.0 << 1 << 4;
    QTest::newRow("beyond 2^52") << 6.5e15 << 0.0 << 1 << 2;
    QTest::newRow("below 1e30") << -9.87e29 << 0.0 << 1 << 2;
    QTest::newRow("from 1e30 in scientific form") << 1e30 << 0.0 << 1 << 4;
    QTest::newRow("infinite") << -inf << 0.0 << 1 << 3;
    QTest::newRow("not a number") << nan << 0.0 << 1 << 3;
    QTest::newRow("exact halves go to even") << -1000.5 << 1.0 << 2001 << 0;
    QTest::newRow("exact eighths go to even") << -50.0 << 0.125 << 801 << 2;
    QTest::newRow("near halves of 1e-4") << -5.0 << 0.00005 << 200001 << 4;
    QTest::newRow("near halves of 1e-3") << 0.0 << 0.0005 << 100001 << 3;
    QTest::newRow("lengths to 0.1 mm") << 12345.6789 << 0.000123456789 << 100000 << 4;
    QTest::newRow("angles to 1e-8") << 0.0 << 0.00399999997 << 100000 << 8;
}

void TestEngineReport::numbersAreRoundedAsPrintfRoundsThem()
{
    QFETCH(double, first);
    QFETCH(double, step);
    QFETCH(int, count);
    QFETCH(int, decimals);
    constexpr int width = 14;
    // printf's decimal separator is the locale's, which the application took from the
    // environment.
    std::setlocale(LC_NUMERIC, "C");
    for (int i = 0; i < count; ++i) {
        const double value = first + i * step;
        // The C library's conversion, rounded correctly from the binary value; a value that rounds
        // to zero loses its sign, and one from 1e30 is in scientific form.
        std::string expected = "*";
        if (std::isfinite(value)) {
            char text[128];
            std::snprintf(text, sizeof text, std::fabs(value) >= 1e30 ? "%.*e" : "%.*f",
                          std::min(decimals, 12), value);
            expected = text;
            if (expected[0] == '-' && expected.find_first_not_of("-0.") == std::string::npos)
                expected.erase(0, 1);
        }
        expected.insert(0, std::max(0, width - static_cast<int>(expected.size())), ' ');
        const std::string written = engine::fixed(value, width, decimals);
        if (written != expected)
            QFAIL(qPrintable(
                QString("%1 with %2 decimals: \"%3\", not \"%4\"")
                    .arg(value, 0, 'g', 17)
                    .arg(decimals)
                    .arg(QString::fromStdString(written), QString::fromStdString(expected))));
    }
}

QTEST_GUILESS_MAIN(TestEngineReport)
#include "tst_enginereport.moc"
