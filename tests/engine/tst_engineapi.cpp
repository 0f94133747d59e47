// The engine's entry points on the disk: the files a processing writes (report, result file),
// their removal and replacement, and the entry points fed with garbage.

#include "engine/api/engineapi.h"
#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/base/version.h"
#include "engine/model/options.h"
#include "ficreader.h"
#include "filesizelimit.h"
#include "observationlines.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using namespace observationlines;

namespace {

void writeLines(const QString &path, const std::vector<std::string> &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const std::string &line : lines)
        file.write((line + "\n").c_str());
}

void process(const QString &iob, const QString &cfg)
{
    const QByteArray a = iob.toLatin1();
    const QByteArray b = cfg.toLatin1();
    const std::int32_t la = a.size();
    const std::int32_t lb = b.size();
    tavlodll_process(&la, &lb, a.constData(), b.constData());
}

void newcfg(const QString &path)
{
    const QByteArray a = path.toLatin1();
    const std::int32_t la = a.size();
    tavlodll_newcfg(&la, a.constData());
}

// A small network: A and B fixed, C and D free; the main file includes the sightings from D.
std::vector<std::string> mainLines()
{
    std::vector<std::string> lines = {
        " TITL  Petit reseau",
        sigm("DIS", 0.002, 2.0, 0.0, 0.0),
        lenu("111", "A", 0.0, 0.0, 10.0),
        lenu("111", "B", 300.0, 0.0, 12.0),
        lenu("000", "C", 150.2, 200.1, 11.2),
        lenu("000", "D", 149.9, -180.3, 9.4),
    };
    const struct
    {
        const char *name;
        double e, n, u;
    } pts[] = {{"A", 0, 0, 10}, {"B", 300, 0, 12}, {"C", 150, 200, 11}, {"D", 150, -180, 9.5}};
    for (int s = 0; s < 3; ++s) {
        lines.push_back(record("DSET"));
        for (int t = 0; t < 4; ++t) {
            if (s == t)
                continue;
            const double dE = pts[t].e - pts[s].e;
            const double dN = pts[t].n - pts[s].n;
            const double dU = pts[t].u - pts[s].u;
            const double h = std::hypot(dE, dN);
            lines.push_back(
                angle("DIR", "", pts[s].name, pts[t].name, grades(std::atan2(dE, dN)), "10"));
            lines.push_back(dist("DIS", pts[s].name, pts[t].name, std::hypot(h, dU), ""));
            lines.push_back(
                angle("ZANG", "", pts[s].name, pts[t].name, grades(std::atan2(h, dU)), "10"));
        }
    }
    lines.push_back("#include station_d.iob");
    return lines;
}

std::vector<std::string> stationDLines()
{
    return {"! Sightings from D", record("DSET"),
            angle("DIR", "", "D", "A", grades(std::atan2(-150.0, 180.0)), "10"),
            angle("DIR", "", "D", "B", grades(std::atan2(150.0, 180.0)), "10"),
            ohdf("", "D", "C", 1.5, "0.002", 380.0)};
}

std::string latin1(const QString &path)
{
    return engine::latin1FromUtf8(path.toStdString());
}

QString text(const std::string &latin1Text)
{
    return QString::fromLatin1(latin1Text.data(), int(latin1Text.size()));
}

// The last line of a report that is not blank or a rule.
QByteArray lastWords(const QByteArray &report)
{
    QList<QByteArray> lines = report.split('\n');
    while (!lines.isEmpty() &&
           (lines.last().trimmed().isEmpty() || lines.last().trimmed().startsWith("===")))
        lines.removeLast();
    return lines.isEmpty() ? QByteArray() : lines.last().trimmed();
}

// The small network of mainLines in `dir`, with its configuration.
void writeNetwork(const QTemporaryDir &dir)
{
    writeLines(dir.filePath("reseau.iob"), mainLines());
    writeLines(dir.filePath("station_d.iob"), stationDLines());
    newcfg(dir.filePath("reseau.cfg"));
}

} // namespace

