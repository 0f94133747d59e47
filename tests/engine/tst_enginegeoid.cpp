// Geoid grids: each source form written by the test for a known small grid, converted through the
// engine's entry point into a ".geo" file, read back with the values at the nodes and the
// registration checked; damaged inputs and damaged ".geo" files refused.

#include "engine/api/engineapi.h"
#include "engine/import/geoidgrid.h"
#include "engine/import/gridreaders.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>

using namespace engine::import;

namespace {

constexpr double kValueTol = 1e-5; // metres (values stored as float32)
constexpr double kAngleTol = 1e-9; // degrees

// The undulation of the test grids: linear, so that bilinear interpolation is exact anywhere.
double model(double lat, double lon)
{
    return 40.0 + 0.5 * lat - 0.25 * lon;
}

// The expected grid of nodes: 3 rows from 45 to 46 degrees, 4 columns from 5 to 8 degrees.
constexpr double kSouth = 45.0, kWest = 5.0, kDLat = 0.5, kDLon = 1.0;
constexpr int kRows = 3, kColumns = 4;

double nodeLat(int row)
{
    return kSouth + row * kDLat;
}
double nodeLon(int column)
{
    return kWest + column * kDLon;
}

std::string fmt(double v)
{
    return QString::number(v, 'f', 6).toStdString();
}

std::string isgGrid(bool cells, bool dms, double noValueAt = -1)
{
    const double half = cells ? 0.5 : 0.0;
    const auto angle = [dms](double v) {
        if (!dms)
            return fmt(v);
        const int d = static_cast<int>(v);
        const double m = (v - d) * 60.0;
        return std::to_string(d) + "\xC2\xB0" + std::to_string(static_cast<int>(m)) + "'" +
               fmt((m - static_cast<int>(m)) * 60.0) + "\"";
    };
    std::string s = "begin_of_head ================================================\n"
                    "model name     : TEST\n"
                    "data format    : grid\n"
                    "data ordering  : N-to-S, W-to-E\n"
                    "coord type     : geodetic\n";
    s += std::string("coord units    : ") + (dms ? "dms" : "deg") + "\n";
    s += "data units     : meters\n";
    s += "lat min        = " + angle(kSouth - half * kDLat) + "\n";
    s += "lat max        = " + angle(nodeLat(kRows - 1) + half * kDLat) + "\n";
    s += "lon min        = " + angle(kWest - half * kDLon) + "\n";
    s += "lon max        = " + angle(nodeLon(kColumns - 1) + half * kDLon) + "\n";
    s += "delta lat      = " + angle(kDLat) + "\n";
    s += "delta lon      = " + angle(kDLon) + "\n";
    s += "nrows          = " + std::to_string(kRows) + "\n";
    s += "ncols          = " + std::to_string(kColumns) + "\n";
    s += "nodata         = -9999.0000\n";
    s += "ISG format     = 2.0\n";
    s += "end_of_head ==================================================\n";
    for (int r = kRows - 1; r >= 0; --r) {
        for (int c = 0; c < kColumns; ++c)
            s += " " + (r * kColumns + c == noValueAt ? std::string("-9999.0000")
                                                      : fmt(model(nodeLat(r), nodeLon(c))));
        s += "\n";
    }
    return s;
}

void putBigEndian(std::string &out, const void *value, int size)
{
    unsigned char bytes[8];
    std::memcpy(bytes, value, static_cast<std::size_t>(size));
    for (int i = size - 1; i >= 0; --i) // the test machine is little-endian
        out.push_back(static_cast<char>(bytes[i]));
}

std::string gtxGrid(bool doubles, double lonOrigin, int noValueAt = -1)
{
    std::string s;
    for (const double v : {kSouth, lonOrigin, kDLat, kDLon})
        putBigEndian(s, &v, 8);
    for (const std::int32_t v : {kRows, kColumns})
        putBigEndian(s, &v, 4);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const double v =
                r * kColumns + c == noValueAt ? -88.8888 : model(nodeLat(r), nodeLon(c));
            if (doubles) {
                putBigEndian(s, &v, 8);
            } else {
                const float f = static_cast<float>(v);
                putBigEndian(s, &f, 4);
            }
        }
    }
    return s;
}

