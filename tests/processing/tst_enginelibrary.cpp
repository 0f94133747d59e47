#include "enginelibrary.h"

#include "recordingengine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QList<QByteArray> bytesList(std::initializer_list<const char *> texts)
{
    QList<QByteArray> list;
    for (const char *text : texts)
        list.append(QByteArray(text));
    return list;
}

// True when the library file `path` is mapped into this process (Linux only).
bool isMapped(const QString &path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains(QFile::encodeName(path));
}

} // namespace

class tst_EngineLibrary : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void engineText_data();
    void engineText();
    void process_data();
    void process();
    void convert();
    void geoid();
    void newCfg();
    void processWritesBesideObservations();
    void version_data();
    void version();
    void notALibrary();
    void missingEntryPoints();
    void lookup();
    void lookupInstalled_data();
    void lookupInstalled();
    void unloadsAfterEachCall();
};

void tst_EngineLibrary::init()
{
    qunsetenv("TAVLO_ENGINE");
}

void tst_EngineLibrary::engineText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ascii") << QStringLiteral("C:/m/net.iob") << QByteArray("C:/m/net.iob");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("accents") << QStringLiteral("réseau é") << QByteArray("r\xe9seau \xe9");
    QTest::newRow("last latin-1") << QStringLiteral("\u00ff") << QByteArray("\xff");
    QTest::newRow("greek") << QStringLiteral("a\u03a9b") << QByteArray("a?b");
    QTest::newRow("beyond U+FFFF is one character")
        << QString::fromUtf8("x\xf0\x9f\x98\x80y") << QByteArray("x?y");
    QTest::newRow("euro sign") << QStringLiteral("\u20ac") << QByteArray("?");
}

void tst_EngineLibrary::engineText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(EngineLibrary::engineText(text), expected);
}

void tst_EngineLibrary::process_data()
{
    QTest::addColumn<QString>("iob");
    QTest::addColumn<QString>("cfg");
    QTest::addColumn<QList<qint32>>("lengths");
    QTest::addColumn<QList<QByteArray>>("texts");

    QTest::newRow("ascii") << "/data/net.iob"
                           << "/data/net.cfg" << QList<qint32>{13, 13}
                           << bytesList({"/data/net.iob", "/data/net.cfg"});
    QTest::newRow("accents") << QStringLiteral("/données/réseau.iob") << QStringLiteral("/é.cfg")
                             << QList<qint32>{19, 6}
                             << bytesList({"/donn\xe9"
                                           "es/r\xe9seau.iob",
                                           "/\xe9.cfg"});
    QTest::newRow("outside latin-1")
        << QString::fromUtf8("/\xce\xa9/\xf0\x9f\x98\x80.iob") << QStringLiteral("/\u20ac.cfg")
        << QList<qint32>{8, 6} << bytesList({"/?/?.iob", "/?.cfg"});
    QTest::newRow("empty cfg") << "/n.iob" << QString() << QList<qint32>{6, 0}
                               << bytesList({"/n.iob", ""});
}

void tst_EngineLibrary::process()
{
    QFETCH(QString, iob);
    QFETCH(QString, cfg);
    QFETCH(QList<qint32>, lengths);
    QFETCH(QList<QByteArray>, texts);

    RecordingEngine engine;
    QVERIFY(engine.isValid());
    QVERIFY(EngineLibrary::runEngineProcess(iob, cfg));

    const QList<RecordedCall> calls = engine.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).entryPoint, QStringLiteral("tavlodll_process"));
    QCOMPARE(calls.at(0).integers, lengths);
    QCOMPARE(calls.at(0).texts, texts);
}

void tst_EngineLibrary::convert()
{
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    QVERIFY(EngineLibrary::runEngineConvert(3, QStringLiteral("/m/relevé.gsi"),
                                            QStringLiteral("/m/sortie\u0153.iob"),
                                            QStringLiteral("ONN")));

    const QList<RecordedCall> calls = engine.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).entryPoint, QStringLiteral("tavlodll_convert"));
    QCOMPARE(calls.at(0).integers, (QList<qint32>{3, 13, 14, 3}));
    QCOMPARE(calls.at(0).texts, bytesList({"/m/relev\xe9.gsi", "/m/sortie?.iob", "ONN"}));
}

