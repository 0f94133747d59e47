#include "regionraster.h"
#include "colournear.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

namespace {

const QSize kSize(200, 160);
const QPointF kCentre(100, 80);
const QColor kFill(255, 0, 0, 150);
const QColor kOutline(255, 0, 50);
const QColor kOtherFill(0, 0, 200, 150);
const QColor kOtherOutline(50, 0, 200);

using Shape = RegionRaster::Shape;

} // namespace

Q_DECLARE_METATYPE(RegionRaster::Shape)

namespace {

// The layer laid over a white background, as the canvas shows it.
QImage onWhite(const QImage &layer)
{
    QImage image(layer.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawImage(0, 0, layer);
    return image;
}

QImage rasterised(Shape shape, bool dashed, double a, double b, double theta,
                  const QPointF &centre = kCentre)
{
    RegionRaster raster(kSize);
    raster.beginFamily(shape, 2.0, dashed, kFill, kOutline);
    raster.add(centre, a, b, theta);
    return onWhite(raster.paint(1));
}

// The same region as the painter itself draws it: filled, then stroked with a 2-pixel pen with
// round caps, in a frame turned theta degrees counter-clockwise on screen.
QImage painted(Shape shape, bool dashed, double a, double b, double theta)
{
    QImage image(kSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(kCentre);
    painter.rotate(-theta);
    painter.setPen(QPen(kOutline, 2, dashed ? Qt::DashLine : Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(kFill);
    const QRectF extent(-a, -b, 2 * a, 2 * b);
    if (shape == Shape::Ellipse)
        painter.drawEllipse(extent);
    else
        painter.drawRect(extent);
    return image;
}

int difference(QRgb p, QRgb q)
{
    return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                     std::abs(qBlue(p) - qBlue(q))});
}

int countColour(const QImage &image, const QColor &colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += colourNear(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
    }
    return count;
}

QColor overWhite(const QColor &colour)
{
    const auto blend = [&](int c) {
        return (c * colour.alpha() + 255 * (255 - colour.alpha()) + 127) / 255;
    };
    return QColor(blend(colour.red()), blend(colour.green()), blend(colour.blue()));
}

} // namespace

class tst_RegionRaster : public QObject
{
    Q_OBJECT

private slots:
    void matchesThePainter_data();
    void matchesThePainter();
    void dashesCoverLikeThePainters_data();
    void dashesCoverLikeThePainters();
    void overlapsFillOncePerFamily();
    void threadsPaintTheSameLayer();
    void degenerateRegions_data();
    void degenerateRegions();
};

void tst_RegionRaster::matchesThePainter_data()
{
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("theta");

    QTest::newRow("circle") << Shape::Ellipse << 30.0 << 30.0 << 0.0;
    QTest::newRow("ellipse along x") << Shape::Ellipse << 50.0 << 25.0 << 0.0;
    QTest::newRow("ellipse turned 30") << Shape::Ellipse << 50.0 << 25.0 << 30.0;
    QTest::newRow("ellipse upright") << Shape::Ellipse << 50.0 << 25.0 << 90.0;
    QTest::newRow("ellipse turned 137") << Shape::Ellipse << 60.0 << 12.0 << 137.0;
    QTest::newRow("flat ellipse") << Shape::Ellipse << 60.0 << 3.0 << 20.0;
    QTest::newRow("small ellipse") << Shape::Ellipse << 4.0 << 2.5 << 65.0;
    QTest::newRow("tiny ellipse") << Shape::Ellipse << 1.5 << 0.8 << 10.0;
    QTest::newRow("rectangle") << Shape::Rectangle << 40.0 << 20.0 << 0.0;
    QTest::newRow("rectangle turned 25") << Shape::Rectangle << 40.0 << 20.0 << 25.0;
    QTest::newRow("rectangle turned 160") << Shape::Rectangle << 55.0 << 10.0 << 160.0;
    QTest::newRow("flat rectangle") << Shape::Rectangle << 50.0 << 1.0 << 45.0;
    QTest::newRow("small rectangle") << Shape::Rectangle << 3.0 << 2.0 << 30.0;
}

void tst_RegionRaster::matchesThePainter()
{
    QFETCH(Shape, shape);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, theta);

    const QImage ours = rasterised(shape, false, a, b, theta);
    const QImage reference = painted(shape, false, a, b, theta);
    // Pixels the region colours at all, and those where the two pictures differ visibly. Edges
    // are antialiased a little differently, and the pen's bevelled corners are rounded here.
    int coloured = 0;
    int differing = 0;
    for (int y = 0; y < kSize.height(); ++y) {
        for (int x = 0; x < kSize.width(); ++x) {
            const QRgb p = ours.pixel(x, y);
            const QRgb q = reference.pixel(x, y);
            coloured += difference(q, qRgb(255, 255, 255)) > 0 ? 1 : 0;
            differing += difference(p, q) > 100 ? 1 : 0;
        }
    }
    QVERIFY(coloured > 4);
    QVERIFY2(differing <= std::max(2, coloured / 50),
             qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(coloured)));
}

