// Observed positions (3DC blocks with their matrix header and ELEM lines): the covariance the
// header's fields give, the adjustment of correlated observations against the closed-form
// weighted mean, and the errors of malformed blocks.
#include "enginetesthelpers.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <Eigen/Dense>

#include <QtTest>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string lenu(const std::string &name, double east, double north, double up,
                 const std::string &flags = "000")
{
    return record("LENU", {{7, flags},
                           {11, name},
                           {24, fixedText(east, 6)},
                           {43, fixedText(north, 6)},
                           {62, fixedText(up, 6)},
                           {81, "m"}});
}

// A matrix header; `fields` are the ALL, DIAG, PPM and UP fields from column 15, as written.
std::string header(const std::string &code, const std::string &frame, const std::string &shape,
                   const std::vector<std::pair<int, std::string>> &fields = {},
                   const std::string &unit = "m")
{
    std::vector<std::pair<int, std::string>> all = {{7, frame}, {10, shape}, {92, unit}};
    all.insert(all.end(), fields.begin(), fields.end());
    return record(code, all);
}

std::vector<std::string> elements(const std::vector<std::string> &values,
                                  const std::string &unit = "")
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < values.size(); i += 3) {
        std::vector<std::pair<int, std::string>> fields = {{79, unit}};
        for (std::size_t k = 0; k < 3 && i + k < values.size(); ++k)
            fields.emplace_back(7 + 24 * static_cast<int>(k), values[i + k]);
        lines.push_back(record("ELEM", fields));
    }
    return lines;
}

