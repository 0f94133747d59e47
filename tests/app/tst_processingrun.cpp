#include "dialogbuttons.h"
#include "enginelibrary.h"
#include "ficwriter.h"
#include "frmbilancalcul.h"
#include "frmtraitement.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "recordingengine.h"
#include "scriptedprompter.h"
#include "sharedhelpers.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

// A processing run from the main window: the launcher pre-filled with the previous run, the
// files dropped, the save question, one engine call per file, and the summary of the outcome.
class tst_ProcessingRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstLauncherIsEmpty();
    void previousRunPrefilled();
    void previousRunKeptAcrossRestarts();
    void fileAddedTwice();
    void missingFilesDropped();
    void cancelChangesNothing();
    void saveQuestion_data();
    void saveQuestion();
    void unmodifiedEditorAsksNothing();
    void endToEndSummary();
    void earlierResultNotShownAsThisRuns();
    void newRunClosesEarlierSummary();

private:
    QString observationFile(const QString &name);
    frmTraitement *openLauncher();
    // Opens the launcher, sets its list and configuration, and launches the run.
    void run(const QStringList &files, const QString &configuration);
    QList<frmBilanCalcul *> summaries() const;
    // The observation files handed to the engine, in call order.
    QStringList processedFiles() const;

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_configuration;
    QTemporaryDir m_settings;
};

namespace {

QStringList rowStates(const frmBilanCalcul *summary)
{
    const QTableWidget *table = summary->findChild<QTableWidget *>();
    QStringList states;
    for (int row = 0; row < table->rowCount(); ++row)
        states.append(table->item(row, 0)->text() + QLatin1Char(' ') + table->item(row, 1)->text());
    return states;
}

} // namespace

void tst_ProcessingRun::initTestCase()
{
    // The last run is kept in the settings store: each test starts from an empty one of its own.
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
}

void tst_ProcessingRun::init()
{
    QSettings(QStringLiteral("Tavlo"), QStringLiteral("Brevil/Lumo")).clear();
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_engine = std::make_unique<RecordingEngine>();
    QVERIFY(m_engine->isValid());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_configuration = m_dir->filePath(QStringLiteral("run.cfg"));
    m_window = std::make_unique<MainWindow>();
    m_window->show();
}

void tst_ProcessingRun::cleanup()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmBilanCalcul *>(window) || qobject_cast<frmTraitement *>(window))
            delete window;
    }
    for (QMdiSubWindow *window : m_window->findChildren<QMdiSubWindow *>()) {
        if (auto *child = qobject_cast<MdiChild *>(window->widget()))
            child->document()->setModified(false);
    }
    m_window.reset();
    m_engine.reset();
    m_prompter.reset();
}

QString tst_ProcessingRun::observationFile(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(" DIST S1 P1 P2 12.5\n") < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

frmTraitement *tst_ProcessingRun::openLauncher()
{
    for (QAction *action : m_window->findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("Lancer le traitement...")) {
            action->trigger();
            break;
        }
    }
    frmTraitement *found = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *launcher = qobject_cast<frmTraitement *>(window);
        if (launcher && launcher->isVisible()) {
            if (found)
                qFatal("two launchers");
            found = launcher;
        }
    }
    return found;
}

void tst_ProcessingRun::run(const QStringList &files, const QString &configuration)
{
    frmTraitement *launcher = openLauncher();
    QVERIFY(launcher);
    QVERIFY(!launcher->parent());
    m_prompter->files.enqueue(files);
    launcher->selectIOB();
    launcher->findChild<QLineEdit *>()->setText(configuration);
    QPointer<frmTraitement> guard(launcher);
    button(*launcher, QStringLiteral("Lancer le traitement"))->click();
    QVERIFY(guard.isNull() || !guard->isVisible());
}

QList<frmBilanCalcul *> tst_ProcessingRun::summaries() const
{
    QList<frmBilanCalcul *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *summary = qobject_cast<frmBilanCalcul *>(window);
        if (summary && summary->isVisible())
            found.append(summary);
    }
    return found;
}

QStringList tst_ProcessingRun::processedFiles() const
{
    QStringList files;
    for (const RecordedCall &call : m_engine->calls()) {
        if (call.entryPoint != QStringLiteral("tavlodll_process") || call.texts.size() != 2)
            return {QStringLiteral("unexpected call ") + call.entryPoint};
        if (call.texts.at(1) != EngineLibrary::engineText(m_configuration))
            return {QStringLiteral("configuration ") + QString::fromLatin1(call.texts.at(1))};
        files.append(QString::fromLatin1(call.texts.at(0)));
    }
    return files;
}

