// The import of field data: Leica GSI, RTKLib, Leica SKI ASCII and Covadis files written by the
// tests, converted in memory and through the engine's entry point; every record line written is
// checked against the workbench's record catalogue, and a converted station runs through the
// engine.

#include "engine/api/engineapi.h"
#include "engine/base/text.h"
#include "engine/import/importconversion.h"
#include "engine/import/recordwriter.h"
#include "engine/model/angles.h"
#include "enginetesthelpers.h"
#include "observationlines.h"
#include "recordcatalogue.h"
#include "recordline.h"
#include "testfiles.h"

#include <Eigen/Cholesky>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace engine::import;

namespace {

constexpr double kAngleTol = 1e-9;  // radians
constexpr double kLengthTol = 1e-9; // metres
constexpr double kGon = engine::kPi / 200.0;

// A GSI-8 word: index, word information (4 characters), sign and 8 digits of data.
std::string word8(int index, const std::string &info, long long value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%s%c%08lld", index, info.c_str(),
                  value < 0 ? '-' : '+', value < 0 ? -value : value);
    return buffer;
}

// A GSI-16 word: the same with 16 digits of data.
std::string word16(int index, const std::string &info, long long value)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d%s%c%016lld", index, info.c_str(),
                  value < 0 ? '-' : '+', value < 0 ? -value : value);
    return buffer;
}

// Word 11 with a point id right-aligned in the data, padded with zeros.
std::string id8(const std::string &id, int block = 1)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "11%04d+%s%s", block,
                  std::string(8 - id.size(), '0').c_str(), id.c_str());
    return buffer;
}

std::string id16(const std::string &id, int block = 1)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "*11%04d+%s%s", block,
                  std::string(16 - id.size(), '0').c_str(), id.c_str());
    return buffer;
}

std::string joinWords(std::initializer_list<std::string> words)
{
    std::string line;
    for (const std::string &w : words)
        line += w + " ";
    return line;
}

Conversion convert(ImportKind kind, const std::string &content,
                   const ImportOptions &options = ImportOptions())
{
    ImportContext context;
    context.fileName = "terrain.txt";
    context.baseName = "terrain";
    return convertContent(kind, content, context, options);
}

std::vector<std::string> withCode(const Conversion &c, const std::string &code)
{
    std::vector<std::string> out;
    for (const std::string &line : c.lines) {
        if (!line.empty() && line[0] == ' ' && engine::trim(engine::columns(line, 2, 4)) == code)
            out.push_back(line);
    }
    return out;
}

std::string dump(const Conversion &c)
{
    std::string text;
    for (const std::string &line : c.lines)
        text += line + "\n";
    return text;
}

// Every record line is exactly what the workbench's catalogue builds from its own fields: no
// character outside a field, every choice one of its items.
void checkAgainstCatalogue(const std::vector<std::string> &lines)
{
    static const RecordCatalogue catalogue;
    for (const std::string &text : lines) {
        if (text.empty() || text[0] != ' ')
            continue;
        const QString line = QString::fromLatin1(text.c_str());
        const int index = catalogue.indexOf(lineCode(line));
        QVERIFY2(index >= 0, text.c_str());
        const RecordType &type = catalogue.at(index);
        const QStringList values = readFields(line, type);
        for (int f = 0; f < type.fields.size(); ++f) {
            const FieldSpec &field = type.fields.at(f);
            if (field.kind == FieldKind::Choice && !values.at(f).trimmed().isEmpty())
                QVERIFY2(field.choiceItems().contains(values.at(f).leftJustified(field.width)),
                         text.c_str());
        }
        const BuiltLine built = buildRecordLine(type, values);
        QVERIFY2(built.fits(), text.c_str());
        QCOMPARE(built.line.trimmed(), line.trimmed());
        QVERIFY2(line.length() <= type.lineLength(), text.c_str());
    }
}

double numberAt(const std::string &line, int column, int width)
{
    const auto value = engine::parseNumber(engine::columns(line, column, width));
    return value ? *value : std::nan("");
}

// The angle of a DIR or ZANG line in radians, with the unit of the last ANGT before it.
double angleOf(const Conversion &c, const std::string &code)
{
    engine::AngleUnit unit = engine::AngleUnit::Dms;
    for (const std::string &line : c.lines) {
        const std::string lineCode = engine::trim(engine::columns(line, 2, 4));
        if (line.empty() || line[0] != ' ')
            continue;
        if (lineCode == "ANGT")
            unit = engine::columns(line, 7, 3) == "GRD" ? engine::AngleUnit::Grades
                                                        : engine::AngleUnit::Dms;
        if (lineCode == code) {
            std::string error;
            const auto angle = engine::parseAngle(engine::columns(line, 50, 15), unit, error);
            return angle ? *angle : std::nan("");
        }
    }
    return std::nan("");
}

const std::string kStation8 =
    joinWords({id8("S1"), word8(84, "..10", 1000000), word8(85, "..10", 2000000),
               word8(86, "..10", 100000), word8(88, "..10", 1500)});

QByteArray latin1Path(const QString &path)
{
    return path.toLatin1();
}

bool callConvert(int kind, const QString &input, const QString &output, const QByteArray &options)
{
    const QByteArray in = latin1Path(input);
    const QByteArray out = latin1Path(output);
    const std::int32_t k = kind;
    const auto inLength = static_cast<std::int32_t>(in.size());
    const auto outLength = static_cast<std::int32_t>(out.size());
    const auto optLength = static_cast<std::int32_t>(options.size());
    tavlodll_convert(&k, &inLength, &outLength, &optLength, in.constData(), out.constData(),
                     options.constData());
    return QFile::exists(output);
}

