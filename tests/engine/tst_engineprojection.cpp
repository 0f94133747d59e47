// The map projections against published worked examples, against PROJ's command-line tool as an
// independent oracle (skipped where it is not installed), and in round trips over their zones.
#include "engine/model/projection.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <cmath>
#include <random>

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kUsFoot = 1200.0 / 3937.0;

double dms(double degrees, double minutes, double seconds)
{
    return (degrees + minutes / 60.0 + seconds / 3600.0) * kDeg;
}

engine::ReferenceEllipsoid ellipsoid(double a, double inverseFlattening)
{
    engine::ReferenceEllipsoid e;
    e.semiMajor = a;
    e.semiMinor = a * (1.0 - 1.0 / inverseFlattening);
    return e;
}

struct Case
{
    engine::ReferenceEllipsoid ellipsoid;
    engine::ProjectionDefinition definition;
    QString proj; // the same projection for PROJ's proj tool
};

// IOGP guidance note 7-2 (Coordinate Conversions and Transformations including Formulas), the
// worked examples of each method.
Case osgb()
{
    engine::ProjectionDefinition d;
    d.method = engine::ProjectionMethod::TransverseMercator;
    d.latitudeOfOrigin = 49.0 * kDeg;
    d.longitudeOfOrigin = -2.0 * kDeg;
    d.scale = 0.9996012717;
    d.falseEasting = 400000.0;
    d.falseNorthing = -100000.0;
    return {ellipsoid(6377563.396, 299.3249646), d,
            "+proj=tmerc +lat_0=49 +lon_0=-2 +k_0=0.9996012717 +x_0=400000 +y_0=-100000 "
            "+a=6377563.396 +rf=299.3249646"};
}

Case texasSouthCentral()
{
    engine::ProjectionDefinition d;
    d.method = engine::ProjectionMethod::LambertConic;
    d.latitudeOfOrigin = dms(27, 50, 0);
    d.longitudeOfOrigin = -99.0 * kDeg;
    d.firstParallel = dms(28, 23, 0);
    d.secondParallel = dms(30, 17, 0);
    d.falseEasting = 2000000.0 * kUsFoot;
    return {ellipsoid(6378206.400, 294.9786982), d,
            "+proj=lcc +lat_0=27.8333333333333 +lon_0=-99 +lat_1=28.3833333333333 "
            "+lat_2=30.2833333333333 +x_0=609601.2192024384 +y_0=0 +a=6378206.400 "
            "+rf=294.9786982"};
}

Case borneo(bool centre)
{
    engine::ProjectionDefinition d;
    d.method = engine::ProjectionMethod::ObliqueMercator;
    d.latitudeOfOrigin = 4.0 * kDeg;
    d.longitudeOfOrigin = 115.0 * kDeg;
    d.azimuth = dms(53, 18, 56.9537);
    d.skew = dms(53, 7, 48.3685);
    d.scale = 0.99984;
    d.falseOriginAtCentre = centre;
    d.falseEasting = centre ? 590476.87 : 0.0;
    d.falseNorthing = centre ? 442857.65 : 0.0;
    return {
        ellipsoid(6377298.556, 300.8017), d,
        QString("+proj=omerc %1 +lat_0=4 +lonc=115 +alpha=53.315820472222 "
                "+gamma=53.130102361111 +k=0.99984 +x_0=%2 +y_0=%3 +a=6377298.556 "
                "+rf=300.8017")
            .arg(centre ? "" : "+no_uoff", centre ? "590476.87" : "0", centre ? "442857.65" : "0")};
}

Case rdNew()
{
    engine::ProjectionDefinition d;
    d.method = engine::ProjectionMethod::ObliqueStereographic;
    d.latitudeOfOrigin = dms(52, 9, 22.178);
    d.longitudeOfOrigin = dms(5, 23, 15.5);
    d.scale = 0.9999079;
    d.falseEasting = 155000.0;
    d.falseNorthing = 463000.0;
    return {ellipsoid(6377397.155, 299.1528128), d,
            "+proj=sterea +lat_0=52.156160555556 +lon_0=5.387638888889 +k=0.9999079 "
            "+x_0=155000 +y_0=463000 +a=6377397.155 +rf=299.1528128"};
}

