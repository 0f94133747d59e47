#include "engine/base/allocatortuning.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Run as a child: says it started (once per start), restarts itself with the tuning, then prints
// its process id, the variable it runs with, its second argument and its name.
constexpr char kChildArgument[] = "--restarted-child";

} // namespace

class tst_AllocatorTuning : public QObject
{
    Q_OBJECT

private slots:
    void restartAddsHugePagesOnce_data();
    void restartAddsHugePagesOnce();
};

void tst_AllocatorTuning::restartAddsHugePagesOnce_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("restarted");

    const QString ours = QStringLiteral("glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold="
                                        "67108864:glibc.malloc.trim_threshold=4294967295");
    QTest::newRow("unset") << false << QString() << ours << true;
    QTest::newRow("empty") << true << QString() << ours << true;
    QTest::newRow("other tunables kept") << true << "glibc.malloc.arena_max=2"
                                         << "glibc.malloc.arena_max=2:" + ours << true;
    QTest::newRow("a threshold of the user's kept")
        << true << "glibc.malloc.trim_threshold=0"
        << "glibc.malloc.trim_threshold=0:glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold="
           "67108864"
        << true;
    // The user's own choice of huge pages stands, and nothing restarts.
    QTest::newRow("user's choice") << true << "glibc.malloc.hugetlb=0"
                                   << "glibc.malloc.hugetlb=0" << false;
}

void tst_AllocatorTuning::restartAddsHugePagesOnce()
{
#if !defined(__linux__) || !defined(__GLIBC__)
    QSKIP("The allocator is tuned on Linux with the GNU C library only");
#endif
    QFETCH(bool, set);
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QFETCH(bool, restarted);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLIBC_TUNABLES"));
    if (set)
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), given);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kChildArgument), QStringLiteral("second argument")});
    QVERIFY(child.waitForStarted(30000));
    const qint64 pid = child.processId();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines =
        QString::fromLatin1(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const int starts = restarted ? 2 : 1;
    QCOMPARE(lines.size(), starts + 4);
    QCOMPARE(lines.count(QStringLiteral("started")), starts);
    // A restart replaces the program in the same process, with its arguments unchanged.
    QCOMPARE(lines[starts], QString::number(pid));
    QCOMPARE(lines[starts + 1], expected);
    QCOMPARE(lines[starts + 2], QStringLiteral("second argument"));
    // The process keeps its name (the kernel keeps 15 characters of it).
    QCOMPARE(lines[starts + 3],
             QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15));
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], kChildArgument) == 0) {
        std::printf("started\n");
        std::fflush(stdout);
        engine::restartWithAllocatorTuning(argv);
        const char *tunables = std::getenv("GLIBC_TUNABLES");
        char name[64] = {};
        if (std::FILE *comm = std::fopen("/proc/self/comm", "r")) {
            if (!std::fgets(name, sizeof name, comm))
                name[0] = '\0';
            std::fclose(comm);
        }
        std::printf("%ld\n%s\n%s\n%s", static_cast<long>(getpid()), tunables ? tunables : "",
                    argv[2], name);
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_AllocatorTuning test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_allocatortuning.moc"