void writeFile(const QString &path, const std::string &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

// The reason the engine left beside `output` for the import dialog: the whole ".err" file, which
// must be one line.
QString reasonFor(const QString &output)
{
    const QByteArray bytes = fileBytes(output + ".err");
    if (bytes.isEmpty())
        return QString();
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1)
        return QStringLiteral("not one line: ") + QString::fromLatin1(bytes);
    return QString::fromLatin1(bytes).trimmed();
}

} // namespace

class TestEngineImport : public QObject
{
    Q_OBJECT

private slots:
    void recordWriter_data();
    void recordWriter();
    void options_data();
    void options();
    void gsiUnitsAndSigns_data();
    void gsiUnitsAndSigns();
    void gsi16SameAsGsi8();
    void gsiStationWithTwoSetsRunsThroughTheEngine();
    void gsiNeoOption();
    void gsiDamagedLineBecomesComment();
    void rtkLibForms_data();
    void rtkLibForms();
    void rtkLibReferencePosition();
    void rtkLibWithoutHeaderIsRefused();
    void skiTwoBaselines();
    void skiRefusedHeaders_data();
    void skiRefusedHeaders();
    void covadisLinesAllReported();
    void appendModeOverThreeFiles();
    void unreadableInputWritesNothing();
    void conversionSaysWhyNothingWasWritten_data();
    void conversionSaysWhyNothingWasWritten();
    void skiCovarianceKeepsSixteenDecimals();
    void accentedPaths();
};

void TestEngineImport::recordWriter_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("expected");

    QTest::newRow("number right-aligned")
        << QString::fromStdString(RecordLine("HI").name(11, 12, "P1").number(24, 10, 1.5, 4).str())
        << " HI       P1               1.5000";
    QTest::newRow("number too long")
        << QString::fromStdString(
               RecordLine("HI").number(24, 10, 12345678901.0, 4).problem().empty() ? "fits"
                                                                                   : "refused")
        << "refused";
    QTest::newRow("decimals give way to the leading blank")
        << QString::fromStdString(RecordLine("HI").number(24, 10, 12345.678901, 4).str().substr(23))
        << " 12345.679";
    QTest::newRow("seconds carry into minutes")
        << QString::fromStdString(
               threePartAngle(10.0 + 59.0 / 60.0 + 59.99999 / 3600.0, AngleForm::Dms, 4))
        << "11  0 0.0000";
    QTest::newRow("grades in three parts")
        << QString::fromStdString(threePartAngle(123.45678, AngleForm::Grades, 4))
        << "123 45 67.8000";
    QTest::newRow("angle with prefix")
        << QString::fromStdString(
               RecordLine("PLH")
                   .angle(24, 17, -(45.5 + 1.0 / 3600.0), AngleForm::Dms, 5, 'N', 'S')
                   .str())
        << " PLH                   S 45 30   1.00000";
    QTest::newRow("long name refused")
        << QString::fromStdString(RecordLine("HT").name(11, 12, "ABCDEFGHIJKLM").ok() ? "ok" : "no")
        << "no";
    QTest::newRow("text cut") << QString::fromStdString(
                                     RecordLine("GRP").text(7, 3, "ABCDEF").str())
                              << " GRP  ABC";
}

void TestEngineImport::recordWriter()
{
    QFETCH(QString, written);
    QFETCH(QString, expected);
    QCOMPARE(written, expected);
}

void TestEngineImport::options_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");

    QTest::newRow("covadis first") << 1 << "N" << true << false << false << false;
    QTest::newRow("covadis later") << 1 << "O" << true << true << false << false;
    QTest::newRow("rtklib ONN") << 3 << "ONN" << true << false << true << false;
    QTest::newRow("ski NOO") << 2 << "NOO" << true << true << false << true;
    QTest::newRow("gsi ON") << 4 << "ON" << true << false << true << false;
    QTest::newRow("gsi too short") << 4 << "O" << false << false << false << false;
    QTest::newRow("rtklib too long") << 3 << "NNNN" << false << false << false << false;
    QTest::newRow("lower case") << 4 << "on" << false << false << false << false;
    QTest::newRow("kind 0") << 0 << "N" << false << false << false << false;
    QTest::newRow("kind 5") << 5 << "N" << false << false << false << false;
}

void TestEngineImport::options()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    ImportOptions o;
    QCOMPARE(parseImportOptions(kind, text.toStdString(), o), valid);
    if (!valid)
        return;
    QFETCH(bool, append);
    QFETCH(bool, first);
    QFETCH(bool, second);
    QCOMPARE(o.append, append);
    QCOMPARE(kind == 4 ? o.neo : o.includePoints, first);
    QCOMPARE(o.includeCovariance, second);
}

