// Reading observation files: line kinds, includes with their numbering, angle fields, the columns
// of the record fields, and the values that make no physical sense.

#include "engine/model/angles.h"
#include "enginetesthelpers.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kAngleTol = 1e-12; // radians

std::string path(const std::string &relative)
{
    return engine::normalizedPath("/data/" + relative);
}

// The messages of reading then building the network of one file of `lines`.
engine::Diagnostics buildMessages(const std::vector<std::string> &lines)
{
    engine::Diagnostics diagnostics;
    const auto source = engine::readObservationFiles(
        path("net.iob"), memoryLoader({{path("net.iob"), joinLines(lines)}}), diagnostics);
    engine::buildNetwork(source, engine::Options(), diagnostics);
    return diagnostics;
}

// Whether `diagnostics` hold a message of `severity` at `line` whose text holds `fragment`
// (UTF-8, compared in Latin-1).
bool hasMessage(const engine::Diagnostics &diagnostics, engine::Diagnostic::Severity severity,
                int line, const QString &fragment)
{
    const std::string latin1 = fragment.toLatin1().toStdString();
    for (const auto &d : diagnostics.items()) {
        if (d.severity == severity && d.line == line && d.text.find(latin1) != std::string::npos)
            return true;
    }
    return false;
}

// A record line: a blank, `code`, then each text from its column (columns in increasing order).
QString record(const char *code, std::initializer_list<std::pair<int, const char *>> fields)
{
    QString line = QLatin1Char(' ') + QLatin1String(code);
    for (const auto &[column, text] : fields)
        line = line.leftJustified(column - 1, QLatin1Char(' ')) + QString::fromUtf8(text);
    return line;
}

// A small sound network; `extra` lines follow its records, from line 8 on.
std::vector<std::string> network(const QStringList &extra)
{
    const QStringList lines =
        QStringList{
            record("ANGT", {{7, "GRD"}}),
            record("SIGM", {{7, "HZ"}, {11, "10.0"}, {44, "0.0005"}, {55, "0.001"}, {79, "m"}}),
            record("LENU",
                   {{7, "111"}, {11, "A"}, {24, "1000.000"}, {43, "2000.000"}, {62, "100"}}),
            record("LENU",
                   {{7, "111"}, {11, "B"}, {24, "1100.000"}, {43, "2000.000"}, {62, "100"}}),
            record("LENU",
                   {{7, "000"}, {11, "C"}, {24, "1000.000"}, {43, "2100.000"}, {62, "101"}}),
            record("HI", {{11, "A"}, {24, "1.500"}, {35, "m"}}),
            record("HT", {{11, "C"}, {24, "1.600"}, {35, "m"}}),
        } +
        extra;
    std::vector<std::string> result;
    for (const QString &line : lines)
        result.push_back(line.toLatin1().toStdString());
    return result;
}

} // namespace

class TestEngineObservationReader : public QObject
{
    Q_OBJECT

private slots:
    void linesAreSortedByTheirFirstCharacter();
    void includesAreNumberedInTheOrderFirstMet();
    void includeProblemsAreReported_data();
    void includeProblemsAreReported();
    void networkMessagesNameTheirFile();
    void angleFields_data();
    void angleFields();
    void badAngleFields_data();
    void badAngleFields();
    void angleRanges_data();
    void angleRanges();
    void textOutsideTheFieldsIsAnError_data();
    void textOutsideTheFieldsIsAnError();
    void utf8FilesAreWarnedOnce_data();
    void utf8FilesAreWarnedOnce();
    void tabbedRecordsAreWarned_data();
    void tabbedRecordsAreWarned();
    void absurdValuesAreErrorsAtTheirLine_data();
    void absurdValuesAreErrorsAtTheirLine();
};

