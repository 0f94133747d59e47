#include "ficreader.h"
#include "ficwriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(FicWriter)
Q_DECLARE_METATYPE(ChiSquareOutcome)

namespace {

constexpr qint64 kI64Max = std::numeric_limits<qint64>::max();
constexpr qint64 kI64Min = std::numeric_limits<qint64>::min();
constexpr int kRecordBytes = 104;

// A small successful run: 2 observation files, 3 points, 3 records in rank order.
FicWriter smallRun()
{
    FicWriter w;
    w.status = 0;
    w.calculationCode = 2;
    w.unknownCount = 6;
    w.epochCount = 1;
    w.iterationCount = 4;
    w.varianceFactor = 1.25;
    w.chiSquareResult = 1;
    w.observationFiles = QStringList{QStringLiteral("/m/a.iob"), QStringLiteral("/m/sub/b.iob")};
    w.logFile = QStringLiteral("/m/a.log");
    w.pointNames =
        QStringList{QStringLiteral("BORNE1"), QStringLiteral("Pilier"), QStringLiteral("R3")};
    w.auxiliaryValue = 0.75;
    w.validObservationCount = 2;
    w.testCode = 3;
    w.angleUnitCode = 3;
    for (int i = 1; i <= 3; ++i) {
        FicRecordFields r;
        r.epoch = i;
        r.value = 10.0 * i;
        r.rank = i;
        r.residual = 0.01 * i;
        r.normalizedResidual = -1.5 * i;
        r.reliability = 0.2 * i;
        r.validity = i == 2 ? 0 : 1;
        r.lineNumber = 7 * i;
        r.fileNumber = i == 3 ? 2 : 1;
        r.kind = i == 1 ? 2 : 6;
        r.component = i;
        r.station = i;
        r.target = i % 3 + 1;
        w.records.append(r);
    }
    return w;
}

FicObservation expectedObservation(const FicWriter &w, const FicRecordFields &r)
{
    FicObservation o;
    o.epoch = int(r.epoch);
    o.value = r.value;
    o.rank = int(r.rank);
    o.residual = r.residual;
    o.normalizedResidual = r.normalizedResidual;
    o.reliability = r.reliability;
    o.valid = r.validity == 1;
    o.lineNumber = int(r.lineNumber);
    o.fileNumber = int(r.fileNumber);
    o.typeLabel = observationTypeLabel(r.kind, r.component);
    o.stationIndex = int(r.station - 1);
    o.targetIndex = int(r.target - 1);
    o.station = w.pointNames.value(int(r.station - 1));
    o.target = w.pointNames.value(int(r.target - 1));
    return o;
}

bool sameObservation(const FicObservation &a, const FicObservation &b)
{
    return a.epoch == b.epoch && a.value == b.value && a.rank == b.rank &&
           a.residual == b.residual && a.normalizedResidual == b.normalizedResidual &&
           a.reliability == b.reliability && a.valid == b.valid && a.lineNumber == b.lineNumber &&
           a.fileNumber == b.fileNumber && a.typeLabel == b.typeLabel &&
           a.stationIndex == b.stationIndex && a.targetIndex == b.targetIndex &&
           a.station == b.station && a.target == b.target;
}

bool isDefault(const FicObservation &o)
{
    return sameObservation(o, FicObservation());
}

void patchI64(QByteArray &bytes, int offset, qint64 value)
{
    bytes.replace(offset, 8, FicWriter::i64(value));
}

// Offsets of the header's counts in a file written by FicWriter.
int fileCountOffset()
{
    return 8 * 8;
}

int logTextOffset(const FicWriter &w)
{
    int offset = fileCountOffset() + 8;
    for (const QString &name : w.observationFiles)
        offset += FicWriter::text(name).size();
    return offset;
}

int pointCountOffset(const FicWriter &w)
{
    return logTextOffset(w) + FicWriter::text(w.logFile).size();
}

} // namespace

