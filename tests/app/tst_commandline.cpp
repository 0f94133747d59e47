#include <QProcess>
#include <QtTest>

// Runs the built workbench: every binary of the build lands in one folder.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void options_data();
    void options();

private:
    QString program;
};

void tst_CommandLine::initTestCase()
{
    program = QCoreApplication::applicationDirPath() + QStringLiteral("/tavlo");
    QVERIFY2(QFileInfo(program).isExecutable(), "build the tavlo target first");
}

void tst_CommandLine::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringList{"tavlo 5.6.2\n"}
                               << QStringList();
    QTest::newRow("-v") << QStringList{"-v"} << 0 << QStringList{"tavlo 5.6.2\n"} << QStringList();
    const QStringList help{"Tavlo : ", "Fichier", "Fichier a ouvrir.", "--version"};
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << QStringList();
    QTest::newRow("-h") << QStringList{"-h"} << 0 << help << QStringList();
    QTest::newRow("help before files")
        << QStringList{"--help", "reseau.iob", "absent.iob"} << 0 << help << QStringList();
    QTest::newRow("unknown option")
        << QStringList{"--inconnue"} << 1 << QStringList() << QStringList{"inconnue"};
    QTest::newRow("unknown option after a file")
        << QStringList{"reseau.iob", "-z"} << 1 << QStringList() << QStringList{"z"};
}

void tst_CommandLine::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QFETCH(QStringList, errors);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    // A window would keep the program running: it must end on its own.
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);

    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    for (const QString &text : output)
        QVERIFY2(out.contains(text), qPrintable(out));
    for (const QString &text : errors)
        QVERIFY2(err.contains(text), qPrintable(err));
    if (exitCode != 0)
        QVERIFY(out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
