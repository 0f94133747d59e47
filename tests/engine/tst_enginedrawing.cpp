// The drawing file written by the engine, read back through the workbench's reader.

#include "drwreader.h"
#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/model/options.h"
#include "engine/output/drawingfile.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>

using namespace observationlines;

namespace {

constexpr double kCoordTol = 1e-4;      // metres: adjusted coordinates of an exact network
constexpr double kRoundTripTol = 1e-12; // metres or degrees: values read back
constexpr double kTraceRelTol = 1e-6;   // ellipse against the standard deviations, relative

struct TruePoint
{
    const char *name;
    double e, n, u;
    const char *fixity;
};

// A report stream that gathers the pieces it is handed.
class CollectedReport : public engine::ReportStream
{
public:
    CollectedReport(std::string &text, bool &committed)
        : m_text(text)
        , m_committed(committed)
    {}
    void write(std::string_view latin1) override { m_text += latin1; }
    bool commit(std::string &) override
    {
        m_committed = true;
        return true;
    }

private:
    std::string &m_text;
    bool &m_committed;
};

// A small network on a slope: two fixed points, one point fixed in plan only, three free ones.
const std::vector<TruePoint> &points()
{
    static const std::vector<TruePoint> list = {
        {"BORNE1", 1000.0, 5000.0, 100.0, "111"}, {"BORNE2", 1402.8, 5012.3, 104.5, "111"},
        {"ST3", 1180.1, 5250.3, 113.0, "000"},    {"ST4", 1455.1, 5310.6, 108.1, "000"},
        {"ST5", 1220.7, 4820.4, 97.0, "000"},     {"REP", 1290.2, 5402.1, 131.6, "110"}};
    return list;
}

// Who observes whom: every station sights the points listed with it.
const std::vector<std::pair<const char *, std::vector<const char *>>> &sightings()
{
    static const std::vector<std::pair<const char *, std::vector<const char *>>> list = {
        {"BORNE1", {"BORNE2", "ST3", "ST5", "REP"}},
        {"BORNE2", {"BORNE1", "ST4", "ST5", "ST3"}},
        {"ST3", {"BORNE1", "REP", "ST4", "BORNE2", "ST5"}},
        {"ST4", {"ST3", "REP", "BORNE2", "ST5"}},
        {"ST5", {"BORNE1", "ST3", "ST4", "BORNE2"}}};
    return list;
}

const TruePoint &pointNamed(const std::string &name)
{
    for (const TruePoint &p : points()) {
        if (name == p.name)
            return p;
    }
    return points().front();
}

// Exact observations from the true coordinates; the free points start a few centimetres off.
// `counts` receives the number of observations per (station, target).
std::vector<std::string> networkLines(std::map<std::pair<std::string, std::string>, int> *counts)
{
    std::vector<std::string> lines = {" TITL Dessin", sigm("DST", 0.001, 1.5, 0.0, 0.0)};
    for (const TruePoint &p : points()) {
        const double off = std::string(p.fixity) == "111" ? 0.0 : 0.03;
        lines.push_back(lenu(p.fixity, p.name, p.e + (p.fixity[0] == '1' ? 0.0 : off),
                             p.n - (p.fixity[1] == '1' ? 0.0 : off), p.u + off));
    }
    for (const auto &[station, targets] : sightings()) {
        const TruePoint &s = pointNamed(station);
        lines.push_back(record("DSET"));
        for (const char *target : targets) {
            const TruePoint &t = pointNamed(target);
            const double dE = t.e - s.e;
            const double dN = t.n - s.n;
            const double dU = t.u - s.u;
            const double h = std::hypot(dE, dN);
            lines.push_back(angle("DIR", "", station, target, grades(std::atan2(dE, dN)), "10"));
            lines.push_back(angle("ZANG", "", station, target, grades(std::atan2(h, dU)), "15"));
            int observed = 2;
            if (std::string(target) != "REP") {
                lines.push_back(dist("DST", station, target, std::hypot(h, dU), ""));
                ++observed;
            }
            if (counts)
                (*counts)[{station, target}] += observed;
        }
    }
    return lines;
}

std::string configurationText(const std::string &extra)
{
    return engine::defaultConfigurationText(engine::kLineEnd) + "REG2D_MODE 11\nFIA2D_MODE 11\n" +
           extra;
}

bool writeText(const QString &path, const std::string &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

bool sameRegions(const QVector<DrwRegion> &read, const std::vector<engine::DrawingRegion> &written)
{
    if (read.size() != int(written.size()))
        return false;
    for (int k = 0; k < read.size(); ++k) {
        const DrwRegion &r = read[k];
        const engine::DrawingRegion &w = written[std::size_t(k)];
        if (r.point1 != w.point1 || r.epoch != w.epoch ||
            std::fabs(r.semiAxis1 - w.shape.semiAxis1) > kRoundTripTol ||
            std::fabs(r.semiAxis2 - w.shape.semiAxis2) > kRoundTripTol ||
            std::fabs(r.bearing - w.shape.bearing) > kRoundTripTol)
            return false;
    }
    return true;
}

} // namespace

class TestEngineDrawing : public QObject
{
    Q_OBJECT

private slots:
    void drawingReadsBackThroughTheWorkbenchReader();
    void largeLinkMatrixReadsBack();
    void noDrawingWhenNotAskedOrFailed_data();
    void noDrawingWhenNotAskedOrFailed();
    void noDrawingBeyondTheLinkMatrixLimit();
    void drawingThatCannotBeWrittenFailsTheRun_data();
    void drawingThatCannotBeWrittenFailsTheRun();
    void drawingInTheWayStopsTheRunBeforeComputing();
};

void TestEngineDrawing::drawingReadsBackThroughTheWorkbenchReader()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString iob = dir.filePath("reseau.iob");
    const QString cfg = dir.filePath("reseau.cfg");
    std::map<std::pair<std::string, std::string>, int> counts;
    QVERIFY(writeText(iob, joinLines(networkLines(&counts))));
    QVERIFY(writeText(cfg, configurationText("")));
    const std::string iobPath = engine::latin1FromUtf8(iob.toStdString());
    const std::string cfgPath = engine::latin1FromUtf8(cfg.toStdString());
    const engine::ProcessSummary summary = engine::processObservationFile(iobPath, cfgPath);
    QCOMPARE(summary.status, 0);
    const DrwDrawing drawing = readDrw(dir.filePath("reseau.drw"));

