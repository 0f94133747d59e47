#include "textfile.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

// A save that fails part-way must leave the old file whole and say so.
class tst_TextFileSave : public QObject
{
    Q_OBJECT

private slots:
    void failureAfterPartialWrite_data();
    void failureAfterPartialWrite();
};

void tst_TextFileSave::failureAfterPartialWrite_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("size");

    QTest::newRow("nothing fits") << 0 << 100;
    QTest::newRow("cut in the middle") << 64 << 2000;
    QTest::newRow("beyond Qt's write buffer") << 20000 << 100000;
}

void tst_TextFileSave::failureAfterPartialWrite()
{
#ifdef Q_OS_UNIX
    QFETCH(int, limit);
    QFETCH(int, size);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.iob"));
    const QByteArray old("! ancien contenu\r\n DIST  S1\r\n");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(old), qint64(old.size()));
    }

    TextFileContent content;
    content.text = QString(size, QLatin1Char('x'));
    QString error;

    // The file size limit makes the kernel refuse the bytes past `limit`, even for the superuser.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = rlim_t(limit);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writeTextFile(path, content, error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.iob"});
#else
    QSKIP("The file size limit is a POSIX feature");
#endif
}

QTEST_GUILESS_MAIN(tst_TextFileSave)
#include "tst_textfilesave.moc"
