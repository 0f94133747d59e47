// Paints a generated network of 2,000 points, with its links and regions of every family, into a
// 1920 x 1080 image, and prints the time per paint after a step of a drag, a step of the wheel
// and at the same view: the first paint, which shows at once the regions the canvas has, and
// the time until a paint shows the regions worked out in the background for the new view. Whole
// and element by element. Times are wall-clock, with the processor time of all the process's
// threads beside them.
#include "drwdrawing.h"
#include "frmdraw.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kSide = 45; // points on a jittered 45 x 45 grid, the first 2,000 kept
constexpr int kPoints = 2000;
constexpr double kStep = 120.0;       // metres between grid neighbours
constexpr double kLargestAxis = 0.02; // metres
constexpr int kPaints = 10;

double processMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Half-axes spread evenly on a log scale over two decades below the largest, as the precision of a
// large network ranges from its control points to its weakest points.
DrwRegion region(int point1, int point2, int epoch, QRandomGenerator &random)
{
    DrwRegion r;
    r.point1 = point1;
    r.point2 = point2;
    r.epoch = epoch;
    r.semiAxis1 = kLargestAxis * std::pow(100.0, -random.generateDouble());
    r.semiAxis2 = r.semiAxis1 * (0.2 + 0.8 * random.generateDouble());
    r.bearing = 360.0 * random.generateDouble();
    return r;
}

// Two epochs; every point has regions of each single-point family and every link regions of each
// two-point family, in both epochs.
DrwDrawing generate()
{
    QRandomGenerator random(7);
    DrwDrawing d;
    d.epochCount = 2;
    for (int i = 0; i < kPoints; ++i) {
        DrwPoint p;
        p.name = QStringLiteral("PT%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        p.x = 600000.0 + (i % kSide) * kStep + 30.0 * random.generateDouble();
        p.y = 200000.0 + (i / kSide) * kStep + 30.0 * random.generateDouble();
        d.points.append(p);
        d.pointNames.append(p.name);
    }
    d.pointCount = kPoints;
    d.links = QVector<QVector<qint32>>(kPoints, QVector<qint32>(kPoints, 0));
    for (int epoch = 1; epoch <= 2; ++epoch) {
        for (int i = 0; i < kPoints; ++i) {
            // Each point sighted its right, upper and upper-right neighbours.
            const bool lastColumn = i % kSide == kSide - 1;
            for (int j : {i + 1, i + kSide, i + kSide + 1}) {
                if (j >= kPoints || (lastColumn && j != i + kSide))
                    continue;
                d.links[i][j] = 1;
                d.relativeEllipses.append(region(i + 1, j + 1, epoch, random));
                d.relativeRectangles.append(region(i + 1, j + 1, epoch, random));
            }
            d.absoluteEllipses.append(region(i + 1, 0, epoch, random));
            d.absoluteRectangles.append(region(i + 1, 0, epoch, random));
            d.epochEllipses.append(region(i + 1, i + 1, epoch, random));
            d.epochRectangles.append(region(i + 1, i + 1, epoch, random));
        }
    }
    return d;
}

struct Timing
{
    double wall;
    double cpu;
};

// The first paint after a change, which shows at once what the canvas has, and the time until a
// paint shows the regions worked out for what it shows.
struct Paints
{
    Timing first;
    double slowestFirst; // wall
    Timing upToDate;
};

enum class Before {
    Nothing,   // the same view again
    DragStep,  // a step of a drag, one pixel right and back by turns
    WheelStep, // a step of the wheel, in and out by turns
    WheelOut,  // a step of the wheel out, to a zoom level not shown before
};

void sendMouse(frmDraw &canvas, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, canvas.mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&canvas, &event);
}

void paintOnce(const frmDraw &canvas, QImage &image)
{
    image.fill(Qt::white);
    QPainter painter(&image);
    canvas.draw(painter, image.size());
}

// Paints, as the canvas asks to once the regions being worked out are ready, until the regions
// shown are up to date.
void paintUntilUpToDate(const frmDraw &canvas, QImage &image)
{
    while (!canvas.regionsUpToDate()) {
        while (canvas.regionsPending())
            QThread::msleep(1);
        paintOnce(canvas, image);
    }
}