    // Points in file order, north first, east second, up third.
    QCOMPARE(drawing.epochCount, 1);
    QCOMPARE(drawing.pointCount, int(points().size()));
    for (int i = 0; i < drawing.pointCount; ++i) {
        const TruePoint &p = points()[std::size_t(i)];
        QCOMPARE(drawing.pointNames[i], QString(p.name));
        QCOMPARE(drawing.points[i].name, QString(p.name));
        QVERIFY2(std::fabs(drawing.points[i].y - p.n) < kCoordTol, p.name);
        QVERIFY2(std::fabs(drawing.points[i].x - p.e) < kCoordTol, p.name);
        QVERIFY2(std::fabs(drawing.points[i].z - p.u) < kCoordTol, p.name);
    }
    // The link matrix counts the observations from each station to each target.
    for (int i = 0; i < drawing.pointCount; ++i) {
        for (int j = 0; j < drawing.pointCount; ++j) {
            const auto found =
                counts.find({points()[std::size_t(i)].name, points()[std::size_t(j)].name});
            QCOMPARE(drawing.link(i, j), found == counts.end() ? 0 : found->second);
        }
    }

    // The regions are those the engine computed, written and read back whole.
    const engine::ProcessOutput output =
        engine::runProcessing(iobPath, cfgPath, engine::diskFileLoader());
    QVERIFY(output.drawing);
    const engine::DrawingFile &written = *output.drawing;
    QVERIFY(sameRegions(drawing.absoluteEllipses, written.absoluteEllipses));
    QVERIFY(sameRegions(drawing.relativeEllipses, written.relativeEllipses));
    QVERIFY(sameRegions(drawing.absoluteRectangles, written.absoluteRectangles));
    QVERIFY(sameRegions(drawing.relativeRectangles, written.relativeRectangles));
    for (int k = 0; k < drawing.relativeEllipses.size(); ++k)
        QCOMPARE(drawing.relativeEllipses[k].point2,
                 int(written.relativeEllipses[std::size_t(k)].point2));
    QVERIFY(drawing.epochEllipses.isEmpty());
    QVERIFY(drawing.epochRectangles.isEmpty());