// IGN ASCII in one of its four orders, with or without node coordinates and accuracies.
std::string ignGrid(int order, bool coordinates, bool precision)
{
    std::string s = fmt(kWest) + " " + fmt(nodeLon(kColumns - 1)) + " " + fmt(kSouth) + " " +
                    fmt(nodeLat(kRows - 1)) + " " + fmt(kDLon) + " " + fmt(kDLat) + " " +
                    std::to_string(order) + " " + (coordinates ? "1" : "0") + " 1 " +
                    (precision ? "1" : "0") + " 0.00 Grille d'essai\n";
    const auto node = [&](int r, int c) {
        if (coordinates)
            s += fmt(nodeLon(c)) + " " + fmt(nodeLat(r)) + " ";
        s += fmt(model(nodeLat(r), nodeLon(c)));
        if (precision)
            s += " 0.02";
        s += "\n";
    };
    switch (order) {
    case 1:
        for (int c = 0; c < kColumns; ++c)
            for (int r = 0; r < kRows; ++r)
                node(r, c);
        break;
    case 2:
        for (int r = kRows - 1; r >= 0; --r)
            for (int c = 0; c < kColumns; ++c)
                node(r, c);
        break;
    case 3:
        for (int c = 0; c < kColumns; ++c)
            for (int r = kRows - 1; r >= 0; --r)
                node(r, c);
        break;
    default:
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                node(r, c);
        break;
    }
    return s;
}

// A world grid of GeographicLib's form with r = 1 (360 x 181), from the north pole, longitude 0
// eastwards; raw values are chosen so that height = offset + scale x raw gives `value(row, col)`.
std::string pgmGrid(const std::function<unsigned(int, int)> &raw)
{
    std::string s = "P5\n# Geoid file in PGM format for the tests\n# Offset -108\n"
                    "# Scale 0.003\n360    181\n65535\n";
    for (int r = 0; r < 181; ++r) {
        for (int c = 0; c < 360; ++c) {
            const unsigned v = raw(r, c);
            s.push_back(static_cast<char>(v >> 8));
            s.push_back(static_cast<char>(v & 0xFF));
        }
    }
    return s;
}

bool convertGrid(const QString &input, const QString &output)
{
    const QByteArray in = input.toLatin1();
    const QByteArray out = output.toLatin1();
    const auto inLength = static_cast<std::int32_t>(in.size());
    const auto outLength = static_cast<std::int32_t>(out.size());
    tavlodll_geoid(&inLength, &outLength, in.constData(), out.constData());
    return QFile::exists(output);
}

void writeFile(const QString &path, const std::string &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

// The reason the engine left beside `output` for the dialog: the whole ".err" file, which must be
// one line.
QString reasonFor(const QString &output)
{
    QFile file(output + ".err");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1)
        return QStringLiteral("not one line: ") + QString::fromLatin1(bytes);
    return QString::fromLatin1(bytes).trimmed();
}

} // namespace

class TestEngineGeoid : public QObject
{
    Q_OBJECT

private slots:
    void formsConvertWithNodesAndRegistration_data();
    void formsConvertWithNodesAndRegistration();
    void noValueNodes();
    void pgmWorldGridWrapsAround();
    void gtxLongitudeFrom0To360();
    void damagedGridsWriteNothing_data();
    void damagedGridsWriteNothing();
    void conversionSaysWhyNothingWasWritten_data();
    void conversionSaysWhyNothingWasWritten();
    void damagedGeoFilesRefused_data();
    void damagedGeoFilesRefused();
    void geoFileLayout();
    void egm96FromProjData_data();
    void egm96FromProjData();
};

