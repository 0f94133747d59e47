// Reads arbitrary bytes as a drawing file, checks that the model holds together, and paints it
// zoomed and magnified as the bytes say. Run it with -detect_leaks=0: the font caches that painting
// fills live until the process ends and would read as leaks at exit.
#include "drwreader.h"
#include "frmdraw.h"

#include <QApplication>
#include <QFile>
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
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
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

    frmDraw canvas;
    canvas.resize(160, 120);
    canvas.setDrawing(drawing);
    canvas.setCurrentEpoch(size > 0 ? data[0] % 3 : 1);
    canvas.zoomBy(size > 1 ? int(data[1] % 23) - 11 : 0);
    canvas.setEllipseFactor(size > 2 ? sliderFactor(data[2] % 12) : 1.0);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    canvas.draw(painter, image.size());
    return 0;
}
