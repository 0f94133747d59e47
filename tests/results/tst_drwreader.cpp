#include "drwreader.h"
#include "drwwriter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>

namespace {

bool sameRegion(const DrwRegion &a, const DrwRegion &b)
{
    return a.point1 == b.point1 && a.point2 == b.point2 && a.epoch == b.epoch &&
           a.semiAxis1 == b.semiAxis1 && a.semiAxis2 == b.semiAxis2 && a.bearing == b.bearing;
}

// Seven points, links, and two records in every section: a small file that uses every field.
DrwDrawing smallDrawing()
{
    DrwDrawing d;
    d.epochCount = 2;
    for (int i = 1; i <= 7; ++i)
        d.points.append(drwPoint(QStringLiteral("P%1").arg(i), 100.0 * i, -50.0 * i, i));
    d.links = QVector<QVector<qint32>>(7, QVector<qint32>(7, 0));
    d.links[0][1] = 3;
    d.links[2][0] = 1;
    d.links[4][6] = 2;
    d.links[6][5] = 1;
    d.absoluteEllipses = {drwRegion(1, 0, 1, 0.01, 0.005, 30), drwRegion(2, 0, 2, 0.02, 0.01, 40)};
    d.relativeEllipses = {drwRegion(2, 5, 1, 0.03, 0.01, 50), drwRegion(3, 4, 2, 0.04, 0.02, 60)};
    d.absoluteRectangles = {drwRegion(4, 0, 1, 0.05, 0.02, 70), drwRegion(5, 0, 1, 0.06, 0.03, 80)};
    d.relativeRectangles = {drwRegion(6, 7, 1, 0.07, 0.01, 90),
                            drwRegion(1, 7, 2, 0.08, 0.02, 100)};
    d.epochEllipses = {drwRegion(7, 7, 2, 0.09, 0.03, 110), drwRegion(6, 6, 2, 0.1, 0.04, 120)};
    d.epochRectangles = {drwRegion(5, 5, 2, 0.11, 0.05, 130), drwRegion(4, 4, 2, 0.12, 0.06, 140)};
    return d;
}

QVector<const QVector<DrwRegion> *> sections(const DrwDrawing &d)
{
    return {&d.absoluteEllipses,   &d.relativeEllipses, &d.absoluteRectangles,
            &d.relativeRectangles, &d.epochEllipses,    &d.epochRectangles};
}

} // namespace

class tst_DrwReader : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void threePointsEmptySections();
    void linkAboveDiagonalOnly();
    void regionRecords_data();
    void regionRecords();
    void twoWordName();
    void wholeFileReadsBack();
    void missingFile();
    void integersKeepLowBits();

    void hostileCounts_data();
    void hostileCounts();
    void largeNShortFileAllocatesOnlyWhatItHolds();
    void everyTruncation();

private:
    QString write(const QByteArray &bytes);
    QScopedPointer<QTemporaryDir> m_dir;
    int m_files = 0;
};

void tst_DrwReader::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