void TestEngineImport::gsiUnitsAndSigns_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("expected");

    const double pi = engine::kPi;
    QTest::newRow("gon") << "21.102+12345678"
                         << "DIR" << 123.45678 * kGon;
    QTest::newRow("gon negative") << "21.102-00100000"
                                  << "DIR" << 399.0 * kGon;
    QTest::newRow("decimal degrees") << "21.103+12345678"
                                     << "DIR" << 123.45678 * pi / 180.0;
    QTest::newRow("ddd.mmsss") << "21.104+12334567"
                               << "DIR" << (123.0 + 34.0 / 60.0 + 56.7 / 3600.0) * pi / 180.0;
    QTest::newRow("mil") << "21.105+12345678"
                         << "DIR" << 1234.5678 * 2.0 * pi / 6400.0;
    QTest::newRow("zenith gon") << "22.102+09876543"
                                << "ZANG" << 98.76543 * kGon;
    QTest::newRow("zenith ddd.mmsss")
        << "22.104+08959300"
        << "ZANG" << (89.0 + 59.0 / 60.0 + 30.0 / 3600.0) * pi / 180.0;
    QTest::newRow("metre mm") << "31..00+00012345"
                              << "DIST" << 12.345;
    QTest::newRow("feet") << "31..01+00012345"
                          << "DIST" << 12.345 * 0.3048;
    QTest::newRow("metre 0.1 mm") << "31..06+00123456"
                                  << "DIST" << 12.3456;
    QTest::newRow("feet 1/10000") << "31..07+00123456"
                                  << "DIST" << 12.3456 * 0.3048;
    QTest::newRow("metre 0.01 mm") << "31..08+01234567"
                                   << "DIST" << 12.34567;
    QTest::newRow("east negative") << "81..00-00001234"
                                   << "LENU" << -1.234;
    QTest::newRow("reflector height") << "87..10+00001600"
                                      << "HT" << 1.6;
}

void TestEngineImport::gsiUnitsAndSigns()
{
    QFETCH(QString, word);
    QFETCH(QString, code);
    QFETCH(double, expected);
    std::string block = joinWords({id8("A1"), word.toStdString()});
    if (code == "LENU")
        block = joinWords(
            {id8("A1"), word.toStdString(), word8(82, "..00", 5000), word8(22, ".102", 10000000)});
    else if (code == "HT")
        block = joinWords({id8("A1"), word8(21, ".102", 100000), word.toStdString()});
    const Conversion c = convert(ImportKind::LeicaGsi, kStation8 + "\n" + block + "\n");
    checkAgainstCatalogue(c.lines);
    // The station's own coordinate record comes first.
    const std::size_t expectedCount = code == "LENU" ? 2 : 1;
    QVERIFY2(withCode(c, code.toStdString()).size() == expectedCount, dump(c).c_str());
    const std::string line = withCode(c, code.toStdString()).back();
    double value = 0.0;
    if (code == "DIR" || code == "ZANG")
        value = angleOf(c, code.toStdString());
    else if (code == "DIST")
        value = numberAt(line, 50, 15);
    else if (code == "LENU")
        value = numberAt(line, 24, 18);
    else
        value = numberAt(line, 24, 10);
    const double tolerance = code == "DIR" || code == "ZANG" ? kAngleTol : kLengthTol;
    QVERIFY2(std::fabs(value - expected) < tolerance,
             (dump(c) + " value " + std::to_string(value)).c_str());
}

void TestEngineImport::gsi16SameAsGsi8()
{
    const std::string gsi8 =
        kStation8 + "\n" +
        joinWords({id8("0"), word8(21, ".102", 12345678), word8(22, ".102", 9876543),
                   word8(31, "..00", 12345), word8(87, "..10", 1600)}) +
        "\n";
    const std::string station16 =
        joinWords({id16("S1"), word16(84, "..10", 1000000), word16(85, "..10", 2000000),
                   word16(86, "..10", 100000), word16(88, "..10", 1500)});
    const std::string measure16 =
        joinWords({id16("0").substr(1), word16(21, ".102", 12345678), word16(22, ".102", 9876543),
                   word16(31, "..00", 12345), word16(87, "..10", 1600)});
    const Conversion a = convert(ImportKind::LeicaGsi, gsi8);
    // The second GSI-16 line has no "*": the word length tells the flavour.
    const Conversion b = convert(ImportKind::LeicaGsi, station16 + "\r\n" + measure16 + "\r\n");
    QCOMPARE(dump(b), dump(a));
    checkAgainstCatalogue(a.lines);
    // An id of zeros only is the point "0".
    QCOMPARE(engine::trim(engine::columns(withCode(a, "DIR").front(), 24, 12)), std::string("0"));
}

