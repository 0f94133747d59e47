#include "svgexport.h"

#include "drawingplan.h"

#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace {

// The plan's sizes are screen pixels and its fonts points: at the screen's resolution they keep
// the proportions they have on screen.
constexpr int kScreenDpi = 96;

} // namespace

bool writeDrawingSvg(const DrawingPlan &plan, const QSize &size, const QString &title,
                     const QString &path, QString &error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setResolution(kScreenDpi);
        generator.setTitle(title);
        QPainter painter(&generator);
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        plan.drawShapes(painter, size);
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
