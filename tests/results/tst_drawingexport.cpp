#include "drawingexport.h"
#include "drawingplan.h"
#include "drwwriter.h"
#include "geojsonwriter.h"
#include "testfiles.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtMath>
#include <QtTest>

#include <cmath>

namespace {

// Four points: A and B fixed (no ellipse), C and D free, A-C, B-C and C-D linked.
DrwDrawing network()
{
    DrwDrawing d;
    d.epochCount = 1;
    d.points = {drwPoint("A", 1000, 2000, 50), drwPoint("B", 1200, 2000, 51),
                drwPoint("C", 1100, 2150, 52), drwPoint("D", 1050, 2300, 53)};
    d.pointCount = d.points.size();
    for (const DrwPoint &p : d.points)
        d.pointNames.append(p.name);
    d.links = QVector<QVector<qint32>>(4, QVector<qint32>(4, 0));
    d.links[0][2] = 1;
    d.links[2][1] = 2;
    d.links[3][2] = 1;
    d.absoluteEllipses = {drwRegion(3, 0, 1, 0.02, 0.01, 30), drwRegion(4, 0, 1, 0.03, 0.02, 120)};
    d.relativeEllipses = {drwRegion(3, 4, 1, 0.02, 0.01, 10)};
    d.absoluteRectangles = {drwRegion(3, 0, 1, 0.05, 0.02, 30), drwRegion(4, 0, 2, 0.05, 0.02, 0)};
    return d;
}

// The entities of a DXF file, read group by group: per layer, how many of each type.
struct DxfEntity
{
    QByteArray type;
    QByteArray layer;
    QVector<QPointF> vertices; // of a polyline; the position of any other entity
    int flags = 0;
    QByteArray text;
};

QVector<DxfEntity> readDxfEntities(const QByteArray &bytes, bool &wellFormed)
{
    const QList<QByteArray> lines = bytes.split('\n');
    // Pairs of lines, the file ending with a line end.
    wellFormed = lines.size() % 2 == 1 && lines.last().isEmpty();
    QVector<DxfEntity> entities;
    bool inEntities = false;
    bool sawEof = false;
    int current = -1;
    int polyline = -1;
    bool inVertex = false;
    double x = 0.0;
    for (int i = 0; i + 1 < lines.size(); i += 2) {
        bool ok = false;
        const int code = lines.at(i).toInt(&ok);
        if (!ok) {
            wellFormed = false;
            return entities;
        }
        const QByteArray value = lines.at(i + 1);
        if (code == 0) {
            sawEof = sawEof || value == "EOF";
            inEntities = inEntities && value != "ENDSEC";
            current = -1;
            inVertex = false;
            if (!inEntities)
                continue;
            if (value == "VERTEX" && polyline >= 0) {
                current = polyline;
                inVertex = true;
            } else if (value == "SEQEND") {
                polyline = -1;
            } else {
                entities.append({value, {}, {}, 0, {}});
                current = entities.size() - 1;
                polyline = value == "POLYLINE" ? current : -1;
            }
            continue;
        }
        if (code == 2 && value == "ENTITIES")
            inEntities = true;
        if (current < 0)
            continue;
        DxfEntity &entity = entities[current];
        // A polyline's own position is none of its vertices.
        const bool position = entity.type != "POLYLINE" || inVertex;
        if (code == 8 && entity.layer.isEmpty())
            entity.layer = value;
        else if (code == 10)
            x = value.toDouble();
        else if (code == 20 && position)
            entity.vertices.append(QPointF(x, value.toDouble()));
        else if (code == 70 && !inVertex)
            entity.flags = value.toInt();
        else if (code == 1)
            entity.text = value;
    }
    wellFormed = wellFormed && sawEof;
    return entities;
}

int countOf(const QVector<DxfEntity> &entities, const QByteArray &type, const QByteArray &layer)
{
    return int(std::count_if(entities.begin(), entities.end(), [&](const DxfEntity &e) {
        return e.type == type && e.layer == layer;
    }));
}

QList<QByteArrayList> readCsv(const QByteArray &bytes)
{
    QList<QByteArrayList> rows;
    for (const QByteArray &line : bytes.split('\n')) {
        if (!line.isEmpty())
            rows.append(line.split(';'));
    }
    return rows;
}

} // namespace

