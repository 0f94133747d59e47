#include "drwwriter.h"
#include "frmdraw.h"
#include "frmdrawmain.h"
#include "mainwindow.h"
#include "mdichild.h"
#include "scriptedprompter.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

// "Afficher le réseau": the drawing file beside the active editor's file, opened modally.
class tst_MainWindowDrawNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingWithoutEditor();
    void nothingWithoutDrawingFile_data();
    void nothingWithoutDrawingFile();
    void opensTheDrawingBesideTheFile();

private:
    // What the drawing window showed, if one was opened by the action; it is closed at once.
    struct Opened
    {
        bool seen = false;
        bool modal = false;
        QString title;
        QSize size;
        QString fileName;
        int points = -1;
    };
    Opened drawNetwork();
    void openObservationFile(const QString &name);

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_MainWindowDrawNetwork::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true); // keep the window geometry out of the user's store
}

void tst_MainWindowDrawNetwork::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MainWindow>();
    m_window->resize(1000, 700);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void tst_MainWindowDrawNetwork::cleanup()
{
    m_window.reset();
    m_prompter.reset();
    m_dir.reset();
}

tst_MainWindowDrawNetwork::Opened tst_MainWindowDrawNetwork::drawNetwork()
{
    Opened opened;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&opened] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<frmDrawMain *>(widget);
            if (!window || !window->isVisible())
                continue;
            opened.seen = true;
            opened.modal = window->isModal();
            opened.title = window->windowTitle();
            opened.size = window->size();
            opened.fileName = window->canvas()->drawing().fileName;
            opened.points = window->canvas()->drawing().pointCount;
            window->reject();
        }
    });
    poll.start();
    QAction *action = nullptr;
    for (QAction *candidate : m_window->findChildren<QAction *>()) {
        if (candidate->text() == QStringLiteral("Afficher le réseau"))
            action = candidate;
    }
    if (!action)
        qFatal("no action Afficher le réseau");
    action->trigger();
    poll.stop();
    return opened;
}

void tst_MainWindowDrawNetwork::openObservationFile(const QString &name)
{
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("* reseau\n");
    file.close();
    QVERIFY(m_window->openFile(file.fileName()));
    QVERIFY(m_window->activeMdiChild());
}

void tst_MainWindowDrawNetwork::nothingWithoutEditor()
{
    QVERIFY(!m_window->activeMdiChild());
    QVERIFY(!drawNetwork().seen);
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_MainWindowDrawNetwork::nothingWithoutDrawingFile_data()
{
    QTest::addColumn<QString>("besideFile");
    QTest::newRow("no drawing file") << QString();
    QTest::newRow("a drawing of another file") << QStringLiteral("autre.drw");
    QTest::newRow("a folder in its place") << QStringLiteral("net.drw/");
}

void tst_MainWindowDrawNetwork::nothingWithoutDrawingFile()
{
    QFETCH(QString, besideFile);
    if (besideFile.endsWith(QLatin1Char('/')))
        QVERIFY(QDir(m_dir->path()).mkdir(besideFile.chopped(1)));
    else if (!besideFile.isEmpty())
        QVERIFY(DrwWriter::save(m_dir->filePath(besideFile), DrwWriter::file(DrwDrawing())));
    openObservationFile(QStringLiteral("net.iob"));
    QVERIFY(!drawNetwork().seen);
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_MainWindowDrawNetwork::opensTheDrawingBesideTheFile()
{
    DrwDrawing drawing;
    drawing.epochCount = 1;
    drawing.points.resize(3);
    drawing.points[1].x = 10;
    drawing.points[2].y = 10;
    QVERIFY(DrwWriter::save(m_dir->filePath("net.old.drw"), DrwWriter::file(drawing)));
    openObservationFile(QStringLiteral("net.old.iob"));

    const Opened opened = drawNetwork();
    QVERIFY(opened.seen);
    QVERIFY(opened.modal);
    QCOMPARE(opened.title, QStringLiteral("Dessin : net.old.iob"));
    QCOMPARE(opened.size, m_window->size());
    QCOMPARE(opened.fileName, QStringLiteral("net.old.drw"));
    QCOMPARE(opened.points, 3);
}

QTEST_MAIN(tst_MainWindowDrawNetwork)
#include "tst_mainwindowdrawnetwork.moc"