void TestEngineObservationReader::linesAreSortedByTheirFirstCharacter()
{
    engine::Diagnostics diagnostics;
    const std::string text = "! comment\r\n DIST record\r\n\r\n*other comment\n   \n\tTAB\n ZANG z";
    const auto source = engine::readObservationFiles(
        path("a.iob"), memoryLoader({{path("a.iob"), text}}), diagnostics);
    QVERIFY(!diagnostics.hasErrors());
    QCOMPARE(source.records.size(), std::size_t(2));
    QCOMPARE(source.records[0].lineNumber, 2);
    QCOMPARE(std::string(source.records[0].text), std::string(" DIST record"));
    QCOMPARE(source.records[1].lineNumber, 7);
    QCOMPARE(std::string(source.records[1].text), std::string(" ZANG z"));
}

void TestEngineObservationReader::includesAreNumberedInTheOrderFirstMet()
{
    // main includes sub/b.iob (which includes ../c.iob, relative to sub/) then c.iob again.
    const std::map<std::string, std::string> files = {
        {path("main.iob"), " ONE\n#include sub/b.iob\n TWO\n#include c.iob\n THREE\n"},
        {path("sub/b.iob"), "! b\n B1\n#include ../c.iob\n B2\n"},
        {path("c.iob"), " C1\n"},
    };
    engine::Diagnostics diagnostics;
    const auto source =
        engine::readObservationFiles(path("main.iob"), memoryLoader(files), diagnostics);
    QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
    QCOMPARE(source.files,
             (std::vector<std::string>{path("main.iob"), path("sub/b.iob"), path("c.iob")}));
    engine::Diagnostics listing;
    QCOMPARE(engine::listObservationFiles(path("main.iob"), memoryLoader(files), listing),
             source.files);
    QCOMPARE(listing.items().size(), diagnostics.items().size());
    const std::vector<std::tuple<int, int, std::string>> expected = {
        {1, 1, " ONE"}, {2, 2, " B1"}, {3, 1, " C1"},   {2, 4, " B2"},
        {1, 3, " TWO"}, {3, 1, " C1"}, {1, 5, " THREE"}};
    QCOMPARE(source.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(source.records[i].fileNumber, std::get<0>(expected[i]));
        QCOMPARE(source.records[i].lineNumber, std::get<1>(expected[i]));
        QCOMPARE(std::string(source.records[i].text), std::get<2>(expected[i]));
    }
}

void TestEngineObservationReader::includeProblemsAreReported_data()
{
    QTest::addColumn<QString>("mainText");
    QTest::addColumn<QString>("otherText");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << " A\n#include absent.iob\n"
                                  << ""
                                  << "main.iob" << 2 << "introuvable";
    QTest::newRow("direct cycle") << "#include main.iob\n"
                                  << ""
                                  << "main.iob" << 1 << "circulaire";
    QTest::newRow("indirect cycle") << "#include other.iob\n"
                                    << " X\n\n#include main.iob\n"
                                    << "other.iob" << 3 << "circulaire";
    QTest::newRow("no blank after the keyword") << "#includeother.iob\n"
                                                << ""
                                                << "main.iob" << 1 << "mal form";
    QTest::newRow("no name") << "#include   \n"
                             << ""
                             << "main.iob" << 1 << "mal form";
    QTest::newRow("not an include") << " A\n\n#inclure x\n"
                                    << ""
                                    << "main.iob" << 3 << "mal form";
    QTest::newRow("too many includes")
        << QString("#include other.iob\n").repeated(engine::kMaxIncludes + 5) << " X\n"
        << "main.iob" << engine::kMaxIncludes + 1 << "Trop d'inclusions";
}

void TestEngineObservationReader::includeProblemsAreReported()
{
    QFETCH(QString, mainText);
    QFETCH(QString, otherText);
    QFETCH(QString, file);
    QFETCH(int, line);
    QFETCH(QString, message);
    const engine::FileLoader loader = memoryLoader(
        {{path("main.iob"), mainText.toStdString()}, {path("other.iob"), otherText.toStdString()}});
    engine::Diagnostics diagnostics;
    engine::readObservationFiles(path("main.iob"), loader, diagnostics);
    QCOMPARE(diagnostics.errorCount(), 1);
    const auto &d = diagnostics.items().front();
    QCOMPARE(d.file, path(file.toStdString()));
    QCOMPARE(d.line, line);
    QVERIFY2(d.text.find(message.toStdString()) != std::string::npos, d.text.c_str());
    // Listing the files only says the same.
    engine::Diagnostics listing;
    engine::listObservationFiles(path("main.iob"), loader, listing);
    QCOMPARE(listing.items().size(), diagnostics.items().size());
    QCOMPARE(listing.items().front().line, d.line);
    QCOMPARE(listing.items().front().text, d.text);
}