// Swiss LV95: a centre azimuth of 90 degrees, the special case of the guidance note.
Case swiss()
{
    engine::ProjectionDefinition d;
    d.method = engine::ProjectionMethod::ObliqueMercator;
    d.latitudeOfOrigin = dms(46, 57, 8.66);
    d.longitudeOfOrigin = dms(7, 26, 22.5);
    d.azimuth = 90.0 * kDeg;
    d.scale = 1.0;
    d.falseEasting = 2600000.0;
    d.falseNorthing = 1200000.0;
    return {ellipsoid(6377397.155, 299.1528128), d,
            "+proj=omerc +lat_0=46.952405555556 +lonc=7.439583333333 +alpha=90 +gamma=90 +k=1 "
            "+x_0=2600000 +y_0=1200000 +a=6377397.155 +rf=299.1528128"};
}

// The same on GRS80, where the constants of an azimuth of 90 degrees round just past their bound.
Case swissOnGrs80()
{
    Case c = swiss();
    c.ellipsoid = engine::ReferenceEllipsoid();
    c.proj.replace("+a=6377397.155 +rf=299.1528128", "+ellps=GRS80");
    return c;
}

engine::Projection make(const Case &c)
{
    std::string reason;
    const std::optional<engine::Projection> p =
        engine::Projection::make(c.ellipsoid, c.definition, reason);
    if (!p)
        qFatal("%s", reason.c_str());
    return *p;
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestEngineProjection : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void againstProj_data();
    void againstProj();
    void roundTrips_data();
    void roundTrips();
    void scaleAndConvergence_data();
    void scaleAndConvergence();
    void outsideTheDomain_data();
    void outsideTheDomain();
};

void TestEngineProjection::workedExamples_data()
{
    QTest::addColumn<Case>("projection");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("north");
    QTest::addColumn<double>("east");
    QTest::addColumn<double>("tolerance"); // metres: the example's last digit, and its series

    // IOGP guidance note 7-2: British National Grid, to 1 cm (its transverse Mercator is a
    // shorter series than GeographicLib's, about 6 mm away here).
    QTest::newRow("TM, OSGB 1936 / British National Grid")
        << osgb() << dms(50, 30, 0) << dms(0, 30, 0) << 69740.50 << 577274.99 << 0.01;
    // IOGP guidance note 7-2: NAD27 / Texas South Central, in US survey feet.
    QTest::newRow("LCC 2SP, NAD27 / Texas South Central")
        << texasSouthCentral() << dms(28, 30, 0) << -96.0 * kDeg << 254759.80 * kUsFoot
        << 2963503.91 * kUsFoot << 0.005 * kUsFoot;
    // IOGP guidance note 7-2: Timbalai 1948 / RSO Borneo, both variants of the oblique Mercator.
    QTest::newRow("OMER variant B, RSO Borneo")
        << borneo(true) << dms(5, 23, 14.1129) << dms(115, 48, 19.8196) << 596562.78 << 679245.73
        << 0.01;
    QTest::newRow("OMER variant A, RSO Borneo")
        << borneo(false) << dms(5, 23, 14.1129) << dms(115, 48, 19.8196) << 596562.78 << 679245.73
        << 0.01;
    // IOGP guidance note 7-2: Amersfoort / RD New.
    QTest::newRow("STGR, Amersfoort / RD New")
        << rdNew() << 53.0 * kDeg << 6.0 * kDeg << 557057.739 << 196105.283 << 0.001;
}

