// Reading observation files: line kinds, includes with their numbering, and angle fields.

#include "angles.h"
#include "enginetesthelpers.h"

#include <QtTest>

#include <cmath>

namespace {

constexpr double kAngleTol = 1e-12; // radians

std::string path(const std::string &relative)
{
    return engine::normalizedPath("/data/" + relative);
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
    void angleFields_data();
    void angleFields();
    void badAngleFields_data();
    void badAngleFields();
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
    QCOMPARE(source.records[0].text, std::string(" DIST record"));
    QCOMPARE(source.records[1].lineNumber, 7);
    QCOMPARE(source.records[1].text, std::string(" ZANG z"));
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
    const std::vector<std::tuple<int, int, std::string>> expected = {
        {1, 1, " ONE"}, {2, 2, " B1"}, {3, 1, " C1"},   {2, 4, " B2"},
        {1, 3, " TWO"}, {3, 1, " C1"}, {1, 5, " THREE"}};
    QCOMPARE(source.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(source.records[i].fileNumber, std::get<0>(expected[i]));
        QCOMPARE(source.records[i].lineNumber, std::get<1>(expected[i]));
        QCOMPARE(source.records[i].text, std::get<2>(expected[i]));
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
    engine::Diagnostics diagnostics;
    engine::readObservationFiles(path("main.iob"),
                                 memoryLoader({{path("main.iob"), mainText.toStdString()},
                                               {path("other.iob"), otherText.toStdString()}}),
                                 diagnostics);
    QCOMPARE(diagnostics.errorCount(), 1);
    const auto &d = diagnostics.items().front();
    QCOMPARE(d.file, path(file.toStdString()));
    QCOMPARE(d.line, line);
    QVERIFY2(d.text.find(message.toStdString()) != std::string::npos, d.text.c_str());
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

QTEST_GUILESS_MAIN(TestEngineObservationReader)
#include "tst_engineobservationreader.moc"
