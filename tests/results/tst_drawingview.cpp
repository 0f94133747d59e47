#include "drawingview.h"
#include "drwdrawing.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr double kGroundTol = 1e-9; // metres

DrwPoint point(double x, double y)
{
    DrwPoint p;
    p.x = x;
    p.y = y;
    return p;
}

DrwRegion region(double semiAxis1)
{
    DrwRegion r;
    r.point1 = 1;
    r.epoch = 1;
    r.semiAxis1 = semiAxis1;
    r.semiAxis2 = semiAxis1 / 2;
    return r;
}

// Five points: the origin and one point 100 m away on each side. Mean (0, 0), radius 100 m; on a
// 280 x 280 canvas the visible half-side is 140 m and one metre is one pixel.
DrwDrawing cross()
{
    DrwDrawing d;
    d.points = {point(0, 0), point(-100, 0), point(100, 0), point(0, 100), point(0, -100)};
    d.pointCount = d.points.size();
    return d;
}

DrawingView fitted(const DrwDrawing &drawing)
{
    DrawingView view;
    view.fit(drawing);
    return view;
}

const QSize kSquare(280, 280);

} // namespace

Q_DECLARE_METATYPE(DrwRegion)

class tst_DrawingView : public QObject
{
    Q_OBJECT

private slots:
    void fitsMeanAndRadius_data();
    void fitsMeanAndRadius();
    void regionScales_data();
    void regionScales();
    void epochRegionScales_data();
    void epochRegionScales();
    void groundToScreen_data();
    void groundToScreen();
    void visibleOnCanvas_data();
    void visibleOnCanvas();
    void sliderFactors_data();
    void sliderFactors();
    void zoomLimits_data();
    void zoomLimits();
    void zoomKeepsCentre();
    void zoomAboutKeepsTheGroundUnderTheMouse_data();
    void zoomAboutKeepsTheGroundUnderTheMouse();
    void showWholeUndoesZoomAndPan();
    void fixedPoints_data();
    void fixedPoints();
    void panFollowsMouseAtSixSevenths();
    void panStopsOneRadiusFromMean_data();
    void panStopsOneRadiusFromMean();
    void panOnEmptyCanvasDoesNothing();
    void barLengthTexts_data();
    void barLengthTexts();
    void legendBarsFollowScalesAndFactors();
    void legendRows_data();
    void legendRows();
};

void tst_DrawingView::fitsMeanAndRadius_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<double>("meanX");
    QTest::addColumn<double>("meanY");
    QTest::addColumn<double>("radius");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("cross") << QVector<QPointF>{{0, 0}, {-100, 0}, {100, 0}, {0, 100}, {0, -100}}
                           << 0.0 << 0.0 << 100.0;
    QTest::newRow("offset triangle") << QVector<QPointF>{{1000, 2000}, {1006, 2000}, {1000, 2009}}
                                     << 1002.0 << 2003.0 << std::hypot(2.0, 6.0);
    QTest::newRow("large coordinates")
        << QVector<QPointF>{{6e5, 2e5}, {6e5 + 300, 2e5 + 400}} << 6e5 + 150 << 2e5 + 200 << 250.0;
    // Fallbacks: no radius of 0 to divide by, no mean of nothing.
    QTest::newRow("no points") << QVector<QPointF>{} << 0.0 << 0.0 << 1.0;
    QTest::newRow("one point") << QVector<QPointF>{{5, 7}} << 5.0 << 7.0 << 1.0;
    QTest::newRow("coincident points") << QVector<QPointF>{{5, 7}, {5, 7}} << 5.0 << 7.0 << 1.0;
    QTest::newRow("coordinates not finite left out")
        << QVector<QPointF>{{nan, 0}, {0, 0}, {10, 0}, {inf, 3}} << 5.0 << 0.0 << 5.0;
    QTest::newRow("only coordinates not finite")
        << QVector<QPointF>{{nan, nan}, {inf, -inf}} << 0.0 << 0.0 << 1.0;
}