class tst_FicReader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void wholeFile();
    void missingFile();
    void emptyFile();
    void headerOnlyWithoutObservations_data();
    void headerOnlyWithoutObservations();
    void noObservations();
    void failedRunReadsHeaderOnly();
    void epochNames_data();
    void epochNames();
    void texts_data();
    void texts();
    void reverseRankOrder();
    void validity_data();
    void validity();
    void codes_data();
    void codes();
    void low32Bits();
    void typeLabel_data();
    void typeLabel();

    void hostileCounts_data();
    void hostileCounts();
    void hugeWordCount();
    void badRanks_data();
    void badRanks();
    void badPointNumbers_data();
    void badPointNumbers();
    void everyTruncation_data();
    void everyTruncation();

private:
    QString write(const QByteArray &bytes, const QString &name = QStringLiteral("run.fic"));

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_FicReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_FicReader::write(const QByteArray &bytes, const QString &name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_FicReader::wholeFile()
{
    const FicWriter w = smallRun();
    const FicResult r = readFic(write(w.bytes(), QStringLiteral("reseau.fic")), true);

    QCOMPARE(r.fileName, QStringLiteral("reseau.fic"));
    QCOMPARE(r.status, 0);
    QCOMPARE(r.calculationType, QStringLiteral("PREANALYSE"));
    QCOMPARE(r.observationCount, 3);
    QCOMPARE(r.unknownCount, 6);
    QCOMPARE(r.epochCount, 1);
    QCOMPARE(r.iterationCount, 4);
    QCOMPARE(r.varianceFactor, 1.25);
    QCOMPARE(r.chiSquareResult, ChiSquareOutcome::Passed);
    QCOMPARE(r.observationFileCount, 2);
    QCOMPARE(r.observationFiles, w.observationFiles);
    QCOMPARE(r.logFile, w.logFile);
    QCOMPARE(r.pointCount, 3);
    QCOMPARE(r.pointNames, w.pointNames);
    QCOMPARE(r.auxiliaryValue, 0.75);
    QCOMPARE(r.validObservationCount, 2);
    QCOMPARE(r.testName, QStringLiteral("Tau"));
    QCOMPARE(r.angleUnit, QStringLiteral("RAD"));

    QCOMPARE(r.observations.size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(sameObservation(r.observations.at(i), expectedObservation(w, w.records.at(i))),
                 qPrintable(QString::number(i)));
    QCOMPARE(r.observations.at(0).typeLabel, QStringLiteral("DIR"));
    QCOMPARE(r.observations.at(1).typeLabel, QStringLiteral("DY"));
    QCOMPARE(r.observations.at(2).station, QStringLiteral("R3"));
    QCOMPARE(r.observations.at(2).target, QStringLiteral("BORNE1"));
    QCOMPARE(r.observations.at(2).targetIndex, 0);
}

void tst_FicReader::missingFile()
{
    const FicResult r = readFic(m_dir->filePath(QStringLiteral("absent.fic")), true);
    QCOMPARE(r.fileName, QStringLiteral("absent.fic"));
    QCOMPARE(r.status, 2);
    QCOMPARE(r.observationCount, 0);
    QVERIFY(r.calculationType.isEmpty());
    QVERIFY(r.observations.isEmpty());

    // A folder cannot be read as a result file either.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("dir.fic")));
    QCOMPARE(readFic(m_dir->filePath(QStringLiteral("dir.fic")), true).status, 2);
}

void tst_FicReader::emptyFile()
{
    // Nothing to say the run succeeded: shown as an unreadable file rather than as success.
    for (int size = 0; size < 8; ++size) {
        const FicResult r = readFic(write(QByteArray(size, '\0')), true);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.fileName, QStringLiteral("run.fic"));
    }
    QCOMPARE(readFic(write(QByteArray(8, '\0')), true).status, 0);
}

void tst_FicReader::headerOnlyWithoutObservations_data()
{
    QTest::addColumn<qint64>("status");
    QTest::newRow("success") << qint64(0);
    QTest::newRow("failure") << qint64(1);
}

void tst_FicReader::headerOnlyWithoutObservations()
{
    QFETCH(qint64, status);
    FicWriter w = smallRun();
    w.status = status;
    const FicResult r = readFic(write(w.bytes()), false);
    QCOMPARE(r.status, int(status));
    QCOMPARE(r.pointNames, w.pointNames);
    QCOMPARE(r.angleUnit, QStringLiteral("RAD"));
    QCOMPARE(r.observations.size(), 3);
    for (const FicObservation &o : r.observations)
        QVERIFY(isDefault(o));
}

void tst_FicReader::noObservations()
{
    // Whatever follows the header is not a record when N is 0.
    FicWriter w = smallRun();
    w.observationCount = 0;
    const FicResult r = readFic(write(w.bytes()), true);
    QCOMPARE(r.observationCount, 0);
    QVERIFY(r.observations.isEmpty());
    QCOMPARE(r.angleUnit, QStringLiteral("RAD"));
}

void tst_FicReader::failedRunReadsHeaderOnly()
{
    FicWriter w = smallRun();
    w.status = 1;
    const FicResult r = readFic(write(w.bytes()), true);
    QCOMPARE(r.status, 1);
    QCOMPARE(r.observationCount, 3);
    QCOMPARE(r.validObservationCount, 2);
    QCOMPARE(r.testName, QStringLiteral("Tau"));
    QCOMPARE(r.observations.size(), 3);
    for (const FicObservation &o : r.observations)
        QVERIFY(isDefault(o));

    w.status = 7; // any other value fails too
    QVERIFY(isDefault(readFic(write(w.bytes()), true).observations.at(0)));
}

// The names of the epochs written after the records (after the header of a failed run).
QByteArray epochTrailer(const QStringList &names, qint64 count)
{
    QByteArray bytes = FicWriter::text(QStringLiteral("EPOQUES")) + FicWriter::i64(count);
    for (const QString &name : names)
        bytes += FicWriter::text(name);
    return bytes;
}

void tst_FicReader::epochNames_data()
{
    QTest::addColumn<FicWriter>("writer");
    QTest::addColumn<QStringList>("names");

    const QStringList three{QStringLiteral("Campagne été"), QStringLiteral("2"),
                            QStringLiteral("Hiver 2026")};
    FicWriter w = smallRun();
    QTest::newRow("one epoch, no names") << w << QStringList();
    w.epochCount = 3;
    w.trailer = epochTrailer(three, 3);
    QTest::newRow("after the records") << w << three;
    FicWriter failed = w;
    failed.status = 1;
    failed.observationCount = 3;
    failed.records.clear();
    QTest::newRow("failed run, after the header") << failed << three;
    FicWriter hostile = w;
    hostile.trailer = epochTrailer(three, kI64Max);
    QTest::newRow("count beyond the bytes") << hostile << three;
    hostile.trailer = epochTrailer(three, -2);
    QTest::newRow("negative count") << hostile << QStringList();
    FicWriter other = w;
    other.trailer = FicWriter::text(QStringLiteral("AUTRE")) + FicWriter::i64(1) +
                    FicWriter::text(QStringLiteral("X"));
    QTest::newRow("no marker") << other << QStringList();
    FicWriter missing = w;
    missing.records.removeLast();
    missing.observationCount = 3;
    QTest::newRow("fewer records than counted") << missing << QStringList();
}

void tst_FicReader::epochNames()
{
    QFETCH(FicWriter, writer);
    QFETCH(QStringList, names);
    for (const bool withObservations : {false, true}) {
        const FicResult r = readFic(write(writer.bytes()), withObservations);
        QCOMPARE(r.epochNames, names);
        QCOMPARE(qint64(r.observationCount),
                 writer.observationCount.value_or(qint64(writer.records.size())));
    }
}

void tst_FicReader::texts_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("four letters and 20 blanks")
        << FicWriter::text(QStringLiteral("ABCD"), 3) << QStringLiteral("ABCD");
    QTest::newRow("leading blanks")
        << FicWriter::text(QStringLiteral("   P 12 "), 2) << QStringLiteral("P 12");
    QTest::newRow("byte E9") << QByteArray(FicWriter::i64(1) + "Ch\xe9"
                                                               "ne   ")
                             << QStringLiteral("Ch\u00e9ne");
    QTest::newRow("bytes 80 and FF") << QByteArray(FicWriter::i64(1) + "\x80\xff"
                                                                       "      ")
                                     << QStringLiteral("\u0080\u00ff");
    QTest::newRow("no word") << FicWriter::i64(0) << QString();
    QTest::newRow("negative words") << FicWriter::i64(-3) << QString();
    QTest::newRow("exactly 16 characters") << FicWriter::text(QStringLiteral("0123456789ABCDEF"), 2)
                                           << QStringLiteral("0123456789ABCDEF");
}