class TestEngineApi : public QObject
{
    Q_OBJECT

private slots:
    void versionFitsTheCodes();
    void newcfgWritesTheDefaultFile();
    void processingWritesReportAndResult();
    void failedProcessingLeavesNoStaleFiles_data();
    void failedProcessingLeavesNoStaleFiles();
    void outputsThatWouldReplaceAnInputAreRefused_data();
    void outputsThatWouldReplaceAnInputAreRefused();
    void reportThatCannotBeWrittenFailsTheRun();
    void oldOutputsThatCannotBeRemovedStopTheRun();
    void readOnlyFolderMarksTheOldResultAsFailed();
    void commandLineCountsTheHints_data();
    void commandLineCountsTheHints();
    void convertCommand_data();
    void convertCommand();
    void garbageNeverCrossesTheEntryPoints();
    void sharedLibraryExportsOnlyTheEntryPoints();
};

void TestEngineApi::versionFitsTheCodes()
{
    std::int32_t codes[23] = {};
    std::int32_t count = -1;
    tavlodll_version(codes, &count);
    QVERIFY(count > 0 && count <= 23);
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(codes[i]);
    QVERIFY(text.startsWith("Tavlo engine "));
    tavlodll_version(nullptr, &count);
    QCOMPARE(count, 0);
    tavlodll_version(codes, nullptr);
}

void TestEngineApi::newcfgWritesTheDefaultFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("neuf.cfg");
    newcfg(path);
    QCOMPARE(fileBytes(path),
             QByteArray::fromStdString(engine::defaultConfigurationText(engine::kLineEnd)));
    QVERIFY(!QFile::exists(path + ".tmp"));
    // A length beyond the text stops at its terminating NUL.
    const QByteArray other = dir.filePath("autre.cfg").toLatin1();
    const std::int32_t tooLong = other.size() + 50;
    tavlodll_newcfg(&tooLong, other.constData());
    QVERIFY(QFile::exists(dir.filePath("autre.cfg")));
}

void TestEngineApi::processingWritesReportAndResult()
{
    QTemporaryDir dir;
    const QString iob = dir.filePath("reseau.iob");
    const QString cfg = dir.filePath("reseau.cfg");
    writeLines(iob, mainLines());
    writeLines(dir.filePath("station_d.iob"), stationDLines());
    newcfg(cfg);
    process(iob, cfg);

    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.calculationType, QStringLiteral("AJUSTEMENT"));
    // 3 stations x 3 sightings x 3 observations, 2 directions and a height difference from D.
    QCOMPARE(result.observationCount, 30);
    QCOMPARE(result.unknownCount, 6 + 4);
    QCOMPARE(result.epochCount, 1);
    QVERIFY(result.iterationCount >= 2);
    QCOMPARE(result.observationFiles,
             QStringList({QDir::toNativeSeparators(iob),
                          QDir::toNativeSeparators(dir.filePath("station_d.iob"))}));
    QCOMPARE(result.logFile, QDir::toNativeSeparators(dir.filePath("reseau.log")));
    QCOMPARE(result.pointNames, QStringList({"A", "B", "C", "D"}));
    QCOMPARE(result.angleUnit, QStringLiteral("GRD"));
    QCOMPARE(result.observations.size(), 30);
    QCOMPARE(result.validObservationCount, 30);

    // Records in rank order, each pointing at its own record line.
    QStringList lines[2] = {
        QString::fromLatin1(fileBytes(iob)).split('\n'),
        QString::fromLatin1(fileBytes(dir.filePath("station_d.iob"))).split('\n')};
    const QStringList codes{"DIST", "DIR", "ZANG", "OHDF", "AZIM"};
    const QVector<FicObservation> &records = result.observations;
    for (int i = 0; i < records.size(); ++i) {
        const FicObservation &r = records[i];
        QCOMPARE(r.rank, i + 1);
        if (i > 0)
            QVERIFY(std::fabs(r.normalizedResidual) <=
                    std::fabs(records[i - 1].normalizedResidual));
        QVERIFY(r.fileNumber == 1 || r.fileNumber == 2);
        QVERIFY(codes.contains(r.typeLabel));
        const QString line = lines[r.fileNumber - 1].value(r.lineNumber - 1);
        QCOMPARE(line.mid(1, 4).trimmed(), r.typeLabel);
        QCOMPARE(line.mid(10, 12).trimmed(), r.station);
        QCOMPARE(line.mid(23, 12).trimmed(), r.target);
        QVERIFY(r.reliability >= 0.0 && r.reliability <= 100.0);
        QVERIFY(r.valid);
    }

    // The report: its residual section, then each rank's key in rank order.
    const QByteArray report = fileBytes(dir.filePath("reseau.log"));
    const int heading = report.indexOf("INFORMATION SUR LES RESIDUS");
    QVERIFY(heading > 0);
    int previous = heading;
    for (int rank = 1; rank <= 30; ++rank) {
        const QByteArray key = "#" + QByteArray::number(rank).rightJustified(11, ' ');
        const int at = report.indexOf(key, heading);
        QVERIFY2(at > previous, key.constData());
        previous = at;
    }
    QVERIFY(report.contains("Petit reseau"));
    QVERIFY(report.contains("TRAITEMENT TERMINE"));
    QVERIFY(!QFile::exists(dir.filePath("reseau.fic.tmp")));
    QVERIFY(!QFile::exists(dir.filePath("reseau.log.tmp")));
    // The default configuration asks for the drawing file.
    QVERIFY(QFile::exists(dir.filePath("reseau.drw")));
    QVERIFY(!QFile::exists(dir.filePath("reseau.drw.tmp")));
}