void tst_DrawingView::fitsMeanAndRadius()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(double, meanX);
    QFETCH(double, meanY);
    QFETCH(double, radius);

    DrwDrawing d;
    for (const QPointF &p : points)
        d.points.append(point(p.x(), p.y()));
    const DrawingView view = fitted(d);
    QVERIFY(std::abs(view.meanX() - meanX) < kGroundTol);
    QVERIFY(std::abs(view.meanY() - meanY) < kGroundTol);
    QVERIFY(std::abs(view.radius() - radius) < kGroundTol);
    QCOMPARE(view.centreX(), view.meanX());
    QCOMPARE(view.centreY(), view.meanY());
    QCOMPARE(view.zoomLevel(), 0);
    QCOMPARE(view.zoom(), 1.0);
    QVERIFY(std::isfinite(view.pixelsPerUnit(kSquare)) && view.pixelsPerUnit(kSquare) > 0);
}

void tst_DrawingView::regionScales_data()
{
    QTest::addColumn<QVector<double>>("absolute");
    QTest::addColumn<QVector<double>>("relative");
    QTest::addColumn<QVector<double>>("betweenEpochs");
    QTest::addColumn<double>("scale");

    // The cross has a radius of 100 m: the largest absolute half-axis is drawn 25 m long.
    QTest::newRow("largest absolute") << QVector<double>{0.01, 0.05, 0.02} << QVector<double>{0.5}
                                      << QVector<double>{} << 25.0 / 0.05;
    QTest::newRow("no absolute: largest relative or between epochs")
        << QVector<double>{} << QVector<double>{0.1, 0.2} << QVector<double>{0.25} << 100.0;
    QTest::newRow("absolute all zero: the others")
        << QVector<double>{0.0, 0.0} << QVector<double>{0.5} << QVector<double>{} << 50.0;
    QTest::newRow("no regions: true size")
        << QVector<double>{} << QVector<double>{} << QVector<double>{} << 1.0;
    QTest::newRow("only zero or negative: true size")
        << QVector<double>{0.0, -2.0} << QVector<double>{-1.0} << QVector<double>{0.0} << 1.0;
    QTest::newRow("not finite left out")
        << QVector<double>{std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 0.5}
        << QVector<double>{} << QVector<double>{} << 50.0;
    QTest::newRow("vanishing half-axis: true size")
        << QVector<double>{std::numeric_limits<double>::denorm_min()} << QVector<double>{}
        << QVector<double>{} << 1.0;
}

void tst_DrawingView::regionScales()
{
    QFETCH(QVector<double>, absolute);
    QFETCH(QVector<double>, relative);
    QFETCH(QVector<double>, betweenEpochs);
    QFETCH(double, scale);

    // Ellipses and rectangles are scaled each on their own, the same way.
    DrwDrawing ellipses = cross();
    DrwDrawing rectangles = cross();
    for (double a : absolute) {
        ellipses.absoluteEllipses.append(region(a));
        rectangles.absoluteRectangles.append(region(a));
    }
    for (double a : relative) {
        ellipses.relativeEllipses.append(region(a));
        rectangles.relativeRectangles.append(region(a));
    }
    for (double a : betweenEpochs) {
        ellipses.epochEllipses.append(region(a));
        rectangles.epochRectangles.append(region(a));
    }
    QVERIFY(std::abs(fitted(ellipses).ellipseScale() - scale) < 1e-9 * scale);
    QCOMPARE(fitted(ellipses).rectangleScale(), 1.0);
    QVERIFY(std::abs(fitted(rectangles).rectangleScale() - scale) < 1e-9 * scale);
    QCOMPARE(fitted(rectangles).ellipseScale(), 1.0);
}