void tst_EngineLibrary::geoid()
{
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.writeOutput("GEOID");
    const QString output = engine.folder() + QStringLiteral("/géoïde.geo");
    const QString input = QStringLiteral("/grilles/géoïde RAF09.mnt");
    QVERIFY(EngineLibrary::runEngineGeoid(input, output));

    const QList<RecordedCall> calls = engine.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).entryPoint, QStringLiteral("tavlodll_geoid"));
    QCOMPARE(calls.at(0).integers, (QList<qint32>{input.size(), output.size()}));
    QCOMPARE(calls.at(0).texts, (QList<QByteArray>{input.toLatin1(), output.toLatin1()}));
    QFile written(output);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("GEOID"));
}

void tst_EngineLibrary::newCfg()
{
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.writeOutput("# default\n");
    const QString path = engine.folder() + QStringLiteral("/nouvelle config é.cfg");
    QVERIFY(EngineLibrary::runEngineNewCfg(path));

    const QList<RecordedCall> calls = engine.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).entryPoint, QStringLiteral("tavlodll_newcfg"));
    QCOMPARE(calls.at(0).integers, QList<qint32>{path.size()});
    QCOMPARE(calls.at(0).texts, QList<QByteArray>{path.toLatin1()});

    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("# default\n"));
}

void tst_EngineLibrary::processWritesBesideObservations()
{
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.writeOutput("RESULT");
    engine.setProcessExtensions(QStringLiteral(".fic;.log"));
    const QDir folder(engine.folder());
    QVERIFY(folder.mkdir(QStringLiteral("a.b")));
    const QString iob = folder.filePath(QStringLiteral("a.b/net.old.iob"));
    QVERIFY(EngineLibrary::runEngineProcess(iob, folder.filePath(QStringLiteral("n.cfg"))));

    for (const char *name : {"a.b/net.old.fic", "a.b/net.old.log"}) {
        QFile written(folder.filePath(QLatin1String(name)));
        QVERIFY2(written.open(QIODevice::ReadOnly), name);
        QCOMPARE(written.readAll(), QByteArray("RESULT"));
    }
}

void tst_EngineLibrary::version_data()
{
    QTest::addColumn<QByteArray>("reported");
    QTest::addColumn<QString>("expected");

    QTest::newRow("short") << QByteArray("Tavlo 1.2") << QStringLiteral("Tavlo 1.2");
    QTest::newRow("exactly 23") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVW")
                                << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVW");
    // The recorder then claims 30 codes but stores 23: no more than 23 are read.
    QTest::newRow("count beyond 23") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123")
                                     << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVW");
    QTest::newRow("latin-1 codes")
        << QByteArray("moteur \xe9t\xe9") << QStringLiteral("moteur été");
}

void tst_EngineLibrary::version()
{
    QFETCH(QByteArray, reported);
    QFETCH(QString, expected);

    RecordingEngine engine;
    QVERIFY(engine.isValid());
    engine.setVersion(reported);
    QCOMPARE(EngineLibrary::engineVersion(), expected);
    QCOMPARE(engine.calls().size(), 1);
    QCOMPARE(engine.calls().at(0).entryPoint, QStringLiteral("tavlodll_version"));
}

void tst_EngineLibrary::notALibrary()
{
    // A file that is not a library, named by TAVLO_ENGINE: every call fails, and none falls back
    // to an engine found elsewhere (which would record or write something).
    RecordingEngine engine;
    engine.writeOutput("WRITTEN");
    const QString fake = engine.folder() + QStringLiteral("/libtavlo.so");
    QFile file(fake);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a shared library");
    file.close();
    qputenv("TAVLO_ENGINE", QFile::encodeName(fake));

    const QString out = engine.folder() + QStringLiteral("/out");
    QVERIFY(!EngineLibrary::runEngineProcess(out + QStringLiteral(".iob"), QStringLiteral("c")));
    QVERIFY(!EngineLibrary::runEngineConvert(1, QStringLiteral("in"), out, QStringLiteral("N")));
    QVERIFY(!EngineLibrary::runEngineGeoid(QStringLiteral("in"), out));
    QVERIFY(!EngineLibrary::runEngineNewCfg(out));
    QVERIFY(EngineLibrary::engineVersion().isEmpty());
    QVERIFY(!QFile::exists(out));
    QVERIFY(engine.calls().isEmpty());
}