void tst_FicReader::texts()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, expected);

    // The text stands as the report path, between two counts that must still read right.
    FicWriter w;
    w.observationFiles = QStringList{QStringLiteral("x.iob")};
    w.pointNames = QStringList{QStringLiteral("A")};
    w.angleUnitCode = 2;
    QByteArray bytes = w.header();
    const int at = logTextOffset(w);
    bytes.replace(at, FicWriter::text(QString()).size(), field);

    const FicResult r = readFic(write(bytes), true);
    QCOMPARE(r.logFile, expected);
    QCOMPARE(r.pointNames, QStringList{QStringLiteral("A")});
    QCOMPARE(r.angleUnit, QStringLiteral("DMS"));
}

void tst_FicReader::reverseRankOrder()
{
    FicWriter w = FicWriter::sample(25);
    std::reverse(w.records.begin(), w.records.end());
    const FicResult r = readFic(write(w.bytes()), true);
    QCOMPARE(r.observations.size(), 25);
    for (int i = 0; i < 25; ++i) {
        QCOMPARE(r.observations.at(i).rank, i + 1);
        QVERIFY(
            sameObservation(r.observations.at(i), expectedObservation(w, w.records.at(24 - i))));
    }
}

void tst_FicReader::validity_data()
{
    QTest::addColumn<qint64>("validity");
    QTest::addColumn<bool>("valid");
    QTest::newRow("0") << qint64(0) << false;
    QTest::newRow("1") << qint64(1) << true;
    QTest::newRow("2") << qint64(2) << false;
    QTest::newRow("-1") << qint64(-1) << false;
    QTest::newRow("1 in the low 32 bits only") << (qint64(1) << 32 | 1) << false;
}