void TestEngineImport::gsiStationWithTwoSetsRunsThroughTheEngine()
{
    // Station S1 on known coordinates, targets A and B known; two sets, the second in face two.
    struct Target
    {
        std::string name;
        double e, n, u, ht;
    };
    const double se = 1000.0, sn = 2000.0, su = 100.0, hi = 1.5;
    const std::vector<Target> targets = {{"A", 1100.0, 2050.0, 103.0, 1.6},
                                         {"B", 950.0, 2120.0, 98.5, 1.3}};
    const double orientation = 37.1234; // gon
    std::string gsi = kStation8 + "\n";
    for (const Target &t : targets)
        gsi += joinWords({id8(t.name), word8(81, "..00", std::llround(t.e * 1000)),
                          word8(82, "..00", std::llround(t.n * 1000)),
                          word8(83, "..00", std::llround(t.u * 1000))}) +
               "\n";
    for (int face = 1; face <= 2; ++face) {
        for (const Target &t : targets) {
            const double de = t.e - se, dn = t.n - sn, du = t.u + t.ht - su - hi;
            const double h = std::hypot(de, dn);
            double hz = std::atan2(de, dn) / kGon - orientation;
            double v = std::atan2(h, du) / kGon;
            if (face == 2) {
                hz += 200.0;
                v = 400.0 - v;
            }
            hz = std::fmod(hz + 800.0, 400.0);
            gsi += joinWords({id8(t.name), word8(21, ".102", std::llround(hz * 1e5)),
                              word8(22, ".102", std::llround(v * 1e5)),
                              word8(31, "..00", std::llround(std::hypot(h, du) * 1000)),
                              word8(87, "..00", std::llround(t.ht * 1000))}) +
                   "\n";
        }
    }
    const Conversion c = convert(ImportKind::LeicaGsi, gsi);
    checkAgainstCatalogue(c.lines);
    QCOMPARE(withCode(c, "DSET").size(), std::size_t(2));
    QCOMPARE(withCode(c, "DIR").size(), std::size_t(4));
    QCOMPARE(withCode(c, "ZANG").size(), std::size_t(4));
    QCOMPARE(withCode(c, "DIST").size(), std::size_t(4));
    QCOMPARE(withCode(c, "LENU").size(), std::size_t(3));
    QCOMPARE(withCode(c, "HT").size(), std::size_t(2)); // each height once, not at every sighting

    // The surveyor's precision families, then the converted file, through the engine.
    std::vector<std::string> lines = {observationlines::sigm("HZ", 3.0, 0.0, 0.0, 0.0),
                                      observationlines::sigm("ZEN", 3.0, 0.0, 0.0, 0.0),
                                      observationlines::sigm("DST", 0.002, 0.0, 0.0, 0.0)};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    const auto run = runEngine(lines);
    QVERIFY2(run->solved, (diagnosticsText(run->diagnostics) + dump(c)).c_str());
    QVERIFY2(!run->diagnostics.hasErrors(), diagnosticsText(run->diagnostics).c_str());
    // Only the rounding of the field data is left: far below the a priori precisions.
    QVERIFY2(run->statistics.varianceFactor < 0.5,
             std::to_string(run->statistics.varianceFactor).c_str());
}

void TestEngineImport::gsiNeoOption()
{
    const std::string gsi = kStation8 + "\n" +
                            joinWords({id8("K7"), word8(81, "..00", 5000), word8(82, "..00", 6000),
                                       word8(83, "..00", 300)}) +
                            "\n";
    ImportOptions options;
    options.neo = true;
    const Conversion c = convert(ImportKind::LeicaGsi, gsi, options);
    checkAgainstCatalogue(c.lines);
    QVERIFY(withCode(c, "LENU").empty());
    const auto neo = withCode(c, "NEO");
    QCOMPARE(neo.size(), std::size_t(2));
    QCOMPARE(engine::columns(neo[1], 7, 3), std::string("111"));
    QCOMPARE(numberAt(neo[1], 24, 16), 6.0); // north first
    QCOMPARE(numberAt(neo[1], 41, 16), 5.0); // then east
    QCOMPARE(numberAt(neo[1], 58, 10), 0.3); // altitude
}

void TestEngineImport::gsiDamagedLineBecomesComment()
{
    const std::string gsi = kStation8 + "\n" + joinWords({id8("A"), word8(21, ".102", 100000)}) +
                            "\n" + "110003+0000000B 21.102+12AB5678\n" +
                            joinWords({id8("C"), word8(21, ".102", 300000)}) + "\n";
    const Conversion c = convert(ImportKind::LeicaGsi, gsi);
    checkAgainstCatalogue(c.lines);
    const auto dirs = withCode(c, "DIR");
    QCOMPARE(dirs.size(), std::size_t(2));
    // The comment stands between the directions to A and to C, naming the file and line 3.
    std::size_t a = 0, comment = 0, cLine = 0;
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
        if (c.lines[i] == dirs[0])
            a = i;
        if (c.lines[i] == dirs[1])
            cLine = i;
        if (c.lines[i].rfind("!terrain.txt, ligne 3 non convertie", 0) == 0)
            comment = i;
    }
    QVERIFY2(comment > a && comment < cLine, dump(c).c_str());
    QVERIFY(c.lines[comment].find("12AB5678") != std::string::npos);
    // A measurement before any station, and a negative distance, are reported too.
    const Conversion orphan = convert(
        ImportKind::LeicaGsi, joinWords({id8("A"), word8(21, ".102", 100000)}) + "\n" + kStation8 +
                                  "\n" + joinWords({id8("B"), word8(31, "..00", -1000)}) + "\n");
    QCOMPARE(withCode(orphan, "DIR").size(), std::size_t(0));
    QVERIFY(dump(orphan).find("ligne 1 non convertie") != std::string::npos);
    QVERIFY(dump(orphan).find("ligne 3 non convertie : distance n") != std::string::npos);
}

