#include "dialogbuttons.h"
#include "enginelibrary.h"
#include "ficreader.h"
#include "frmbilancalcul.h"
#include "frmresult.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "scriptedprompter.h"
#include "sharedhelpers.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

// The real engine, loaded by the workbench's own loader, on the sample network: the run writes a
// report and a result file; the summary reads the result as "OK"; every observation of the
// result file points at its own record line and at its own entry of the report's residual
// section.
class tst_EngineEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void versionAndNewConfiguration();
    void sampleRunIsOkAndJumpsToTheRightLines_data();
    void sampleRunIsOkAndJumpsToTheRightLines();
    void workbenchRunShowsOkAndJumps();

private:
    QTemporaryDir m_dir;
};

void tst_EngineEndToEnd::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true); // keep the window geometry out of the user's store
    qputenv("TAVLO_ENGINE", QFile::encodeName(QStringLiteral(TAVLO_ENGINE_LIBRARY)));
    const QDir samples(QStringLiteral(TAVLO_SAMPLES_DIR));
    const QStringList names = samples.entryList({"*.iob", "*.cfg"}, QDir::Files);
    QVERIFY(names.contains("reseau.iob"));
    for (const QString &name : names)
        QVERIFY(QFile::copy(samples.filePath(name), m_dir.filePath(name)));
}

void tst_EngineEndToEnd::cleanupTestCase()
{
    qunsetenv("TAVLO_ENGINE");
}

void tst_EngineEndToEnd::versionAndNewConfiguration()
{
    QVERIFY(EngineLibrary::engineVersion().startsWith("Tavlo engine "));
    const QString cfg = m_dir.filePath("nouveau.cfg");
    QVERIFY(EngineLibrary::runEngineNewCfg(cfg));
    QFile file(cfg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("# Fichier de configuration de Tavlo"));
}

void tst_EngineEndToEnd::sampleRunIsOkAndJumpsToTheRightLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("files");
    // The local network includes its levelling; the geodetic one holds a GNSS position.
    QTest::newRow("local network") << "reseau" << 2;
    QTest::newRow("network on the ellipsoid") << "ellipsoide" << 1;
}

void tst_EngineEndToEnd::sampleRunIsOkAndJumpsToTheRightLines()
{
    QFETCH(QString, name);
    QFETCH(int, files);
    const QString iob = m_dir.filePath(name + ".iob");
    QVERIFY(EngineLibrary::runEngineProcess(iob, m_dir.filePath(name + ".cfg")));

    frmBilanCalcul summary({iob});
    const auto *table = summary.findChild<QTableWidget *>();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 1)->text(), QString("OK"));
    QCOMPARE(table->item(0, 2)->text(), QString("AJUSTEMENT"));

    const FicResult result = readFic(m_dir.filePath(name + ".fic"), true);
    QCOMPARE(result.status, 0);
    QVERIFY(result.observationCount > 50);
    QCOMPARE(result.observations.size(), result.observationCount);
    QCOMPARE(result.chiSquareResult,
             ChiSquareOutcome::Passed); // the samples' noise is at their stated precisions
    QVERIFY(QFile::exists(result.logFile));
    QCOMPARE(result.observationFiles.size(), files);
    QStringList lines[2];
    for (int f = 0; f < files; ++f) {
        QFile file(result.observationFiles[f]);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(result.observationFiles[f]));
        lines[f] = QString::fromLatin1(file.readAll()).split('\n');
    }
    QFile logFile(result.logFile);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QString report = QString::fromLatin1(logFile.readAll());
    const int heading = report.indexOf("INFORMATION SUR LES RESIDUS");
    QVERIFY(heading > 0);

    for (int row = 0; row < result.observations.size(); ++row) {
        const FicObservation &o = result.observations[row];
        QCOMPARE(o.rank, row + 1);
        QVERIFY(o.fileNumber >= 1 && o.fileNumber <= files);
        // What "Voir dans le IOB..." selects: line `lineNumber` of the observation's file.
        const QString line = lines[o.fileNumber - 1].value(o.lineNumber - 1);
        // A component of an observed position ("X") lands on its coordinate line ("XYZ").
        const QString code = line.mid(1, 4).trimmed();
        QVERIFY2(code == o.typeLabel || (o.typeLabel.size() == 1 && code.contains(o.typeLabel)),
                 qPrintable(line));
        QCOMPARE(line.mid(10, 12).trimmed(), o.station);
        if (o.target != o.station) // an observed position names its point once
            QCOMPARE(line.mid(23, 12).trimmed(), o.target);
        // What "Voir dans le LOG..." finds: "#" and the row plus 1 right-aligned in 11
        // characters, after the heading, introducing this very observation.
        const QString key = "#" + QString::number(row + 1).rightJustified(11, ' ');
        const int at = report.indexOf(key, heading);
        QVERIFY2(at > heading, qPrintable(key));
        const QString entry = report.mid(at, report.indexOf('\n', at) - at);
        QVERIFY2(entry.contains(o.station + " ") && entry.contains(o.target + " "),
                 qPrintable(entry));
        QVERIFY2(entry.contains(QString("fichier %1 ligne %2").arg(o.fileNumber).arg(o.lineNumber)),
                 qPrintable(entry));
    }
}