void TestEngineApi::failedProcessingLeavesNoStaleFiles_data()
{
    QTest::addColumn<QString>("extraLine");
    QTest::addColumn<bool>("configurationPresent");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown record code") << " QQQQ  x" << true << "inconnu";
    QTest::newRow("missing configuration") << "" << false << "configuration introuvable";
}

void TestEngineApi::failedProcessingLeavesNoStaleFiles()
{
    QFETCH(QString, extraLine);
    QFETCH(bool, configurationPresent);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString iob = dir.filePath("reseau.iob");
    const QString cfg = dir.filePath("reseau.cfg");
    std::vector<std::string> lines = mainLines();
    writeLines(dir.filePath("station_d.iob"), stationDLines());
    writeLines(iob, lines);
    newcfg(cfg);
    process(iob, cfg);
    QCOMPARE(readFic(dir.filePath("reseau.fic"), false).status, 0);
    // A drawing file of an earlier run, then a run that fails.
    writeLines(dir.filePath("reseau.drw"), {"old drawing"});
    if (!extraLine.isEmpty())
        lines.insert(lines.begin() + 3, extraLine.toStdString());
    writeLines(iob, lines);
    if (!configurationPresent)
        QVERIFY(QFile::remove(cfg));
    process(iob, cfg);

    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QCOMPARE(result.status, 1);
    QVERIFY(result.observations.isEmpty());
    QCOMPARE(result.logFile, QDir::toNativeSeparators(dir.filePath("reseau.log")));
    QVERIFY(!QFile::exists(dir.filePath("reseau.drw")));
    const QByteArray report = fileBytes(dir.filePath("reseau.log"));
    QVERIFY(report.contains("ERREUR"));
    QVERIFY(report.contains(message.toLatin1()));
    QVERIFY(report.contains("TRAITEMENT INTERROMPU"));
    if (!extraLine.isEmpty())
        QVERIFY(report.contains(", ligne 4)"));
}

void TestEngineApi::outputsThatWouldReplaceAnInputAreRefused_data()
{
    // The observation file, the file it includes and the configuration as the run names them;
    // `input` is the file that an output of the run would replace. A configuration given as
    // "link.cfg" is a symbolic link to `input`.
    QTest::addColumn<QString>("observations");
    QTest::addColumn<QString>("included");
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<QString>("input");
    QTest::newRow("observations named like the report") << "x.log"
                                                        << "station_d.iob"
                                                        << "reseau.cfg"
                                                        << "x.log";
    QTest::newRow("observations named like the result file") << "x.fic"
                                                             << "station_d.iob"
                                                             << "reseau.cfg"
                                                             << "x.fic";
    QTest::newRow("observations named like the drawing") << "x.drw"
                                                         << "station_d.iob"
                                                         << "reseau.cfg"
                                                         << "x.drw";
    QTest::newRow("included file named like the result file") << "x.iob"
                                                              << "x.fic"
                                                              << "reseau.cfg"
                                                              << "x.fic";
    QTest::newRow("configuration named like the report") << "x.iob"
                                                         << "station_d.iob"
                                                         << "x.log"
                                                         << "x.log";
    QTest::newRow("configuration reaching the report by a link") << "x.iob"
                                                                 << "station_d.iob"
                                                                 << "link.cfg"
                                                                 << "x.log";
}

