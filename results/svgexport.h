#ifndef SVGEXPORT_H
#define SVGEXPORT_H

#include <QSize>
#include <QString>

class DrawingPlan;

// Writes the drawing as the plan shows it at `size` as a scalable vector picture, atomically: on
// failure the old file stays whole and `error` gives the reason. Every point, name, link and
// region is an element of its own.
bool writeDrawingSvg(const DrawingPlan &plan, const QSize &size, const QString &title,
                     const QString &path, QString &error);

#endif // SVGEXPORT_H