void tst_FicReader::validity()
{
    QFETCH(qint64, validity);
    QFETCH(bool, valid);
    FicWriter w = smallRun();
    w.records[1].validity = validity;
    QCOMPARE(readFic(write(w.bytes()), true).observations.at(1).valid, valid);
}

void tst_FicReader::codes_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("calculation");
    QTest::addColumn<QString>("test");
    QTest::addColumn<QString>("angle");
    QTest::addColumn<ChiSquareOutcome>("chiSquare");

    const auto failed = ChiSquareOutcome::Failed;
    const auto passed = ChiSquareOutcome::Passed;
    const auto none = ChiSquareOutcome::NotTested;
    QTest::newRow("0") << qint64(0) << QString() << QString() << QString() << failed;
    QTest::newRow("1") << qint64(1) << "AJUSTEMENT"
                       << "Aucune"
                       << "GRD" << passed;
    QTest::newRow("2") << qint64(2) << "PREANALYSE"
                       << "Normale"
                       << "DMS" << none;
    QTest::newRow("3") << qint64(3) << "NORME L1"
                       << "Tau"
                       << "RAD" << none;
    QTest::newRow("4") << qint64(4) << "HUBER" << QString() << QString() << none;
    QTest::newRow("5") << qint64(5) << QString() << QString() << QString() << none;
    QTest::newRow("-1") << qint64(-1) << QString() << QString() << QString() << none;
    // The chi-square outcome, as every integer of the model, keeps the low 32 bits.
    QTest::newRow("1 plus 2^32") << (qint64(1) << 32 | 1) << QString() << QString() << QString()
                                 << passed;
}