void TestEngineApi::outputsThatWouldReplaceAnInputAreRefused()
{
    QFETCH(QString, observations);
    QFETCH(QString, included);
    QFETCH(QString, configuration);
    QFETCH(QString, input);
    QTemporaryDir dir;
    std::vector<std::string> lines = mainLines();
    lines.back() = "#include " + included.toStdString();
    writeLines(dir.filePath(observations), lines);
    writeLines(dir.filePath(included), stationDLines());
    if (configuration == "link.cfg") {
        newcfg(dir.filePath(input));
        QVERIFY(QFile::link(dir.filePath(input), dir.filePath(configuration)));
    } else {
        newcfg(dir.filePath(configuration));
    }
    const QByteArray before = fileBytes(dir.filePath(input));
    QVERIFY(!before.isEmpty());

    const engine::ProcessSummary summary = engine::processObservationFile(
        latin1(dir.filePath(observations)), latin1(dir.filePath(configuration)));
    QCOMPARE(fileBytes(dir.filePath(input)), before);
    QCOMPARE(summary.status, 1);
    const QString message = text(summary.message);
    QVERIFY2(message.contains(QString::fromUtf8("Traitement refusé")), qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(dir.filePath(input))), qPrintable(message));
    // The outputs that are not the input say why, and no drawing is left.
    const QString base = dir.filePath(QFileInfo(observations).completeBaseName());
    if (input != QFileInfo(base + ".fic").fileName())
        QCOMPARE(readFic(base + ".fic", false).status, 1);
    if (input != QFileInfo(base + ".log").fileName()) {
        const QByteArray report = fileBytes(base + ".log");
        QVERIFY(report.contains(QString::fromUtf8("Traitement refusé").toLatin1()));
        QVERIFY(lastWords(report).startsWith("TRAITEMENT INTERROMPU"));
    }
    if (input != QFileInfo(base + ".drw").fileName())
        QVERIFY(!QFile::exists(base + ".drw"));
}

void TestEngineApi::reportThatCannotBeWrittenFailsTheRun()
{
    QTemporaryDir dir;
    writeNetwork(dir);
    const std::string iob = latin1(dir.filePath("reseau.iob"));
    const std::string cfg = latin1(dir.filePath("reseau.cfg"));
    QCOMPARE(engine::processObservationFile(iob, cfg).status, 0);
    const qint64 resultSize = QFileInfo(dir.filePath("reseau.fic")).size();
    const qint64 reportSize = QFileInfo(dir.filePath("reseau.log")).size();
    const qint64 drawingSize = QFileInfo(dir.filePath("reseau.drw")).size();
    QVERIFY(drawingSize < resultSize && resultSize + 512 < reportSize);

    // A disk that takes the result file but not the report.
    engine::ProcessSummary summary;
    {
        FileSizeLimit limit(rlim_t(resultSize + 256));
        summary = engine::processObservationFile(iob, cfg);
    }
    QCOMPARE(summary.status, 1);
    QVERIFY(!summary.reportWritten);
    QVERIFY2(text(summary.message).contains(QString::fromUtf8("Le rapport ")) &&
                 text(summary.message).contains(QString::fromUtf8("n'a pas pu être écrit")),
             summary.message.c_str());
    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QCOMPARE(result.status, 1);
    QVERIFY(result.observations.isEmpty());
    // Neither the previous run's report nor this run's drawing is left to be taken for its own.
    QVERIFY(!QFile::exists(dir.filePath("reseau.log")));
    QVERIFY(!QFile::exists(dir.filePath("reseau.drw")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"reseau.cfg", "reseau.fic", "reseau.iob", "station_d.iob"}));
}

void TestEngineApi::oldOutputsThatCannotBeRemovedStopTheRun()
{
    QTemporaryDir dir;
    writeNetwork(dir);
    QVERIFY(QDir(dir.path()).mkpath("reseau.log/notes"));
    const QString iob = dir.filePath("reseau.iob");
    const QString cfg = dir.filePath("reseau.cfg");

    const engine::ProcessSummary summary = engine::processObservationFile(latin1(iob), latin1(cfg));
    QCOMPARE(summary.status, 1);
    QCOMPARE(summary.iterations, 0);
    QVERIFY(!summary.reportWritten);
    QVERIFY(text(summary.message).contains(QString::fromUtf8("n'a pas pu être supprimé")));
    QVERIFY(QFileInfo(dir.filePath("reseau.log/notes")).isDir());
    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QCOMPARE(result.status, 1);
    QVERIFY(result.observations.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath("reseau.drw")));

    // The command-line tool says why on stderr, and fails.
    QProcess tool;
    tool.start(QStringLiteral(TAVLO_ENGINE_TOOL), {"process", iob, cfg});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 1);
    const QString errors = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY2(errors.contains(QString::fromUtf8("n'a pas pu être supprimé")), qPrintable(errors));
    QVERIFY(QString::fromUtf8(tool.readAllStandardOutput())
                .contains(QString::fromUtf8("ECHEC (rapport non écrit)")));
}