void TestEngineGeoid::formsConvertWithNodesAndRegistration_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("source");

    QTest::newRow("ISG nodes") << QByteArray::fromStdString(isgGrid(false, false)) << 1;
    QTest::newRow("ISG cells") << QByteArray::fromStdString(isgGrid(true, false)) << 1;
    QTest::newRow("ISG dms") << QByteArray::fromStdString(isgGrid(false, true)) << 1;
    QTest::newRow("GTX float32") << QByteArray::fromStdString(gtxGrid(false, kWest)) << 2;
    QTest::newRow("GTX float64") << QByteArray::fromStdString(gtxGrid(true, kWest)) << 2;
    for (int order = 1; order <= 4; ++order) {
        QTest::newRow(qPrintable(QString("IGN order %1").arg(order)))
            << QByteArray::fromStdString(ignGrid(order, false, false)) << 4;
        QTest::newRow(qPrintable(QString("IGN order %1 with coordinates and accuracy").arg(order)))
            << QByteArray::fromStdString(ignGrid(order, true, true)) << 4;
    }
}

void TestEngineGeoid::formsConvertWithNodesAndRegistration()
{
    QFETCH(QByteArray, content);
    QFETCH(int, source);
    QTemporaryDir dir;
    // The extension says nothing: the content tells the form.
    const QString input = dir.filePath("grid.bin");
    const QString output = dir.filePath("grid.geo");
    writeFile(input, content.toStdString());
    QVERIFY(convertGrid(input, output));
    std::string reason;
    const auto grid = readGeoFile(output.toStdString(), reason);
    QVERIFY2(grid, reason.c_str());
    QCOMPARE(static_cast<int>(grid->source), source);
    QCOMPARE(grid->rows, std::int64_t(kRows));
    QCOMPARE(grid->columns, std::int64_t(kColumns));
    QVERIFY(std::fabs(grid->south - kSouth) < kAngleTol);
    QVERIFY(std::fabs(grid->west - kWest) < kAngleTol);
    QVERIFY(std::fabs(grid->latStep - kDLat) < kAngleTol);
    QVERIFY(std::fabs(grid->lonStep - kDLon) < kAngleTol);
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            QVERIFY2(std::fabs(grid->at(r, c) - model(nodeLat(r), nodeLon(c))) < kValueTol,
                     qPrintable(QString("node %1 %2").arg(r).arg(c)));
            const auto atNode = grid->undulation(nodeLat(r), nodeLon(c));
            QVERIFY(atNode && std::fabs(*atNode - model(nodeLat(r), nodeLon(c))) < kValueTol);
        }
    }
    const auto inside = grid->undulation(45.3, 6.7);
    QVERIFY(inside && std::fabs(*inside - model(45.3, 6.7)) < kValueTol);
    QVERIFY(!grid->undulation(44.9, 6.0));
    QVERIFY(!grid->undulation(45.5, 8.1));
}

void TestEngineGeoid::noValueNodes()
{
    for (const std::string &content : {isgGrid(false, false, 5), gtxGrid(false, kWest, 5)}) {
        std::string reason;
        const auto grid = readGeoidGrid(content, reason);
        QVERIFY2(grid, reason.c_str());
        QVERIFY(std::isnan(grid->at(1, 1)));
        // Next to the empty node (row 1, column 1) there is no value; away from it there is.
        QVERIFY(!grid->undulation(45.25, 5.5));
        QVERIFY(grid->undulation(45.75, 7.5));
        // Exactly on a node with a value beside the empty one, the empty node does not weigh.
        QVERIFY(grid->undulation(45.5, 7.0));
    }
}