void tst_DrawingView::epochRegionScales_data()
{
    QTest::addColumn<QVector<double>>("absolute");
    QTest::addColumn<QVector<double>>("betweenEpochs");
    QTest::addColumn<double>("epochScale");

    // Radius 100 m: the largest region between epochs is drawn 25 m long, whatever the others.
    QTest::newRow("displacements larger than one epoch's regions")
        << QVector<double>{0.002, 0.001} << QVector<double>{0.05, 0.5} << 50.0;
    QTest::newRow("displacements smaller")
        << QVector<double>{0.5} << QVector<double>{0.01} << 2500.0;
    QTest::newRow("none: the family's") << QVector<double>{0.05} << QVector<double>{} << 500.0;
    QTest::newRow("only zero: the family's")
        << QVector<double>{0.05} << QVector<double>{0.0} << 500.0;
}

void tst_DrawingView::epochRegionScales()
{
    QFETCH(QVector<double>, absolute);
    QFETCH(QVector<double>, betweenEpochs);
    QFETCH(double, epochScale);

    DrwDrawing d = cross();
    for (double a : absolute) {
        d.absoluteEllipses.append(region(a));
        d.absoluteRectangles.append(region(2 * a));
    }
    for (double a : betweenEpochs) {
        d.epochEllipses.append(region(a));
        d.epochRectangles.append(region(2 * a));
    }
    DrawingView view = fitted(d);
    view.setEllipseFactor(3.0);
    view.setRectangleFactor(0.5);
    QVERIFY(std::abs(view.epochEllipseScale() - epochScale) < 1e-9 * epochScale);
    QVERIFY(std::abs(view.epochRectangleScale() - epochScale / 2) < 1e-9 * epochScale);
    QVERIFY(std::abs(view.ellipseMagnification(true) - 3.0 * epochScale) < 1e-9 * epochScale);
    QVERIFY(std::abs(view.rectangleMagnification(true) - 0.25 * epochScale) < 1e-9 * epochScale);
    // The legend's 50 pixels, one metre each on the square canvas.
    const double bar = view.epochEllipseBarLength(kSquare);
    QVERIFY(std::abs(bar - 50.0 / (3.0 * epochScale)) < 1e-9 * bar);
    // The regions of one epoch keep their own scale.
    const double own = 25.0 / *std::max_element(absolute.begin(), absolute.end());
    QVERIFY(std::abs(view.ellipseScale() - own) < 1e-9 * own);
}

void tst_DrawingView::groundToScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPointF>("ground");
    QTest::addColumn<QPoint>("screen");

    QTest::newRow("centre") << kSquare << QPointF(0, 0) << QPoint(140, 140);
    QTest::newRow("east to the right") << kSquare << QPointF(100, 0) << QPoint(240, 140);
    QTest::newRow("north upwards") << kSquare << QPointF(0, 100) << QPoint(140, 40);
    QTest::newRow("south-west") << kSquare << QPointF(-100, -100) << QPoint(40, 240);
    QTest::newRow("half right rounds up") << kSquare << QPointF(0.5, 0) << QPoint(141, 140);
    QTest::newRow("half left rounds up") << kSquare << QPointF(-0.5, 0) << QPoint(140, 140);
    QTest::newRow("half up") << kSquare << QPointF(0, 0.5) << QPoint(140, 139);
    QTest::newRow("half down") << kSquare << QPointF(0, -0.5) << QPoint(140, 140);
    // The smaller side sets the scale; odd sides keep their centre on the lower pixel.
    QTest::newRow("wide canvas") << QSize(600, 280) << QPointF(100, 100) << QPoint(400, 40);
    QTest::newRow("tall canvas") << QSize(280, 600) << QPointF(-100, 0) << QPoint(40, 300);
    QTest::newRow("odd sides") << QSize(281, 281) << QPointF(0, 0) << QPoint(140, 141);
    QTest::newRow("double size") << QSize(560, 560) << QPointF(100, -100) << QPoint(480, 480);
    // Far off the canvas the position stays a defined int.
    QTest::newRow("far east") << kSquare << QPointF(1e300, 0) << QPoint(1 << 30, 140);
    QTest::newRow("far south") << kSquare << QPointF(0, -1e300) << QPoint(140, 280 + (1 << 30));
    QTest::newRow("not a number") << kSquare << QPointF(std::numeric_limits<double>::quiet_NaN(), 0)
                                  << QPoint(0, 140);
}