void tst_FicReader::codes()
{
    QFETCH(qint64, code);
    QFETCH(QString, calculation);
    QFETCH(QString, test);
    QFETCH(QString, angle);
    QFETCH(ChiSquareOutcome, chiSquare);
    FicWriter w = smallRun();
    w.calculationCode = code;
    w.chiSquareResult = code;
    w.testCode = code;
    w.angleUnitCode = code;
    const FicResult r = readFic(write(w.bytes()), false);
    QCOMPARE(r.calculationType, calculation);
    QCOMPARE(r.chiSquareResult, chiSquare);
    QCOMPARE(r.testName, test);
    QCOMPARE(r.angleUnit, angle);
}

void tst_FicReader::low32Bits()
{
    FicWriter w = smallRun();
    w.unknownCount = (qint64(5) << 32) | 7;
    w.iterationCount = -2;
    w.records[0].lineNumber = (qint64(1) << 32) | 12;
    w.records[0].epoch = 0xFFFFFFFFLL; // low 32 bits are -1
    const FicResult r = readFic(write(w.bytes()), true);
    QCOMPARE(r.unknownCount, 7);
    QCOMPARE(r.iterationCount, -2);
    QCOMPARE(r.observations.at(0).lineNumber, 12);
    QCOMPARE(r.observations.at(0).epoch, -1);
}

void tst_FicReader::typeLabel_data()
{
    QTest::addColumn<qint64>("kind");
    QTest::addColumn<qint64>("component");
    QTest::addColumn<QString>("label");

    const struct
    {
        qint64 kind;
        const char *labels[3];
    } table[] = {
        {1, {"DIST", "DIST", "DIST"}}, {2, {"DIR", "DIR", "DIR"}},    {3, {"ZANG", "ZANG", "ZANG"}},
        {4, {"OHDF", "OHDF", "OHDF"}}, {5, {"AZIM", "AZIM", "AZIM"}}, {6, {"DX", "DY", "DZ"}},
        {11, {"X", "Y", "Z"}},         {12, {"P", "L", "H"}},         {13, {"P", "L", "O"}},
        {14, {"N", "E", "H"}},         {51, {"N", "E", "O"}}};
    for (const auto &row : table) {
        for (int c = 1; c <= 3; ++c)
            QTest::addRow("%lld/%d", row.kind, c) << row.kind << qint64(c) << row.labels[c - 1];
    }
    QTest::newRow("distance ignores component 0") << qint64(1) << qint64(0) << "DIST";
    QTest::newRow("azimuth ignores component 9") << qint64(5) << qint64(9) << "AZIM";
    QTest::newRow("vector component 0") << qint64(6) << qint64(0) << QString();
    QTest::newRow("vector component 4") << qint64(6) << qint64(4) << QString();
    QTest::newRow("coordinates component -1") << qint64(51) << qint64(-1) << QString();
    QTest::newRow("component 1 plus 2^32") << qint64(12) << ((qint64(1) << 32) | 1) << QString();
    QTest::newRow("kind 7") << qint64(7) << qint64(1) << QString();
    QTest::newRow("kind 0") << qint64(0) << qint64(1) << QString();
    QTest::newRow("kind 6 plus 2^32") << ((qint64(1) << 32) | 6) << qint64(1) << QString();
    QTest::newRow("kind 52") << qint64(52) << qint64(1) << QString();
}

void tst_FicReader::typeLabel()
{
    QFETCH(qint64, kind);
    QFETCH(qint64, component);
    QFETCH(QString, label);
    QCOMPARE(observationTypeLabel(kind, component), label);
}

void tst_FicReader::hostileCounts_data()
{
    QTest::addColumn<int>("field"); // 0 observations, 1 files, 2 points
    QTest::addColumn<qint64>("count");

    const qint64 counts[] = {kI64Max,         kI64Min, std::numeric_limits<int>::max(),
                             qint64(1) << 40, -1,      1000};
    const char *names[] = {"observations", "files", "points"};
    for (int field = 0; field < 3; ++field) {
        for (qint64 count : counts)
            QTest::addRow("%s %lld", names[field], count) << field << count;
    }
}