QString tst_DrwReader::write(const QByteArray &bytes)
{
    const QString path = m_dir->filePath(QStringLiteral("net%1.drw").arg(++m_files));
    if (!DrwWriter::save(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_DrwReader::threePointsEmptySections()
{
    DrwWriter w;
    w.i64(1).i64(3).text("A").text("B").text("C");
    w.f64(10).f64(20).f64(30).f64(11).f64(21).f64(31).f64(12).f64(22).f64(32);
    for (int k = 0; k < 9; ++k)
        w.i64(0);
    for (int k = 0; k < 6; ++k)
        w.i64(0);
    const DrwDrawing d = readDrw(write(w.bytes()));

    QCOMPARE(d.fileName, QStringLiteral("net1.drw"));
    QCOMPARE(d.epochCount, 1);
    QCOMPARE(d.pointCount, 3);
    QCOMPARE(d.pointNames, QStringList({"A", "B", "C"}));
    QCOMPARE(d.points.size(), 3);
    // The first real is the vertical coordinate, the second the horizontal one.
    QCOMPARE(d.points[1].name, QStringLiteral("B"));
    QCOMPARE(d.points[1].y, 11.0);
    QCOMPARE(d.points[1].x, 21.0);
    QCOMPARE(d.points[1].z, 31.0);
    QCOMPARE(d.links.size(), 3);
    for (const QVector<qint32> &row : d.links)
        QCOMPARE(row, QVector<qint32>(3, 0));
    for (const QVector<DrwRegion> *list : sections(d))
        QVERIFY(list->isEmpty());
    QVERIFY(d.linkedPairs().isEmpty());
}

void tst_DrwReader::linkAboveDiagonalOnly()
{
    DrwDrawing model;
    model.epochCount = 1;
    model.points = {drwPoint("A", 0, 0), drwPoint("B", 1, 0), drwPoint("C", 0, 1)};
    model.links = QVector<QVector<qint32>>(3, QVector<qint32>(3, 0));
    model.links[0][2] = 4;
    const DrwDrawing d = readDrw(write(DrwWriter::file(model)));

    QCOMPARE(d.link(0, 2), 4);
    QCOMPARE(d.link(2, 0), 0);
    QVERIFY(d.isLinked(0, 2));
    QVERIFY(d.isLinked(2, 0));
    QVERIFY(!d.isLinked(0, 1));
    QCOMPARE(d.linkedPairs(), (QVector<QPair<int, int>>{{0, 2}}));
}

void tst_DrwReader::regionRecords_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("point1");
    QTest::addColumn<int>("point2");
    QTest::addColumn<int>("epoch");

    const auto single = [](qint64 p, qint64 epoch) {
        return DrwWriter().i64(p).i64(epoch).f64(0.25).f64(0.5).f64(33.5).bytes();
    };
    const auto pair = [](qint64 p1, qint64 p2, qint64 epoch) {
        return DrwWriter().i64(p1).i64(p2).i64(epoch).f64(0.25).f64(0.5).f64(33.5).bytes();
    };
    QTest::newRow("absolute ellipse") << 0 << single(3, 2) << 3 << 0 << 2;
    QTest::newRow("relative ellipse 2-5") << 1 << pair(2, 5, 1) << 2 << 5 << 1;
    QTest::newRow("absolute rectangle") << 2 << single(4, 1) << 4 << 0 << 1;
    QTest::newRow("relative rectangle") << 3 << pair(6, 1, 3) << 6 << 1 << 3;
    QTest::newRow("ellipse between epochs") << 4 << single(7, 2) << 7 << 7 << 2;
    QTest::newRow("rectangle between epochs") << 5 << single(7, 1) << 7 << 7 << 1;
}

void tst_DrwReader::regionRecords()
{
    QFETCH(int, section);
    QFETCH(QByteArray, record);
    QFETCH(int, point1);
    QFETCH(int, point2);
    QFETCH(int, epoch);

    DrwWriter w;
    w.i64(3).i64(0);
    for (int s = 0; s < 6; ++s) {
        if (s == section)
            w.i64(1).raw(record);
        else
            w.i64(0);
    }
    const DrwDrawing d = readDrw(write(w.bytes()));

    const QVector<const QVector<DrwRegion> *> lists = sections(d);
    for (int s = 0; s < 6; ++s)
        QCOMPARE(lists[s]->size(), s == section ? 1 : 0);
    const DrwRegion r = lists[section]->first();
    QCOMPARE(r.point1, point1);
    QCOMPARE(r.point2, point2);
    QCOMPARE(r.epoch, epoch);
    QCOMPARE(r.semiAxis1, 0.25);
    QCOMPARE(r.semiAxis2, 0.5);
    QCOMPARE(r.bearing, 33.5);
}

void tst_DrwReader::twoWordName()
{
    DrwWriter w;
    w.i64(1).i64(1).text("AB", 2).f64(1).f64(2).f64(3).i64(0);
    const DrwDrawing d = readDrw(write(w.bytes()));
    QCOMPARE(d.pointNames, QStringList{"AB"});
    QCOMPARE(d.points[0].name, QStringLiteral("AB"));
}

void tst_DrwReader::wholeFileReadsBack()
{
    const DrwDrawing model = smallDrawing();
    const DrwDrawing d = readDrw(write(DrwWriter::file(model)));
    QCOMPARE(d.epochCount, 2);
    QCOMPARE(d.pointCount, 7);
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(d.points[i].name, model.points[i].name);
        QCOMPARE(d.points[i].x, model.points[i].x);
        QCOMPARE(d.points[i].y, model.points[i].y);
        QCOMPARE(d.points[i].z, model.points[i].z);
    }
    QCOMPARE(d.links, model.links);
    QCOMPARE(d.linkedPairs(), (QVector<QPair<int, int>>{{0, 1}, {0, 2}, {4, 6}, {5, 6}}));
    const auto read = sections(d);
    const auto written = sections(model);
    for (int s = 0; s < 6; ++s) {
        QCOMPARE(read[s]->size(), written[s]->size());
        for (int k = 0; k < read[s]->size(); ++k)
            QVERIFY2(sameRegion(read[s]->at(k), written[s]->at(k)), qPrintable(QString::number(s)));
    }
}

void tst_DrwReader::missingFile()
{
    const DrwDrawing d = readDrw(m_dir->filePath("absent.drw"));
    QCOMPARE(d.fileName, QStringLiteral("absent.drw"));
    QCOMPARE(d.pointCount, 0);
    QVERIFY(d.points.isEmpty());
    QVERIFY(d.links.isEmpty());
}

void tst_DrwReader::integersKeepLowBits()
{
    DrwWriter w;
    w.i64((qint64(1) << 32) + 3).i64(0).i64(1);
    w.i64((qint64(5) << 32) + 2).i64(-1).f64(1).f64(1).f64(0);
    const DrwDrawing d = readDrw(write(w.bytes()));
    QCOMPARE(d.epochCount, 3);
    QCOMPARE(d.absoluteEllipses.size(), 1);
    QCOMPARE(d.absoluteEllipses[0].point1, 2);
    QCOMPARE(d.absoluteEllipses[0].epoch, -1);
}

void tst_DrwReader::hostileCounts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("linkRows");
    QTest::addColumn<QVector<int>>("sectionSizes");

    const qint64 huge = std::numeric_limits<qint64>::max();
    const QByteArray record = DrwWriter().i64(1).i64(1).f64(1).f64(1).f64(0).bytes();

    QTest::newRow("huge N, nothing after")
        << DrwWriter().i64(1).i64(huge).bytes() << 0 << 0 << QVector<int>(6, 0);
    QTest::newRow("huge N, one point's worth")
        << DrwWriter().i64(1).i64(huge).text("A").f64(1).f64(2).f64(3).bytes() << 0 << 0
        << QVector<int>(6, 0);
    QTest::newRow("negative N") << DrwWriter().i64(1).i64(-5).i64(1).raw(record).bytes() << 0 << 0
                                << QVector<int>{1, 0, 0, 0, 0, 0};
    QTest::newRow("huge name word count")
        << DrwWriter().i64(1).i64(1).i64(huge).raw("ABCDEFGH").bytes() << 0 << 0
        << QVector<int>(6, 0);
    QTest::newRow("huge section count, one record")
        << DrwWriter().i64(1).i64(0).i64(huge).raw(record).bytes() << 0 << 0
        << QVector<int>{1, 0, 0, 0, 0, 0};
    QTest::newRow("negative section counts read on") << DrwWriter()
                                                            .i64(1)
                                                            .i64(0)
                                                            .i64(-1)
                                                            .i64(std::numeric_limits<qint64>::min())
                                                            .i64(1)
                                                            .raw(record)
                                                            .bytes()
                                                     << 0 << 0 << QVector<int>{0, 0, 1, 0, 0, 0};
    QTest::newRow("count beyond the records stops the sections")
        << DrwWriter().i64(1).i64(0).i64(3).raw(record).raw(record).i64(1).bytes() << 0 << 0
        << QVector<int>{2, 0, 0, 0, 0, 0};
    QTest::newRow("half a link row") << DrwWriter()
                                            .i64(1)
                                            .i64(2)
                                            .text("A")
                                            .text("B")
                                            .f64(0)
                                            .f64(0)
                                            .f64(0)
                                            .f64(1)
                                            .f64(1)
                                            .f64(1)
                                            .i64(7)
                                            .bytes()
                                     << 2 << 1 << QVector<int>(6, 0);
}

