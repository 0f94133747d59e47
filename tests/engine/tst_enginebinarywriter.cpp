// The fields of the engine's binary files, byte by byte, and the same bytes whether gathered in
// memory or handed to a file a chunk at a time.

#include "engine/base/atomicfile.h"
#include "engine/output/binarywriter.h"

#include <QtTest>

#include <functional>

namespace {

using Fields = std::function<void(engine::BinaryWriter &)>;

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Fields)

class TestEngineBinaryWriter : public QObject
{
    Q_OBJECT

private slots:
    void fieldsAreLittleEndian_data();
    void fieldsAreLittleEndian();
    void fileGetsTheBytesOfMemory_data();
    void fileGetsTheBytesOfMemory();
    void unwritableFileFails();
};

void TestEngineBinaryWriter::fieldsAreLittleEndian_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QByteArray>("hex");
    QTest::newRow("one") << Fields([](engine::BinaryWriter &w) { w.i64(1); })
                         << QByteArray("0100000000000000");
    QTest::newRow("minus two") << Fields([](engine::BinaryWriter &w) { w.i64(-2); })
                               << QByteArray("feffffffffffffff");
    QTest::newRow("high byte") << Fields([](engine::BinaryWriter &w) { w.i64(0x0102030405060708); })
                               << QByteArray("0807060504030201");
    // binary64: 1.0 is 0x3FF0000000000000, -2.5 is 0xC004000000000000.
    QTest::newRow("reals") << Fields([](engine::BinaryWriter &w) {
        w.f64(1.0);
        w.f64(-2.5);
    }) << QByteArray("000000000000f03f00000000000004c0");
    QTest::newRow("empty text") << Fields([](engine::BinaryWriter &w) { w.text(""); })
                                << QByteArray("0000000000000000");
    QTest::newRow("text of one word") << Fields([](engine::BinaryWriter &w) { w.text("ABCDEFGH"); })
                                      << QByteArray("01000000000000004142434445464748");
    QTest::newRow("text padded with blanks")
        << Fields([](engine::BinaryWriter &w) { w.text("P\xC9"); })
        << QByteArray("0100000000000000"
                      "50c9202020202020");
}

void TestEngineBinaryWriter::fieldsAreLittleEndian()
{
    QFETCH(Fields, fields);
    QFETCH(QByteArray, hex);
    engine::BinaryWriter writer;
    fields(writer);
    const std::string bytes = std::move(writer).bytes();
    QCOMPARE(QByteArray(bytes.data(), int(bytes.size())).toHex(), hex);
}

void TestEngineBinaryWriter::fileGetsTheBytesOfMemory_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<int>("atLeast"); // bytes
    // Past several chunks, with texts across their ends.
    QTest::newRow("fields") << Fields([](engine::BinaryWriter &w) {
        for (std::int64_t i = 0; i < 300000; ++i) {
            w.i64(i);
            w.f64(0.5 * static_cast<double>(i));
            if (i % 7 == 0)
                w.text(std::string(static_cast<std::size_t>(i % 13), 'x'));
        }
    }) << (3 << 20);
    // Runs of zeros short and long (a long one is a hole in the file), first, between fields and
    // last, where the file's size must still come out whole.
    QTest::newRow("runs of zeros") << Fields([](engine::BinaryWriter &w) {
        w.zeros(100000);
        for (std::int64_t i = 1; i < 200; ++i) {
            w.i64(i);
            w.zeros(static_cast<std::size_t>(i * i * 17 % 90001));
            w.zeros(static_cast<std::size_t>(i % 3));
        }
        w.zeros(70000);
    }) << (4 << 20);
}

void TestEngineBinaryWriter::fileGetsTheBytesOfMemory()
{
    QFETCH(Fields, fields);
    QFETCH(int, atLeast);
    engine::BinaryWriter memory;
    fields(memory);
    const std::string expected = std::move(memory).bytes();
    QVERIFY(expected.size() > static_cast<std::size_t>(atLeast));

    QTemporaryDir dir;
    const QString path = dir.filePath("ecrit.bin");
    engine::AtomicFile file(path.toStdString());
    engine::BinaryWriter writer(file);
    fields(writer);
    QVERIFY(writer.finish());
    QCOMPARE(fileBytes(path), QByteArray(expected.data(), int(expected.size())));
}

void TestEngineBinaryWriter::unwritableFileFails()
{
    QTemporaryDir dir;
    engine::AtomicFile file(dir.filePath("absent/ecrit.bin").toStdString());
    engine::BinaryWriter writer(file);
    writer.i64(1);
    QVERIFY(!writer.finish());
    QVERIFY(!file.error().empty());
}

QTEST_APPLESS_MAIN(TestEngineBinaryWriter)

#include "tst_enginebinarywriter.moc"