void TestEngineProjection::workedExamples()
{
    QFETCH(Case, projection);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, north);
    QFETCH(double, east);
    QFETCH(double, tolerance);
    const engine::Projection p = make(projection);
    const std::optional<engine::GridPosition> grid = p.forward(latitude, longitude);
    QVERIFY(grid);
    QVERIFY2(std::abs(grid->north - north) <= tolerance,
             qPrintable(QString::number(grid->north, 'f', 4)));
    QVERIFY2(std::abs(grid->east - east) <= tolerance,
             qPrintable(QString::number(grid->east, 'f', 4)));
    const std::optional<engine::Geographic> back = p.inverse(north, east);
    QVERIFY(back);
    // The same tolerance on the ground: a metre is 1 / 6.4e6 radian.
    QVERIFY(std::abs(back->latitude - latitude) * 6.4e6 <= 2.0 * tolerance);
    QVERIFY(std::abs(back->longitude - longitude) * 6.4e6 * std::cos(latitude) <= 2.0 * tolerance);
}

void TestEngineProjection::againstProj_data()
{
    QTest::addColumn<Case>("projection");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("TM") << osgb() << 0.001;
    QTest::newRow("LCC") << texasSouthCentral() << 0.001;
    QTest::newRow("OMER B") << borneo(true) << 0.01;
    QTest::newRow("OMER A") << borneo(false) << 0.01;
    QTest::newRow("OMER at 90 degrees") << swiss() << 0.01;
    QTest::newRow("OMER at 90 degrees on GRS80") << swissOnGrs80() << 0.01;
    QTest::newRow("STGR") << rdNew() << 0.01;
}

void TestEngineProjection::againstProj()
{
    QFETCH(Case, projection);
    QFETCH(double, tolerance);
    const QString tool = QStandardPaths::findExecutable("proj");
    if (tool.isEmpty())
        QSKIP("PROJ's proj tool is not installed (Debian package proj-bin).");
    const engine::Projection p = make(projection);
    const engine::ProjectionDefinition &d = projection.definition;
    // Points up to 2 degrees around the origin, drawn at random.
    std::mt19937 random(20);
    std::uniform_real_distribution<double> spread(-2.0, 2.0);
    QString input;
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 50; ++i) {
        const double latitude = d.latitudeOfOrigin / kDeg + spread(random);
        const double longitude = d.longitudeOfOrigin / kDeg + spread(random);
        points.emplace_back(latitude, longitude);
        input += QString("%1 %2\n").arg(longitude, 0, 'f', 12).arg(latitude, 0, 'f', 12);
    }
    QProcess process;
    process.start(tool, QStringList() << projection.proj.split(' ', Qt::SkipEmptyParts) << "-f"
                                      << "%.6f");
    QVERIFY(process.waitForStarted());
    process.write(input.toLatin1());
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished());
    const QStringList lines =
        QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QStringList xy =
            lines[static_cast<int>(i)].split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        QCOMPARE(xy.size(), 2);
        const auto grid = p.forward(points[i].first * kDeg, points[i].second * kDeg);
        QVERIFY(grid);
        QVERIFY2(std::abs(grid->east - xy[0].toDouble()) <= tolerance &&
                     std::abs(grid->north - xy[1].toDouble()) <= tolerance,
                 qPrintable(QString("%1 %2 against %3")
                                .arg(grid->east, 0, 'f', 4)
                                .arg(grid->north, 0, 'f', 4)
                                .arg(lines[static_cast<int>(i)])));
    }
}

void TestEngineProjection::roundTrips_data()
{
    QTest::addColumn<Case>("projection");
    QTest::addColumn<double>("reach"); // degrees around the origin
    QTest::newRow("TM, 3 degrees of longitude") << osgb() << 3.0;
    QTest::newRow("LCC") << texasSouthCentral() << 4.0;
    QTest::newRow("OMER B") << borneo(true) << 4.0;
    QTest::newRow("OMER A") << borneo(false) << 4.0;
    QTest::newRow("OMER at 90 degrees") << swiss() << 3.0;
    QTest::newRow("STGR") << rdNew() << 3.0;
}