void tst_DrwReader::hostileCounts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, points);
    QFETCH(int, linkRows);
    QFETCH(QVector<int>, sectionSizes);

    const DrwDrawing d = readDrw(write(bytes));
    QCOMPARE(d.pointCount, points);
    QCOMPARE(d.points.size(), points);
    QCOMPARE(d.pointNames.size(), points);
    QCOMPARE(d.links.size(), linkRows);
    for (const QVector<qint32> &row : d.links)
        QCOMPARE(row.size(), points);
    const auto lists = sections(d);
    for (int s = 0; s < 6; ++s)
        QCOMPARE(lists[s]->size(), sectionSizes[s]);
}

void tst_DrwReader::largeNShortFileAllocatesOnlyWhatItHolds()
{
    // 100,000 points with empty names, then a single link entry: the matrix would be 10^10
    // entries if it were made whole.
    constexpr int n = 100000;
    DrwWriter w;
    w.i64(1).i64(n);
    for (int i = 0; i < n; ++i)
        w.i64(0);
    for (int i = 0; i < n; ++i)
        w.f64(i).f64(-i).f64(0);
    w.i64(0).i64(9);
    const DrwDrawing d = readDrw(write(w.bytes()));

    QCOMPARE(d.pointCount, n);
    QCOMPARE(d.points[n - 1].x, -double(n - 1));
    QCOMPARE(d.links.size(), 1);
    QCOMPARE(d.links[0].size(), n);
    QCOMPARE(d.link(0, 1), 9);
    QCOMPARE(d.link(n - 1, n - 1), 0);
    QCOMPARE(d.linkedPairs(), (QVector<QPair<int, int>>{{0, 1}}));
}