// The upper triangle of `m`, row by row, as ELEM texts.
std::vector<std::string> upper(const Eigen::MatrixXd &m)
{
    std::vector<std::string> values;
    for (Eigen::Index i = 0; i < m.rows(); ++i)
        for (Eigen::Index j = i; j < m.cols(); ++j)
            values.push_back(QString::number(m(i, j), 'g', 17).toStdString());
    return values;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

engine::Options ellipsoidal()
{
    engine::Options options;
    options.model = engine::ModelType::Ellipsoidal3D;
    return options;
}

// A covariance in north, east, up (metres squared) of a position known to a few centimetres.
Eigen::Matrix3d baseCovariance()
{
    Eigen::Matrix3d m;
    m << 4.0, 1.0, 0.5, 1.0, 9.0, 2.0, 0.5, 2.0, 16.0;
    return m * 1e-4;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<std::string>)
Q_DECLARE_METATYPE(Eigen::Matrix3d)

class TestEngineObservedPoints : public QObject
{
    Q_OBJECT

private slots:
    void matrixHeader_data();
    void matrixHeader();
    void twoPositionsGiveTheirWeightedMean_data();
    void twoPositionsGiveTheirWeightedMean();
    void badBlocks_data();
    void badBlocks();
};

// Each field of the header changes the covariance of a LENU position as docs/engine.md says; the
// expected matrices (north, east, up) are built here by hand from the definitions.
void TestEngineObservedPoints::matrixHeader_data()
{
    QTest::addColumn<std::vector<std::string>>("block"); // after the 3DC and LENU lines
    QTest::addColumn<QString>("sigmaId");
    QTest::addColumn<Eigen::Matrix3d>("expected");

    const Eigen::Matrix3d m = baseCovariance();
    const std::vector<std::string> asRead = elements(upper(m));
    QTest::newRow("COV LG UPPR as read")
        << std::vector<std::string>{header("COV", "LG", "UPPR")} + asRead << QString() << m;

    Eigen::Matrix3d diagonal = Eigen::Matrix3d::Zero();
    diagonal.diagonal() << 4e-4, 9e-4, 16e-4;
    QTest::newRow("COV LG DIAG") << std::vector<std::string>{header("COV", "LG", "DIAG")} +
                                        elements({"0.0004", "0.0009", "0.0016"})
                                 << QString() << diagonal;

    // Elements in square centimetres, constants in the header's metres.
    QTest::newRow("ELEM in cm") << std::vector<std::string>{header("COV", "LG", "UPPR")} +
                                       elements({"4", "1", "0.5", "9", "2", "16"}, "cm")
                                << QString() << m;

    Eigen::Matrix3d all = 2.0 * m;
    all.array() += 0.01 * 0.01;
    QTest::newRow("ALL constant and factor")
        << std::vector<std::string>{header("COV", "LG", "UPPR", {{15, "0.01"}, {26, "2"}})} + asRead
        << QString() << all;

    Eigen::Matrix3d diag = m;
    diag.diagonal() = 3.0 * m.diagonal();
    diag.diagonal().array() += 0.02 * 0.02;
    QTest::newRow("DIAG constant and factor")
        << std::vector<std::string>{header("COV", "LG", "UPPR", {{37, "0.02"}, {48, "3"}})} + asRead
        << QString() << diag;

    // ALL comes before DIAG: the DIAG factor also takes the ALL constant.
    Eigen::Matrix3d both = m;
    both.array() += 0.01 * 0.01;
    both.diagonal() *= 3.0;
    QTest::newRow("ALL then DIAG")
        << std::vector<std::string>{header("COV", "LG", "UPPR", {{15, "0.01"}, {48, "3"}})} + asRead
        << QString() << both;

    QTest::newRow("PPM DIAG without length")
        << std::vector<std::string>{header("COV", "LG", "UPPR", {{59, "5"}})} + asRead << QString()
        << m;

    // The up component scaled by 2 (its variance by 4), then 0.03 m added to it.
    const Eigen::Matrix3d d = Eigen::Vector3d(1.0, 1.0, 2.0).asDiagonal();
    Eigen::Matrix3d up = d * m * d;
    up(2, 2) += 0.03 * 0.03;
    QTest::newRow("UP constant and factor, LG")
        << std::vector<std::string>{header("COV", "LG", "UPPR", {{70, "0.03"}, {81, "4"}})} + asRead
        << QString() << up;

    // The local frame's Cartesian axes are X east, Y north, Z up.
    Eigen::Matrix3d swap;
    swap << 0, 1, 0, 1, 0, 0, 0, 0, 1;
    QTest::newRow("UP constant and factor, CT")
        << std::vector<std::string>{header("COV", "CT", "UPPR", {{70, "0.03"}, {81, "4"}})} +
               elements(upper(swap * m * swap))
        << QString() << up;

    const Eigen::Vector3d sigma(0.02, 0.03, 0.04);
    Eigen::Matrix3d rho;
    rho << 1.0, 0.5, -0.25, 0.5, 1.0, 0.1, -0.25, 0.1, 1.0;
    const Eigen::Matrix3d correlated = sigma.asDiagonal() * rho * sigma.asDiagonal();
    QTest::newRow("CORR: standard deviations on the diagonal")
        << std::vector<std::string>{header("CORR", "LG", "UPPR")} +
               elements({"0.02", "0.5", "-0.25", "0.03", "0.1", "0.04"})
        << QString() << correlated;

    QTest::newRow("WGT: the inverse")
        << std::vector<std::string>{header("WGT", "LG", "UPPR")} + elements(upper(m.inverse()))
        << QString() << m;

    // The family's "Centrage station", 5 mm, on north and east.
    Eigen::Matrix3d centred = m;
    centred(0, 0) += 0.005 * 0.005;
    centred(1, 1) += 0.005 * 0.005;
    QTest::newRow("centring of the SIGM family")
        << std::vector<std::string>{header("COV", "LG", "UPPR")} + asRead << QString("GPS")
        << centred;
}

void TestEngineObservedPoints::matrixHeader()
{
    QFETCH(std::vector<std::string>, block);
    QFETCH(QString, sigmaId);
    QFETCH(Eigen::Matrix3d, expected);

    std::vector<std::string> lines = {
        record("SIGM", {{7, "GPS"}, {11, "0.01"}, {33, "5"}, {79, "mm"}}),
        record("3DC", {{7, sigmaId.toStdString()}}), lenu("P", 100.0, 200.0, 30.0)};
    lines.insert(lines.end(), block.begin(), block.end());
    engine::Diagnostics diagnostics;
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source =
        engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
    const engine::Network network = engine::buildNetwork(source, engine::Options(), diagnostics);
    QVERIFY2(!diagnostics.hasErrors(), diagnosticsText(diagnostics).c_str());
    QCOMPARE(network.correlated.size(), std::size_t(1));
    const Eigen::MatrixXd &c = network.correlated.front().covariance;
    QCOMPARE(c.rows(), Eigen::Index(3));
    QVERIFY2((c - expected).cwiseAbs().maxCoeff() < 1e-15,
             (std::to_string((c - expected).cwiseAbs().maxCoeff())).c_str());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(network.observations[std::size_t(i)].sigma, std::sqrt(expected(i, i)));
}

// A point observed by two 3DC blocks and nothing else: the adjusted position is the weighted
// mean (P1 + P2)^-1 (P1 x1 + P2 x2), with 3 degrees of freedom and
// v'Pv = (x1 - x2)' (C1 + C2)^-1 (x1 - x2), and each normalized residual v_i / sqrt(Qvv_ii) with
// Qvv = C1 - (P1 + P2)^-1 for the first block.
void TestEngineObservedPoints::twoPositionsGiveTheirWeightedMean_data()
{
    QTest::addColumn<QString>("code");  // of the coordinate lines
    QTest::addColumn<QString>("frame"); // of the matrix headers

    QTest::newRow("local model, LENU, LG") << "LENU"
                                           << "LG";
    QTest::newRow("local model, LENU, CT") << "LENU"
                                           << "CT";
    QTest::newRow("ellipsoidal model, XYZ, CT") << "XYZ"
                                                << "CT";
    QTest::newRow("ellipsoidal model, PLHD, LG") << "PLHD"
                                                 << "LG";
    // The spherical model compares the positions with its state on the conformal sphere.
    QTest::newRow("spherical model, XYZ, CT") << "XYZ"
                                              << "CT";
    QTest::newRow("spherical model, PLHD, LG") << "PLHD"
                                               << "LG";
}

void TestEngineObservedPoints::twoPositionsGiveTheirWeightedMean()
{
    QFETCH(QString, code);
    QFETCH(QString, frame);
    const bool local = code == QLatin1String("LENU");
    const bool spherical = QByteArray(QTest::currentDataTag()).startsWith("spherical");
    // GRS80, the engine's ellipsoid without an ELIP record.
    const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
    const GeographicLib::LocalCartesian horizon(45.3, 5.7, 510.0, grs80);

    // Two observed positions of one point, in north, east, up of the horizon at (45.3, 5.7, 510)
    // metres from its origin, with correlated covariances.
    const Eigen::Vector3d neu1(0.012, -0.020, 0.031);
    const Eigen::Vector3d neu2(-0.015, 0.018, -0.026);
    Eigen::Matrix3d c1 = baseCovariance();
    Eigen::Matrix3d c2;
    c2 << 9.0, -2.0, 1.0, -2.0, 4.0, -0.5, 1.0, -0.5, 25.0;
    c2 *= 1e-4;

    // Each position and its covariance in the frame the header states, and the point's true mean
    // in north, east, up (the horizon is flat over centimetres to far below a micrometre).
    const auto lines = [&](const Eigen::Vector3d &neu, const Eigen::Matrix3d &c) {
        std::vector<std::string> out = {record("3DC", {})};
        std::vector<double> rotation(9);
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
        double lat = 0.0;
        double lon = 0.0;
        double h = 0.0;
        horizon.Reverse(neu(1), neu(0), neu(2), lat, lon, h);
        grs80.Forward(lat, lon, h, x, y, z, rotation);
        // The rotation maps east, north, up at the position to X, Y, Z.
        Eigen::Matrix3d enuToXyz;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                enuToXyz(i, j) = rotation[std::size_t(3 * i + j)];
        Eigen::Matrix3d axes; // north, east, up as columns
        axes << enuToXyz.col(1), enuToXyz.col(0), enuToXyz.col(2);
        Eigen::Matrix3d cartesian = c;
        if (local) {
            out.push_back(lenu("P", neu(1), neu(0), neu(2), "111"));
            Eigen::Matrix3d swap;
            swap << 0, 1, 0, 1, 0, 0, 0, 0, 1;
            cartesian = swap * c * swap;
        } else if (code == QLatin1String("XYZ")) {
            out.push_back(record("XYZ", {{7, "111"},
                                         {11, "P"},
                                         {24, fixedText(x, 8)},
                                         {43, fixedText(y, 8)},
                                         {62, fixedText(z, 8)},
                                         {81, "m"}}));
            cartesian = axes * c * axes.transpose();
        } else {
            out.push_back(record("PLHD", {{7, "111"},
                                          {11, "P"},
                                          {24, QString::number(lat, 'f', 12).toStdString()},
                                          {42, QString::number(lon, 'f', 12).toStdString()},
                                          {60, fixedText(h, 6)},
                                          {73, "m"}}));
        }
        out.push_back(header("COV", frame.toStdString(), "UPPR"));
        const std::vector<std::string> e =
            elements(upper(frame == QLatin1String("CT") ? cartesian : c));
        out.insert(out.end(), e.begin(), e.end());
        return out;
    };
    const std::vector<std::string> input = lines(neu1, c1) + lines(neu2, c2);
    engine::Options options = local ? engine::Options() : ellipsoidal();
    if (spherical)
        options.model = engine::ModelType::Spherical3D;
    const std::unique_ptr<EngineRun> run = runEngine(input, options);
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());

    const Eigen::Matrix3d p1 = c1.inverse();
    const Eigen::Matrix3d p2 = c2.inverse();
    const Eigen::Matrix3d q = (p1 + p2).inverse();
    const Eigen::Vector3d mean = q * (p1 * neu1 + p2 * neu2);
    Eigen::Vector3d adjusted; // north, east, up
    if (local) {
        const Eigen::Vector3d enu = run->adjusted("P");
        adjusted << enu.y(), enu.x(), enu.z();
    } else {
        const Eigen::Vector3d xyz = run->network.ellipsoidGeocentricOf(run->adjusted("P"));
        double lat = 0.0;
        double lon = 0.0;
        double h = 0.0;
        grs80.Reverse(xyz.x(), xyz.y(), xyz.z(), lat, lon, h);
        double e = 0.0;
        double n = 0.0;
        double u = 0.0;
        horizon.Forward(lat, lon, h, e, n, u);
        adjusted << n, e, u;
    }
    QVERIFY2((adjusted - mean).cwiseAbs().maxCoeff() < 1e-6,
             std::to_string((adjusted - mean).cwiseAbs().maxCoeff()).c_str());

    const engine::Statistics &st = run->statistics;
    QCOMPARE(st.degreesOfFreedom, 3);
    QVERIFY(std::abs(st.redundancySum - 3.0) < 1e-9);
    const Eigen::Vector3d gap = neu1 - neu2;
    const double vpv = gap.dot((c1 + c2).inverse() * gap);
    QVERIFY2(std::abs(st.weightedSquares - vpv) < 1e-5 * vpv,
             (std::to_string(st.weightedSquares) + " " + std::to_string(vpv)).c_str());
    // Normalized residuals of the first block, in north, east, up.
    const Eigen::Vector3d v1 = mean - neu1;
    const Eigen::Matrix3d qvv1 = c1 - q;
    const Eigen::Matrix3d r1 = qvv1 * p1;
    // The rows of LENU and PLHD positions are north, east, up; those of XYZ, X, Y, Z.
    if (code != QLatin1String("XYZ")) {
        for (int i = 0; i < 3; ++i) {
            const engine::ObservationStatistics &s = st.perObservation[std::size_t(i)];
            const double scale = st.sigmaScale;
            QVERIFY2(std::abs(s.residual - v1(i)) < 1e-7, std::to_string(s.residual).c_str());
            QVERIFY(std::abs(s.redundancy - r1(i, i)) < 1e-9);
            QVERIFY2(std::abs(s.normalized - v1(i) / (scale * std::sqrt(qvv1(i, i)))) < 1e-5,
                     std::to_string(s.normalized).c_str());
        }
    }
}