// Best of kPaints changes `before`, each followed by paints until the regions are up to date.
Paints paint(frmDraw &canvas, QImage &image, Before before)
{
    Paints best{{1e300, 1e300}, 0.0, {1e300, 1e300}};
    const QPoint start(900, 500);
    paintOnce(canvas, image);
    paintUntilUpToDate(canvas, image);
    sendMouse(canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int k = 0; k < kPaints; ++k) {
        if (before == Before::DragStep) {
            sendMouse(canvas, QEvent::MouseMove, start + QPoint(k % 2 == 0 ? 1 : 0, 0),
                      Qt::LeftButton);
        } else if (before == Before::WheelStep || before == Before::WheelOut) {
            const QPoint notch(0, before == Before::WheelOut || k % 2 == 1 ? -120 : 120);
            const QPointF at(start);
            QWheelEvent event(at, at, QPoint(), notch, Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(&canvas, &event);
        }
        QElapsedTimer wall;
        wall.start();
        const double cpu = processMs();
        paintOnce(canvas, image);
        best.first.cpu = std::min(best.first.cpu, processMs() - cpu);
        best.first.wall = std::min(best.first.wall, wall.nsecsElapsed() / 1e6);
        best.slowestFirst = std::max(best.slowestFirst, wall.nsecsElapsed() / 1e6);
        paintUntilUpToDate(canvas, image);
        best.upToDate.cpu = std::min(best.upToDate.cpu, processMs() - cpu);
        best.upToDate.wall = std::min(best.upToDate.wall, wall.nsecsElapsed() / 1e6);
    }
    sendMouse(canvas, QEvent::MouseButtonRelease, start, Qt::NoButton);
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const DrwDrawing drawing = generate();
    const QSize size(1920, 1080);

    frmDraw canvas;
    canvas.resize(size);
    QElapsedTimer loadTimer;
    loadTimer.start();
    canvas.setDrawing(drawing);
    const double loadMs = loadTimer.nsecsElapsed() / 1e6;

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    std::printf("drawing: %d points, %d links, %d epochs; records per family, epoch 1 drawn: "
                "%d/%d/%d/%d/%d/%d; %d threads\n",
                kPoints, int(drawing.linkedPairs().size()), drawing.epochCount,
                int(drawing.absoluteEllipses.size()), int(drawing.relativeEllipses.size()),
                int(drawing.absoluteRectangles.size()), int(drawing.relativeRectangles.size()),
                int(drawing.epochEllipses.size()), int(drawing.epochRectangles.size()),
                QThread::idealThreadCount());
    std::printf("load (list of linked pairs): %.1f ms\n", loadMs);
    std::printf("paint 1920x1080, best of %d, wall (processor, all threads); target < 30 ms\n"
                "  %-36s %-24s %-12s %s\n",
                kPaints, "", "first paint", "slowest", "regions up to date");

    const struct
    {
        const char *name;
        Before before;
    } cases[] = {
        {"whole, after a step of a drag", Before::DragStep},
        {"whole, after a step of the wheel", Before::WheelStep},
        {"whole, again at the same view", Before::Nothing},
        {"whole, wheel out to a new zoom level", Before::WheelOut},
    };
    for (const auto &c : cases) {
        const Paints t = paint(canvas, image, c.before);
        std::printf("  %-36s %7.1f ms (%7.1f ms)   %7.1f ms   %7.1f ms (%7.1f ms)\n", c.name,
                    t.first.wall, t.first.cpu, t.slowestFirst, t.upToDate.wall, t.upToDate.cpu);
    }
    canvas.zoomBy(DrawingView::kMaxZoomLevel); // back to where the view was fitted

    const struct
    {
        const char *name;
        QVector<DrawElement> shown;
    } parts[] = {
        {"network: points, names, links, legend", {DrawElement::Names, DrawElement::Links}},
        {"absolute ellipses", {DrawElement::AbsoluteEllipses}},
        {"relative ellipses", {DrawElement::RelativeEllipses}},
        {"ellipses between epochs", {DrawElement::EpochEllipses}},
        {"absolute rectangles", {DrawElement::AbsoluteRectangles}},
        {"relative rectangles", {DrawElement::RelativeRectangles}},
        {"rectangles between epochs", {DrawElement::EpochRectangles}},
    };
    const QVector<DrawElement> all = {DrawElement::Names,
                                      DrawElement::Links,
                                      DrawElement::AbsoluteEllipses,
                                      DrawElement::RelativeEllipses,
                                      DrawElement::EpochEllipses,
                                      DrawElement::AbsoluteRectangles,
                                      DrawElement::RelativeRectangles,
                                      DrawElement::EpochRectangles};
    std::printf("element by element, after a step of a drag (points and legend always drawn):\n");
    for (const auto &part : parts) {
        for (DrawElement element : all)
            canvas.setShown(element, part.shown.contains(element));
        const Paints t = paint(canvas, image, Before::DragStep);
        std::printf("  %-36s %7.1f ms (%7.1f ms)   %7.1f ms   %7.1f ms (%7.1f ms)\n", part.name,
                    t.first.wall, t.first.cpu, t.slowestFirst, t.upToDate.wall, t.upToDate.cpu);
    }
    return 0;
}