void tst_DrawingView::groundToScreen()
{
    QFETCH(QSize, size);
    QFETCH(QPointF, ground);
    QFETCH(QPoint, screen);
    QCOMPARE(fitted(cross()).toScreen(ground.x(), ground.y(), size), screen);
}

void tst_DrawingView::visibleOnCanvas_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("zoomSteps");
    QTest::addColumn<QPointF>("ground");
    QTest::addColumn<bool>("visible");

    // The cross is drawn at 1 pixel a metre on the 280-pixel square, 2 zoomed in once; the
    // canvas's pixels run from 0 to its side less one.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("last column") << kSquare << 0 << QPointF(139, 0) << true;
    QTest::newRow("past the last column") << kSquare << 0 << QPointF(140, 0) << false;
    QTest::newRow("first column") << kSquare << 0 << QPointF(-140, 0) << true;
    QTest::newRow("top row") << kSquare << 0 << QPointF(0, 140) << true;
    QTest::newRow("past the bottom row") << kSquare << 0 << QPointF(0, -140) << false;
    QTest::newRow("zoomed in: inside") << kSquare << 1 << QPointF(69, 69) << true;
    QTest::newRow("zoomed in: beyond") << kSquare << 1 << QPointF(70, 0) << false;
    QTest::newRow("zoomed out: 11 x 140 m") << kSquare << -10 << QPointF(1530, 0) << true;
    // On a wide canvas the sides show far more than the square around the centre.
    QTest::newRow("wide canvas: east side") << QSize(600, 280) << 0 << QPointF(299, 0) << true;
    QTest::newRow("wide canvas: past it") << QSize(600, 280) << 0 << QPointF(300, 0) << false;
    QTest::newRow("wide canvas: above") << QSize(600, 280) << 0 << QPointF(200, 141) << false;
    QTest::newRow("tall canvas: north side") << QSize(280, 600) << 0 << QPointF(0, 300) << true;
    QTest::newRow("tall canvas: past it") << QSize(280, 600) << 0 << QPointF(0, -300) << false;
    QTest::newRow("not a number") << kSquare << 0 << QPointF(nan, 0) << false;
    QTest::newRow("infinite") << kSquare << 0 << QPointF(0, -inf) << false;
}

void tst_DrawingView::visibleOnCanvas()
{
    QFETCH(QSize, size);
    QFETCH(int, zoomSteps);
    QFETCH(QPointF, ground);
    QFETCH(bool, visible);
    DrawingView view = fitted(cross());
    view.zoomBy(zoomSteps);
    QCOMPARE(view.isVisible(ground.x(), ground.y(), size), visible);
}

void tst_DrawingView::sliderFactors_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<double>("factor");

    const double factors[] = {1.0 / 5, 1.0 / 4, 1.0 / 3, 1.0 / 2, 1, 1, 2, 3, 4, 5, 6};
    for (int v = 1; v <= 11; ++v)
        QTest::addRow("position %d", v) << v << factors[v - 1];
}

void tst_DrawingView::sliderFactors()
{
    QFETCH(int, position);
    QFETCH(double, factor);
    QCOMPARE(sliderFactor(position), factor);
}