// A record of the network is reported against the file it comes from, the included one as well
// as the one that includes it.
void TestEngineObservationReader::networkMessagesNameTheirFile()
{
    const std::map<std::string, std::string> files = {
        {path("main.iob"), " QQQQ\n#include sub.iob\n\n\n QQQQ\n"},
        {path("sub.iob"), "\n\n QQQQ\n"}};
    engine::Diagnostics diagnostics;
    const auto source =
        engine::readObservationFiles(path("main.iob"), memoryLoader(files), diagnostics);
    engine::buildNetwork(source, engine::Options(), diagnostics);
    std::vector<std::pair<std::string, int>> places;
    for (const auto &d : diagnostics.items()) {
        if (d.text.find("inconnu") != std::string::npos)
            places.emplace_back(d.file, d.line);
    }
    std::sort(places.begin(), places.end());
    const std::vector<std::pair<std::string, int>> expected = {
        {path("main.iob"), 1}, {path("main.iob"), 5}, {path("sub.iob"), 3}};
    QCOMPARE(places, expected);
}

void TestEngineObservationReader::angleFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("radians");
    const double gon = engine::kPi / 200.0;
    const double degree = engine::kPi / 180.0;
    QTest::newRow("grades, three parts")
        << "  123 45    67.8" << int(engine::AngleUnit::Grades) << 123.45678 * gon;
    QTest::newRow("grades, one decimal part")
        << "123.45678" << int(engine::AngleUnit::Grades) << 123.45678 * gon;
    QTest::newRow("degrees, three parts") << " 12 30    15.5" << int(engine::AngleUnit::Dms)
                                          << (12.0 + 30.0 / 60.0 + 15.5 / 3600.0) * degree;
    QTest::newRow("degrees, minus prefix")
        << "- 12  5" << int(engine::AngleUnit::Dms) << -(12.0 + 5.0 / 60.0) * degree;
    QTest::newRow("west is negative")
        << "W  1 00 00" << int(engine::AngleUnit::Dms) << -1.0 * degree;
    QTest::newRow("north is positive") << "N 47 25   23.1454" << int(engine::AngleUnit::Dms)
                                       << (47.0 + 25.0 / 60.0 + 23.1454 / 3600.0) * degree;
    QTest::newRow("radians") << "1.2345" << int(engine::AngleUnit::Radians) << 1.2345;
    QTest::newRow("radians with zero parts")
        << "1.2345 00       0" << int(engine::AngleUnit::Radians) << 1.2345;
}

void TestEngineObservationReader::angleFields()
{
    QFETCH(QString, field);
    QFETCH(int, unit);
    QFETCH(double, radians);
    std::string error;
    const auto value =
        engine::parseAngle(field.toStdString(), static_cast<engine::AngleUnit>(unit), error);
    QVERIFY2(value.has_value(), error.c_str());
    QVERIFY(std::fabs(*value - radians) < kAngleTol);
}

void TestEngineObservationReader::badAngleFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("unit");
    QTest::newRow("empty") << "   " << int(engine::AngleUnit::Grades);
    QTest::newRow("four parts") << "1 2 3 4" << int(engine::AngleUnit::Grades);
    QTest::newRow("letters") << "12 ab 3" << int(engine::AngleUnit::Dms);
    QTest::newRow("sixty minutes") << "12 60 00" << int(engine::AngleUnit::Dms);
    QTest::newRow("hundred centigrades") << "12 100 00" << int(engine::AngleUnit::Grades);
    QTest::newRow("negative part") << "12 -5 00" << int(engine::AngleUnit::Grades);
    QTest::newRow("radians in parts") << "1 30 00" << int(engine::AngleUnit::Radians);
    QTest::newRow("not a number") << "nan" << int(engine::AngleUnit::Radians);
    QTest::newRow("infinite") << "1e999" << int(engine::AngleUnit::Radians);
}