void TestEngineGeoid::pgmWorldGridWrapsAround()
{
    // Raw value = 36000 + 10 x column, whatever the row; rows 0 (north pole) to 180.
    const std::string content = pgmGrid([](int row, int column) {
        Q_UNUSED(row);
        return static_cast<unsigned>(36000 + 10 * column);
    });
    std::string reason;
    const auto grid = readGeoidGrid(content, reason);
    QVERIFY2(grid, reason.c_str());
    QCOMPARE(grid->rows, std::int64_t(181));
    QCOMPARE(grid->columns, std::int64_t(360));
    QCOMPARE(grid->south, -90.0);
    QCOMPARE(grid->west, 0.0);
    QVERIFY(grid->wrapsAround());
    const auto height = [](int column) { return -108.0 + 0.003 * (36000 + 10 * column); };
    QVERIFY(std::fabs(grid->at(0, 17) - height(17)) < kValueTol);
    QVERIFY(std::fabs(*grid->undulation(12.0, 17.0) - height(17)) < kValueTol);
    QVERIFY(std::fabs(*grid->undulation(-33.0, -1.0) - height(359)) < kValueTol);
    // Between the last column (359) and the first (0) again.
    QVERIFY(std::fabs(*grid->undulation(0.0, 359.5) - (height(359) + height(0)) / 2.0) < kValueTol);
    // The north pole row comes last, south first: a row-dependent grid says which is which.
    const auto rows = readGeoidGrid(
        pgmGrid([](int row, int) { return static_cast<unsigned>(300 * row); }), reason);
    QVERIFY(rows);
    QVERIFY(std::fabs(*rows->undulation(90.0, 10.0) - (-108.0)) < kValueTol);
    QVERIFY(std::fabs(*rows->undulation(-90.0, 10.0) - (-108.0 + 0.003 * 54000)) < kValueTol);
}

void TestEngineGeoid::gtxLongitudeFrom0To360()
{
    std::string reason;
    const auto grid = readGeoidGrid(gtxGrid(false, 360.0 - 5.0), reason);
    QVERIFY2(grid, reason.c_str());
    QCOMPARE(grid->west, -5.0);
    QVERIFY(grid->undulation(45.5, -4.0));
    QVERIFY(grid->undulation(45.5, 356.0));
}

void TestEngineGeoid::damagedGridsWriteNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    std::string isg = isgGrid(false, false);
    QTest::newRow("ISG truncated") << QByteArray::fromStdString(isg.substr(0, isg.size() - 30));
    std::string isgRows = isg;
    isgRows.replace(isgRows.find("nrows          = 3"), 18, "nrows          = 5");
    QTest::newRow("ISG bounds against nrows") << QByteArray::fromStdString(isgRows);
    std::string sparse = isg;
    sparse.replace(sparse.find("grid"), 4, "sparse");
    QTest::newRow("ISG sparse") << QByteArray::fromStdString(sparse);
    std::string huge = isg;
    huge.replace(huge.find("ncols          = 4"), 18, "ncols          = 4000000000");
    QTest::newRow("ISG count far beyond the data") << QByteArray::fromStdString(huge);
    const std::string gtx = gtxGrid(false, kWest);
    QTest::newRow("GTX one byte short") << QByteArray::fromStdString(gtx.substr(0, gtx.size() - 1));
    std::string gtxRows = gtx;
    gtxRows[35] = 9; // rows 9: the size no longer matches
    QTest::newRow("GTX rows against size") << QByteArray::fromStdString(gtxRows);
    const std::string ign = ignGrid(2, false, false);
    QTest::newRow("IGN truncated") << QByteArray::fromStdString(ign.substr(0, ign.size() - 12));
    std::string ignTranslation = ign;
    ignTranslation.replace(ignTranslation.find(" 0.00 "), 6, " 1.00 ");
    QTest::newRow("IGN translation") << QByteArray::fromStdString(ignTranslation);
    QTest::newRow("IGN node coordinates out of order")
        << QByteArray::fromStdString(ignGrid(1, true, false))
               .replace("5.000000 45.000000", "6.000000 45.000000");
    const std::string pgm = pgmGrid([](int, int) { return 1u; });
    QTest::newRow("PGM truncated") << QByteArray::fromStdString(pgm.substr(0, pgm.size() - 2));
    std::string pgmNoScale = pgm;
    pgmNoScale.replace(pgmNoScale.find("# Scale"), 7, "# Other");
    QTest::newRow("PGM without scale") << QByteArray::fromStdString(pgmNoScale);
    QTest::newRow("text") << QByteArray("just some words\nand more\n");
    QTest::newRow("empty") << QByteArray();
}

