#include "mainwindow.h"

#include "frmoptions.h"
#include "recordingengine.h"
#include "scriptedprompter.h"

#include <QAction>
#include <QFile>
#include <QMdiArea>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void trigger(MainWindow &window, const QString &text)
{
    const QList<QAction *> actions = window.findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == text) {
            action->trigger();
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no action ") + text));
}

QList<frmoptions *> openEditors()
{
    QList<frmoptions *> editors;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *editor = qobject_cast<frmoptions *>(window); editor && editor->isVisible())
            editors << editor;
    }
    return editors;
}

} // namespace

class tst_MainWindowCfg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void createAsksForPath();
    void createCallsEngine();
    void createAddsTheExtension();
    void createCancelled();
    void createWithoutEngine();
    void editOpensEditors();
    void editCancelled();
};

void tst_MainWindowCfg::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void tst_MainWindowCfg::cleanup()
{
    for (frmoptions *editor : openEditors())
        editor->close();
}

void tst_MainWindowCfg::createAsksForPath()
{
    RecordingEngine engine;
    ScriptedPrompter prompter;
    MainWindow window;
    trigger(window, QStringLiteral("Créer un fichier CFG"));

    QCOMPARE(prompter.dialogs.size(), 1);
    const FileDialogRequest &request = prompter.dialogs.first();
    QCOMPARE(request.kind, FileDialogKind::SaveFile);
    QCOMPARE(request.caption, QStringLiteral("Fichier CFG à créer"));
    QVERIFY(request.directory.isEmpty());
    QCOMPARE(request.filter, QStringLiteral("Fichier CFG (*.cfg)"));
}

void tst_MainWindowCfg::createCallsEngine()
{
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.writeOutput("NBMAXITER  10\n");
    const QString path = engine.folder() + QStringLiteral("/réseau.cfg");
    ScriptedPrompter prompter;
    prompter.files.enqueue({path});
    MainWindow window;
    trigger(window, QStringLiteral("Créer un fichier CFG"));

    const QList<RecordedCall> calls = engine.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).entryPoint, QStringLiteral("tavlodll_newcfg"));
    QCOMPARE(calls.at(0).integers, QList<qint32>{path.size()});
    QCOMPARE(calls.at(0).texts, QList<QByteArray>{path.toLatin1()});
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Fichier CFG crée"));
    QVERIFY(QFile::exists(path));
    // The new file is not opened.
    QVERIFY(window.findChild<QMdiArea *>()->subWindowList().isEmpty());
    QVERIFY(openEditors().isEmpty());
    QVERIFY(prompter.messages.isEmpty());
}

void tst_MainWindowCfg::createAddsTheExtension()
{
    // "essai" typed in the dialog is created as essai.cfg, which the configuration editor's
    // dialog lists.
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.writeOutput("NBMAXITER  10\n");
    ScriptedPrompter prompter;
    prompter.files.enqueue({engine.folder() + QStringLiteral("/essai")});
    MainWindow window;
    trigger(window, QStringLiteral("Créer un fichier CFG"));

    const QString path = engine.folder() + QStringLiteral("/essai.cfg");
    QCOMPARE(engine.calls().size(), 1);
    QCOMPARE(engine.calls().at(0).texts, QList<QByteArray>{path.toLatin1()});
    QVERIFY(QFile::exists(path));
    QVERIFY(!QFile::exists(engine.folder() + QStringLiteral("/essai")));
}

void tst_MainWindowCfg::createCancelled()
{
    RecordingEngine engine;
    ScriptedPrompter prompter;
    MainWindow window;
    const QString before = window.statusBar()->currentMessage();
    trigger(window, QStringLiteral("Créer un fichier CFG"));
    QVERIFY(engine.calls().isEmpty());
    QCOMPARE(window.statusBar()->currentMessage(), before);
}

void tst_MainWindowCfg::createWithoutEngine()
{
    RecordingEngine engine;
    const QString notALibrary = engine.folder() + QStringLiteral("/libtavlo.so");
    QFile file(notALibrary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("text");
    file.close();
    qputenv("TAVLO_ENGINE", QFile::encodeName(notALibrary));

    ScriptedPrompter prompter;
    prompter.files.enqueue({engine.folder() + QStringLiteral("/n.cfg")});
    MainWindow window;
    trigger(window, QStringLiteral("Créer un fichier CFG"));
    QCOMPARE(window.statusBar()->currentMessage(),
             QStringLiteral("Impossible de créer le fichier CFG"));
    QVERIFY(prompter.messages.isEmpty());
}

void tst_MainWindowCfg::editOpensEditors()
{
    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("a.cfg"));
    const QString second = folder.filePath(QStringLiteral("b.cfg"));
    QFile file(first);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("DRW_EXPORT OUI\n");
    file.close();

    ScriptedPrompter prompter;
    prompter.files.enqueue({first});
    prompter.files.enqueue({second});
    MainWindow window;
    trigger(window, QStringLiteral("Editer un fichier CFG"));
    trigger(window, QStringLiteral("Editer un fichier CFG"));

    QCOMPARE(prompter.dialogs.size(), 2);
    const FileDialogRequest &request = prompter.dialogs.first();
    QCOMPARE(request.kind, FileDialogKind::OpenFile);
    QCOMPARE(request.caption, QStringLiteral("Ouvrir un fichier CFG"));
    QVERIFY(request.directory.isEmpty());
    QCOMPARE(request.filter, QStringLiteral("Fichiers CFG (*.cfg)"));

    const QList<frmoptions *> editors = openEditors();
    QCOMPARE(editors.size(), 2);
    QStringList paths;
    for (const frmoptions *editor : editors) {
        QVERIFY(!editor->parent());
        QVERIFY(!editor->isModal());
        paths << editor->filePath();
        if (editor->filePath() == first)
            QVERIFY(editor->configuration().flag("DRW_EXPORT"));
    }
    paths.sort();
    QCOMPARE(paths, (QStringList{first, second}));

    // A closed editor goes away with its window.
    QPointer<frmoptions> closed = editors.first();
    closed->close();
    QTRY_VERIFY(closed.isNull());
}

void tst_MainWindowCfg::editCancelled()
{
    ScriptedPrompter prompter;
    MainWindow window;
    trigger(window, QStringLiteral("Editer un fichier CFG"));
    QCOMPARE(prompter.dialogs.size(), 1);
    QVERIFY(openEditors().isEmpty());
}

QTEST_MAIN(tst_MainWindowCfg)
#include "tst_mainwindowcfg.moc"
