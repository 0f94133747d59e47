#include "drwwriter.h"
#include "frmdraw.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtTest>

#include <limits>

namespace {

constexpr int kSide = 560;
constexpr int kColourTol = 8; // antialiased edges and rounding of blended colours

// The canvas square is 560 pixels: the cross below is drawn at 2 pixels a metre, its points at
// O (280, 280), A (80, 280), B (480, 280), C (280, 80) and D (280, 480).
const QPoint kO(280, 280);
const QPoint kA(80, 280);
const QPoint kB(480, 280);

const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kDarkYellow(128, 128, 0);

// Points 1 to 5: O at the origin, A, B 100 m west and east, C, D 100 m north and south.
DrwDrawing cross()
{
    DrwDrawing d;
    d.epochCount = 2;
    d.points = {drwPoint("O", 0, 0), drwPoint("A", -100, 0), drwPoint("B", 100, 0),
                drwPoint("C", 0, 100), drwPoint("D", 0, -100)};
    d.pointCount = d.points.size();
    for (const DrwPoint &p : d.points)
        d.pointNames.append(p.name);
    d.links = QVector<QVector<qint32>>(5, QVector<qint32>(5, 0));
    return d;
}

// The colour of a region fill (alpha 150) over the white background.
QColor overWhite(const QColor &fill)
{
    const auto blend = [](int c) { return (c * 150 + 255 * 105 + 127) / 255; };
    return QColor(blend(fill.red()), blend(fill.green()), blend(fill.blue()));
}

bool near(const QImage &image, const QPoint &at, const QColor &expected, int tol = kColourTol)
{
    const QColor actual = image.pixelColor(at);
    return qAbs(actual.red() - expected.red()) <= tol &&
           qAbs(actual.green() - expected.green()) <= tol &&
           qAbs(actual.blue() - expected.blue()) <= tol;
}

QByteArray describe(const QImage &image, const QPoint &at)
{
    const QColor c = image.pixelColor(at);
    return QStringLiteral("pixel (%1, %2) is (%3, %4, %5)")
        .arg(at.x())
        .arg(at.y())
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .toLatin1();
}

int countNear(const QImage &image, const QRect &area, const QColor &colour, int tol = kColourTol)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += near(image, QPoint(x, y), colour, tol) ? 1 : 0;
    }
    return count;
}