void TestEngineImport::rtkLibForms_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("covarianceType");
    QTest::addColumn<QVector<double>>("position");
    // The upper triangle c11 c12 c13 c22 c23 c33, in the record's order of coordinates.
    QTest::addColumn<QVector<double>>("covariance");

    QTest::newRow("geographic degrees")
        << "% program   : RTKLIB ver.2.4.3\n"
           "%  GPST                  latitude(deg) longitude(deg)  height(m)   Q  ns   sdn(m)   "
           "sde(m)   sdu(m)  sdne(m)  sdeu(m)  sdun(m) age(s)  ratio\n"
           "2019/01/01 00:00:00.000   35.500000000 -139.250000000    12.3456   1   9   0.0030   "
           "0.0020   0.0080  -0.0010   0.0005  -0.0020   0.00    5.3\n"
        << "PLH"
        << "LG" << QVector<double>{35.5, -139.25, 12.3456}
        << QVector<double>{4e-6, -1e-6, 0.25e-6, 9e-6, -4e-6, 64e-6};
    QTest::newRow("geographic dms, comma separated")
        << "%  UTC      ,latitude(d'\"),longitude(d'\"), height(m),  Q, ns,  sdn(m),  sde(m),  "
           "sdu(m), sdne(m), sdeu(m), sdun(m),age(s), ratio\n"
           "2019/01/01 00:00:00.000, -0,30,00.00000, 12,15,36.00000,   -5.0000,  2, 10,  0.0030,  "
           "0.0020,  0.0080, -0.0010,  0.0005, -0.0020,  0.00,  5.3\n"
        << "PLH"
        << "LG" << QVector<double>{-0.5, 12.26, -5.0}
        << QVector<double>{4e-6, -1e-6, 0.25e-6, 9e-6, -4e-6, 64e-6};
    QTest::newRow("geocentric, week and seconds")
        << "%  GPST                      x-ecef(m)      y-ecef(m)      z-ecef(m)   Q  ns   sdx(m)  "
           " "
           "sdy(m)   sdz(m)  sdxy(m)  sdyz(m)  sdzx(m) age(s)  ratio\n"
           "2034 86400.000  -3957200.1234   3310200.5678   3737712.9012   2  10   0.0100   0.0090  "
           " "
           "0.0110   0.0040  -0.0030   0.0020   1.00    0.0\n"
        << "XYZ"
        << "CT" << QVector<double>{-3957200.1234, 3310200.5678, 3737712.9012}
        << QVector<double>{1e-4, 16e-6, 4e-6, 81e-6, -9e-6, 121e-6};
    QTest::newRow("east north up baseline")
        << "%  GPST                  e-baseline(m)  n-baseline(m)  u-baseline(m)   Q  ns   sde(m)  "
           " "
           "sdn(m)   sdu(m)  sden(m)  sdnu(m)  sdue(m) age(s)  ratio\n"
           "2019/01/01 00:00:01.000       100.1234       -50.5678         2.3456   1  11   0.0020  "
           " "
           "0.0030   0.0050  -0.0010   0.0012  -0.0008   0.00    9.9\n"
        << "LENU"
        << "LG" << QVector<double>{100.1234, -50.5678, 2.3456}
        << QVector<double>{4e-6, -1e-6, -0.64e-6, 9e-6, 1.44e-6, 25e-6};
}

void TestEngineImport::rtkLibForms()
{
    QFETCH(QString, content);
    QFETCH(QString, code);
    QFETCH(QString, covarianceType);
    QFETCH(QVector<double>, position);
    QFETCH(QVector<double>, covariance);
    ImportOptions options;
    options.includeCovariance = true;
    const Conversion c = convert(ImportKind::RtkLib, content.toStdString(), options);
    QVERIFY(c.readable);
    checkAgainstCatalogue(c.lines);
    const auto points = withCode(c, code.toStdString());
    QVERIFY2(points.size() == 1, dump(c).c_str());
    const std::string &p = points.front();
    QCOMPARE(engine::trim(engine::columns(p, 11, 12)), std::string("terrain"));
    QCOMPARE(engine::columns(p, 7, 3), std::string("000"));
    if (code == "PLH") {
        std::string error;
        const double lat =
            *engine::parseAngle(engine::columns(p, 24, 17), engine::AngleUnit::Dms, error);
        const double lon =
            *engine::parseAngle(engine::columns(p, 42, 17), engine::AngleUnit::Dms, error);
        QVERIFY(std::fabs(lat * 180.0 / engine::kPi - position[0]) < 1e-9);
        QVERIFY(std::fabs(lon * 180.0 / engine::kPi - position[1]) < 1e-9);
        QVERIFY(std::fabs(numberAt(p, 60, 12) - position[2]) < kLengthTol);
    } else {
        QVERIFY(std::fabs(numberAt(p, 24, 18) - position[0]) < kLengthTol);
        QVERIFY(std::fabs(numberAt(p, 43, 18) - position[1]) < kLengthTol);
        QVERIFY(std::fabs(numberAt(p, code == "XYZ" ? 62 : 62, code == "XYZ" ? 18 : 16) -
                          position[2]) < kLengthTol);
    }
    // The block: 3DC, the point, the COV header and two ELEM lines with the signed covariances.
    const auto it = std::find(c.lines.begin(), c.lines.end(), p);
    QVERIFY(it != c.lines.begin() && *(it - 1) == " 3DC");
    QCOMPARE(engine::columns(*(it + 1), 2, 12),
             std::string("COV  ") + covarianceType.toStdString() + " UPPR");
    const std::vector<std::string> elem = {*(it + 2), *(it + 3)};
    const double found[6] = {numberAt(elem[0], 7, 23),  numberAt(elem[0], 31, 23),
                             numberAt(elem[0], 55, 23), numberAt(elem[1], 7, 23),
                             numberAt(elem[1], 31, 23), numberAt(elem[1], 55, 23)};
    for (int k = 0; k < 6; ++k)
        QVERIFY2(std::fabs(found[k] - covariance[k]) < 1e-15,
                 (std::to_string(k) + " " + std::to_string(found[k])).c_str());
}

