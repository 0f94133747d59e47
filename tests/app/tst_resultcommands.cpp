#include "ficwriter.h"
#include "frmresult.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "scriptedprompter.h"
#include "sharedhelpers.h"

#include <QAction>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBlock>
#include <QtTest>

namespace {

const QString kHeading = QStringLiteral("INFORMATION SUR LES RESIDUS");

// A report whose residual section lists observations 5, 7, 17 and 12345; "#" and 7 also appear
// before the section, where the search must not stop.
const char kReport[] = "RAPPORT DE CALCUL\n"
                       "#          7 mentionne avant la section\n"
                       "\n"
                       "INFORMATION SUR LES RESIDUS\n"
                       "#         17 DIST  S1  P2   1.20\n"
                       "#          5 DIR   S1  P3  -0.40\n"
                       "#          7 ZANG  S1  P2   0.80\n"
                       "#      12345 DIST  S2  P4   0.10\n"
                       "#          7 repete plus bas\n";

const char kObservations[] = "* reseau\n"
                             "DIST S1 P2 120.4521\n"
                             "DIR S1 P3 12.3456\n"
                             "ZANG S1 P2 99.8765\n";

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

QList<frmResult *> residualWindows()
{
    QList<frmResult *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == QStringLiteral("Résultat de traitement")) {
            if (auto *window = qobject_cast<frmResult *>(widget))
                windows.append(window);
        }
    }
    return windows;
}

void triggerShowResults(MainWindow &window)
{
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("Afficher Résultats")) {
            action->trigger();
            return;
        }
    }
    qFatal("no action Afficher Résultats");
}

// Sub-windows are activated only in a main window on screen, as in use.
void showWindow(MainWindow &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("main window not shown");
}

QString statusText(MainWindow &window)
{
    return window.statusBar()->currentMessage();
}

int editorCount(MainWindow &window)
{
    return window.findChild<QMdiArea *>()->subWindowList().size();
}

} // namespace

class tst_ResultCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void gotoLogWithoutResidualSection();
    void gotoLogSelectsKey_data();
    void gotoLogSelectsKey();
    void gotoLogKeyMissingStaysAtHeading();
    void gotoLogReusesOpenEditor();
    void gotoLogEmptyPath();
    void gotoIob_data();
    void gotoIob();
    void gotoIobMissingFile();
    void showResultsTwiceOneWindow();
    void showResultsWithoutResultFile();
    void showResultsWithoutEditor();
    void goShowLog();
    void goShowLogMissingReport();
    void goShowFic();
    void summaryIndexOutsideListIgnored_data();
    void summaryIndexOutsideListIgnored();
    void residualWindowJumps();
};

void tst_ResultCommands::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_ResultCommands::cleanup()
{
    for (frmResult *window : residualWindows())
        window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_ResultCommands::gotoLogWithoutResidualSection()
{
    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("net.log"), "RAPPORT\n#          7\nFIN\n");
    MainWindow window;
    showWindow(window);
    window.gotoLog(log, 7);

    MdiChild *child = window.activeMdiChild();
    QVERIFY(child);
    QCOMPARE(child->currentFile(), QFileInfo(log).canonicalFilePath());
    QCOMPARE(statusText(window),
             QStringLiteral("Le fichier LOG ne contient pas les valeurs des résidus (revoir "
                            "fichier CFG utilisé)"));
    QCOMPARE(child->textCursor().position(), 0);
    QVERIFY(!child->textCursor().hasSelection());
}

void tst_ResultCommands::gotoLogSelectsKey_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("lineAfterKey");

    QTest::newRow("7, first after the heading")
        << 7 << QStringLiteral("#          7") << QStringLiteral(" ZANG  S1  P2   0.80");
    QTest::newRow("17") << 17 << QStringLiteral("#         17")
                        << QStringLiteral(" DIST  S1  P2   1.20");
    QTest::newRow("12345") << 12345 << QStringLiteral("#      12345")
                           << QStringLiteral(" DIST  S2  P4   0.10");
}

void tst_ResultCommands::gotoLogSelectsKey()
{
    QFETCH(int, line);
    QFETCH(QString, key);
    QFETCH(QString, lineAfterKey);

    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("net.log"), kReport);
    MainWindow window;
    showWindow(window);
    window.gotoLog(log, line);

    MdiChild *child = window.activeMdiChild();
    QVERIFY(child);
    const QTextCursor cursor = child->textCursor();
    QCOMPARE(cursor.selectedText(), key);
    QCOMPARE(cursor.block().text(), key + lineAfterKey);
    QVERIFY(cursor.selectionStart() > child->toPlainText().indexOf(kHeading));
    QCOMPARE(statusText(window), QStringLiteral("Fichier LOG chargé"));
}

void tst_ResultCommands::gotoLogKeyMissingStaysAtHeading()
{
    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("net.log"), kReport);
    MainWindow window;
    showWindow(window);
    window.gotoLog(log, 8);
    const QTextCursor cursor = window.activeMdiChild()->textCursor();
    QCOMPARE(cursor.selectedText(), kHeading);
    QCOMPARE(cursor.block().blockNumber(), 3);
}