void tst_ProcessingRun::firstLauncherIsEmpty()
{
    frmTraitement *launcher = openLauncher();
    QVERIFY(launcher);
    QVERIFY(launcher->files().isEmpty());
    QVERIFY(launcher->configuration().isEmpty());
    QVERIFY(launcher->testAttribute(Qt::WA_DeleteOnClose));
}

void tst_ProcessingRun::previousRunPrefilled()
{
    const QStringList files{observationFile("b.iob"), observationFile("a.iob")};
    run(files, m_configuration);
    QCOMPARE(processedFiles(), files);

    frmTraitement *second = openLauncher();
    QVERIFY(second);
    QCOMPARE(second->files(), QList<QString>(files));
    QCOMPARE(second->configuration(), m_configuration);
}

// The next start of the workbench offers the files and configuration of the last run, files
// that were gone at that run dropped.
void tst_ProcessingRun::previousRunKeptAcrossRestarts()
{
    const QString gone = m_dir->filePath(QStringLiteral("gone.iob"));
    const QStringList files{observationFile("b.iob"), gone, observationFile("a.iob")};
    run(files, m_configuration);
    m_window.reset();
    m_window = std::make_unique<MainWindow>();
    m_window->show();

    frmTraitement *launcher = openLauncher();
    QVERIFY(launcher);
    QCOMPARE(launcher->files(), (QList<QString>{files.at(0), files.at(2)}));
    QCOMPARE(launcher->configuration(), m_configuration);
}

void tst_ProcessingRun::fileAddedTwice()
{
    const QString a = observationFile("a.iob");
    run({a, a}, m_configuration);
    QCOMPARE(processedFiles(), (QStringList{a, a}));
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(summaries().first()->findChild<QTableWidget *>()->rowCount(), 2);
}

void tst_ProcessingRun::missingFilesDropped()
{
    const QString a = observationFile("a.iob");
    const QString b = observationFile("b.iob");
    const QString c = observationFile("c.iob");
    const QString gone1 = m_dir->filePath("parti.iob");
    const QString gone2 = m_dir->filePath("efface.iob");
    QVERIFY(QDir().mkdir(m_dir->filePath("dossier.iob"))); // a folder is no observation file
    run({gone1, a, b, m_dir->filePath("dossier.iob"), gone2, c}, m_configuration);

    QCOMPARE(processedFiles(), (QStringList{a, b, c}));
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(rowStates(summaries().first()), (QStringList{"a.fic FIC", "b.fic FIC", "c.fic FIC"}));
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(m_prompter->messages.isEmpty());

    // The remembered list lost them too.
    frmTraitement *next = openLauncher();
    QCOMPARE(next->files(), (QList<QString>{a, b, c}));
}

void tst_ProcessingRun::cancelChangesNothing()
{
    const QString a = observationFile("a.iob");
    run({a}, m_configuration);
    m_engine->clearCalls();

    frmTraitement *launcher = openLauncher();
    m_prompter->files.enqueue({observationFile("autre.iob")});
    launcher->selectIOB();
    launcher->findChild<QLineEdit *>()->setText(QStringLiteral("/ailleurs/autre.cfg"));
    button(*launcher, QStringLiteral("Annuler"))->click();
    QVERIFY(m_engine->calls().isEmpty());

    frmTraitement *again = openLauncher();
    QVERIFY(again != nullptr);
    QCOMPARE(again->files(), QList<QString>{a});
    QCOMPARE(again->configuration(), m_configuration);
}

void tst_ProcessingRun::saveQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saved");
    QTest::newRow("Yes saves") << int(QMessageBox::Yes) << true;
    QTest::newRow("No leaves the file") << int(QMessageBox::No) << false;
}