void TestEngineImport::rtkLibReferencePosition()
{
    const std::string content =
        "% ref pos   :-3957199.2580  3310199.6270  3737711.7240\n"
        "%  GPST                      x-ecef(m)      y-ecef(m)      z-ecef(m)   Q  ns   sdx(m)   "
        "sdy(m)   sdz(m)  sdxy(m)  sdyz(m)  sdzx(m) age(s)  ratio\n"
        "2034 86400.000  -3957200.1234   3310200.5678   3737712.9012   2  10   0.0100   0.0090   "
        "0.0110   0.0040  -0.0030   0.0020   1.00    0.0\n"
        "2034 86401.000  -3957200.1244   3310200.5698   3737712.9032   2  10   0.0100   0.0090   "
        "0.0110   0.0040  -0.0030   0.0020   1.00    0.0\n"
        "2034 86402.000  -3957200.1244   garbage\n";
    ImportOptions options;
    const Conversion without = convert(ImportKind::RtkLib, content, options);
    QCOMPARE(withCode(without, "XYZ").size(), std::size_t(2));
    QVERIFY(withCode(without, "3DC").empty());
    QVERIFY(withCode(without, "COV").empty());
    options.includePoints = true;
    const Conversion with = convert(ImportKind::RtkLib, content, options);
    checkAgainstCatalogue(with.lines);
    const auto points = withCode(with, "XYZ");
    QCOMPARE(points.size(), std::size_t(3));
    QCOMPARE(engine::columns(points[0], 7, 15), std::string("111 terrain_REF"));
    QCOMPARE(numberAt(points[0], 24, 18), -3957199.2580);
    // Several solutions are numbered.
    QCOMPARE(engine::trim(engine::columns(points[1], 11, 12)), std::string("terrain_1"));
    QCOMPARE(engine::trim(engine::columns(points[2], 11, 12)), std::string("terrain_2"));
    QVERIFY(dump(with).find("ligne 5 non convertie") != std::string::npos);
}

void TestEngineImport::rtkLibWithoutHeaderIsRefused()
{
    const Conversion c = convert(ImportKind::RtkLib, "2034 86400.000 1 2 3 1 9 0 0 0 0 0 0 0 0\n");
    QVERIFY(!c.readable);
    QVERIFY(c.lines.empty());
}

void TestEngineImport::skiTwoBaselines()
{
    const std::string ski = "@%Unit: m\n"
                            "@%Coordinate type: Cartesian\n"
                            "@%Reference ellipsoid: WGS 1984\n"
                            "@#BASE             4201234.5678   168543.2100  4779876.5432 REF 0 0\n"
                            "@&  0.0\n"
                            "@+BASE             4201234.5678   168543.2100  4779876.5432\n"
                            "@-ROVER1                123.4560     -45.6780       12.3450\n"
                            "@=  1.5 1.0e-6 2.0e-7 -1.0e-7 2.0e-6 3.0e-7 4.0e-6\n"
                            "@:  1.500 0.000\n"
                            "@+BASE             4201234.5678   168543.2100  4779876.5432\n"
                            "@-ROVER2               -223.4560     145.6780      -22.3450\n"
                            "@=  0.8 3.0e-6 -1.0e-6 5.0e-7 2.5e-6 -4.0e-7 6.0e-6\n";
    ImportOptions options;
    options.includePoints = true;
    const Conversion c = convert(ImportKind::SkiAscii, ski, options);
    QVERIFY(c.readable);
    checkAgainstCatalogue(c.lines);
    QCOMPARE(withCode(c, "3DD").size(), std::size_t(2));
    const auto vectors = withCode(c, "DXYZ");
    QCOMPARE(vectors.size(), std::size_t(2));
    // The points as the GNSS vector tool reads them.
    QCOMPARE(engine::trim(engine::columns(vectors[0], 11, 12)), std::string("BASE"));
    QCOMPARE(engine::trim(engine::columns(vectors[0], 24, 12)), std::string("ROVER1"));
    QCOMPARE(engine::trim(engine::columns(vectors[1], 24, 12)), std::string("ROVER2"));
    QCOMPARE(numberAt(vectors[1], 37, 13), -223.456);
    QCOMPARE(numberAt(vectors[1], 51, 13), 145.678);
    QCOMPARE(numberAt(vectors[1], 65, 13), -22.345);
    // The base once, fixed by its @& with m0 = 0.
    const auto points = withCode(c, "XYZ");
    QCOMPARE(points.size(), std::size_t(1));
    QCOMPARE(engine::columns(points[0], 7, 3), std::string("111"));

    const double m0[2] = {1.5, 0.8};
    const double q[2][6] = {{1.0e-6, 2.0e-7, -1.0e-7, 2.0e-6, 3.0e-7, 4.0e-6},
                            {3.0e-6, -1.0e-6, 5.0e-7, 2.5e-6, -4.0e-7, 6.0e-6}};
    const auto elems = withCode(c, "ELEM");
    QCOMPARE(elems.size(), std::size_t(4));
    QCOMPARE(withCode(c, "COV").size(), std::size_t(2));
    for (int b = 0; b < 2; ++b) {
        const std::string &a = elems[static_cast<std::size_t>(2 * b)];
        const std::string &d = elems[static_cast<std::size_t>(2 * b + 1)];
        Eigen::Matrix3d m;
        m << numberAt(a, 7, 23), numberAt(a, 31, 23), numberAt(a, 55, 23), numberAt(a, 31, 23),
            numberAt(d, 7, 23), numberAt(d, 31, 23), numberAt(a, 55, 23), numberAt(d, 31, 23),
            numberAt(d, 55, 23);
        Eigen::Matrix3d expected;
        const double s = m0[b] * m0[b];
        expected << q[b][0], q[b][1], q[b][2], q[b][1], q[b][3], q[b][4], q[b][2], q[b][4], q[b][5];
        expected *= s;
        QVERIFY((m - expected).cwiseAbs().maxCoeff() < 1e-15);
        QVERIFY(m.isApprox(m.transpose()));
        QCOMPARE(Eigen::LLT<Eigen::Matrix3d>(m).info(), Eigen::Success);
    }
    // The antenna height line is reported, not lost.
    QVERIFY(dump(c).find("ligne 9 non convertie") != std::string::npos);
}