void tst_FicReader::hostileCounts()
{
    QFETCH(int, field);
    QFETCH(qint64, count);

    FicWriter w = smallRun();
    if (field == 0)
        w.observationCount = count;
    else if (field == 1)
        w.observationFileCount = count;
    else
        w.pointCount = count;
    const QByteArray bytes = w.bytes();
    const FicResult r = readFic(write(bytes), true);

    // Counts keep their value; lists hold no more than the bytes left could.
    const int low = int(static_cast<qint32>(static_cast<quint32>(count)));
    QCOMPARE(field == 0   ? r.observationCount
             : field == 1 ? r.observationFileCount
                          : r.pointCount,
             low);
    QVERIFY(r.observations.size() <= bytes.size() / kRecordBytes);
    QVERIFY(r.observationFiles.size() <= bytes.size() / 8);
    QVERIFY(r.pointNames.size() <= bytes.size() / 8);

    if (field == 0) {
        // The header is whole; the three records that are there are read.
        QCOMPARE(r.pointNames, w.pointNames);
        QCOMPARE(r.observations.size(), count > 0 ? 3 : 0);
        for (int i = 0; i < r.observations.size(); ++i)
            QVERIFY(sameObservation(r.observations.at(i), expectedObservation(w, w.records.at(i))));
    } else if (count < 0) {
        QVERIFY((field == 1 ? r.observationFiles : r.pointNames).isEmpty());
    }
}

void tst_FicReader::hugeWordCount()
{
    // A report path claiming more words than the file holds swallows the rest of the file.
    FicWriter w = smallRun();
    QByteArray bytes = w.bytes();
    patchI64(bytes, logTextOffset(w), kI64Max);
    const FicResult r = readFic(write(bytes), true);
    QVERIFY(r.logFile.startsWith(QStringLiteral("/m/a.log")));
    QVERIFY(r.logFile.size() < bytes.size());
    QVERIFY(r.pointNames.isEmpty());
    QCOMPARE(r.pointCount, 0);
    QVERIFY(r.observations.isEmpty());
    QCOMPARE(r.observationCount, 3);
}

void tst_FicReader::badRanks_data()
{
    QTest::addColumn<qint64>("rank");
    QTest::newRow("0") << qint64(0);
    QTest::newRow("-1") << qint64(-1);
    QTest::newRow("N + 1") << qint64(4);
    QTest::newRow("max") << kI64Max;
    QTest::newRow("min") << kI64Min;
    QTest::newRow("2 plus 2^32") << ((qint64(1) << 32) | 2);
}

void tst_FicReader::badRanks()
{
    QFETCH(qint64, rank);
    FicWriter w = smallRun();
    w.records[1].rank = rank;
    const FicResult r = readFic(write(w.bytes()), true);
    QCOMPARE(r.observations.size(), 3);
    QVERIFY(sameObservation(r.observations.at(0), expectedObservation(w, w.records.at(0))));
    QVERIFY(isDefault(r.observations.at(1)));
    QVERIFY(sameObservation(r.observations.at(2), expectedObservation(w, w.records.at(2))));
}

void tst_FicReader::badPointNumbers_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<int>("index");
    QTest::newRow("0") << qint64(0) << -1;
    QTest::newRow("P + 1") << qint64(4) << 3;
    QTest::newRow("-5") << qint64(-5) << -6;
    QTest::newRow("min") << kI64Min << -1;
    QTest::newRow("max") << kI64Max << -2;
    QTest::newRow("1 plus 2^32") << ((qint64(1) << 32) | 1) << 0;
}

void tst_FicReader::badPointNumbers()
{
    QFETCH(qint64, number);
    QFETCH(int, index);
    FicWriter w = smallRun();
    w.records[0].station = number;
    w.records[0].target = number;
    w.records[0].fileNumber = number;
    const FicResult r = readFic(write(w.bytes()), true);
    const FicObservation &o = r.observations.at(0);
    QVERIFY(o.station.isEmpty());
    QVERIFY(o.target.isEmpty());
    QCOMPARE(o.stationIndex, index);
    QCOMPARE(o.targetIndex, index);
    QCOMPARE(o.fileNumber, int(static_cast<qint32>(static_cast<quint32>(number))));
    QCOMPARE(o.value, w.records[0].value);
}