class tst_DrawingExport : public QObject
{
    Q_OBJECT

private slots:
    void coordinatesCsv_data();
    void coordinatesCsv();
    void dxfLayersAndShapes();
    void dxfLeavesOutWhatIsSwitchedOff();
    void png();
    void pdf();
    void geoJson();
    void geoJsonRefusesWhatIsNoGeodeticPosition();

private:
    QTemporaryDir m_dir;
};

void tst_DrawingExport::coordinatesCsv_data()
{
    QTest::addColumn<double>("sigmaNorth");
    QTest::addColumn<double>("sigmaEast");
    QTest::addColumn<double>("correlation");
    QTest::addColumn<double>("confidence");
    QTest::addColumn<double>("chiSquare"); // the 2-degree quantile at `confidence`, from tables
    QTest::newRow("round, 95 %") << 0.010 << 0.010 << 0.0 << 0.95 << 5.991;
    QTest::newRow("along east, 95 %") << 0.004 << 0.012 << 0.0 << 0.95 << 5.991;
    QTest::newRow("correlated, 99 %") << 0.015 << 0.008 << 0.6 << 0.99 << 9.210;
    QTest::newRow("anti-correlated, 39.35 %") << 0.006 << 0.009 << -0.45 << 0.3935 << 1.000;
}

void tst_DrawingExport::coordinatesCsv()
{
    QFETCH(double, sigmaNorth);
    QFETCH(double, sigmaEast);
    QFETCH(double, correlation);
    QFETCH(double, confidence);
    QFETCH(double, chiSquare);
    // The ellipse of the covariance block, as the engine's documentation defines it.
    const double cnn = sigmaNorth * sigmaNorth;
    const double cee = sigmaEast * sigmaEast;
    const double cne = correlation * sigmaNorth * sigmaEast;
    const double middle = 0.5 * (cnn + cee);
    const double spread = std::hypot(0.5 * (cnn - cee), cne);
    const double k = std::sqrt(chiSquare);
    double bearing = qRadiansToDegrees(0.5 * std::atan2(2.0 * cne, cnn - cee));
    if (bearing < 0.0)
        bearing += 180.0;
    DrwDrawing d = network();
    d.points[2].name = QStringLiteral("C;1é");
    d.absoluteEllipses = {drwRegion(3, 0, 1, k * std::sqrt(middle + spread),
                                    k * std::sqrt(middle - spread), bearing)};

    const QString path = m_dir.filePath("coordinates.csv");
    QString error;
    QVERIFY2(drawingexport::writeCoordinatesCsv(d, 1, confidence, path, error), qPrintable(error));
    const QList<QByteArrayList> rows = readCsv(fileBytes(path));
    QCOMPARE(rows.size(), 1 + d.points.size());
    for (const QByteArrayList &row : rows)
        QCOMPARE(row.size(), 10);
    QVERIFY(rows.at(0).at(7).contains(QByteArray::number(100 * confidence, 'g', 6)));
    // Latin-1 throughout; the separator in a name does not split its row.
    QCOMPARE(rows.at(3).at(0), QByteArray("C,1\xe9"));
    QCOMPARE(rows.at(1).at(1), QByteArray("fixe"));
    QCOMPARE(rows.at(3).at(1), QByteArray("libre"));
    QCOMPARE(rows.at(3).at(2).toDouble(), 1100.0);
    QCOMPARE(rows.at(3).at(3).toDouble(), 2150.0);
    QCOMPARE(rows.at(3).at(4).toDouble(), 52.0);
    // Written to a tenth of a millimetre.
    QVERIFY(qAbs(rows.at(3).at(5).toDouble() - sigmaEast) <= 0.00006);
    QVERIFY(qAbs(rows.at(3).at(6).toDouble() - sigmaNorth) <= 0.00006);
    QVERIFY(qAbs(rows.at(3).at(9).toDouble() - bearing) <= 0.00006);
    // A fixed point has no deviations nor ellipse.
    for (int column = 5; column < 10; ++column)
        QVERIFY(rows.at(1).at(column).isEmpty());
}

