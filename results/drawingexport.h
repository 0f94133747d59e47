#ifndef DRAWINGEXPORT_H
#define DRAWINGEXPORT_H

#include <QSize>
#include <QString>

class DrawingPlan;
class QPagedPaintDevice;
struct DrwDrawing;

// The network drawing and its adjusted points written to files for other programs. Every file is
// written atomically: on failure the old file stays whole and `error` gives the reason.
namespace drawingexport {

// Layers of the exported CAD drawing, one per family of elements.
extern const char *const kFixedPointsLayer;
extern const char *const kFreePointsLayer;
extern const char *const kNamesLayer;
extern const char *const kLinksLayer;

// The adjusted points of `drawing` as a semicolon-separated table in Latin-1, one row per point:
// name, "fixe" or "libre" (blank when the drawing cannot tell), east, north, up, the standard
// deviations of east and north, and the absolute ellipse of `epoch` (half-axes and bearing of the
// first one, in degrees clockwise from north). The drawing's ellipses hold the position at the
// probability `confidence`: the deviations are worked back from them with that probability.
// Columns without a value for a point (a fixed point has no ellipse) are left blank.
bool writeCoordinatesCsv(const DrwDrawing &drawing, int epoch, double confidence,
                         const QString &path, QString &error);

// The drawing as the plan shows it, in ground coordinates: every point, the names and links when
// shown, and the regions of the families shown for the plan's epoch, magnified as the plan shows
// them, as closed polylines.
bool writeDrawingDxf(const DrawingPlan &plan, const QString &path, QString &error);

// The drawing as the plan shows it at `size`, on white.
bool writeDrawingPng(const DrawingPlan &plan, const QSize &size, const QString &path,
                     QString &error);
// The drawing as the plan shows it at `size`, on one landscape A4 page under `title`.
bool writeDrawingPdf(const DrawingPlan &plan, const QSize &size, const QString &title,
                     const QString &path, QString &error);

// Paints the drawing as the plan shows it at `size` on the current page of `device`, scaled to
// fit under `title`, for a PDF writer or a printer. Texts keep their size in points while the
// drawing is scaled: at about the screen's resolution (a printer in screen resolution) they keep
// their proportions.
void paintOnPage(const DrawingPlan &plan, const QSize &size, const QString &title,
                 QPagedPaintDevice &device);

} // namespace drawingexport

#endif // DRAWINGEXPORT_H