void TestEngineImport::skiRefusedHeaders_data()
{
    QTest::addColumn<QString>("header");
    QTest::newRow("geographic") << "@%Unit: m\n@%Coordinate type: Geographic\n"
                                   "@%Reference ellipsoid: WGS 1984\n";
    QTest::newRow("feet") << "@%Unit: ft\n@%Coordinate type: Cartesian\n"
                             "@%Reference ellipsoid: WGS 1984\n";
    QTest::newRow("other ellipsoid") << "@%Unit: m\n@%Coordinate type: Cartesian\n"
                                        "@%Reference ellipsoid: Bessel 1841\n";
    QTest::newRow("no header") << "";
}

void TestEngineImport::skiRefusedHeaders()
{
    QFETCH(QString, header);
    const Conversion c = convert(
        ImportKind::SkiAscii, header.toStdString() + "@+BASE             1 2 3\n@-ROVER1 4 5 6\n");
    QVERIFY(!c.readable);
    QVERIFY(!c.reason.empty());
}

void TestEngineImport::covadisLinesAllReported()
{
    const Conversion c = convert(ImportKind::Covadis, "1 ST S1 1.55\n\n3 ME P1 123.4560\n");
    QVERIFY(c.readable);
    checkAgainstCatalogue(c.lines);
    QCOMPARE(c.lines.size(), std::size_t(3)); // the heading and two comments
    QVERIFY(c.lines[1].rfind("!terrain.txt, ligne 1 non convertie", 0) == 0);
    QVERIFY(c.lines[2].rfind("!terrain.txt, ligne 3 non convertie", 0) == 0);
}

void TestEngineImport::appendModeOverThreeFiles()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("run.iob");
    writeFile(out, "stale content\n");
    const std::string known = joinWords({id8("K1"), word8(81, "..00", 5000),
                                         word8(82, "..00", 6000), word8(83, "..00", 300)}) +
                              "\n";
    const QStringList inputs = {dir.filePath("a.gsi"), dir.filePath("b.gsi"),
                                dir.filePath("c.gsi")};
    writeFile(inputs[0], kStation8 + "\n" + known);
    writeFile(inputs[1], joinWords({id8("S2"), word8(88, "..10", 1400)}) + "\n" +
                             joinWords({id8("K1"), word8(21, ".102", 100000)}) + "\n");
    writeFile(inputs[2], known);
    QVERIFY(callConvert(4, inputs[0], out, "NN"));
    QVERIFY(callConvert(4, inputs[1], out, "NO"));
    QVERIFY(callConvert(4, inputs[2], out, "NO"));
    const QString text = QString::fromLatin1(fileBytes(out));
    QVERIFY(!text.contains("stale"));
    const int a = text.indexOf("Leica GSI : a.gsi");
    const int b = text.indexOf("Leica GSI : b.gsi");
    const int c = text.indexOf("Leica GSI : c.gsi");
    QVERIFY2(a > 0 && b > a && c > b, qPrintable(text));
    // The third file's known point was defined by the first: not written twice.
    QCOMPARE(text.count(" LENU 111 K1"), 1);
    QVERIFY(text.mid(c).contains(QString::fromUtf8("K1 » déjà défini")));
    std::vector<std::string> lines;
    for (const QString &line : text.split('\n'))
        lines.push_back(line.toStdString());
    checkAgainstCatalogue(lines);
    // No temporary file is left beside the output.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
}

void TestEngineImport::unreadableInputWritesNothing()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.iob");
    QVERIFY(!callConvert(4, dir.filePath("missing.gsi"), out, "NN"));
    // A binary file, an RTKLib file without its header: nothing either.
    writeFile(dir.filePath("binary.gsi"), std::string("11\0\0\1\2", 6));
    QVERIFY(!callConvert(4, dir.filePath("binary.gsi"), out, "NN"));
    writeFile(dir.filePath("bare.pos"), "2034 86400.000 1 2 3\n");
    QVERIFY(!callConvert(3, dir.filePath("bare.pos"), out, "NNN"));
    // Appending an unreadable file leaves the output as it was.
    writeFile(out, "! kept\n");
    callConvert(4, dir.filePath("missing.gsi"), out, "NO");
    QCOMPARE(fileBytes(out), QByteArray("! kept\n"));
    // A malformed options string or null arguments write nothing and do not crash.
    writeFile(dir.filePath("ok.gsi"), kStation8 + "\n");
    QVERIFY(!callConvert(4, dir.filePath("ok.gsi"), dir.filePath("x.iob"), "N"));
    tavlodll_convert(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const std::int32_t kind = 4, huge = 1 << 30;
    tavlodll_convert(&kind, &huge, &huge, &huge, "", "", "");
}