    // One absolute ellipse and rectangle per point free in plan (not the fixed bench marks, not
    // REP, fixed in plan); a relative one per observed pair with a point free in plan.
    QCOMPARE(drawing.absoluteEllipses.size(), 3);
    QCOMPARE(drawing.absoluteRectangles.size(), 3);
    QCOMPARE(drawing.relativeEllipses.size(), 10);
    QCOMPARE(drawing.relativeRectangles.size(), 10);
    for (const DrwRegion &r : drawing.absoluteEllipses + drawing.absoluteRectangles) {
        QCOMPARE(r.point2, 0);
        QCOMPARE(r.epoch, 1);
        const QString name = drawing.pointNames.value(r.point1 - 1);
        QVERIFY2(name.startsWith("ST"), qPrintable(name));
        QVERIFY(r.semiAxis1 >= r.semiAxis2 && r.semiAxis2 > 0.0);
    }
    for (const DrwRegion &r : drawing.absoluteRectangles + drawing.relativeRectangles)
        QVERIFY(r.bearing == 0.0 || r.bearing == 90.0);

    // The sum of the squared half-axes of an ellipse is k^2 (sN^2 + sE^2), with the standard
    // deviations of the adjusted coordinates.
    engine::Diagnostics diagnostics;
    const engine::Options options = engine::optionsFromValues(
        engine::readConfigurationValues(configurationText("")), "reseau.cfg", diagnostics);
    const auto run = runEngine(networkLines(nullptr), options);
    QVERIFY(run->solved);
    const double k2 = 2.4477468 * 2.4477468; // chi-square quantile, 2 degrees, 95 %
    for (const DrwRegion &r : drawing.absoluteEllipses) {
        const Eigen::Vector3d s = run->statistics.pointSigmas[std::size_t(r.point1 - 1)];
        const double sum = r.semiAxis1 * r.semiAxis1 + r.semiAxis2 * r.semiAxis2;
        const double expected = k2 * (s.x() * s.x() + s.y() * s.y());
        QVERIFY(std::fabs(sum - expected) < kTraceRelTol * expected);
    }
}

void TestEngineDrawing::largeLinkMatrixReadsBack()
{
    // Rows long enough that the zeros between the links of two rows go to the file as a hole: the
    // workbench must read the same matrix, the file end on its last zeros at its full size.
    constexpr int n = 2500;
    engine::DrawingFile d;
    for (int p = 0; p < n; ++p) {
        d.names.push_back("P" + std::to_string(p));
        d.coordinates.emplace_back(p, 2.0 * p, 0.5);
    }
    d.links = {{0, 0, 1},         {0, n - 1, 2}, {1, 5, 3},         {1, 6, 4},
               {n / 2, n / 2, 5}, {n - 1, 0, 6}, {n - 1, n - 2, 7}, {n - 1, n - 1, 8}};
    d.absoluteEllipses.push_back({1, 0, 1, engine::Ellipse{0.02, 0.01, 0.5}});
    QTemporaryDir dir;
    const QString path = dir.filePath("grand.drw");
    QVERIFY(engine::writeDrawingFile(engine::latin1FromUtf8(path.toStdString()), d));
    const DrwDrawing drawing = readDrw(path);
    QCOMPARE(drawing.pointCount, n);
    QCOMPARE(drawing.points[n - 1].name, QString("P%1").arg(n - 1));
    int found = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const qint32 count = drawing.link(i, j);
            if (count == 0)
                continue;
            const auto link = std::find_if(d.links.begin(), d.links.end(), [&](const auto &l) {
                return l.row == i && l.column == j;
            });
            QVERIFY2(link != d.links.end() && link->count == count,
                     qPrintable(QString("(%1, %2)").arg(i).arg(j)));
            ++found;
        }
    }
    QCOMPARE(found, int(d.links.size()));
    QCOMPARE(drawing.absoluteEllipses.size(), 1);
}