void tst_DrawingExport::dxfLayersAndShapes()
{
    DrawingPlan plan;
    plan.setDrawing(network());
    const QString path = m_dir.filePath("network.dxf");
    QString error;
    QVERIFY2(drawingexport::writeDrawingDxf(plan, path, error), qPrintable(error));
    bool wellFormed = false;
    const QVector<DxfEntity> entities = readDxfEntities(fileBytes(path), wellFormed);
    QVERIFY(wellFormed);
    QCOMPARE(countOf(entities, "POINT", "POINTS_FIXES"), 2);
    QCOMPARE(countOf(entities, "POINT", "POINTS_LIBRES"), 2);
    QCOMPARE(countOf(entities, "TEXT", "NOMS"), 4);
    QCOMPARE(countOf(entities, "LINE", "LIENS"), 3);
    QCOMPARE(countOf(entities, "POLYLINE", "ELLIPSES_PONCTUELLES"), 2);
    QCOMPARE(countOf(entities, "POLYLINE", "ELLIPSES_RELATIVES"), 1);
    // The rectangle of epoch 2 is not the plan's epoch.
    QCOMPARE(countOf(entities, "POLYLINE", "RECTANGLES_PONCTUELS"), 1);
    QCOMPARE(entities.size(), 2 + 2 + 4 + 3 + 2 + 1 + 1);

    // C's rectangle, magnified as the plan shows it: half-sides 0.05 and 0.02 times m, the first
    // at 30 degrees east of north, so its corners are C + (±a sin 30 ± b cos 30, ±a cos 30 ∓ b sin
    // 30).
    const double m = plan.view().rectangleScale() * plan.view().rectangleFactor();
    const double a = 0.05 * m;
    const double b = 0.02 * m;
    const double s = 0.5;
    const double c = std::sqrt(3.0) / 2;
    for (const DxfEntity &entity : entities) {
        if (entity.layer != "RECTANGLES_PONCTUELS")
            continue;
        QCOMPARE(entity.flags & 1, 1);
        QCOMPARE(entity.vertices.size(), 4);
        const QPointF corners[] = {{1100 + a * s + b * c, 2150 + a * c - b * s},
                                   {1100 - a * s + b * c, 2150 - a * c - b * s},
                                   {1100 - a * s - b * c, 2150 - a * c + b * s},
                                   {1100 + a * s - b * c, 2150 + a * c + b * s}};
        for (const QPointF &corner : corners) {
            const bool found =
                std::any_of(entity.vertices.begin(), entity.vertices.end(), [&](const QPointF &v) {
                    return qAbs(v.x() - corner.x()) < 2e-4 && qAbs(v.y() - corner.y()) < 2e-4;
                });
            QVERIFY2(found, qPrintable(QStringLiteral("%1 %2").arg(corner.x()).arg(corner.y())));
        }
    }
    // Every vertex of D's ellipse lies on it: ((p - D)·u / A)² + ((p - D)·v / B)² = 1.
    const double me = plan.view().ellipseScale() * plan.view().ellipseFactor();
    const double beta = qDegreesToRadians(120.0);
    int checked = 0;
    for (const DxfEntity &entity : entities) {
        if (entity.layer != "ELLIPSES_PONCTUELLES" || entity.vertices.isEmpty())
            continue;
        QPointF centre;
        for (const QPointF &v : entity.vertices)
            centre += v / entity.vertices.size();
        if (qAbs(centre.y() - 2300) > 1)
            continue;
        for (const QPointF &v : entity.vertices) {
            const QPointF d = v - QPointF(1050, 2300);
            const double along = (d.x() * std::sin(beta) + d.y() * std::cos(beta)) / (0.03 * me);
            const double across = (d.x() * std::cos(beta) - d.y() * std::sin(beta)) / (0.02 * me);
            QVERIFY(qAbs(along * along + across * across - 1.0) < 0.01);
            ++checked;
        }
    }
    QVERIFY(checked > 8);
}

void tst_DrawingExport::dxfLeavesOutWhatIsSwitchedOff()
{
    DrawingPlan plan;
    plan.setDrawing(network());
    plan.setShown(DrawElement::Names, false);
    plan.setShown(DrawElement::Links, false);
    plan.setShown(DrawElement::AbsoluteEllipses, false);
    plan.setCurrentEpoch(2);
    const QString path = m_dir.filePath("switched.dxf");
    QString error;
    QVERIFY2(drawingexport::writeDrawingDxf(plan, path, error), qPrintable(error));
    bool wellFormed = false;
    const QVector<DxfEntity> entities = readDxfEntities(fileBytes(path), wellFormed);
    QVERIFY(wellFormed);
    QCOMPARE(countOf(entities, "TEXT", "NOMS"), 0);
    QCOMPARE(countOf(entities, "LINE", "LIENS"), 0);
    QCOMPARE(countOf(entities, "POLYLINE", "ELLIPSES_PONCTUELLES"), 0);
    QCOMPARE(countOf(entities, "POLYLINE", "RECTANGLES_PONCTUELS"), 1);
    QCOMPARE(entities.size(), 4 + 1);
}