void TestEngineImport::conversionSaysWhyNothingWasWritten_data()
{
    // The input written as `content` under `input`; `output` "=" names the input itself, "link"
    // a symbolic link to it.
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QString>("reason");
    const QByteArray gsi = QByteArray::fromStdString(kStation8 + "\n");
    QTest::newRow("output is the input") << 4 << "a.gsi" << gsi << "=" << QByteArray("NN")
                                         << QString::fromUtf8("est le fichier à convertir");
    QTest::newRow("appending to the input") << 4 << "a.gsi" << gsi << "=" << QByteArray("NO")
                                            << QString::fromUtf8("est le fichier à convertir");
    QTest::newRow("output is the input by a link")
        << 4 << "a.gsi" << gsi << "link" << QByteArray("NN")
        << QString::fromUtf8("est le fichier à convertir");
    QTest::newRow("binary input") << 4 << "b.gsi" << QByteArray("11\0\0\1\2", 6) << "out.iob"
                                  << QByteArray("NN") << "n'est pas un fichier texte";
    QTest::newRow("missing input")
        << 4 << "" << QByteArray() << "out.iob" << QByteArray("NN") << "introuvable ou illisible";
    QTest::newRow("options of another kind")
        << 4 << "a.gsi" << gsi << "out.iob" << QByteArray("NNN") << "invalides";
    QTest::newRow("no kind") << 0 << "a.gsi" << gsi << "out.iob" << QByteArray("NN")
                             << QString::fromUtf8("type d'importation absent");
}

void TestEngineImport::conversionSaysWhyNothingWasWritten()
{
    QFETCH(int, kind);
    QFETCH(QString, input);
    QFETCH(QByteArray, content);
    QFETCH(QString, output);
    QFETCH(QByteArray, options);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString in = dir.filePath(input.isEmpty() ? "absent.gsi" : input);
    if (!input.isEmpty())
        writeFile(in, content.toStdString());
    QString out = dir.filePath(output);
    if (output == "=")
        out = in;
    if (output == "link") {
        out = dir.filePath("out.iob");
        QVERIFY(QFile::link(in, out));
    }
    if (kind == 0) {
        const QByteArray inText = in.toLatin1();
        const QByteArray outText = out.toLatin1();
        const auto inLength = static_cast<std::int32_t>(inText.size());
        const auto outLength = static_cast<std::int32_t>(outText.size());
        const auto optLength = static_cast<std::int32_t>(options.size());
        tavlodll_convert(nullptr, &inLength, &outLength, &optLength, inText.constData(),
                         outText.constData(), options.constData());
    } else {
        callConvert(kind, in, out, options);
    }
    if (!input.isEmpty())
        QCOMPARE(fileBytes(in), content);
    if (output == "out.iob")
        QVERIFY(!QFile::exists(out));
    const QString said = reasonFor(out);
    QVERIFY2(said.contains(reason), qPrintable(said));
    // A later conversion that writes the output takes the reason away, even with a line it could
    // not convert.
    writeFile(dir.filePath("later.gsi"), kStation8 + "\nnot a GSI line\n");
    QVERIFY(callConvert(4, dir.filePath("later.gsi"), out, "NN"));
    QVERIFY(fileBytes(out).contains("ligne 2 non convertie"));
    QVERIFY(!QFile::exists(out + ".err"));
}

void TestEngineImport::skiCovarianceKeepsSixteenDecimals()
{
    // Cofactors and m0 with more digits than 12 decimals of square metres can hold.
    const double m0 = 1.2345678901;
    const double q[6] = {1.234567890123e-6, 2.345678901234e-7, -1.098765432109e-7,
                         2.718281828459e-6, 3.141592653589e-7, 4.669201609102e-6};
    char line[200];
    std::snprintf(line, sizeof line, "@=  %.10f %.12e %.12e %.12e %.12e %.12e %.12e\n", m0, q[0],
                  q[1], q[2], q[3], q[4], q[5]);
    const std::string ski = "@%Unit: m\n"
                            "@%Coordinate type: Cartesian\n"
                            "@%Reference ellipsoid: WGS 1984\n"
                            "@+BASE             4201234.5678   168543.2100  4779876.5432\n"
                            "@-ROVER1                123.4560     -45.6780       12.3450\n" +
                            std::string(line);
    const Conversion c = convert(ImportKind::SkiAscii, ski);
    QVERIFY(c.readable);
    checkAgainstCatalogue(c.lines);
    const auto elems = withCode(c, "ELEM");
    QCOMPARE(elems.size(), std::size_t(2));
    const int order[2][3] = {{0, 1, 2}, {3, 4, 5}};
    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 3; ++k) {
            const std::string field = engine::columns(elems[std::size_t(row)], 7 + 24 * k, 23);
            const std::string value = engine::trim(field);
            QVERIFY2(field[0] == ' ', field.c_str());
            QCOMPARE(int(value.size() - value.find('.') - 1), 16);
            // Half a unit of the 16th decimal, and the rounding of the product.
            const double exact = m0 * m0 * q[order[row][k]];
            QVERIFY2(std::fabs(std::stod(value) - exact) <= 0.5e-16 + 1e-22, value.c_str());
        }
    }
}

void TestEngineImport::accentedPaths()
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QString::fromUtf8("relevé.gsi"));
    const QString output = dir.filePath(QString::fromUtf8("résultat.iob"));
    writeFile(input, kStation8 + "\n");
    QVERIFY(callConvert(4, input, output, "NN"));
    // The file on disk has the UTF-8 name, and the comment names the input in Latin-1.
    QVERIFY(fileBytes(output).contains(QString::fromUtf8("relevé.gsi").toLatin1()));
}

QTEST_GUILESS_MAIN(TestEngineImport)
#include "tst_engineimport.moc"