void TestEngineDrawing::noDrawingWhenNotAskedOrFailed_data()
{
    QTest::addColumn<QString>("extraConfiguration");
    QTest::addColumn<bool>("breakNetwork");
    QTest::addColumn<int>("status");
    QTest::newRow("not asked for") << "DRW_EXPORT NON\n" << false << 0;
    QTest::newRow("failed run") << "" << true << 1;
}

void TestEngineDrawing::noDrawingWhenNotAskedOrFailed()
{
    QFETCH(QString, extraConfiguration);
    QFETCH(bool, breakNetwork);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString iob = dir.filePath("net.iob");
    const QString cfg = dir.filePath("net.cfg");
    const QString drw = dir.filePath("net.drw");
    std::vector<std::string> lines = networkLines(nullptr);
    if (breakNetwork)
        lines.push_back(dist("DST", "ST3", "NOWHERE", 12.0, ""));
    QVERIFY(writeText(iob, joinLines(lines)));
    QVERIFY(writeText(cfg, configurationText(extraConfiguration.toStdString())));
    QVERIFY(writeText(drw, "an earlier drawing"));
    const engine::ProcessSummary summary = engine::processObservationFile(
        engine::latin1FromUtf8(iob.toStdString()), engine::latin1FromUtf8(cfg.toStdString()));
    QCOMPARE(summary.status, status);
    QVERIFY(!QFile::exists(drw));
    QVERIFY(!QFile::exists(drw + ".tmp"));
}