void TestEngineGeoid::damagedGridsWriteNothing()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    writeFile(dir.filePath("in"), content.toStdString());
    QVERIFY(!convertGrid(dir.filePath("in"), dir.filePath("out.geo")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"in", "out.geo.err"}));
    QVERIFY(reasonFor(dir.filePath("out.geo")).startsWith(QString::fromUtf8("Conversion refusée")));
}

void TestEngineGeoid::conversionSaysWhyNothingWasWritten_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("observation file given as a grid")
        << "net.iob"
        << "grid.geo" << QByteArray(" DIST  A B 12.5\n") << "forme de grille non reconnue";
    QTest::newRow("output is the input")
        << "grid.gtx"
        << "grid.gtx" << QByteArray::fromStdString(gtxGrid(false, kWest))
        << "est le fichier à convertir lui-même";
    QTest::newRow("missing input") << ""
                                   << "grid.geo" << QByteArray() << "introuvable ou illisible";
}

void TestEngineGeoid::conversionSaysWhyNothingWasWritten()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString in = dir.filePath(input.isEmpty() ? "absent.gtx" : input);
    if (!input.isEmpty())
        writeFile(in, content.toStdString());
    const QString out = dir.filePath(output);
    const bool outputIsInput = in == out;
    QVERIFY(convertGrid(in, out) == outputIsInput);
    if (outputIsInput)
        QCOMPARE(QFileInfo(in).size(), qint64(content.size()));
    const QString said = reasonFor(out);
    QVERIFY2(said.contains(QString::fromUtf8(reason.toUtf8())), qPrintable(said));
    // A later conversion that succeeds takes the reason away.
    writeFile(dir.filePath("good.gtx"), gtxGrid(false, kWest));
    QVERIFY(convertGrid(dir.filePath("good.gtx"), out));
    QVERIFY(!QFile::exists(out + ".err"));
}

void TestEngineGeoid::damagedGeoFilesRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    std::string reason;
    const std::string good = encodeGeoFile(*readGeoidGrid(gtxGrid(false, kWest), reason));
    QTest::newRow("intact") << QByteArray::fromStdString(good);
    QTest::newRow("short") << QByteArray::fromStdString(good.substr(0, good.size() - 4));
    QTest::newRow("longer") << QByteArray::fromStdString(good + "abcd");
    std::string magic = good;
    magic[0] = 'X';
    QTest::newRow("magic") << QByteArray::fromStdString(magic);
    std::string rows = good;
    rows[56 + 7] = 0x40; // rows far beyond the bytes
    QTest::newRow("rows") << QByteArray::fromStdString(rows);
    std::string count = good;
    count[72] = 11;
    QTest::newRow("count") << QByteArray::fromStdString(count);
    std::string step = good;
    std::memset(&step[40], 0, 8);
    QTest::newRow("zero spacing") << QByteArray::fromStdString(step);
}

void TestEngineGeoid::damagedGeoFilesRefused()
{
    QFETCH(QByteArray, bytes);
    std::string reason;
    const auto grid = decodeGeoFile(bytes.toStdString(), reason);
    QCOMPARE(bool(grid), QByteArray(QTest::currentDataTag()) == "intact");
    QCOMPARE(reason.empty(), bool(grid));
}