void TestEngineProjection::roundTrips()
{
    QFETCH(Case, projection);
    QFETCH(double, reach);
    const engine::Projection p = make(projection);
    const engine::ProjectionDefinition &d = projection.definition;
    for (double dn = -reach; dn <= reach; dn += reach / 4.0) {
        for (double de = -reach; de <= reach; de += reach / 4.0) {
            const double latitude = d.latitudeOfOrigin + dn * kDeg;
            const double longitude = d.longitudeOfOrigin + de * kDeg;
            const auto grid = p.forward(latitude, longitude);
            QVERIFY(grid);
            const auto back = p.inverse(grid->north, grid->east);
            QVERIFY(back);
            const auto again = p.forward(back->latitude, back->longitude);
            QVERIFY(again);
            QVERIFY2(std::hypot(again->north - grid->north, again->east - grid->east) < 1e-4,
                     qPrintable(QString("at %1, %2").arg(dn).arg(de)));
        }
    }
}

void TestEngineProjection::scaleAndConvergence_data()
{
    QTest::addColumn<Case>("projection");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("convergence"); // radians
    // The scale factor of the definition holds at the origin, on the central meridian, along
    // the standard parallels and at the centre of the initial line; there grid north turns
    // from true north by the angle between the initial line's azimuth and the skew of the grid.
    QTest::newRow("TM on the central meridian")
        << osgb() << 55.0 * kDeg << -2.0 * kDeg << 0.9996012717 << 0.0;
    QTest::newRow("LCC on the second parallel, central meridian")
        << texasSouthCentral() << dms(30, 17, 0) << -99.0 * kDeg << 1.0 << 0.0;
    QTest::newRow("OMER at its centre")
        << borneo(true) << 4.0 * kDeg << 115.0 * kDeg << 0.99984 << dms(0, 11, 8.5852);
    QTest::newRow("STGR at its origin")
        << rdNew() << dms(52, 9, 22.178) << dms(5, 23, 15.5) << 0.9999079 << 0.0;
    // The convergence of a transverse Mercator near its central meridian: (lon - lon0) sin(lat)
    // to the first order, here 1e-4 radian of longitude at 50 degrees.
    QTest::newRow("TM next to the central meridian")
        << osgb() << 50.0 * kDeg << -2.0 * kDeg + 1e-4 << 0.9996012717
        << 1e-4 * std::sin(50.0 * kDeg);
}

void TestEngineProjection::scaleAndConvergence()
{
    QFETCH(Case, projection);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(double, scale);
    QFETCH(double, convergence);
    const auto grid = make(projection).forward(latitude, longitude);
    QVERIFY(grid);
    QVERIFY2(std::abs(grid->scale - scale) < 1e-8,
             qPrintable(QString::number(grid->scale, 'g', 12)));
    QVERIFY2(std::abs(grid->convergence - convergence) < 1e-8,
             qPrintable(QString::number(grid->convergence / kDeg * 3600.0, 'f', 5)));
}

void TestEngineProjection::outsideTheDomain_data()
{
    QTest::addColumn<Case>("projection");
    Case zeroScale = osgb();
    zeroScale.definition.scale = 0.0;
    QTest::newRow("scale factor of 0") << zeroScale;
    Case symmetric = texasSouthCentral();
    symmetric.definition.firstParallel = 30.0 * kDeg;
    symmetric.definition.secondParallel = -30.0 * kDeg;
    QTest::newRow("parallels symmetric about the equator") << symmetric;
    Case polarCentre = borneo(true);
    polarCentre.definition.latitudeOfOrigin = 90.0 * kDeg;
    QTest::newRow("oblique Mercator centred on the pole") << polarCentre;
    Case polarStereographic = rdNew();
    polarStereographic.definition.latitudeOfOrigin = -90.0 * kDeg;
    QTest::newRow("stereographic origin at the pole") << polarStereographic;
}

void TestEngineProjection::outsideTheDomain()
{
    QFETCH(Case, projection);
    std::string reason;
    QVERIFY(!engine::Projection::make(projection.ellipsoid, projection.definition, reason));
    QVERIFY(!reason.empty());
}

QTEST_APPLESS_MAIN(TestEngineProjection)
#include "tst_engineprojection.moc"