void tst_RegionRaster::dashesCoverLikeThePainters_data()
{
    QTest::addColumn<Shape>("shape");
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("theta");

    QTest::newRow("circle") << Shape::Ellipse << 40.0 << 40.0 << 0.0;
    QTest::newRow("turned ellipse") << Shape::Ellipse << 70.0 << 30.0 << 35.0;
    QTest::newRow("rectangle") << Shape::Rectangle << 50.0 << 30.0 << 0.0;
    QTest::newRow("turned rectangle") << Shape::Rectangle << 45.0 << 25.0 << 70.0;
}

void tst_RegionRaster::dashesCoverLikeThePainters()
{
    QFETCH(Shape, shape);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, theta);

    // Dashes of 8 pixels with round caps and gaps of 4 leave about a sixth of the outline bare:
    // the fill shows there instead.
    const int solid = countColour(rasterised(shape, false, a, b, theta), kOutline, 40);
    const QImage dashed = rasterised(shape, true, a, b, theta);
    const int ours = countColour(dashed, kOutline, 40);
    const int theirs = countColour(painted(shape, true, a, b, theta), kOutline, 40);
    QVERIFY2(ours < solid * 0.95 && ours > solid * 0.6,
             qPrintable(QStringLiteral("%1 of %2").arg(ours).arg(solid)));
    QVERIFY2(std::abs(ours - theirs) < theirs * 0.15,
             qPrintable(QStringLiteral("%1 against %2").arg(ours).arg(theirs)));
    // The area inside is filled as under a solid outline.
    QCOMPARE(countColour(dashed, overWhite(kFill), 3) >
                 countColour(rasterised(shape, false, a, b, theta), overWhite(kFill), 3),
             true);
}

void tst_RegionRaster::overlapsFillOncePerFamily()
{
    // Two circles overlapping between x = 90 and x = 110: within one family the overlap has the
    // colour of either circle; a circle of the next family is laid over it.
    RegionRaster raster(kSize);
    raster.beginFamily(Shape::Ellipse, 2.0, false, kFill, kOutline);
    raster.add(QPointF(80, 80), 30, 30, 0);
    raster.add(QPointF(120, 80), 30, 30, 0);
    raster.beginFamily(Shape::Ellipse, 2.0, false, kOtherFill, kOtherOutline);
    raster.add(QPointF(100, 90), 6, 6, 0);
    const QImage image = onWhite(raster.paint(1));

    const QColor single = overWhite(kFill);
    QVERIFY(colourNear(image.pixelColor(70, 80), single, 2));
    QVERIFY(colourNear(image.pixelColor(100, 65), single, 2));
    QCOMPARE(image.pixel(100, 65), image.pixel(70, 80));
    // The second family over the first: its fill over the first family's fill.
    const QColor first = overWhite(kFill);
    const auto blend = [](int over, int under) { return (over * 150 + under * 105 + 127) / 255; };
    const QColor expected(blend(0, first.red()), blend(0, first.green()), blend(200, first.blue()));
    QVERIFY2(colourNear(image.pixelColor(100, 90), expected, 3),
             qPrintable(QColor(image.pixel(100, 90)).name()));
}