void tst_FicReader::everyTruncation_data()
{
    QTest::addColumn<bool>("withObservations");
    QTest::newRow("with observations") << true;
    QTest::newRow("header only") << false;
}

void tst_FicReader::everyTruncation()
{
    QFETCH(bool, withObservations);
    const FicWriter w = smallRun();
    const QByteArray whole = w.bytes();
    const int headerSize = w.header().size();
    const FicResult full = readFic(write(whole), true);

    // Byte ranges of the header's fields, in file order.
    const int filesStart = fileCountOffset() + 8;
    const int logStart = logTextOffset(w);
    const int pointsStart = pointCountOffset(w) + 8;
    QVector<int> fileEnds, pointEnds;
    for (int i = 0, at = filesStart; i < w.observationFiles.size(); ++i)
        fileEnds.append(at += FicWriter::text(w.observationFiles.at(i)).size());
    for (int i = 0, at = pointsStart; i < w.pointNames.size(); ++i)
        pointEnds.append(at += FicWriter::text(w.pointNames.at(i)).size());
    const int logEnd = logStart + FicWriter::text(w.logFile).size();
    const int tail = headerSize - 32;

    for (int length = 8; length < whole.size(); ++length) {
        const QString path = write(whole.left(length));
        const FicResult r = readFic(path, withObservations);
        const QByteArray at = "length " + QByteArray::number(length);

        // A number is read when its 8 bytes are there, else it is zero.
        const auto number = [length](int start, auto value, auto zero) {
            return start + 8 <= length ? value : zero;
        };
        QVERIFY2(r.status == 0, at);
        QVERIFY2(r.calculationType == number(8, full.calculationType, QString()), at);
        QVERIFY2(r.observationCount == number(16, 3, 0), at);
        QVERIFY2(r.unknownCount == number(24, 6, 0), at);
        QVERIFY2(r.epochCount == number(32, 1, 0), at);
        QVERIFY2(r.iterationCount == number(40, 4, 0), at);
        QVERIFY2(r.varianceFactor == number(48, 1.25, 0.0), at);
        QVERIFY2(r.chiSquareResult ==
                     number(56, ChiSquareOutcome::Passed, ChiSquareOutcome::Failed),
                 at);
        QVERIFY2(r.observationFileCount == number(64, 2, 0), at);
        QVERIFY2(r.pointCount == number(pointsStart - 8, 3, 0), at);
        QVERIFY2(r.auxiliaryValue == number(tail, 0.75, 0.0), at);
        QVERIFY2(r.validObservationCount == number(tail + 8, 2, 0), at);
        QVERIFY2(r.testName == number(tail + 16, QStringLiteral("Tau"), QString()), at);
        QVERIFY2(r.angleUnit == number(tail + 24, QStringLiteral("RAD"), QString()), at);

        // A text is whole when all its bytes are there, else it holds a part of itself.
        const auto checkTexts = [&](const QStringList &read, const QStringList &written,
                                    const QVector<int> &ends) {
            QVERIFY2(read.size() <= written.size(), at);
            for (int i = 0; i < written.size(); ++i) {
                if (ends.at(i) <= length) {
                    QVERIFY2(read.size() > i && read.at(i) == written.at(i), at);
                } else if (i < read.size()) {
                    QVERIFY2(written.at(i).startsWith(read.at(i)), at);
                }
            }
        };
        checkTexts(r.observationFiles, w.observationFiles, fileEnds);
        checkTexts(r.pointNames, w.pointNames, pointEnds);
        if (logEnd <= length)
            QVERIFY2(r.logFile == w.logFile, at);
        else
            QVERIFY2(w.logFile.startsWith(r.logFile), at);

        // Only whole records get an entry, each read whole.
        const int records = length < headerSize ? 0 : (length - headerSize) / kRecordBytes;
        QVERIFY2(r.observations.size() == records, at);
        for (int i = 0; i < records; ++i) {
            QVERIFY2(withObservations
                         ? sameObservation(r.observations.at(i), full.observations.at(i))
                         : isDefault(r.observations.at(i)),
                     at);
        }
    }
}

QTEST_GUILESS_MAIN(tst_FicReader)
#include "tst_ficreader.moc"