void TestEngineObservationReader::badAngleFields()
{
    QFETCH(QString, field);
    QFETCH(int, unit);
    std::string error;
    QVERIFY(!engine::parseAngle(field.toStdString(), static_cast<engine::AngleUnit>(unit), error));
    QVERIFY(!error.empty());
}

void TestEngineObservationReader::angleRanges_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("range");
    QTest::addColumn<bool>("accepted");
    const int grd = int(engine::AngleUnit::Grades);
    const int dms = int(engine::AngleUnit::Dms);
    const int rad = int(engine::AngleUnit::Radians);
    const int circle = int(engine::AngleRange::Circle);
    const int half = int(engine::AngleRange::HalfCircle);
    QTest::newRow("direction just under the circle") << "399 99 99.99" << grd << circle << true;
    QTest::newRow("negative direction") << "- 10" << grd << circle << true;
    QTest::newRow("direction of a full circle") << "400" << grd << circle << false;
    QTest::newRow("direction of 1e17 gon") << "1e17" << grd << circle << false;
    QTest::newRow("direction of 360 degrees") << "360 00 00" << dms << circle << false;
    QTest::newRow("direction beyond 2 pi") << "6.2832" << rad << circle << false;
    QTest::newRow("negative beyond the circle") << "W 400 00 01" << dms << circle << false;
    QTest::newRow("zenith of 0") << "0" << grd << half << true;
    QTest::newRow("zenith of a half circle") << "200" << grd << half << true;
    QTest::newRow("zenith over a half circle") << "200 00 01" << grd << half << false;
    QTest::newRow("zenith of 180 degrees 1 second") << "180 00 01" << dms << half << false;
    QTest::newRow("negative zenith") << "- 1" << grd << half << false;
    QTest::newRow("any range takes 1e17") << "1e17" << grd << int(engine::AngleRange::Any) << true;
}

void TestEngineObservationReader::angleRanges()
{
    QFETCH(QString, field);
    QFETCH(int, unit);
    QFETCH(int, range);
    QFETCH(bool, accepted);
    std::string error;
    const auto value = engine::parseAngle(field.toStdString(), engine::AngleUnit(unit), error,
                                          engine::AngleRange(range));
    QCOMPARE(value.has_value(), accepted);
    QCOMPARE(error.find("hors limites") != std::string::npos, !accepted);
}

void TestEngineObservationReader::textOutsideTheFieldsIsAnError_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("columns"); // empty: no text outside the fields
    QTest::newRow("well formed direction")
        << record("DIR", {{7, "HZ"}, {11, "A"}, {24, "C"}, {57, "12.3456"}, {72, "10.0"}}) << "";
    QTest::newRow("13-character station name")
        << record("DIR", {{7, "HZ"}, {11, "ABCDEFGHIJKLM"}, {24, "C"}, {57, "12.3456"}})
        << "colonne 23 (« M »)";
    QTest::newRow("reading in columns 45 to 52")
        << record("DIR", {{7, "HZ"}, {11, "A"}, {24, "C"}, {45, "250.8059"}})
        << "colonnes 45 à 49 (« 250.8 »)";
    QTest::newRow("reading one column too far right")
        << record("DIR", {{7, "HZ"}, {11, "A"}, {24, "C"}, {59, "12.3456"}})
        << "colonne 65 (« 6 »)";
    QTest::newRow("text glued to the code")
        << record("DIST", {{6, "1"}, {11, "A"}, {24, "C"}, {57, "100.000"}}) << "colonne 6";
    QTest::newRow("unit beyond the last field")
        << record("DIST", {{11, "A"}, {24, "C"}, {57, "100.000"}, {79, "m"}}) << "colonne 79";
    QTest::newRow("two runs") << record("HI", {{6, "1.5"}, {11, "A"}, {24, "1.500"}, {39, "x"}})
                              << "colonnes 6 à 8 (« 1.5 ») et colonne 39 (« x »)";
    QTest::newRow("trailing blanks and tabs")
        << record("HI", {{11, "A"}, {24, "1.500"}, {35, "m  \t \t"}}) << "";
    QTest::newRow("title of 73 characters") << record("TITL", {{7, "T"}}) + QString(72, 'T') << "";
    QTest::newRow("title of 74 characters")
        << record("TITL", {{7, "T"}}) + QString(73, 'T') << "colonne 80";
}