void tst_RegionRaster::threadsPaintTheSameLayer()
{
    const auto paintWith = [](int threads) {
        QRandomGenerator random(11);
        RegionRaster raster(QSize(300, 250));
        const Shape shapes[] = {Shape::Ellipse, Shape::Rectangle};
        for (int family = 0; family < 4; ++family) {
            raster.beginFamily(shapes[family % 2], 2.0, family >= 2, kFill, kOutline);
            for (int i = 0; i < 150; ++i)
                raster.add(QPointF(random.bounded(300), random.bounded(250)),
                           40.0 * random.generateDouble(), 20.0 * random.generateDouble(),
                           360.0 * random.generateDouble());
        }
        return raster.paint(threads);
    };
    const QImage alone = paintWith(1);
    QCOMPARE(paintWith(3), alone);
    QCOMPARE(paintWith(16), alone);
    QVERIFY(alone.pixel(150, 125) != 0 || alone.pixel(10, 10) != 0);
}

void tst_RegionRaster::degenerateRegions_data()
{
    QTest::addColumn<double>("a");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("theta");
    QTest::addColumn<QPointF>("centre");
    // A pixel the outline covers; (-1, -1) for a region left out, (-2, -2) for one whose area
    // covers the whole layer.
    QTest::addColumn<QPoint>("outlined");

    const double nan = std::nan("");
    QTest::newRow("flat: a line along the first half-axis")
        << 30.0 << 0.0 << 0.0 << kCentre << QPoint(120, 80);
    // A point, centred on a pixel: the pen's dot covers it.
    QTest::newRow("a point") << 0.0 << 0.0 << 0.0 << QPointF(100.5, 80.5) << QPoint(100, 80);
    QTest::newRow("negative half-axes") << -30.0 << -20.0 << 0.0 << kCentre << QPoint(130, 80);
    QTest::newRow("not a number") << nan << 20.0 << 0.0 << kCentre << QPoint(-1, -1);
    QTest::newRow("infinite turn") << 30.0 << 20.0 << qInf() << kCentre << QPoint(-1, -1);
    QTest::newRow("wholly outside") << 30.0 << 20.0 << 0.0 << QPointF(-100, 80) << QPoint(-1, -1);
    // A million pixels across, centred below the layer: its top edge crosses it.
    QTest::newRow("huge") << 1e6 << 1e6 - 60 << 0.0 << QPointF(100, 1e6 + 20) << QPoint(5, 80);
    // Drawn a million pixels across at most: around a centre on the layer, it covers it all.
    QTest::newRow("far too large") << 1e300 << 1e300 << 0.0 << kCentre << QPoint(-2, -2);
}

void tst_RegionRaster::degenerateRegions()
{
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(double, theta);
    QFETCH(QPointF, centre);
    QFETCH(QPoint, outlined);

    for (Shape shape : {Shape::Ellipse, Shape::Rectangle}) {
        const QImage image = rasterised(shape, false, a, b, theta, centre);
        if (outlined == QPoint(-2, -2)) {
            QCOMPARE(countColour(image, overWhite(kFill), 2), kSize.width() * kSize.height());
            continue;
        }
        if (outlined.x() < 0) {
            QCOMPARE(countColour(image, Qt::white, 0), kSize.width() * kSize.height());
            continue;
        }
        QVERIFY2(colourNear(image.pixelColor(outlined), kOutline, 30),
                 qPrintable(QColor(image.pixel(outlined)).name()));
        // Dashed, the same region paints as well.
        rasterised(shape, true, a, b, theta, centre);
    }
    RegionRaster empty(QSize(0, 0));
    empty.beginFamily(Shape::Ellipse, 2.0, true, kFill, kOutline);
    empty.add(QPointF(0, 0), 10, 10, 0);
    QVERIFY(empty.paint(4).isNull());
}

QTEST_MAIN(tst_RegionRaster)
#include "tst_regionraster.moc"