// A canvas showing `drawing`, names off so that they cover nothing the tests look at.
struct Canvas
{
    explicit Canvas(const DrwDrawing &drawing, const QSize &size = QSize(kSide, kSide))
    {
        canvas.resize(size);
        canvas.setDrawing(drawing);
        canvas.setShown(DrawElement::Names, false);
    }
    // The canvas once its regions are worked out for what it shows.
    QImage image()
    {
        QElapsedTimer waited;
        waited.start();
        QImage shown = preview();
        while (!canvas.regionsUpToDate() && waited.elapsed() < 10000) {
            QTest::qWait(2);
            shown = preview();
        }
        return shown;
    }
    // The canvas as it shows at once.
    QImage preview() { return canvas.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    frmDraw canvas;
};

// The wheel turned with the mouse at `at`, by default over the middle of the canvas, which shows
// the view's centre: there zooming about the mouse keeps the centre.
void sendWheel(QWidget &widget, int delta, QPointF at = QPointF(-1, -1))
{
    if (at.x() < 0)
        at = QPointF(widget.width() / 2, widget.height() - widget.height() / 2);
    QWheelEvent event(at, widget.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

void sendMouse(QWidget &widget, QEvent::Type type, const QPoint &at, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

Q_DECLARE_METATYPE(DrawElement)

class tst_frmDraw : public QObject
{
    Q_OBJECT

private slots:
    void sizes();
    void pointsOnWhite();
    void names();
    void dotGrowsWithZoomLevel();
    void links_data();
    void links();
    void regionFamilies_data();
    void regionFamilies();
    void bearing_data();
    void bearing();
    void relativeRegionsFollowEpochAndVisibility();
    void wideCanvasShowsPointsAtItsSides();
    void pointNumbersOutsideTheListAreSkipped();
    void legend_data();
    void legend();
    void wheelZoomsWithinLimits();
    void dragPansAndStopsOneRadiusAway();
    void regionsMoveWithADragUntilWorkedOut();
    void regionsFollowTheWheelUntilWorkedOut();
    void aNewDrawingDropsRegionsWorkedOutForTheLast();
    void degenerateDrawings_data();
    void degenerateDrawings();
    void hugeRegionPaints();
};

void tst_frmDraw::sizes()
{
    frmDraw canvas;
    QCOMPARE(canvas.sizeHint(), QSize(400, 200));
    QCOMPARE(canvas.minimumSizeHint(), QSize(100, 100));
}

void tst_frmDraw::pointsOnWhite()
{
    Canvas c(cross());
    const QImage image = c.image();
    for (const QPoint &at : {kO, kA, kB, QPoint(280, 80), QPoint(280, 480)})
        QVERIFY2(near(image, at, kBlue, 0), describe(image, at));
    QVERIFY2(near(image, QPoint(kSide - 2, kSide - 2), kWhite, 0),
             describe(image, QPoint(kSide - 2, kSide - 2)));
    QVERIFY2(near(image, kB + QPoint(0, -8), kWhite, 0), describe(image, kB + QPoint(0, -8)));
}

void tst_frmDraw::names()
{
    DrwDrawing d = cross();
    d.points[2].name = QStringLiteral("MMMM");
    Canvas c(d);
    // The name of B starts 7 pixels right of it, with its base line 7 pixels below it.
    const QRect nameArea(kB.x() + 7, kB.y() - 4, 40, 11);
    QCOMPARE(countNear(c.image(), nameArea, kBlue, 60), 0);
    c.canvas.setShown(DrawElement::Names, true);
    QVERIFY(countNear(c.image(), nameArea, kBlue, 60) > 20);
    QCOMPARE(countNear(c.image(), QRect(kB.x() - 40, kB.y() - 20, 35, 15), kBlue, 60), 0);
}

void tst_frmDraw::dotGrowsWithZoomLevel()
{
    Canvas c(cross());
    const QPoint beside = kO + QPoint(5, 0);
    QVERIFY2(near(c.image(), beside, kWhite, 30), describe(c.image(), beside));
    c.canvas.zoomBy(4); // a dot of 14 pixels; O stays at the centre
    QVERIFY2(near(c.image(), beside, kBlue, 0), describe(c.image(), beside));
    c.canvas.zoomBy(-14); // a dot of 0 pixels: one pixel wide
    QVERIFY(near(c.image(), kO + QPoint(2, 0), kWhite, 0));
}

void tst_frmDraw::links_data()
{
    QTest::addColumn<int>("entryAB");
    QTest::addColumn<int>("entryBA");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("above the diagonal only") << 4 << 0 << true << true;
    QTest::newRow("below the diagonal only") << 0 << 1 << true << true;
    QTest::newRow("switched off") << 4 << 0 << false << false;
    QTest::newRow("not linked") << 0 << 0 << true << false;
    QTest::newRow("entries summing to 0") << 3 << -3 << true << false;
    QTest::newRow("large entries do not overflow")
        << std::numeric_limits<int>::max() << std::numeric_limits<int>::max() << true << true;
}

void tst_frmDraw::links()
{
    QFETCH(int, entryAB);
    QFETCH(int, entryBA);
    QFETCH(bool, shown);
    QFETCH(bool, drawn);

    DrwDrawing d = cross();
    d.links[1][2] = entryAB;
    d.links[2][1] = entryBA;
    Canvas c(d);
    c.canvas.setShown(DrawElement::Links, shown);
    const QImage image = c.image();
    // A gray dash-dotted line along the row of A, O and B, away from their dots.
    const QRect westOfO(kA.x() + 10, kO.y() - 1, kO.x() - kA.x() - 20, 2);
    const int white = countNear(image, westOfO, kWhite, 2);
    const int gray = countNear(image, westOfO, QColor(208, 208, 210), 30);
    if (drawn) {
        QVERIFY2(gray > 60, QByteArray::number(gray));
        QVERIFY2(white > 20, "the line has gaps");
    } else {
        QCOMPARE(white, westOfO.width() * westOfO.height());
    }
    QCOMPARE(countNear(image, QRect(kO.x() - 1, 100, 2, 160), kWhite, 2), 320); // O to C
}

void tst_frmDraw::regionFamilies_data()
{
    QTest::addColumn<DrawElement>("element");
    QTest::addColumn<QColor>("outline");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<bool>("rectangle");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<bool>("dashed");

    QTest::newRow("absolute ellipse") << DrawElement::AbsoluteEllipses << QColor(255, 0, 50)
                                      << QColor(255, 0, 0) << false << false << false;
    QTest::newRow("relative ellipse") << DrawElement::RelativeEllipses << QColor(50, 0, 200)
                                      << QColor(0, 0, 200) << false << true << false;
    QTest::newRow("absolute rectangle") << DrawElement::AbsoluteRectangles << QColor(0, 255, 50)
                                        << QColor(0, 255, 0) << true << false << false;
    QTest::newRow("relative rectangle") << DrawElement::RelativeRectangles << QColor(100, 255, 200)
                                        << QColor(100, 255, 200) << true << true << false;
    QTest::newRow("ellipse between epochs") << DrawElement::EpochEllipses << QColor(255, 100, 50)
                                            << QColor(255, 100, 0) << false << false << true;
    QTest::newRow("rectangle between epochs")
        << DrawElement::EpochRectangles << QColor(100, 255, 50) << QColor(100, 255, 0) << true
        << false << true;
}

void tst_frmDraw::regionFamilies()
{
    QFETCH(DrawElement, element);
    QFETCH(QColor, outline);
    QFETCH(QColor, fill);
    QFETCH(bool, rectangle);
    QFETCH(bool, relative);
    QFETCH(bool, dashed);

    // The only region of the drawing, so the largest: its first half-axis is drawn 25 m long,
    // 50 pixels; the second 25 pixels. Bearing 90: the first half-axis lies east-west.
    DrwDrawing d = cross();
    QVector<DrwRegion> *list = nullptr;
    switch (element) {
    case DrawElement::AbsoluteEllipses:
        list = &d.absoluteEllipses;
        break;
    case DrawElement::RelativeEllipses:
        list = &d.relativeEllipses;
        break;
    case DrawElement::AbsoluteRectangles:
        list = &d.absoluteRectangles;
        break;
    case DrawElement::RelativeRectangles:
        list = &d.relativeRectangles;
        break;
    case DrawElement::EpochEllipses:
        list = &d.epochEllipses;
        break;
    case DrawElement::EpochRectangles:
        list = &d.epochRectangles;
        break;
    default:
        QFAIL("not a region family");
    }
    // A relative region between O and B is centred on their midpoint.
    list->append(relative ? drwRegion(1, 3, 1, 1.0, 0.5, 90)
                          : drwRegion(3, dashed ? 3 : 0, 1, 1.0, 0.5, 90));
    const QPoint centre = relative ? QPoint(380, 280) : kB;

    Canvas c(d);
    QImage image = c.image();
    const QPoint inside = centre + QPoint(20, 10);
    QVERIFY2(near(image, inside, overWhite(fill)), describe(image, inside));
    QVERIFY2(near(image, centre + QPoint(20, 30), kWhite, 0),
             describe(image, centre + QPoint(20, 30)));
    QVERIFY2(near(image, centre + QPoint(56, 0), kWhite, 0),
             describe(image, centre + QPoint(56, 0)));

    // The 2-pixel outline covers the row just above the top edge.
    const QRect topEdge(centre.x() - 15, centre.y() - 26, 30, 1);
    QVERIFY(countNear(image, topEdge, outline) > 0);
    if (rectangle) {
        const QRect wholeEdge(centre.x() - 45, centre.y() - 26, 90, 1);
        const int outlined = countNear(image, wholeEdge, outline);
        if (dashed)
            QVERIFY2(outlined < 80 && countNear(image, wholeEdge, kWhite, 2) > 10,
                     QByteArray::number(outlined));
        else
            QCOMPARE(outlined, 90);
    }

    c.canvas.setShown(element, false);
    image = c.image();
    QVERIFY2(near(image, inside, kWhite, 0), describe(image, inside));
}

void tst_frmDraw::bearing_data()
{
    QTest::addColumn<double>("bearing");
    QTest::addColumn<QPoint>("alongFirstAxis");
    QTest::addColumn<QPoint>("alongSecondAxis");

    // Bearings run clockwise from north; screen rows grow downwards.
    QTest::newRow("north") << 0.0 << QPoint(0, -40) << QPoint(40, 0);
    QTest::newRow("north-east") << 45.0 << QPoint(28, -28) << QPoint(28, 28);
    QTest::newRow("east") << 90.0 << QPoint(40, 0) << QPoint(0, 40);
    QTest::newRow("south-east") << 135.0 << QPoint(28, 28) << QPoint(-28, 28);
    QTest::newRow("west-north-west") << 300.0 << QPoint(-35, -20) << QPoint(20, -35);
}

void tst_frmDraw::bearing()
{
    QFETCH(double, bearing);
    QFETCH(QPoint, alongFirstAxis);
    QFETCH(QPoint, alongSecondAxis);

    DrwDrawing d = cross();
    d.absoluteEllipses = {drwRegion(3, 0, 1, 1.0, 0.5, bearing)}; // 50 by 25 pixels
    Canvas c(d);
    const QImage image = c.image();
    const QColor fill = overWhite(QColor(255, 0, 0));
    for (const QPoint &at : {kB + alongFirstAxis, kB - alongFirstAxis})
        QVERIFY2(near(image, at, fill), describe(image, at));
    for (const QPoint &at : {kB + alongSecondAxis, kB - alongSecondAxis})
        QVERIFY2(near(image, at, kWhite, 0), describe(image, at));
}

void tst_frmDraw::relativeRegionsFollowEpochAndVisibility()
{
    DrwDrawing d = cross();
    d.absoluteEllipses = {drwRegion(2, 0, 1, 1.0, 0.5, 90)}; // sets the scale: 50 pixels at zoom 1
    d.relativeEllipses = {drwRegion(1, 3, 2, 0.5, 0.5, 0)};  // O to B, epoch 2: a 25-pixel circle
    Canvas c(d);
    c.canvas.setShown(DrawElement::AbsoluteEllipses, false);
    const QColor fill = overWhite(QColor(0, 0, 200));
    const QRect everywhere(0, 0, kSide, kSide);

    QCOMPARE(countNear(c.image(), everywhere, fill, 3), 0);
    c.canvas.setCurrentEpoch(2);
    QVERIFY2(near(c.image(), QPoint(380, 290), fill), describe(c.image(), QPoint(380, 290)));

    // Zoomed in once, B lies off the canvas: the region between O and B goes.
    c.canvas.zoomBy(1);
    QCOMPARE(countNear(c.image(), everywhere, fill, 3), 0);
    c.canvas.zoomBy(-1);
    QVERIFY(countNear(c.image(), everywhere, fill, 3) > 1000);
}

void tst_frmDraw::wideCanvasShowsPointsAtItsSides()
{
    // Zoomed in once on a canvas 1400 pixels wide and 560 high, at 4 pixels a metre: A and B,
    // 100 m west and east of O, lie at (-400, 0) and (400, 0) pixels from the centre, on the
    // canvas, and are drawn with their links; C and D, as far north and south, are off it.
    DrwDrawing d = cross();
    d.links[0][1] = 1; // O-A
    d.links[0][2] = 1; // O-B
    d.links[0][3] = 1; // O-C
    Canvas c(d, QSize(1400, 560));
    c.canvas.zoomBy(1);
    const QImage image = c.image();
    const QPoint centre(700, 280);
    for (const QPoint &at : {centre, centre + QPoint(-400, 0), centre + QPoint(400, 0)})
        QVERIFY2(near(image, at, kBlue, 0), describe(image, at));
    const QColor gray(208, 208, 210);
    QVERIFY(countNear(image, QRect(centre.x() - 390, centre.y() - 1, 380, 2), gray, 30) > 60);
    QVERIFY(countNear(image, QRect(centre.x() + 10, centre.y() - 1, 380, 2), gray, 30) > 60);
    // No line up to C, off the canvas.
    QCOMPARE(countNear(image, QRect(centre.x() - 1, 100, 2, 170), kWhite, 2), 340);
}

void tst_frmDraw::pointNumbersOutsideTheListAreSkipped()
{
    DrwDrawing valid = cross();
    // The largest half-axes of the damaged records match the valid ones, so that the scales and
    // the legend stay the same.
    valid.absoluteEllipses = {drwRegion(3, 0, 1, 1.0, 0.5, 90)};
    valid.absoluteRectangles = {drwRegion(2, 0, 1, 1.0, 0.5, 30)};
    DrwDrawing hostile = valid;
    const int big = std::numeric_limits<int>::max();
    const int small = std::numeric_limits<int>::min();
    for (int p : {0, -1, 6, big, small}) {
        hostile.absoluteEllipses.append(drwRegion(p, 0, 1, 1.0, 1.0, 0));
        hostile.absoluteRectangles.append(drwRegion(p, 0, 1, 1.0, 1.0, 0));
        hostile.epochEllipses.append(drwRegion(p, p, 1, 1.0, 1.0, 0));
        hostile.epochRectangles.append(drwRegion(p, p, 1, 1.0, 1.0, 0));
        hostile.relativeEllipses.append(drwRegion(1, p, 1, 1.0, 1.0, 0));
        hostile.relativeEllipses.append(drwRegion(p, 1, 1, 1.0, 1.0, 0));
        hostile.relativeRectangles.append(drwRegion(p, 3, 1, 1.0, 1.0, 0));
    }
    Canvas reference(valid);
    Canvas withBadRecords(hostile);
    QCOMPARE(withBadRecords.image(), reference.image());
}

void tst_frmDraw::legend_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<int>>("barRows");

    // Bars 249, 149 and 49 pixels above the bottom row, never above row 50.
    QTest::newRow("tall") << QSize(kSide, kSide) << QVector<int>{310, 410, 510};
    QTest::newRow("short: rows held at 50") << QSize(kSide, 200) << QVector<int>{50, 50, 150};
}

void tst_frmDraw::legend()
{
    QFETCH(QSize, size);
    QFETCH(QVector<int>, barRows);

    Canvas c(cross(), size);
    const QImage image = c.image();
    // North arrow: its shaft along x = 20 from row 20 to row 70.
    for (int y : {25, 50, 65})
        QVERIFY2(near(image, QPoint(20, y), kDarkYellow, 0), describe(image, QPoint(20, y)));
    // Bars 5 pixels thick from x = 15 to x = 65 with flat caps, their length written from x = 75.
    for (int row : barRows) {
        for (int x : {16, 40, 64})
            QVERIFY2(near(image, QPoint(x, row), kDarkYellow, 0), describe(image, QPoint(x, row)));
        for (const QPoint &at : {QPoint(14, row), QPoint(66, row), QPoint(40, row + 3)})
            QVERIFY2(near(image, at, kWhite, 0), describe(image, at));
        QVERIFY(countNear(image, QRect(75, row - 12, 60, 12), kDarkYellow, 40) > 10);
    }
}

void tst_frmDraw::wheelZoomsWithinLimits()
{
    Canvas c(cross());
    sendWheel(c.canvas, 120);
    QCOMPARE(c.canvas.view().zoomLevel(), 1);
    sendWheel(c.canvas, 3 * 120);
    QCOMPARE(c.canvas.view().zoomLevel(), 4);
    // Fine-grained wheels add up to whole steps.
    sendWheel(c.canvas, 60);
    QCOMPARE(c.canvas.view().zoomLevel(), 4);
    sendWheel(c.canvas, 60);
    QCOMPARE(c.canvas.view().zoomLevel(), 5);
    for (int k = 0; k < 8; ++k)
        sendWheel(c.canvas, 120);
    QCOMPARE(c.canvas.view().zoomLevel(), 10);
    QCOMPARE(c.canvas.view().zoom(), 11.0);
    sendWheel(c.canvas, -40 * 120);
    QCOMPARE(c.canvas.view().zoomLevel(), -10);
    QCOMPARE(c.canvas.view().zoom(), 1.0 / 11);
    sendWheel(c.canvas, -120);
    QCOMPARE(c.canvas.view().zoom(), 1.0 / 11);
}

void tst_frmDraw::dragPansAndStopsOneRadiusAway()
{
    Canvas c(cross());
    // A right-button drag does not pan.
    sendMouse(c.canvas, QEvent::MouseButtonPress, kO, Qt::RightButton, Qt::RightButton);
    sendMouse(c.canvas, QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::RightButton);
    sendMouse(c.canvas, QEvent::MouseButtonRelease, QPoint(0, 0), Qt::RightButton, Qt::NoButton);
    QCOMPARE(c.canvas.view().centreX(), 0.0);

    sendMouse(c.canvas, QEvent::MouseButtonPress, kO, Qt::LeftButton, Qt::LeftButton);
    sendMouse(c.canvas, QEvent::MouseMove, kO + QPoint(-14, 7), Qt::NoButton, Qt::LeftButton);
    // 14 pixels at 2 pixels a metre, 6/7 of the way: 6 m.
    QCOMPARE(c.canvas.view().centreX(), 6.0);
    QCOMPARE(c.canvas.view().centreY(), 3.0);
    sendMouse(c.canvas, QEvent::MouseMove, QPoint(-4000, 280), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(c.canvas.view().centreX(), 100.0);
    QCOMPARE(c.canvas.view().centreY(), 0.0);
    // B is now at the centre of the canvas.
    QVERIFY2(near(c.image(), kO, kBlue, 0), describe(c.image(), kO));
    QVERIFY2(near(c.image(), QPoint(80, 280), kBlue, 0), describe(c.image(), QPoint(80, 280)));
    sendMouse(c.canvas, QEvent::MouseButtonRelease, QPoint(-4000, 280), Qt::LeftButton,
              Qt::NoButton);
    sendMouse(c.canvas, QEvent::MouseMove, QPoint(4000, 280), Qt::NoButton, Qt::NoButton);
    QCOMPARE(c.canvas.view().centreX(), 100.0);
}

void tst_frmDraw::regionsMoveWithADragUntilWorkedOut()
{
    // Zoomed in twice, the canvas reaches 70 m from O: A, 100 m west, is out of view,
    // and so is its region. At 4 pixels a metre, A's region (the largest, a quarter of the
    // radius) is a circle 100 pixels across, O's 20.
    DrwDrawing d = cross();
    d.absoluteEllipses = {drwRegion(1, 0, 1, 0.2, 0.2, 0), drwRegion(2, 0, 1, 1.0, 1.0, 0)};
    Canvas c(d);
    c.canvas.zoomBy(1);
    const QColor fill = overWhite(QColor(255, 0, 0));
    QVERIFY2(near(c.image(), kO + QPoint(10, 0), fill), describe(c.image(), kO + QPoint(10, 0)));

    // Dragging 150 pixels right moves the view 32.1 m west, 129 pixels: at once O's region is
    // moved along with the drawing, but A's, out of view when the regions were worked out, is
    // not there.
    sendMouse(c.canvas, QEvent::MouseButtonPress, QPoint(100, 280), Qt::LeftButton, Qt::LeftButton);
    sendMouse(c.canvas, QEvent::MouseMove, QPoint(250, 280), Qt::NoButton, Qt::LeftButton);
    const QPoint movedO = kO + QPoint(129, 0);
    const QPoint aside = QPoint(60, 280); // inside A's region once A is in view
    QImage image = c.preview();
    QVERIFY(!c.canvas.regionsUpToDate());
    QVERIFY2(near(image, movedO + QPoint(10, 0), fill), describe(image, movedO + QPoint(10, 0)));
    QVERIFY2(near(image, kO + QPoint(10, 0), kWhite, 0), describe(image, kO + QPoint(10, 0)));
    QVERIFY2(near(image, aside, kWhite, 0), describe(image, aside));

    // Once worked out for the new view, A's region is there too.
    image = c.image();
    QVERIFY2(near(image, movedO + QPoint(10, 0), fill), describe(image, movedO + QPoint(10, 0)));
    QVERIFY2(near(image, aside, fill), describe(image, aside));
    sendMouse(c.canvas, QEvent::MouseButtonRelease, QPoint(250, 280), Qt::LeftButton, Qt::NoButton);
}

void tst_frmDraw::regionsFollowTheWheelUntilWorkedOut()
{
    // Zoomed in, A is out of view; O's region is a circle 20 pixels across at 4 pixels a metre.
    DrwDrawing d = cross();
    d.absoluteEllipses = {drwRegion(1, 0, 1, 0.2, 0.2, 0), drwRegion(2, 0, 1, 1.0, 1.0, 0)};
    Canvas c(d);
    c.canvas.zoomBy(1);
    const QColor fill = overWhite(QColor(255, 0, 0));
    QImage image = c.image();
    QVERIFY2(near(image, kO + QPoint(15, 0), fill), describe(image, kO + QPoint(15, 0)));

    // A wheel step out halves the drawing: at once O's region with it, but A's, out of view
    // when the regions were worked out, is not there until they are worked out again.
    sendWheel(c.canvas, -120);
    const QPoint insideA = kA + QPoint(30, 0);
    image = c.preview();
    QVERIFY(!c.canvas.regionsUpToDate());
    QVERIFY2(near(image, kO + QPoint(7, 0), fill), describe(image, kO + QPoint(7, 0)));
    QVERIFY2(near(image, kO + QPoint(15, 0), kWhite, 0), describe(image, kO + QPoint(15, 0)));
    QVERIFY2(near(image, insideA, kWhite, 0), describe(image, insideA));
    image = c.image();
    QVERIFY2(near(image, insideA, fill), describe(image, insideA));
    QVERIFY2(near(image, kO + QPoint(7, 0), fill), describe(image, kO + QPoint(7, 0)));
}

void tst_frmDraw::aNewDrawingDropsRegionsWorkedOutForTheLast()
{
    // Regions being worked out for a drawing when another is loaded are never shown with it.
    DrwDrawing first = cross();
    first.absoluteEllipses = {drwRegion(1, 0, 1, 1.0, 1.0, 0)};
    DrwDrawing second = cross();
    second.absoluteRectangles = {drwRegion(3, 0, 1, 1.0, 1.0, 0)};
    Canvas c(first);
    c.image();
    c.canvas.zoomBy(-1);
    c.preview(); // sets the regions of the first drawing to be worked out
    c.canvas.setDrawing(second);
    c.canvas.setShown(DrawElement::Names, false);
    QTRY_VERIFY(!c.canvas.regionsPending());
    // The first paint of the new drawing works its regions out at once.
    const QImage image = c.preview();
    QVERIFY(c.canvas.regionsUpToDate());
    QVERIFY2(near(image, kO + QPoint(10, 0), kWhite, 0), describe(image, kO + QPoint(10, 0)));
    QVERIFY2(near(image, kB + QPoint(10, 10), overWhite(QColor(0, 255, 0))),
             describe(image, kB + QPoint(10, 10)));
}

void tst_frmDraw::degenerateDrawings_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QPoint>("dot");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("no points") << QVector<QPointF>{} << QPoint(-1, -1);
    QTest::newRow("one point: at the centre") << QVector<QPointF>{{7, 9}} << kO;
    QTest::newRow("coincident points") << QVector<QPointF>{{7, 9}, {7, 9}} << kO;
    QTest::newRow("a point not finite") << QVector<QPointF>{{nan, 0}, {7, 9}} << kO;
}

void tst_frmDraw::degenerateDrawings()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(QPoint, dot);

    DrwDrawing d;
    d.epochCount = 1;
    for (const QPointF &p : points)
        d.points.append(drwPoint("P", p.x(), p.y()));
    d.pointCount = d.points.size();
    d.links = QVector<QVector<qint32>>(d.pointCount, QVector<qint32>(d.pointCount, 1));
    // Regions at every point, sized 0 or missing their family's largest.
    for (int i = 1; i <= d.pointCount; ++i) {
        d.absoluteEllipses.append(drwRegion(i, 0, 1, 0.0, 0.0, 0));
        d.relativeRectangles.append(drwRegion(i, 1, 1, 0.001, 0.001, 0));
    }
    Canvas c(d);
    c.canvas.setShown(DrawElement::Names, true);
    const QImage image = c.image();
    const QRect canvasArea(150, 100, 400, 450); // away from the legend
    if (dot.x() < 0) {
        QCOMPARE(countNear(image, canvasArea, kWhite, 0), canvasArea.width() * canvasArea.height());
    } else {
        QVERIFY2(near(image, dot, kBlue, 0), describe(image, dot));
        // A region of 1 mm at true size is a speck hidden under the dot.
        QCOMPARE(countNear(image, canvasArea, kBlue, 60) < 400, true);
    }
}

void tst_frmDraw::hugeRegionPaints()
{
    // Against an absolute ellipse of 1 mm, a relative region of 1e200 m would be drawn some 1e205
    // pixels wide: it still paints, covering the whole canvas. (The regions between epochs have a
    // magnification of their own, so that none of them is ever that large.)
    DrwDrawing d = cross();
    d.absoluteEllipses = {drwRegion(2, 0, 1, 0.001, 0.001, 0)};
    d.relativeEllipses = {drwRegion(3, 3, 1, 1e200, 1e200, 10)};
    d.relativeRectangles = {drwRegion(3, 3, 1, 1e300, 1e300, 10)};
    Canvas c(d);
    c.canvas.setShown(DrawElement::RelativeRectangles, false);
    const QImage image = c.image();
    QVERIFY2(near(image, QPoint(500, 100), overWhite(QColor(0, 0, 200))),
             describe(image, QPoint(500, 100)));
    c.canvas.setShown(DrawElement::RelativeRectangles, true);
    c.canvas.setShown(DrawElement::RelativeEllipses, false);
    // The rectangles take their magnification from the largest of them, so this one is drawn a
    // quarter of the radius, 50 pixels, from B.
    QVERIFY2(near(c.image(), QPoint(500, 100), kWhite, 0), describe(c.image(), QPoint(500, 100)));
    QVERIFY2(near(c.image(), kB + QPoint(-40, -40), overWhite(QColor(100, 255, 200))),
             describe(c.image(), kB + QPoint(-40, -40)));

    // Against an absolute rectangle of 1 mm, 1e305 m is no finite size on screen: it is left
    // out.
    d.absoluteRectangles = {drwRegion(2, 0, 1, 0.001, 0.001, 0)};
    d.relativeRectangles = {drwRegion(3, 3, 1, 1e305, 1e305, 10)};
    Canvas rectangles(d);
    rectangles.canvas.setShown(DrawElement::RelativeEllipses, false);
    const QImage image2 = rectangles.image();
    QVERIFY2(near(image2, QPoint(500, 100), kWhite, 0), describe(image2, QPoint(500, 100)));
    QVERIFY2(near(image2, kB + QPoint(-40, -40), kWhite, 0),
             describe(image2, kB + QPoint(-40, -40)));
}

QTEST_MAIN(tst_frmDraw)
#include "tst_frmdraw.moc"