void TestEngineObservationReader::textOutsideTheFieldsIsAnError()
{
    QFETCH(QString, line);
    QFETCH(QString, columns);
    const engine::Diagnostics diagnostics = buildMessages(network({line}));
    const bool outside = hasMessage(diagnostics, engine::Diagnostic::Severity::Error, 8,
                                    QStringLiteral("Texte hors des champs"));
    QVERIFY2(outside == !columns.isEmpty(), diagnosticsText(diagnostics).c_str());
    if (outside)
        QVERIFY2(hasMessage(diagnostics, engine::Diagnostic::Severity::Error, 8, columns),
                 diagnosticsText(diagnostics).c_str());
}

// The engine reads its records at the catalogue's columns, so that no line the field editor
// builds is refused, even with every field filled to its last column.
void TestEngineObservationReader::utf8FilesAreWarnedOnce_data()
{
    QTest::addColumn<QByteArray>("included");
    QTest::addColumn<int>("line"); // 0: no warning
    QTest::newRow("latin-1 accents") << QByteArray("! \xE9t\xE9\n! gar\xE7on\n") << 0;
    QTest::newRow("plain ascii") << QByteArray("! ete\n") << 0;
    QTest::newRow("utf-8 accent on line 3") << QByteArray("! a\n! b\n! \xC3\xA9t\xC3\xA9\n") << 3;
    QTest::newRow("utf-8 quote, C1 bytes in latin-1") << QByteArray("! l\xE2\x80\x99"
                                                                    "eau\n")
                                                      << 1;
    QTest::newRow("a lone latin-1 accent after utf-8") << QByteArray("! \xC3\xA9\n! \xE9\n") << 0;
    QTest::newRow("overlong form is not utf-8") << QByteArray("! \xC0\xAF\n") << 0;
    QTest::newRow("truncated sequence at the end") << QByteArray("! \xC3") << 0;
    // Long runs of plain characters are passed over several bytes at a time.
    QTest::newRow("utf-8 after long ascii runs")
        << QByteArray("! abcdefghijklmnopq\n! abcdefghijk\xC3\xA9t\xC3\xA9\n") << 2;
    QTest::newRow("latin-1 accent after a long ascii run")
        << QByteArray("! abcdefghijklmnopqrstu\xE9vwxyz\n") << 0;
}

void TestEngineObservationReader::utf8FilesAreWarnedOnce()
{
    QFETCH(QByteArray, included);
    QFETCH(int, line);
    // The included file is met twice: one warning at most.
    const std::map<std::string, std::string> files = {
        {path("main.iob"), "#include sub.iob\n#include sub.iob\n"},
        {path("sub.iob"), included.toStdString()}};
    engine::Diagnostics diagnostics;
    engine::readObservationFiles(path("main.iob"), memoryLoader(files), diagnostics);
    QVERIFY(!diagnostics.hasErrors());
    QCOMPARE(int(diagnostics.items().size()), line > 0 ? 1 : 0);
    if (line > 0) {
        const auto &d = diagnostics.items().front();
        QCOMPARE(d.severity, engine::Diagnostic::Severity::Warning);
        QCOMPARE(d.file, path("sub.iob"));
        QCOMPARE(d.line, line);
        QVERIFY(d.text.find("UTF-8") != std::string::npos);
    }
}

void TestEngineObservationReader::tabbedRecordsAreWarned_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("warned");
    QTest::newRow("tab for the leading blank") << "\tDIR  HZ  A   B   123.4567" << true;
    QTest::newRow("tab then blank") << "\t DIST     A   B   12.3" << true;
    QTest::newRow("record not handled yet") << "\tXYZ  111 P" << true;
    QTest::newRow("comment") << "\tune note de terrain" << false;
    QTest::newRow("word starting like a code") << "\tDIRECTION nord" << false;
    QTest::newRow("bang comment") << "!DIR  HZ  A   B   123.4567" << false;
}