void tst_ResultCommands::gotoLogReusesOpenEditor()
{
    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("net.log"), kReport);
    const QString other = writeFile(dir, QStringLiteral("other.iob"), kObservations);
    MainWindow window;
    showWindow(window);
    QVERIFY(window.openFile(log));
    QVERIFY(window.openFile(other));
    window.statusBar()->clearMessage();

    window.gotoLog(log, 5);
    QCOMPARE(editorCount(window), 2);
    QCOMPARE(window.activeMdiChild()->currentFile(), QFileInfo(log).canonicalFilePath());
    QCOMPARE(window.activeMdiChild()->textCursor().selectedText(), QStringLiteral("#          5"));
    QCOMPARE(statusText(window), QString());
}

void tst_ResultCommands::gotoLogEmptyPath()
{
    ScriptedPrompter prompter;
    MainWindow window;
    showWindow(window);
    window.gotoLog(QString(), 3);
    window.gotoIob(QString(), 3);
    QCOMPARE(editorCount(window), 0);
    QCOMPARE(prompter.messages.size(), 0);
}

void tst_ResultCommands::gotoIob_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("selected");

    QTest::newRow("line 1") << 1 << QStringLiteral("* reseau");
    QTest::newRow("line 3") << 3 << QStringLiteral("DIR S1 P3 12.3456");
    QTest::newRow("last line") << 4 << QStringLiteral("ZANG S1 P2 99.8765");
    // The file ends with a line end: the document's last line is the empty one after it.
    QTest::newRow("past the end") << 40 << QString();
    QTest::newRow("line 0") << 0 << QStringLiteral("* reseau");
}

void tst_ResultCommands::gotoIob()
{
    QFETCH(int, line);
    QFETCH(QString, selected);

    QTemporaryDir dir;
    const QString iob = writeFile(dir, QStringLiteral("net.iob"), kObservations);
    MainWindow window;
    showWindow(window);
    window.gotoIob(iob, line);

    MdiChild *child = window.activeMdiChild();
    QVERIFY(child);
    const QTextCursor cursor = child->textCursor();
    QCOMPARE(cursor.selectedText(), selected);
    QCOMPARE(cursor.selectionStart(), cursor.block().position());
    QCOMPARE(cursor.selectionEnd(), cursor.block().position() + cursor.block().length() - 1);
    if (line > 4)
        QCOMPARE(cursor.block().next().isValid(), false);
    QCOMPARE(statusText(window), QStringLiteral("Fichier IOB chargé"));
}

void tst_ResultCommands::gotoIobMissingFile()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    MainWindow window;
    showWindow(window);
    window.gotoIob(dir.filePath(QStringLiteral("absent.iob")), 2);
    QCOMPARE(editorCount(window), 0);
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
    QVERIFY(statusText(window) != QStringLiteral("Fichier IOB chargé"));
}

void tst_ResultCommands::showResultsTwiceOneWindow()
{
    QTemporaryDir dir;
    const QString iob = writeFile(dir, QStringLiteral("net.iob"), kObservations);
    const QString fic = siblingPath(iob, QStringLiteral(".fic"));
    QVERIFY(FicWriter::sample(3).write(fic));
    MainWindow window;
    showWindow(window);
    QVERIFY(window.openFile(iob));

    triggerShowResults(window);
    QCOMPARE(residualWindows().size(), 1);
    frmResult *first = residualWindows().first();
    QVERIFY(first->isVisible());
    QCOMPARE(first->result().observationCount, 3);

    first->hide();
    QVERIFY(FicWriter::sample(5).write(fic));
    triggerShowResults(window);
    QCOMPARE(residualWindows().size(), 1);
    QCOMPARE(residualWindows().first(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->result().observationCount, 5);
    QCOMPARE(first->findChild<QListWidget *>()->count(), 5);

    // Once closed, the window is made anew.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(residualWindows().size(), 0);
    triggerShowResults(window);
    QCOMPARE(residualWindows().size(), 1);
    QCOMPARE(residualWindows().first()->result().observationCount, 5);
}

void tst_ResultCommands::showResultsWithoutResultFile()
{
    QTemporaryDir dir;
    const QString iob = writeFile(dir, QStringLiteral("net.iob"), kObservations);
    MainWindow window;
    showWindow(window);
    QVERIFY(window.openFile(iob));
    triggerShowResults(window);
    QCOMPARE(residualWindows().size(), 0);
    QCOMPARE(statusText(window), QStringLiteral("Fichier FIC ") +
                                     siblingPath(iob, QStringLiteral(".fic")) +
                                     QStringLiteral(" inexistant"));
}

void tst_ResultCommands::showResultsWithoutEditor()
{
    MainWindow window;
    showWindow(window);
    window.statusBar()->clearMessage();
    triggerShowResults(window);
    QCOMPARE(residualWindows().size(), 0);
    QCOMPARE(statusText(window), QString());
}

void tst_ResultCommands::goShowLog()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("a.iob"), kObservations);
    const QString second = writeFile(dir, QStringLiteral("b.obs.iob"), kObservations);
    const QString log = writeFile(dir, QStringLiteral("b.obs.log"), kReport);
    MainWindow window;
    showWindow(window);
    window.majLastProcessed({first, second}, dir.filePath(QStringLiteral("run.cfg")));

    window.goShowLog(1);
    QCOMPARE(editorCount(window), 1);
    QCOMPARE(window.activeMdiChild()->currentFile(), QFileInfo(log).canonicalFilePath());
    QCOMPARE(statusText(window), QStringLiteral("Fichier LOG charge"));

    // Asked again while another editor is active: the report's editor comes back.
    QVERIFY(window.openFile(first));
    window.statusBar()->clearMessage();
    window.goShowLog(1);
    QCOMPARE(editorCount(window), 2);
    QCOMPARE(window.activeMdiChild()->currentFile(), QFileInfo(log).canonicalFilePath());
    QCOMPARE(statusText(window), QString());
}