void tst_DrawingView::zoomLimits_data()
{
    QTest::addColumn<QVector<int>>("steps");
    QTest::addColumn<int>("level");
    QTest::addColumn<double>("zoom");

    QTest::newRow("one in") << QVector<int>{1} << 1 << 2.0;
    QTest::newRow("three out") << QVector<int>{-3} << -3 << 0.25;
    QTest::newRow("ten in") << QVector<int>{10} << 10 << 11.0;
    QTest::newRow("past ten in") << QVector<int>{10, 1, 1, 5} << 10 << 11.0;
    QTest::newRow("past ten out") << QVector<int>{-10, -1, -4} << -10 << 1.0 / 11;
    QTest::newRow("back from the limit") << QVector<int>{20, -1} << 9 << 10.0;
    QTest::newRow("largest step") << QVector<int>{std::numeric_limits<int>::max()} << 10 << 11.0;
    QTest::newRow("smallest step")
        << QVector<int>{std::numeric_limits<int>::min()} << -10 << 1.0 / 11;
}

void tst_DrawingView::zoomLimits()
{
    QFETCH(QVector<int>, steps);
    QFETCH(int, level);
    QFETCH(double, zoom);
    DrawingView view = fitted(cross());
    for (int s : steps)
        view.zoomBy(s);
    QCOMPARE(view.zoomLevel(), level);
    QCOMPARE(view.zoom(), zoom);
    QCOMPARE(zoomForLevel(level), zoom);
}

void tst_DrawingView::zoomKeepsCentre()
{
    DrawingView view = fitted(cross());
    view.pan(QPoint(100, 100), QPoint(90, 110), kSquare);
    const QPoint centre = view.toScreen(view.centreX(), view.centreY(), kSquare);
    view.zoomBy(3);
    QCOMPARE(view.toScreen(view.centreX(), view.centreY(), kSquare), centre);
    QCOMPARE(centre, QPoint(140, 140));
    // Zoomed in four times, 100 m east of the centre is 400 pixels right of it.
    QCOMPARE(view.toScreen(view.centreX() + 100, view.centreY(), kSquare), QPoint(540, 140));
}

void tst_DrawingView::zoomAboutKeepsTheGroundUnderTheMouse_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<QPointF>("mouse");
    QTest::addColumn<QPointF>("ground"); // under the mouse before and after: 1 px is 1 m unzoomed
    QTest::newRow("in over point (100, 0)") << 1 << QPointF(240, 140) << QPointF(100, 0);
    QTest::newRow("in three steps over (-60, 50)") << 3 << QPointF(80, 90) << QPointF(-60, 50);
    QTest::newRow("out over (30, -20)") << -2 << QPointF(170, 160) << QPointF(30, -20);
    QTest::newRow("at the middle: the centre stays") << 4 << QPointF(140, 140) << QPointF(0, 0);
}

void tst_DrawingView::zoomAboutKeepsTheGroundUnderTheMouse()
{
    QFETCH(int, steps);
    QFETCH(QPointF, mouse);
    QFETCH(QPointF, ground);
    DrawingView view = fitted(cross());
    const QPointF before = view.toGround(mouse, kSquare);
    QVERIFY(qAbs(before.x() - ground.x()) < kGroundTol &&
            qAbs(before.y() - ground.y()) < kGroundTol);
    view.zoomAbout(steps, mouse, kSquare);
    QCOMPARE(view.zoom(), zoomForLevel(steps));
    const QPointF after = view.toGround(mouse, kSquare);
    QVERIFY2(qAbs(after.x() - ground.x()) < kGroundTol && qAbs(after.y() - ground.y()) < kGroundTol,
             qPrintable(QStringLiteral("%1 %2").arg(after.x()).arg(after.y())));
    QCOMPARE(view.toScreen(ground.x(), ground.y(), kSquare), mouse.toPoint());
}

void tst_DrawingView::showWholeUndoesZoomAndPan()
{
    DrawingView view = fitted(cross());
    view.setEllipseFactor(3.0);
    view.zoomAbout(3, QPointF(30, 40), kSquare);
    view.pan(QPoint(10, 10), QPoint(60, 90), kSquare);
    view.showWhole();
    QCOMPARE(view.zoomLevel(), 0);
    QCOMPARE(view.zoom(), 1.0);
    QCOMPARE(view.centreX(), 0.0);
    QCOMPARE(view.centreY(), 0.0);
    QCOMPARE(view.ellipseFactor(), 3.0);
}

