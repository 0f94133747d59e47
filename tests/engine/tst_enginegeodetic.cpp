// The geodetic models' input: the reference ellipsoid (ELIP) and its checks.
#include "enginetesthelpers.h"

#include <QtTest>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

// A record line: its code in columns 2 to 5 and each text from its first column (from 1).
std::string record(const std::string &code, const std::vector<std::pair<int, std::string>> &fields)
{
    std::string line = " " + code;
    for (const auto &[first, value] : fields) {
        const std::size_t at = static_cast<std::size_t>(first - 1);
        if (line.size() < at)
            line.resize(at, ' ');
        line.replace(at, std::min(value.size(), line.size() - at), value);
    }
    return line;
}

std::string elip(const std::string &name, const std::string &a, const std::string &b,
                 const std::string &unit = "m")
{
    return record("ELIP", {{7, name}, {24, a}, {38, b}, {79, unit}});
}

struct Built
{
    engine::Diagnostics diagnostics;
    engine::Network network;
};

Built build(const std::vector<std::string> &lines, const engine::Options &options = {})
{
    Built built;
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source = engine::readObservationFiles(
        path, memoryLoader({{path, joinLines(lines)}}), built.diagnostics);
    built.network = engine::buildNetwork(source, options, built.diagnostics);
    return built;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)

class TestEngineGeodetic : public QObject
{
    Q_OBJECT

private slots:
    void ellipsoid_data();
    void ellipsoid();
};

void TestEngineGeodetic::ellipsoid_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<double>("semiMajor");
    QTest::addColumn<double>("semiMinor");
    QTest::addColumn<int>("errorLine"); // 0: no error
    QTest::addColumn<QString>("errorPart");

    // GRS80: a = 6378137 m, 1/f = 298.257222101, hence b = 6356752.314140 m (Moritz, Geodetic
    // Reference System 1980, Bulletin Géodésique 54, 1980).
    QTest::newRow("GRS80 without ELIP")
        << std::vector<std::string>{} << 6378137.0 << 6356752.314140 << 0 << QString();
    // Clarke 1880 (IGN): a = 6378249.2 m, b = 6356515.0 m.
    QTest::newRow("Clarke 1880") << std::vector<std::string>{elip("CLARKE 1880", "6378249.2",
                                                                  "6356515.0")}
                                 << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("in centimetres")
        << std::vector<std::string>{elip("CLARKE 1880", "637824920", "635651500", "cm")}
        << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("the same twice in two units")
        << std::vector<std::string>{elip("A", "6378249.2", "6356515.0"),
                                    elip("B", "637824920", "635651500", "cm")}
        << 6378249.2 << 6356515.0 << 0 << QString();
    QTest::newRow("two different")
        << std::vector<std::string>{elip("CLARKE 1880", "6378249.2", "6356515.0"),
                                    elip("GRS80", "6378137.0", "6356752.3141")}
        << 6378249.2 << 6356515.0 << 2 << QString("ligne 1");
    QTest::newRow("semi-minor above semi-major")
        << std::vector<std::string>{elip("ECHANGE", "6356752.3141", "6378137.0")} << 6378137.0
        << 6356752.314140 << 1 << QString("plus grand que le demi-grand axe");
    QTest::newRow("axis in kilometres")
        << std::vector<std::string>{elip("KM", "6378.137", "6356.752")} << 6378137.0
        << 6356752.314140 << 1 << QString("demi-grand axe");
    QTest::newRow("NaN") << std::vector<std::string>{elip("NAN", "nan", "6356752.3141")}
                         << 6378137.0 << 6356752.314140 << 1 << QString("nan");
    QTest::newRow("missing semi-minor")
        << std::vector<std::string>{elip("SEUL", "6378137.0", "")} << 6378137.0 << 6356752.314140
        << 1 << QString("demi-petit axe");
}

void TestEngineGeodetic::ellipsoid()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(double, semiMajor);
    QFETCH(double, semiMinor);
    QFETCH(int, errorLine);
    QFETCH(QString, errorPart);

    const Built built = build(lines);
    const auto &items = built.diagnostics.items();
    if (errorLine == 0) {
        QVERIFY2(!built.diagnostics.hasErrors(), diagnosticsText(built.diagnostics).c_str());
    } else {
        QVERIFY(!items.empty());
        for (const auto &item : items)
            QCOMPARE(item.line, errorLine);
        QVERIFY2(QString::fromLatin1(items.front().text.c_str()).contains(errorPart),
                 items.front().text.c_str());
    }
    QVERIFY(std::abs(built.network.ellipsoid.semiMajor - semiMajor) < 1e-6);
    QVERIFY(std::abs(built.network.ellipsoid.semiMinor - semiMinor) < 1e-6);
}

QTEST_APPLESS_MAIN(TestEngineGeodetic)
#include "tst_enginegeodetic.moc"