void tst_DrawingExport::png()
{
    DrawingPlan plan;
    plan.setDrawing(network());
    plan.setShown(DrawElement::AbsoluteEllipses, false);
    plan.setShown(DrawElement::RelativeEllipses, false);
    plan.setShown(DrawElement::AbsoluteRectangles, false);
    const QSize size(400, 300);
    const QString path = m_dir.filePath("network.png");
    QString error;
    QVERIFY2(drawingexport::writeDrawingPng(plan, size, path, error), qPrintable(error));
    QImage image;
    QVERIFY(image.load(path, "PNG"));
    QCOMPARE(image.size(), size);
    // A free point is a blue dot, a fixed one a blue triangle whose apex is above the point,
    // where a dot of the same size would not reach.
    const auto blue = [&image](const QPoint &at) {
        const QColor c = image.pixelColor(at);
        return c.blue() > 150 && c.red() < 90 && c.green() < 90;
    };
    const QPoint freeC = plan.view().toScreen(1100, 2150, size);
    const QPoint fixedA = plan.view().toScreen(1000, 2000, size);
    QVERIFY(blue(freeC));
    QVERIFY(blue(fixedA));
    QVERIFY(blue(fixedA + QPoint(0, -6)));
    QVERIFY(!blue(freeC + QPoint(0, -6)));
    QCOMPARE(image.pixelColor(size.width() / 2, 2), QColor(Qt::white));
}

void tst_DrawingExport::pdf()
{
    DrawingPlan plan;
    plan.setDrawing(network());
    const QString path = m_dir.filePath("network.pdf");
    QString error;
    QVERIFY2(drawingexport::writeDrawingPdf(plan, QSize(800, 600), QStringLiteral("Dessin : net"),
                                            path, error),
             qPrintable(error));
    const QByteArray bytes = fileBytes(path);
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.trimmed().endsWith("%%EOF"));
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") +
                 bytes.count("/Type /Page/") + bytes.count("/Type /Page "),
             1);
    QVERIFY(bytes.contains("/Count 1"));
}

void tst_DrawingExport::geoJson()
{
    // Paris Observatory and Brest, with heights.
    const QVector<GeodeticPoint> points = {
        {QStringLiteral("Observatoire"), 2.3363, 48.8363, 67.0, true},
        {QStringLiteral("Brest é"), -4.4861, 48.3904, 12.5, false}};
    const QString path = m_dir.filePath("points.geojson");
    QString error;
    QVERIFY2(writeGeoJson(points, path, error), qPrintable(error));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(fileBytes(path), &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    QCOMPARE(document.object().value("type").toString(), QStringLiteral("FeatureCollection"));
    const QJsonArray features = document.object().value("features").toArray();
    QCOMPARE(features.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject feature = features.at(i).toObject();
        QCOMPARE(feature.value("geometry").toObject().value("type").toString(),
                 QStringLiteral("Point"));
        const QJsonArray c = feature.value("geometry").toObject().value("coordinates").toArray();
        QCOMPARE(c.size(), 3);
        QCOMPARE(c.at(0).toDouble(), points.at(i).longitude);
        QCOMPARE(c.at(1).toDouble(), points.at(i).latitude);
        QCOMPARE(c.at(2).toDouble(), points.at(i).height);
        const QJsonObject properties = feature.value("properties").toObject();
        QCOMPARE(properties.value("name").toString(), points.at(i).name);
        QCOMPARE(properties.value("statut").toString(),
                 points.at(i).fixed ? QStringLiteral("fixe") : QStringLiteral("libre"));
    }
}

void tst_DrawingExport::geoJsonRefusesWhatIsNoGeodeticPosition()
{
    const QString path = m_dir.filePath("kept.geojson");
    QVERIFY(DrwWriter::save(path, "old"));
    QString error;
    // Plane coordinates in metres taken for degrees.
    QVERIFY(!writeGeoJson({{QStringLiteral("P1"), 1200.0, 2000.0, 0.0, false}}, path, error));
    QVERIFY(error.contains("P1"));
    QVERIFY(!writeGeoJson({{QStringLiteral("P2"), 2.0, qQNaN(), 0.0, false}}, path, error));
    QCOMPARE(fileBytes(path), QByteArray("old"));
}

QTEST_MAIN(tst_DrawingExport)
#include "tst_drawingexport.moc"