void tst_DrawingView::fixedPoints_data()
{
    QTest::addColumn<QVector<DrwRegion>>("ellipses");
    QTest::addColumn<QVector<bool>>("fixed");
    DrwRegion second = region(0.02);
    second.point1 = 2;
    DrwRegion flat = region(0.0);
    flat.point1 = 4;
    DrwRegion outside = region(0.02);
    outside.point1 = 9;
    DrwRegion secondEpoch = region(0.02);
    secondEpoch.point1 = 5;
    secondEpoch.epoch = 2;
    QTest::newRow("no absolute ellipse: cannot tell") << QVector<DrwRegion>() << QVector<bool>();
    QTest::newRow("one free point")
        << QVector<DrwRegion>{second} << QVector<bool>{true, false, true, true, true};
    QTest::newRow("a flat ellipse is a fixed point, a number outside is ignored")
        << QVector<DrwRegion>{second, flat, outside}
        << QVector<bool>{true, false, true, true, true};
    QTest::newRow("an ellipse of any epoch frees its point")
        << QVector<DrwRegion>{second, secondEpoch} << QVector<bool>{true, false, true, true, false};
}

void tst_DrawingView::fixedPoints()
{
    QFETCH(QVector<DrwRegion>, ellipses);
    QFETCH(QVector<bool>, fixed);
    DrwDrawing d = cross();
    d.absoluteEllipses = ellipses;
    QCOMPARE(d.fixedPoints(), fixed);
}

void tst_DrawingView::panFollowsMouseAtSixSevenths()
{
    DrawingView view = fitted(cross());
    // Dragging 70 pixels to the right and 35 down moves the ground 60 and 30 pixels along.
    view.pan(QPoint(100, 100), QPoint(170, 135), kSquare);
    QVERIFY(std::abs(view.centreX() - -60.0) < kGroundTol);
    QVERIFY(std::abs(view.centreY() - 30.0) < kGroundTol);
    QCOMPARE(view.toScreen(0, 0, kSquare), QPoint(200, 170));
    QCOMPARE(view.meanX(), 0.0);

    // At zoom 2 the same drag moves half as far on the ground.
    DrawingView zoomed = fitted(cross());
    zoomed.zoomBy(1);
    zoomed.pan(QPoint(100, 100), QPoint(170, 135), kSquare);
    QVERIFY(std::abs(zoomed.centreX() - -30.0) < kGroundTol);
    QVERIFY(std::abs(zoomed.centreY() - 15.0) < kGroundTol);
}

void tst_DrawingView::panStopsOneRadiusFromMean_data()
{
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<double>("centreX");
    QTest::addColumn<double>("centreY");

    QTest::newRow("far right") << QPoint(100000, 0) << -100.0 << 0.0;
    QTest::newRow("far left") << QPoint(-100000, 0) << 100.0 << 0.0;
    QTest::newRow("far down") << QPoint(0, 100000) << 0.0 << 100.0;
    QTest::newRow("far up-left") << QPoint(-100000, -100000) << 100.0 << -100.0;
}

void tst_DrawingView::panStopsOneRadiusFromMean()
{
    QFETCH(QPoint, to);
    QFETCH(double, centreX);
    QFETCH(double, centreY);
    DrwDrawing d = cross();
    for (DrwPoint &p : d.points) {
        p.x += 5000;
        p.y -= 2000;
    }
    DrawingView view = fitted(d);
    view.pan(QPoint(0, 0), to, kSquare);
    QVERIFY(std::abs(view.centreX() - (5000 + centreX)) < kGroundTol);
    QVERIFY(std::abs(view.centreY() - (-2000 + centreY)) < kGroundTol);
    // And stays there when dragged further the same way.
    view.pan(QPoint(0, 0), to, kSquare);
    QVERIFY(std::abs(view.centreX() - (5000 + centreX)) < kGroundTol);
}

