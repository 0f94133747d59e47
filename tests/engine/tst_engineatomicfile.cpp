// The engine's way of writing a file: whole or not at all, never through a link planted beside the
// target, and two writers of one target at once each leave it whole.

#include "engine/base/atomicfile.h"
#include "engine/base/text.h"
#include "filesizelimit.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <optional>
#include <thread>

namespace {

std::string latin1(const QString &path)
{
    return engine::latin1FromUtf8(path.toStdString());
}

bool writeText(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestEngineAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void linksBesideTheTargetAreNotFollowed();
    void twoWritersAtOnceEachLeaveTheFileWhole();
    void failedWriteLeavesTheOldFile_data();
    void failedWriteLeavesTheOldFile();
};

void TestEngineAtomicFile::linksBesideTheTargetAreNotFollowed()
{
    QTemporaryDir dir;
    const QString target = dir.filePath("net.log");
    const QString victim = dir.filePath("victim.txt");
    QVERIFY(writeText(victim, "precious\n"));
    // A link where a temporary file of the target could be looked for, and the target itself a
    // link: the victim must keep its bytes, and the target become a file of its own.
    QVERIFY(QFile::link(victim, target + ".tmp"));
    QVERIFY(QFile::link(victim, target));
    QVERIFY(engine::writeFileAtomically(latin1(target), "new report\n"));
    QCOMPARE(fileBytes(victim), QByteArray("precious\n"));
    QCOMPARE(fileBytes(target), QByteArray("new report\n"));
    QVERIFY(!QFileInfo(target).isSymLink());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot),
             QStringList({"net.log", "net.log.tmp", "victim.txt"}));
}

void TestEngineAtomicFile::twoWritersAtOnceEachLeaveTheFileWhole()
{
    QTemporaryDir dir;
    const std::string target = latin1(dir.filePath("net.drw"));
    // Contents of different sizes, so that a mixture or a cut shows.
    const std::string contents[2] = {std::string(300000, 'a'), std::string(200000, 'b') + "end"};
    std::atomic<int> failures{0};
    std::atomic<int> mixtures{0};
    std::atomic<bool> writing{true};
    const auto writer = [&](int which) {
        for (int round = 0; round < 60; ++round) {
            if (!engine::writeFileAtomically(target, contents[which]))
                ++failures;
        }
    };
    const auto reader = [&]() {
        while (writing) {
            const QByteArray seen = fileBytes(QString::fromStdString(target));
            if (!seen.isEmpty() && seen.toStdString() != contents[0] &&
                seen.toStdString() != contents[1])
                ++mixtures;
        }
    };
    std::thread watch(reader);
    std::thread first(writer, 0);
    std::thread second(writer, 1);
    first.join();
    second.join();
    writing = false;
    watch.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(mixtures.load(), 0);
    const std::string last = fileBytes(QString::fromStdString(target)).toStdString();
    QVERIFY(last == contents[0] || last == contents[1]);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"net.drw"});
}

void TestEngineAtomicFile::failedWriteLeavesTheOldFile_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full") << true << "taille de fichier maximale atteinte";
    QTest::newRow("folder in place of the file") << false << "un dossier porte ce nom";
}

void TestEngineAtomicFile::failedWriteLeavesTheOldFile()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString target = dir.filePath("net.fic");
    if (diskFull)
        QVERIFY(writeText(target, "old result"));
    else
        QVERIFY(QDir(dir.path()).mkpath("net.fic/inside"));
    std::string error;
    {
        std::optional<FileSizeLimit> limit;
        if (diskFull)
            limit.emplace(4096);
        QVERIFY(!engine::writeFileAtomically(latin1(target), std::string(100000, 'x'), &error));
    }
    QCOMPARE(QString::fromStdString(engine::utf8FromLatin1(error)), reason);
    if (diskFull)
        QCOMPARE(fileBytes(target), QByteArray("old result"));
    else
        QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             diskFull ? QStringList{"net.fic"} : QStringList());
}

QTEST_GUILESS_MAIN(TestEngineAtomicFile)
#include "tst_engineatomicfile.moc"