void tst_EngineLibrary::missingEntryPoints()
{
    RecordingEngine engine;
    qputenv("TAVLO_ENGINE", QFile::encodeName(RecordingEngine::noEntryLibraryPath()));
    QVERIFY(!EngineLibrary::runEngineProcess(QStringLiteral("a.iob"), QStringLiteral("a.cfg")));
    QVERIFY(!EngineLibrary::runEngineConvert(2, QStringLiteral("a"), QStringLiteral("b"),
                                             QStringLiteral("ON")));
    QVERIFY(!EngineLibrary::runEngineGeoid(QStringLiteral("a"), QStringLiteral("b")));
    QVERIFY(!EngineLibrary::runEngineNewCfg(QStringLiteral("a.cfg")));
    QVERIFY(EngineLibrary::engineVersion().isEmpty());
}

void tst_EngineLibrary::lookup()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString existing = folder.filePath(QStringLiteral("engine.so"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    qputenv("TAVLO_ENGINE", QFile::encodeName(existing));
    QCOMPARE(EngineLibrary::libraryFileName(), existing);

#ifdef Q_OS_WIN
    const QString fallback = QStringLiteral("tavlo.dll");
#else
    // The real engine may or may not have been built beside the test programs.
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libtavlo.so"));
    const QString fallback = QFile::exists(beside) ? beside : QStringLiteral("libtavlo.so");
#endif
    qputenv("TAVLO_ENGINE", QFile::encodeName(folder.filePath(QStringLiteral("missing.so"))));
    QCOMPARE(EngineLibrary::libraryFileName(), fallback);
    qputenv("TAVLO_ENGINE", QByteArray());
    QCOMPARE(EngineLibrary::libraryFileName(), fallback);
    qunsetenv("TAVLO_ENGINE");
    QCOMPARE(EngineLibrary::libraryFileName(), fallback);
}

void tst_EngineLibrary::lookupInstalled_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("expected");

    const QString beside = QStringLiteral("bin/libtavlo.so");
    const QString installed = QStringLiteral("lib/tavlo/libtavlo.so");
    QTest::newRow("beside the executable") << QStringList{beside} << false << beside;
    QTest::newRow("installed private folder") << QStringList{installed} << false << installed;
    QTest::newRow("beside before installed") << QStringList{beside, installed} << false << beside;
    QTest::newRow("variable before both")
        << QStringList{beside, installed} << true << QStringLiteral("engine.so");
    QTest::newRow("platform search") << QStringList{} << false << QString();
}

// An installed tree: the executable in bin/, the engine where the installation puts it.
void tst_EngineLibrary::lookupInstalled()
{
#ifdef Q_OS_WIN
    QSKIP("Windows finds tavlo.dll through its own search.");
#endif
    QFETCH(QStringList, present);
    QFETCH(bool, configured);
    QFETCH(QString, expected);
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("lib/tavlo")));
    for (const QString &file : present + QStringList{QStringLiteral("engine.so")}) {
        QFile library(prefix.filePath(file));
        QVERIFY(library.open(QIODevice::WriteOnly));
    }
    if (configured)
        qputenv("TAVLO_ENGINE", QFile::encodeName(prefix.filePath(QStringLiteral("engine.so"))));

    QCOMPARE(EngineLibrary::libraryFileName(prefix.filePath(QStringLiteral("bin"))),
             expected.isEmpty() ? QStringLiteral("libtavlo.so") : prefix.filePath(expected));
}

void tst_EngineLibrary::unloadsAfterEachCall()
{
#ifndef Q_OS_LINUX
    QSKIP("Reads the process's mappings from /proc.");
#endif
    // A copy of the recorder under a name of its own, so that no other test has loaded it.
    RecordingEngine engine;
    QVERIFY(engine.isValid());
    const QString copy = engine.folder() + QStringLiteral("/libcopiedrecorder.so");
    QVERIFY(QFile::copy(RecordingEngine::libraryPath(), copy));
    qputenv("TAVLO_ENGINE", QFile::encodeName(copy));

    QVERIFY(EngineLibrary::runEngineNewCfg(engine.folder() + QStringLiteral("/a.cfg")));
    QVERIFY(EngineLibrary::runEngineGeoid(QStringLiteral("a"), QStringLiteral("b")));
    QVERIFY(!isMapped(copy));
    QCOMPARE(engine.calls().size(), 2);

    QVERIFY(!EngineLibrary::engineVersion().isEmpty());
    QVERIFY(isMapped(copy));
}

QTEST_GUILESS_MAIN(tst_EngineLibrary)
#include "tst_enginelibrary.moc"
