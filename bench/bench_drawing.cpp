// Paints a generated network of 2,000 points, with its links and regions of every family, into a
// 1920 x 1080 image, and prints the time per paint, whole and element by element. Times are the
// thread's processor time (the figure that does not depend on the machine's other work) and the
// wall-clock time.
#include "drwdrawing.h"
#include "frmdraw.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

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

double threadMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
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
    double cpu;
    double wall;
};

// Best of kPaints paints of the canvas into `image`.
Timing paint(const frmDraw &canvas, QImage &image)
{
    Timing best{1e300, 1e300};
    for (int k = 0; k < kPaints; ++k) {
        image.fill(Qt::white);
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadMs();
        QPainter painter(&image);
        canvas.draw(painter, image.size());
        painter.end();
        best.cpu = std::min(best.cpu, threadMs() - cpu);
        best.wall = std::min(best.wall, wall.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const DrwDrawing drawing = generate();

    frmDraw canvas;
    const double loadStart = threadMs();
    canvas.setDrawing(drawing);
    const double loadMs = threadMs() - loadStart;

    QImage image(QSize(1920, 1080), QImage::Format_ARGB32_Premultiplied);
    std::printf("drawing: %d points, %d links, %d epochs; records per family, epoch 1 drawn: "
                "%d/%d/%d/%d/%d/%d\n",
                kPoints, int(drawing.linkedPairs().size()), drawing.epochCount,
                int(drawing.absoluteEllipses.size()), int(drawing.relativeEllipses.size()),
                int(drawing.absoluteRectangles.size()), int(drawing.relativeRectangles.size()),
                int(drawing.epochEllipses.size()), int(drawing.epochRectangles.size()));
    std::printf("load (list of linked pairs): %.1f ms\n", loadMs);

    const Timing whole = paint(canvas, image);
    std::printf("whole paint 1920x1080: %.1f ms processor, %.1f ms wall (best of %d; "
                "target < 30 ms)\n",
                whole.cpu, whole.wall, kPaints);

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
    for (const auto &part : parts) {
        for (DrawElement element : all)
            canvas.setShown(element, part.shown.contains(element));
        const Timing t = paint(canvas, image);
        std::printf("  %-40s %7.1f ms processor, %7.1f ms wall\n", part.name, t.cpu, t.wall);
    }
    return 0;
}