void tst_DrwReader::everyTruncation()
{
    const DrwDrawing model = smallDrawing();
    const QByteArray whole = DrwWriter::file(model);
    const int headerAndNames = 16 + 7 * 16;
    const int linksStart = headerAndNames + 7 * 24;
    const int sectionsStart = linksStart + 7 * 7 * 8;

    for (int cut = 0; cut <= whole.size(); ++cut) {
        const DrwDrawing d = readDrw(write(whole.left(cut)));
        const QByteArray where = "cut at " + QByteArray::number(cut);

        // A point is kept when its name and its three coordinates are all there.
        const int points = qBound(0, (cut - headerAndNames) / 24, 7);
        QVERIFY2(d.pointCount == points, where);
        QVERIFY2(d.points.size() == points && d.pointNames.size() == points, where);
        for (int i = 0; i < points; ++i) {
            QVERIFY2(d.points[i].name == model.points[i].name, where);
            QVERIFY2(d.points[i].x == model.points[i].x, where);
            QVERIFY2(d.points[i].y == model.points[i].y, where);
        }

        // Link entries read are the written ones, the rest count as 0.
        const int entries = qBound(0, (cut - linksStart) / 8, 49);
        QVERIFY2(d.links.size() == (entries + 6) / 7, where);
        for (int e = 0; e < 49; ++e) {
            const int i = e / 7, j = e % 7;
            QVERIFY2(d.link(i, j) == (e < entries ? model.link(i, j) : 0), where);
        }

        // Each section holds the complete records before the cut.
        int offset = sectionsStart;
        const auto written = sections(model);
        const auto read = sections(d);
        for (int s = 0; s < 6; ++s) {
            const int recordBytes = (s == 1 || s == 3) ? 48 : 40;
            const int complete = cut < offset + 8 ? 0 : qMin(2, (cut - offset - 8) / recordBytes);
            QVERIFY2(read[s]->size() == complete, where + " section " + QByteArray::number(s));
            for (int k = 0; k < complete; ++k)
                QVERIFY2(sameRegion(read[s]->at(k), written[s]->at(k)), where);
            offset += 8 + 2 * recordBytes;
        }
        QCOMPARE(offset, whole.size());
    }
}

QTEST_GUILESS_MAIN(tst_DrwReader)
#include "tst_drwreader.moc"