void TestEngineGeoid::geoFileLayout()
{
    std::string reason;
    const auto grid = readGeoidGrid(gtxGrid(false, kWest), reason);
    const std::string bytes = encodeGeoFile(*grid);
    QCOMPARE(bytes.size(), std::size_t(80 + 4 * kRows * kColumns));
    QCOMPARE(bytes.substr(0, 8), std::string("TAVLOGEO"));
    const auto i64 = [&bytes](std::size_t at) {
        return qFromLittleEndian<qint64>(reinterpret_cast<const uchar *>(bytes.data() + at));
    };
    const auto f64 = [&bytes](std::size_t at) {
        const quint64 bits =
            qFromLittleEndian<quint64>(reinterpret_cast<const uchar *>(bytes.data() + at));
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    };
    QCOMPARE(i64(8), qint64(1));
    QCOMPARE(i64(16), qint64(2));
    QCOMPARE(f64(24), kSouth);
    QCOMPARE(f64(32), kWest);
    QCOMPARE(f64(40), kDLat);
    QCOMPARE(f64(48), kDLon);
    QCOMPARE(i64(56), qint64(kRows));
    QCOMPARE(i64(64), qint64(kColumns));
    QCOMPARE(i64(72), qint64(kRows * kColumns));
    // The second value is row 0 (south), column 1.
    const quint32 bits =
        qFromLittleEndian<quint32>(reinterpret_cast<const uchar *>(bytes.data() + 84));
    float v;
    std::memcpy(&v, &bits, 4);
    QVERIFY(std::fabs(v - model(kSouth, kWest + kDLon)) < kValueTol);
}

void TestEngineGeoid::egm96FromProjData_data()
{
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("published"); // metres
    // The test points of NGA's EGM96 interpolation program (its file OUTINTPT.DAT), computed from
    // the 15' grid by its own interpolation: up to some 6 cm from a bilinear one.
    QTest::newRow("38.63 N 269.78 E") << 38.6281550 << 269.7791550 << -31.628;
    QTest::newRow("14.62 S 305.02 E") << -14.6212170 << 305.0211140 << -2.969;
    QTest::newRow("46.87 N 102.45 E") << 46.8743190 << 102.4487290 << -43.575;
    QTest::newRow("23.62 S 133.87 E") << -23.6174460 << 133.8747120 << 15.871;
    QTest::newRow("38.63 N 360 E") << 38.6254730 << 359.9995000 << 50.066;
    QTest::newRow("0.47 S 0.0023 E") << -0.4667440 << 0.0023000 << 17.329;
}

void TestEngineGeoid::egm96FromProjData()
{
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, published);
    const QString source = QStringLiteral("/usr/share/proj/egm96_15.gtx");
    if (!QFile::exists(source))
        QSKIP("EGM96 is not installed (Debian package proj-data).");
    QTemporaryDir dir;
    const QString output = dir.filePath("egm96.geo");
    QVERIFY(convertGrid(source, output));
    std::string reason;
    const auto grid = readGeoFile(output.toStdString(), reason);
    QVERIFY2(grid, reason.c_str());
    const double east = longitude > 180.0 ? longitude - 360.0 : longitude;
    const auto undulation = grid->undulation(latitude, east);
    QVERIFY(undulation);
    QVERIFY2(std::fabs(*undulation - published) < 0.1, qPrintable(QString::number(*undulation)));
    // PROJ interpolates the same grid bilinearly: the same value to the millimetre.
    const QString tool = QStandardPaths::findExecutable("cs2cs");
    if (tool.isEmpty())
        return;
    QProcess process;
    process.start(tool, {"-f", "%.4f", "EPSG:4326+5773", "EPSG:4979"});
    QVERIFY(process.waitForStarted());
    process.write(QString("%1 %2 0\n").arg(latitude, 0, 'f', 9).arg(east, 0, 'f', 9).toLatin1());
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished());
    const QStringList fields = QString::fromLatin1(process.readAllStandardOutput())
                                   .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (fields.size() < 3)
        QSKIP("cs2cs gave no height (its grids are not installed).");
    QVERIFY2(std::fabs(*undulation - fields[2].toDouble()) < 0.001,
             qPrintable(QString("%1 against %2").arg(*undulation).arg(fields[2])));
}

QTEST_GUILESS_MAIN(TestEngineGeoid)
#include "tst_enginegeoid.moc"