void tst_DrawingView::panOnEmptyCanvasDoesNothing()
{
    DrawingView view = fitted(cross());
    view.pan(QPoint(0, 0), QPoint(50, 50), QSize(0, 0));
    QCOMPARE(view.centreX(), 0.0);
    QCOMPARE(view.centreY(), 0.0);
}

void tst_DrawingView::barLengthTexts_data()
{
    QTest::addColumn<double>("metres");
    QTest::addColumn<QString>("text");

    QTest::newRow("1260 m") << 1260.0 << "1.3 km";
    QTest::newRow("0.0004 m") << 0.0004 << "0.4 mm";
    QTest::newRow("0.25 m") << 0.25 << "25.0 cm";
    QTest::newRow("12.34 m") << 12.34 << "12.3 m";
    QTest::newRow("1000 m stays in metres") << 1000.0 << "1000.0 m";
    QTest::newRow("1 mm in centimetres") << 0.001 << "0.1 cm";
    QTest::newRow("1 m in metres") << 1.0 << "1.0 m";
    QTest::newRow("no length") << std::numeric_limits<double>::infinity() << "";
}

void tst_DrawingView::barLengthTexts()
{
    QFETCH(double, metres);
    QFETCH(QString, text);
    QCOMPARE(barLengthText(metres), text);
}

void tst_DrawingView::legendBarsFollowScalesAndFactors()
{
    DrwDrawing d = cross();
    d.absoluteEllipses = {region(0.05)};  // scale 500
    d.absoluteRectangles = {region(0.1)}; // scale 250
    DrawingView view = fitted(d);
    // One metre is one pixel on the square canvas: the network bar is 50 m.
    QCOMPARE(barLengthText(view.networkBarLength(kSquare)), QStringLiteral("50.0 m"));
    QCOMPARE(barLengthText(view.ellipseBarLength(kSquare)), QStringLiteral("10.0 cm"));
    QCOMPARE(barLengthText(view.rectangleBarLength(kSquare)), QStringLiteral("20.0 cm"));

    const double before = view.ellipseBarLength(kSquare);
    view.setEllipseFactor(sliderFactor(8));
    QVERIFY(std::abs(view.ellipseBarLength(kSquare) - before / 3) < 1e-12);
    view.setRectangleFactor(sliderFactor(1));
    QCOMPARE(barLengthText(view.rectangleBarLength(kSquare)), QStringLiteral("1.0 m"));

    view.zoomBy(1);
    QCOMPARE(barLengthText(view.networkBarLength(kSquare)), QStringLiteral("25.0 m"));

    // With no points the radius of 1 m gives 100 pixels a metre on this canvas, and the regions
    // are at true size.
    const DrawingView empty = fitted(DrwDrawing());
    QCOMPARE(barLengthText(empty.networkBarLength(kSquare)), QStringLiteral("50.0 cm"));
    QCOMPARE(barLengthText(empty.ellipseBarLength(kSquare)), QStringLiteral("50.0 cm"));
}

void tst_DrawingView::legendRows_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("row");

    QTest::newRow("network caption") << 600 << 299 << 300;
    QTest::newRow("reliability bar") << 600 << 49 << 550;
    QTest::newRow("clamped at 50") << 300 << 299 << 50;
    QTest::newRow("exactly 50") << 300 << 249 << 50;
}

void tst_DrawingView::legendRows()
{
    QFETCH(int, height);
    QFETCH(int, offset);
    QFETCH(int, row);
    QCOMPARE(legendRow(height, offset), row);
}

QTEST_GUILESS_MAIN(tst_DrawingView)
#include "tst_drawingview.moc"
