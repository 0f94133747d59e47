// Reads arbitrary bytes as a drawing file, checks that the model holds together, and paints it
// zoomed and magnified as the bytes say. Run it with -detect_leaks=0: the font caches that painting
// fills live until the process ends and would read as leaks at exit.
#include "drawingplan.h"
#include "drwreader.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_drw";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    static QTemporaryDir dir;
    Q_UNUSED(app);

    const QString path = dir.filePath(QStringLiteral("f.drw"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    const DrwDrawing drawing = readDrw(path);
    if (drawing.pointCount != drawing.points.size() ||
        drawing.pointNames.size() != drawing.points.size() ||
        drawing.links.size() > drawing.points.size())
        std::abort();
    for (const QVector<qint32> &row : drawing.links) {
        if (row.size() != drawing.points.size())
            std::abort();
    }

    DrawingPlan plan;
    plan.setDrawing(drawing);
    plan.setCurrentEpoch(size > 0 ? data[0] % 3 : 1);
    plan.zoomBy(size > 1 ? int(data[1] % 23) - 11 : 0);
    plan.setEllipseFactor(size > 2 ? sliderFactor(data[2] % 12) : 1.0);
    QImage image(QSize(160, 120), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    plan.draw(painter, image.size());
    return 0;
}