void TestEngineApi::readOnlyFolderMarksTheOldResultAsFailed()
{
    // A successful run, then a folder that can no longer be written to, where an earlier run's
    // files stay writable. The run must fail before computing and its old result must not pass
    // for this run's. Permissions do not bind root: the run then takes place in a child process
    // under another user.
    QTemporaryDir dir;
    writeNetwork(dir);
    const std::string iob = latin1(dir.filePath("reseau.iob"));
    const std::string cfg = latin1(dir.filePath("reseau.cfg"));
    QCOMPARE(engine::processObservationFile(iob, cfg).status, 0);
    const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                          QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    for (const char *name : {"reseau.log", "reseau.fic", "reseau.drw"})
        QVERIFY(QFile::setPermissions(dir.filePath(name), writable));
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(dir.path(), readOnly));

    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        const engine::ProcessSummary summary = engine::processObservationFile(iob, cfg);
        const bool told =
            summary.message.find(engine::fr("n'a pas pu être supprimé")) != std::string::npos;
        _exit(summary.status == 1 && told ? 0 : 2);
    }
    int status = -1;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(QFile::setPermissions(dir.path(), readOnly | QFile::WriteOwner));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        QSKIP("cannot run as another user");
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QCOMPARE(result.status, 1);
    QVERIFY(result.observations.isEmpty());
    const QByteArray report = fileBytes(dir.filePath("reseau.log"));
    QVERIFY(report.contains(QString::fromUtf8("n'a pas pu être supprimé").toLatin1()));
    QVERIFY(lastWords(report).startsWith("TRAITEMENT INTERROMPU"));
    QCOMPARE(QFileInfo(dir.filePath("reseau.drw")).size(), qint64(0));
}

void TestEngineApi::commandLineCountsTheHints_data()
{
    QTest::addColumn<bool>("centimetres");
    QTest::addColumn<QString>("count");

    QTest::newRow("honest") << false << "indices 0";
    QTest::newRow("a distance in cm marked m") << true << "indices 1";
}

void TestEngineApi::commandLineCountsTheHints()
{
    QFETCH(bool, centimetres);
    QFETCH(QString, count);

    QTemporaryDir dir;
    writeNetwork(dir);
    if (centimetres) {
        std::vector<std::string> lines = mainLines();
        const auto first = std::find_if(lines.begin(), lines.end(), [](const std::string &line) {
            return line.rfind(" DIST", 0) == 0;
        });
        QVERIFY(first != lines.end());
        *first = dist("DIS", "A", "B", 100.0 * std::hypot(300.0, 2.0), "", "m ");
        writeLines(dir.filePath("reseau.iob"), lines);
    }
    QProcess tool;
    tool.start(QStringLiteral(TAVLO_ENGINE_TOOL),
               {"process", dir.filePath("reseau.iob"), dir.filePath("reseau.cfg")});
    QVERIFY(tool.waitForFinished(60000));
    const QString line = QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    QVERIFY2(line.endsWith("  " + count), qPrintable(line));
}

void TestEngineApi::convertCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    // At the origin of a transverse Mercator: its false northing and easting, the scale factor of
    // its central meridian, no convergence.
    QTest::newRow("origin of the projection")
        << QStringList{"PLHD", "NEH:UTM32", "N46", "E6", "620"} << QString() << 0
        << "100000.00000 500000.00000 620.00000 0.9996000000 0.000000000";
    QTest::newRow("geographic in degrees, minutes and seconds")
        << QStringList{"PLHD", "PLH", "N46.5", "W0.25", "12.5"} << QString() << 0
        << QString::fromUtf8("N 46 30  0.000000  W 0 15  0.000000  12.50000");
    // One point a line of the standard input; blank lines are skipped.
    QTest::newRow("standard input")
        << QStringList{"NEH:UTM32", "NEH:UTM32"} << "100000 500000 620\n\n102000.5 501000.25 7\n"
        << 0
        << "100000.00000 500000.00000 620.00000 0.9996000000 0.000000000\n"
           "102000.50000 501000.25000 7.00000";
    QTest::newRow("projection the file does not define")
        << QStringList{"PLHD", "NEH:LAMB93", "N46", "E6", "0"} << QString() << 1 << QString();
    QTest::newRow("altitude without a grid")
        << QStringList{"PLOD", "XYZ", "N46", "E6", "0"} << QString() << 1 << QString();
    QTest::newRow("unknown form") << QStringList{"ABC", "XYZ", "1", "2", "3"} << QString() << 2
                                  << QString();
}