void tst_ProcessingRun::saveQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, saved);

    const QString a = observationFile("a.iob");
    const QString b = observationFile("b.iob");
    QVERIFY(m_window->openFile(a));
    MdiChild *editor = m_window->activeMdiChild();
    QTextCursor cursor(editor->document());
    cursor.insertText(QStringLiteral(" DIST S1 P1 P2 99.9\n"));
    QVERIFY(editor->document()->isModified());

    // Listed twice, asked once.
    m_prompter->answers.enqueue(QMessageBox::StandardButton(answer));
    run({a, b, a}, m_configuration);

    QCOMPARE(m_prompter->messages.size(), 1);
    const MessageRequest &question = m_prompter->messages.first();
    QCOMPARE(question.kind, MessageKind::Question);
    QCOMPARE(question.title, QStringLiteral("Attention : fichier non sauvé"));
    QCOMPARE(question.text, QStringLiteral("Le fichier ") + editor->currentFile() +
                                QStringLiteral(" a été modifié. Souhaitez vous prendre en compte "
                                               "les dernières modifications dans le traitement ?"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.defaultButton, QMessageBox::No);

    QFile file(a);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().contains("99.9"), saved);
    QCOMPARE(editor->document()->isModified(), !saved);
    QCOMPARE(processedFiles(), (QStringList{a, b, a}));
}

void tst_ProcessingRun::unmodifiedEditorAsksNothing()
{
    const QString a = observationFile("a.iob");
    QVERIFY(m_window->openFile(a));
    run({a}, m_configuration);
    QVERIFY(m_prompter->messages.isEmpty());
    QCOMPARE(processedFiles(), QStringList{a});
}

void tst_ProcessingRun::endToEndSummary()
{
    // The engine writes beside each observation file the result file of that name prepared in
    // its output folder, or nothing when there is none.
    QTemporaryDir outputs;
    QVERIFY(outputs.isValid());
    FicWriter ok = FicWriter::sample(25);
    QVERIFY(ok.write(outputs.filePath("nord.fic")));
    FicWriter failed = ok;
    failed.status = 1;
    QVERIFY(failed.write(outputs.filePath("sud.fic")));
    m_engine->setOutput(outputs.path());

    QVERIFY(QDir(m_dir->path()).mkdir("autre"));
    const QStringList files{observationFile("nord.iob"), observationFile("sud.iob"),
                            observationFile("est.iob"), observationFile("autre/nord.iob")};
    run(files, m_configuration);

    QCOMPARE(processedFiles(), files);
    for (const QString &file : files.mid(0, 2) + files.mid(3))
        QVERIFY(QFileInfo::exists(siblingPath(file, ".fic")));
    QVERIFY(!QFileInfo::exists(siblingPath(files.at(2), ".fic")));

    QCOMPARE(summaries().size(), 1);
    frmBilanCalcul *summary = summaries().first();
    QCOMPARE(summary->windowTitle(), QStringLiteral("Bilan de traitement"));
    QCOMPARE(rowStates(summary),
             (QStringList{"nord.fic OK", "sud.fic Voir LOG", "est.fic FIC", "nord.fic OK"}));
    QCOMPARE(summary->findChild<QTableWidget *>()->item(0, 3)->text(), QStringLiteral("25"));
    QVERIFY(summary->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!QApplication::overrideCursor());
}

void tst_ProcessingRun::earlierResultNotShownAsThisRuns()
{
    // Both files have a successful result file of an earlier run beside them; the engine
    // rewrites only the second one (as when the first one's folder is read-only).
    const QString kept = observationFile("garde.iob");
    const QString rewritten = observationFile("refait.iob");
    FicWriter earlier = FicWriter::sample(25);
    QVERIFY(earlier.write(siblingPath(kept, ".fic")));
    QVERIFY(earlier.write(siblingPath(rewritten, ".fic")));
    QTemporaryDir outputs;
    QVERIFY(outputs.isValid());
    QVERIFY(FicWriter::sample(25).write(outputs.filePath("refait.fic")));
    m_engine->setOutput(outputs.path());

    run({kept, rewritten, rewritten}, m_configuration);
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(rowStates(summaries().first()),
             (QStringList{"garde.fic FIC", "refait.fic OK", "refait.fic OK"}));
}

void tst_ProcessingRun::newRunClosesEarlierSummary()
{
    const QString a = observationFile("a.iob");
    run({a}, m_configuration);
    QCOMPARE(summaries().size(), 1);
    QPointer<frmBilanCalcul> first = summaries().first();

    run({observationFile("b.iob")}, m_configuration); // added after a, still listed
    QVERIFY(first.isNull() || !first->isVisible());
    QCOMPARE(summaries().size(), 1);
    QCOMPARE(rowStates(summaries().first()), (QStringList{"a.fic FIC", "b.fic FIC"}));
}

QTEST_MAIN(tst_ProcessingRun)
#include "tst_processingrun.moc"
