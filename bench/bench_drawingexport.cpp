// Exports a generated network of 5,000 points, with its links, its absolute and relative ellipses
// and its absolute rectangles, as the drawing window does: to a vector picture (SVG) at
// 1920 x 1080 and to a CAD drawing (DXF). Prints the wall-clock time of each export, the fastest
// and the median of several runs, and the size of the file written.
#include "drawingexport.h"
#include "drawingplan.h"
#include "drwdrawing.h"
#include "svgexport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSide = 71; // points on a jittered 71 x 71 grid, the first 5,000 kept
constexpr int kPoints = 5000;
constexpr int kFixedEvery = 50; // one point in 50 is a control point, without ellipse
constexpr double kStep = 120.0; // metres between grid neighbours
constexpr int kRuns = 5;
const QSize kPicture(1920, 1080);

DrwRegion region(int point1, int point2, QRandomGenerator &random)
{
    DrwRegion r;
    r.point1 = point1;
    r.point2 = point2;
    r.epoch = 1;
    r.semiAxis1 = 0.02 * std::pow(100.0, -random.generateDouble());
    r.semiAxis2 = r.semiAxis1 * (0.2 + 0.8 * random.generateDouble());
    r.bearing = 180.0 * random.generateDouble();
    return r;
}

DrwDrawing generate()
{
    QRandomGenerator random(11);
    DrwDrawing d;
    d.epochCount = 1;
    for (int i = 0; i < kPoints; ++i) {
        DrwPoint p;
        p.name = QStringLiteral("PT%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        p.x = 600000.0 + (i % kSide) * kStep + 30.0 * random.generateDouble();
        p.y = 200000.0 + (i / kSide) * kStep + 30.0 * random.generateDouble();
        p.z = 300.0 + 50.0 * random.generateDouble();
        d.points.append(p);
        d.pointNames.append(p.name);
    }
    d.pointCount = kPoints;
    d.links = QVector<QVector<qint32>>(kPoints, QVector<qint32>(kPoints, 0));
    for (int i = 0; i < kPoints; ++i) {
        // Each point sighted its right, upper and upper-right neighbours.
        const bool lastColumn = i % kSide == kSide - 1;
        for (int j : {i + 1, i + kSide, i + kSide + 1}) {
            if (j >= kPoints || (lastColumn && j != i + kSide))
                continue;
            d.links[i][j] = 1;
            d.relativeEllipses.append(region(i + 1, j + 1, random));
        }
        if (i % kFixedEvery == 0)
            continue;
        d.absoluteEllipses.append(region(i + 1, 0, random));
        d.absoluteRectangles.append(region(i + 1, 0, random));
    }
    return d;
}

void measure(const char *what, const QString &path, const std::function<bool(QString &)> &write)
{
    QVector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QString error;
        QElapsedTimer timer;
        timer.start();
        if (!write(error)) {
            std::printf("%s: failed: %s\n", what, qPrintable(error));
            return;
        }
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-4s fastest %7.1f ms   median %7.1f ms   %6.1f MB\n", what, times.first(),
                times.at(times.size() / 2), QFileInfo(path).size() / 1e6);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const DrwDrawing drawing = generate();
    DrawingPlan plan;
    plan.setDrawing(drawing);
    std::printf("%d points, %d links, %d absolute and %d relative ellipses, %d rectangles; "
                "best and median of %d runs\n",
                drawing.points.size(), int(drawing.linkedPairs().size()),
                drawing.absoluteEllipses.size(), drawing.relativeEllipses.size(),
                drawing.absoluteRectangles.size(), kRuns);
    QTemporaryDir dir;
    const QString svg = dir.filePath(QStringLiteral("network.svg"));
    const QString dxf = dir.filePath(QStringLiteral("network.dxf"));
    measure("SVG", svg, [&](QString &error) {
        return writeDrawingSvg(plan, kPicture, QStringLiteral("bench"), svg, error);
    });
    measure("DXF", dxf,
            [&](QString &error) { return drawingexport::writeDrawingDxf(plan, dxf, error); });
    return 0;
}