void TestEngineObservationReader::tabbedRecordsAreWarned()
{
    QFETCH(QString, line);
    QFETCH(bool, warned);
    engine::Diagnostics diagnostics;
    const auto source = engine::readObservationFiles(
        path("a.iob"), memoryLoader({{path("a.iob"), "! x\n" + line.toStdString() + "\n"}}),
        diagnostics);
    QVERIFY(source.records.empty());
    QCOMPARE(hasMessage(diagnostics, engine::Diagnostic::Severity::Warning, 2, "tabulation"),
             warned);
    QCOMPARE(int(diagnostics.items().size()), warned ? 1 : 0);
}

void TestEngineObservationReader::absurdValuesAreErrorsAtTheirLine_data()
{
    QTest::addColumn<QStringList>("lines"); // from line 8
    QTest::addColumn<int>("line");          // 0: no error
    QTest::addColumn<QString>("message");
    const auto direction = [](const char *reading) {
        return record("DIR", {{7, "HZ"}, {11, "A"}, {24, "C"}, {55, reading}});
    };
    const auto zenith = [](const char *reading, const char *refraction) {
        return record("ZANG",
                      {{11, "A"}, {24, "C"}, {55, reading}, {72, "10.0"}, {80, refraction}});
    };
    QTest::newRow("sound network")
        << QStringList{direction("12.3456"), direction("399.9999"), zenith("99.1234", "0.13")} << 0
        << "";
    QTest::newRow("reading of 1e17 gon")
        << QStringList{direction("12.3456"), direction("1e17")} << 9 << "hors limites";
    QTest::newRow("zenith angle over a half circle")
        << QStringList{zenith("300.0000", "")} << 8 << "hors limites";
    QTest::newRow("refraction of 13")
        << QStringList{zenith("99.1234", "13")} << 8 << "coefficient de réfraction 13";
    QTest::newRow("instrument height of 1e17 m")
        << QStringList{record("HI", {{11, "A"}, {24, "1e17"}})} << 8 << "hauteur d'instrument";
    QTest::newRow("target height of 150 m")
        << QStringList{record("HT", {{11, "C"}, {24, "150.000"}})} << 8 << "hauteur de cible";
    QTest::newRow("refraction precision of 5")
        << QStringList{record("RSET", {{7, "5.0"}})} << 8 << "réfraction";
    QTest::newRow("standard deviation of 1e-300 cc")
        << QStringList{record("DIR", {{11, "A"}, {24, "C"}, {55, "12.3456"}, {66, "1e-300"}})} << 8
        << "Ecart-type hors limites";
    QTest::newRow("distance standard deviation of 10 km")
        << QStringList{record("DIST", {{11, "A"}, {24, "C"}, {55, "100.000"}, {66, "10000"}})} << 8
        << "Ecart-type hors limites";
    QTest::newRow("family constant of 1e17")
        << QStringList{record("SIGM", {{7, "HUG"}, {11, "1e17"}}),
                       record("DIR", {{7, "HUG"}, {11, "A"}, {24, "C"}, {55, "12.3456"}})}
        << 9 << "famille « HUG »";
    QTest::newRow("centring error of 5 m")
        << QStringList{record("SIGM", {{7, "CEN"}, {11, "1.0"}, {44, "5.0"}})} << 8 << "centrage";
}

void TestEngineObservationReader::absurdValuesAreErrorsAtTheirLine()
{
    QFETCH(QStringList, lines);
    QFETCH(int, line);
    QFETCH(QString, message);
    const engine::Diagnostics diagnostics = buildMessages(network(lines));
    QVERIFY2(diagnostics.errorCount() == (line > 0 ? 1 : 0), diagnosticsText(diagnostics).c_str());
    if (line > 0)
        QVERIFY2(hasMessage(diagnostics, engine::Diagnostic::Severity::Error, line, message),
                 diagnosticsText(diagnostics).c_str());
}

QTEST_GUILESS_MAIN(TestEngineObservationReader)
#include "tst_engineobservationreader.moc"