template <typename Window> static Window *topLevel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<Window *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

static void click(QWidget *window, const QString &text)
{
    button(*window, text)->click();
}

void tst_EngineEndToEnd::workbenchRunShowsOkAndJumps()
{
    // A run as the user makes it: the processing run of the main window, "Plus d'infos" in the
    // summary, then "Voir dans le LOG..." and "Voir dans le IOB..." in the residual window.
    QTemporaryDir dir;
    for (const QString &name : QDir(m_dir.path()).entryList({"*.iob", "*.cfg"}, QDir::Files))
        QVERIFY(QFile::copy(m_dir.filePath(name), dir.filePath(name)));
    const QString iob = dir.filePath("reseau.iob");
    ScriptedPrompter prompter;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.majLastProcessed({iob}, dir.filePath("reseau.cfg"));
    window.afterProcess();
    QVERIFY(prompter.messages.isEmpty());

    frmBilanCalcul *summary = topLevel<frmBilanCalcul>();
    QVERIFY(summary);
    QCOMPARE(summary->findChild<QTableWidget *>()->item(0, 1)->text(), QString("OK"));
    click(summary, QStringLiteral("Plus d'infos"));
    frmResult *residuals = topLevel<frmResult>();
    QVERIFY(residuals);
    auto *list = residuals->findChild<QListWidget *>();
    QVERIFY(list);

    const FicResult result = readFic(siblingPath(iob, ".fic"), true);
    QCOMPARE(list->count(), result.observationCount);
    // The first rows, and the first observation of the included levelling file.
    QList<int> rows{0, 1, 2};
    for (int row = 0; row < result.observations.size(); ++row) {
        if (result.observations[row].fileNumber == 2) {
            rows << row;
            break;
        }
    }
    QCOMPARE(rows.size(), 4);
    for (int row : rows) {
        const FicObservation &o = result.observations[row];
        list->setCurrentRow(row);
        click(residuals, QStringLiteral("Voir dans le LOG..."));
        MdiChild *log = window.activeMdiChild();
        QVERIFY(log);
        QCOMPARE(QFileInfo(log->currentFile()).fileName(), QString("reseau.log"));
        const QTextCursor key = log->textCursor();
        QCOMPARE(key.selectedText(), "#" + QString::number(row + 1).rightJustified(11, ' '));
        QVERIFY2(key.block().text().contains(
                     QString("fichier %1 ligne %2").arg(o.fileNumber).arg(o.lineNumber)),
                 qPrintable(key.block().text()));

        click(residuals, QStringLiteral("Voir dans le IOB..."));
        MdiChild *observations = window.activeMdiChild();
        QVERIFY(observations);
        QCOMPARE(QFileInfo(observations->currentFile()).fileName(),
                 QString(o.fileNumber == 1 ? "reseau.iob" : "nivellement.iob"));
        const QTextCursor line = observations->textCursor();
        QCOMPARE(line.block().blockNumber() + 1, o.lineNumber);
        QCOMPARE(line.selectedText(), line.block().text());
        QCOMPARE(line.block().text().mid(1, 4).trimmed(), o.typeLabel);
        QCOMPARE(line.block().text().mid(10, 12).trimmed(), o.station);
        QCOMPARE(line.block().text().mid(23, 12).trimmed(), o.target);
    }
    residuals->close();
    for (QMdiSubWindow *sub : window.findChildren<QMdiSubWindow *>())
        qobject_cast<MdiChild *>(sub->widget())->document()->setModified(false);
}

QTEST_MAIN(tst_EngineEndToEnd)
#include "tst_engineendtoend.moc"