void TestEngineApi::convertCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, input);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const QString definitions = dir.filePath("defs.iob");
    QFile file(definitions);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(" TMER UTM32   E6 00   N46 00  100000.0     500000.0     0.9996       m\n");
    file.close();
    QProcess tool;
    tool.start(QStringLiteral(TAVLO_ENGINE_TOOL), QStringList{"convert", definitions} + arguments);
    QVERIFY(tool.waitForStarted());
    tool.write(input.toUtf8());
    tool.closeWriteChannel();
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), exitCode);
    if (exitCode == 0) {
        // Each line as expected, as far as the expectation goes.
        const QStringList lines =
            QString::fromUtf8(tool.readAllStandardOutput()).trimmed().split('\n');
        const QStringList expected = output.split('\n');
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(expected[i]), qPrintable(lines[i]));
    } else {
        QVERIFY(!tool.readAllStandardError().isEmpty());
    }
}

void TestEngineApi::garbageNeverCrossesTheEntryPoints()
{
    QTemporaryDir dir;
    // A relative path lands in the current folder: make that the temporary one.
    const QString previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const std::int32_t negative = -5;
    const std::int32_t huge = 1 << 30;
    const char text[] = "x";
    tavlodll_process(nullptr, nullptr, nullptr, nullptr);
    tavlodll_process(&negative, &negative, text, text);
    tavlodll_process(&huge, &huge, text, text);
    tavlodll_newcfg(nullptr, nullptr);
    tavlodll_newcfg(&negative, text);
    tavlodll_convert(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    tavlodll_geoid(nullptr, nullptr, nullptr, nullptr);

    // A binary file as observations and as configuration.
    const QString junk = dir.filePath("junk.iob");
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char((i * 7919) % 256));
    bytes.append("\n LENU 000 Z  1e308 1e308 nan\n DIST     Z Z 1 1\n#include junk.iob\n");
    file.write(bytes);
    file.close();
    process(junk, junk);
    QCOMPARE(readFic(dir.filePath("junk.fic"), false).status, 1);
    // A folder given as the observation file: nothing to read, a failed result beside it.
    process(dir.path() + "/sub/", dir.filePath("junk.iob"));
    process(dir.filePath("absent.iob"), dir.filePath("absent.cfg"));
    QCOMPARE(readFic(dir.filePath("absent.fic"), false).status, 1);
    // Convert and geoid write nothing for an input that cannot be read.
    const QByteArray out = dir.filePath("out.iob").toLatin1();
    const std::int32_t kind = 4;
    const std::int32_t length = out.size();
    tavlodll_convert(&kind, &length, &length, &length, out.constData(), out.constData(),
                     out.constData());
    tavlodll_geoid(&length, &length, out.constData(), out.constData());
    QVERIFY(!QFile::exists(dir.filePath("out.iob")));
    // The text "x" with a length beyond it named the relative file x.iob.
    QCOMPARE(readFic(dir.filePath("x.fic"), false).status, 1);
    QVERIFY(QDir::setCurrent(previousFolder));
}

void TestEngineApi::sharedLibraryExportsOnlyTheEntryPoints()
{
    QLibrary library(QStringLiteral(TAVLO_ENGINE_LIBRARY));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    for (const char *name : {"tavlodll_process", "tavlodll_convert", "tavlodll_geoid",
                             "tavlodll_newcfg", "tavlodll_version"})
        QVERIFY2(library.resolve(name), name);
    // engine::normalQuantile(double): internal, so hidden.
    QVERIFY(!library.resolve("_ZN6engine14normalQuantileEd"));
    using Version = void (*)(std::int32_t *, std::int32_t *);
    auto version = reinterpret_cast<Version>(library.resolve("tavlodll_version"));
    std::int32_t codes[23] = {};
    std::int32_t count = 0;
    version(codes, &count);
    QCOMPARE(count, std::int32_t(std::strlen(engine::kEngineVersion)));
    library.unload();
}

QTEST_GUILESS_MAIN(TestEngineApi)
#include "tst_engineapi.moc"