void TestEngineObservedPoints::badBlocks_data()
{
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<bool>("geodetic");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<QString>("errorPart");

    const std::string dc = record("3DC", {});
    const std::string p = lenu("P", 10.0, 20.0, 30.0);
    const std::string cov = header("COV", "LG", "UPPR");
    const std::vector<std::string> six = elements({"1e-4", "0", "0", "1e-4", "0", "1e-4"});
    const std::string a = lenu("A", 0.0, 0.0, 0.0, "111");

    QTest::newRow("ELEM outside a block")
        << std::vector<std::string>{a} + six << false << 2 << QString("hors d'un bloc");
    QTest::newRow("header without 3DC")
        << std::vector<std::string>{a, cov} + six << false << 2 << QString("hors d'un bloc");
    QTest::newRow("3DC without its coordinate line")
        << std::vector<std::string>{a, dc, cov} + six << false << 2
        << QString("sans ligne de coordonn");
    QTest::newRow("3DC without its matrix")
        << std::vector<std::string>{a, dc, p, a} << false << 2 << QString("sans matrice");
    QTest::newRow("too few elements")
        << std::vector<std::string>{a, dc, p, cov} + elements({"1e-4", "0", "0", "1e-4", "0"})
        << false << 4 << QString("6 attendu");
    QTest::newRow("too many elements")
        << std::vector<std::string>{a, dc, p, cov} + six + elements({"1e-4"}) << false << 7
        << QString("Trop d'");
    QTest::newRow("not positive definite")
        << std::vector<std::string>{a, dc, p, cov} +
               elements({"1e-4", "2e-4", "0", "1e-4", "0", "1e-4"})
        << false << 4 << QString("définie positive");
    QTest::newRow("correlation beyond 1")
        << std::vector<std::string>{a, dc, p, header("CORR", "LG", "UPPR")} +
               elements({"0.01", "1.5", "0", "0.01", "0", "0.01"})
        << false << 4 << QString("[-1, 1]");
    QTest::newRow("unknown coordinate type")
        << std::vector<std::string>{a, dc, p, header("COV", "XY", "UPPR")} + six << false << 4
        << QString("CT ou LG");
    QTest::newRow("unknown matrix type")
        << std::vector<std::string>{a, dc, p, header("COV", "LG", "FULL")} + six << false << 4
        << QString("DIAG ou UPPR");
    QTest::newRow("NaN element") << std::vector<std::string>{a, dc, p, cov} +
                                        elements({"1e-4", "nan", "0", "1e-4", "0", "1e-4"})
                                 << false << 5 << QString("illisible");
    QTest::newRow("negative factor")
        << std::vector<std::string>{a, dc, p, header("COV", "LG", "UPPR", {{26, "-2"}})} + six
        << false << 4 << QString("positifs");
    QTest::newRow("unknown Sigma-ID")
        << std::vector<std::string>{a, record("3DC", {{7, "ZZ"}}), p, cov} + six << false << 2
        << QString("Sigma-ID inconnu");
    QTest::newRow("XYZ position in the local model")
        << std::vector<std::string>{a, dc,
                                    record("XYZ", {{11, "P"},
                                                   {24, "4500000"},
                                                   {43, "500000"},
                                                   {62, "4500000"},
                                                   {81, "m"}}),
                                    cov} +
               six
        << false << 3 << QString("3DC");
    QTest::newRow("LENU position in the ellipsoidal model")
        << std::vector<std::string>{dc, p, cov} + six << true << 2 << QString("3DC");
}

// Each malformed block is an error at the line that shows it; nothing is silently dropped.
void TestEngineObservedPoints::badBlocks()
{
    QFETCH(std::vector<std::string>, lines);
    QFETCH(bool, geodetic);
    QFETCH(int, errorLine);
    QFETCH(QString, errorPart);

    engine::Diagnostics diagnostics;
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source =
        engine::readObservationFiles(path, memoryLoader({{path, joinLines(lines)}}), diagnostics);
    const engine::Network network =
        engine::buildNetwork(source, geodetic ? ellipsoidal() : engine::Options(), diagnostics);
    bool found = false;
    for (const auto &d : diagnostics.items()) {
        if (d.line == errorLine && QString::fromLatin1(d.text.c_str()).contains(errorPart))
            found = true;
    }
    QVERIFY2(found, diagnosticsText(diagnostics).c_str());
}

QTEST_APPLESS_MAIN(TestEngineObservedPoints)
#include "tst_engineobservedpoints.moc"