void tst_ResultCommands::goShowLogMissingReport()
{
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    const QString iob = writeFile(dir, QStringLiteral("a.iob"), kObservations);
    MainWindow window;
    showWindow(window);
    window.majLastProcessed({iob}, QString());
    window.statusBar()->clearMessage();
    window.goShowLog(0);
    QCOMPARE(editorCount(window), 0);
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
    QCOMPARE(statusText(window), QString());
}

void tst_ResultCommands::goShowFic()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("a.iob"), kObservations);
    const QString second = writeFile(dir, QStringLiteral("b.iob"), kObservations);
    const QString fic = siblingPath(second, QStringLiteral(".fic"));
    QVERIFY(FicWriter::sample(4).write(fic));
    MainWindow window;
    showWindow(window);
    window.majLastProcessed({first, second}, QString());

    // No result file beside the first: nothing at all.
    window.goShowFic(0);
    QCOMPARE(residualWindows().size(), 0);

    window.goShowFic(1);
    QCOMPARE(residualWindows().size(), 1);
    QCOMPARE(residualWindows().first()->result().observationCount, 4);
    QCOMPARE(residualWindows().first()->result().fileName, QStringLiteral("b.fic"));
    QCOMPARE(editorCount(window), 0);
}

void tst_ResultCommands::summaryIndexOutsideListIgnored_data()
{
    QTest::addColumn<int>("index");

    QTest::newRow("negative") << -1;
    QTest::newRow("just past the list") << 2;
    QTest::newRow("far past") << 1000;
}

void tst_ResultCommands::summaryIndexOutsideListIgnored()
{
    QFETCH(int, index);

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    // Both files have their report and result file: only the index can stop the commands.
    QList<QString> files;
    for (const QString &name : {QStringLiteral("a.iob"), QStringLiteral("b.iob")}) {
        files.append(writeFile(dir, name, kObservations));
        writeFile(dir, QFileInfo(name).completeBaseName() + QStringLiteral(".log"), kReport);
        QVERIFY(FicWriter::sample(2).write(siblingPath(files.last(), QStringLiteral(".fic"))));
    }
    MainWindow window;
    showWindow(window);
    window.majLastProcessed(files, QString());
    window.goShowLog(index);
    window.goShowFic(index);
    QCOMPARE(editorCount(window), 0);
    QCOMPARE(residualWindows().size(), 0);
    QCOMPARE(prompter.messages.size(), 0);
}

void tst_ResultCommands::residualWindowJumps()
{
    QTemporaryDir dir;
    const QString iob = writeFile(dir, QStringLiteral("net.iob"), kObservations);
    const QString log = writeFile(dir, QStringLiteral("net.log"), kReport);
    FicWriter writer = FicWriter::sample(6);
    writer.logFile = log;
    writer.observationFiles = QStringList{iob};
    writer.records[4].lineNumber = 3;
    QVERIFY(writer.write(siblingPath(iob, QStringLiteral(".fic"))));

    MainWindow window;
    showWindow(window);
    QVERIFY(window.openFile(iob));
    triggerShowResults(window);
    frmResult *results = residualWindows().value(0);
    QVERIFY(results);
    results->findChild<QListWidget *>()->setCurrentRow(4);

    results->findChild<QPushButton *>(QStringLiteral("goLog"))->click();
    QCOMPARE(window.activeMdiChild()->currentFile(), QFileInfo(log).canonicalFilePath());
    QCOMPARE(window.activeMdiChild()->textCursor().selectedText(), QStringLiteral("#          5"));

    results->findChild<QPushButton *>(QStringLiteral("goIob"))->click();
    QCOMPARE(editorCount(window), 2);
    QCOMPARE(window.activeMdiChild()->currentFile(), QFileInfo(iob).canonicalFilePath());
    QCOMPARE(window.activeMdiChild()->textCursor().selectedText(),
             QStringLiteral("DIR S1 P3 12.3456"));
}

QTEST_MAIN(tst_ResultCommands)
#include "tst_resultcommands.moc"