void TestEngineDrawing::noDrawingBeyondTheLinkMatrixLimit()
{
    // A levelling line with one point more than the drawing admits.
    const int count = int(engine::kMaxDrawingPoints) + 1;
    std::vector<std::string> lines;
    for (int k = 0; k < count; ++k)
        lines.push_back(lenu(k == 0 || k + 1 == count ? "111" : "110", "N" + std::to_string(k),
                             10.0 * k, 0.0, 100.0 + 0.001 * k));
    for (int k = 0; k + 1 < count; ++k)
        lines.push_back(
            ohdf("", "N" + std::to_string(k), "N" + std::to_string(k + 1), 0.001, "0.001", 0.0));
    QTemporaryDir dir;
    const QString iob = dir.filePath("long.iob");
    const QString cfg = dir.filePath("long.cfg");
    QVERIFY(writeText(iob, joinLines(lines)));
    QVERIFY(writeText(cfg, configurationText("LOG_RESIDU NON\n")));
    const engine::ProcessSummary summary = engine::processObservationFile(
        engine::latin1FromUtf8(iob.toStdString()), engine::latin1FromUtf8(cfg.toStdString()));
    QCOMPARE(summary.status, 0);
    QVERIFY(!QFile::exists(dir.filePath("long.drw")));
    QFile report(dir.filePath("long.log"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(report.readAll());
    QVERIFY(text.contains(QString::fromUtf8("Fichier de dessin non écrit")));
    // The user is told how to draw a part of the network.
    QVERIFY(
        text.contains(QString::fromUtf8("Pour dessiner une partie du réseau, traitez-la à part")));
}

void TestEngineDrawing::drawingThatCannotBeWrittenFailsTheRun_data()
{
    QTest::addColumn<bool>("writingFails");
    QTest::addColumn<bool>("commitFails");
    QTest::newRow("written and committed") << false << false;
    QTest::newRow("writing fails") << true << false;
    // Written while the report is made, the drawing fails only when it is made final: the report
    // must be made again to say so.
    QTest::newRow("commit fails") << false << true;
}

void TestEngineDrawing::drawingThatCannotBeWrittenFailsTheRun()
{
    // The drawing writer fails; the report must still end with its banner, the message before it,
    // and the result file must not pass for a success.
    QFETCH(bool, writingFails);
    QFETCH(bool, commitFails);
    const bool fails = writingFails || commitFails;
    QTemporaryDir dir;
    const std::string iobPath = engine::latin1FromUtf8(dir.filePath("net.iob").toStdString());
    const std::string cfgPath = engine::latin1FromUtf8(dir.filePath("net.cfg").toStdString());
    const auto files = memoryLoader(
        {{iobPath, joinLines(networkLines(nullptr))}, {cfgPath, configurationText("")}});
    engine::OutputHandling handling;
    int drawingCalls = 0;
    handling.writeDrawing = [&](const std::string &, const engine::DrawingFile &,
                                std::string &reason) {
        ++drawingCalls;
        if (writingFails)
            reason = engine::fr("disque plein");
        return !writingFails;
    };
    std::string handedReport;
    bool reportCommitted = false;
    int commits = 0;
    bool committedBeforeTheReport = false;
    handling.commitDrawing = [&](const std::string &, std::string &reason) {
        ++commits;
        committedBeforeTheReport = !reportCommitted;
        if (commitFails)
            reason = engine::fr("disque plein");
        return !commitFails;
    };
    int reportsOpened = 0;
    handling.openReport = [&](const std::string &) {
        // A report made again replaces the one begun before.
        ++reportsOpened;
        handedReport.clear();
        return std::make_unique<CollectedReport>(handedReport, reportCommitted);
    };
    const engine::ProcessOutput output = engine::runProcessing(iobPath, cfgPath, files, handling);
    QCOMPARE(drawingCalls, 1);
    QCOMPARE(commits, writingFails ? 0 : 1);
    QVERIFY(writingFails || committedBeforeTheReport);
    QCOMPARE(reportsOpened, commitFails ? 2 : 1);
    QCOMPARE(output.summary.status, fails ? 1 : 0);
    QVERIFY(reportCommitted);
    QVERIFY(output.report.empty());
    QCOMPARE(output.result.substr(0, 8),
             std::string(fails ? "\x01\0\0\0\0\0\0\0" : "\0\0\0\0\0\0\0\0", 8));
    const QStringList lines =
        QString::fromLatin1(handedReport.c_str()).split('\n', Qt::SkipEmptyParts);
    int banner = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains("TRAITEMENT"))
            banner = i;
    }
    QVERIFY(banner > 0);
    QCOMPARE(lines[banner].contains("TRAITEMENT INTERROMPU"), fails);
    for (int i = banner + 1; i < lines.size(); ++i)
        QVERIFY2(lines[i].trimmed().startsWith("==="), qPrintable(lines[i]));
    const int message = lines.indexOf(QRegularExpression(QString::fromUtf8(
        ".*Le fichier de dessin .*net.drw n'a pas pu être écrit \\(disque plein\\).*")));
    QVERIFY(fails ? message > 0 && message < banner : message < 0);
}

void TestEngineDrawing::drawingInTheWayStopsTheRunBeforeComputing()
{
    // A folder that is not empty stands where the drawing file goes: it cannot be removed, so the
    // run fails before computing, and the report ends with its banner.
    QTemporaryDir dir;
    const QString iob = dir.filePath("net.iob");
    const QString cfg = dir.filePath("net.cfg");
    QVERIFY(QDir(dir.path()).mkpath("net.drw/inside"));
    QVERIFY(writeText(iob, joinLines(networkLines(nullptr))));
    QVERIFY(writeText(cfg, configurationText("")));
    const engine::ProcessSummary summary = engine::processObservationFile(
        engine::latin1FromUtf8(iob.toStdString()), engine::latin1FromUtf8(cfg.toStdString()));
    QCOMPARE(summary.status, 1);
    QCOMPARE(summary.iterations, 0);
    QVERIFY(QFileInfo(dir.filePath("net.drw/inside")).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"net.cfg", "net.fic", "net.iob", "net.log"}));
    QFile report(dir.filePath("net.log"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(report.readAll()).trimmed();
    QVERIFY(text.contains(QString::fromUtf8("n'a pas pu être supprimé (un dossier porte ce nom)")));
    QVERIFY(text.section('\n', -2, -2).contains("TRAITEMENT INTERROMPU"));
}

QTEST_GUILESS_MAIN(TestEngineDrawing)
#include "tst_enginedrawing.moc"
