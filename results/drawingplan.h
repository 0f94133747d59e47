#ifndef DRAWINGPLAN_H
#define DRAWINGPLAN_H

#include "drawingview.h"
#include "drwdrawing.h"
#include "regionraster.h"

#include <QImage>
#include <QObject>
#include <QPair>
#include <QPoint>
#include <QStaticText>
#include <QVector>

#include <future>
#include <optional>

class QPainter;
class QTimer;

// Elements of the network drawing that the user switches on and off. The points are always drawn.
enum class DrawElement {
    Names,
    Links,
    AbsoluteEllipses,
    RelativeEllipses,
    EpochEllipses,
    AbsoluteRectangles,
    RelativeRectangles,
    EpochRectangles,
};

// A drawing in plan as the network drawing window shows it, on any paint device: its view, the
// elements shown, the epoch whose regions are drawn, and those regions, worked out in the
// background. The window's canvas adds the mouse and the wheel.
class DrawingPlan : public QObject
{
    Q_OBJECT

public:
    explicit DrawingPlan(QObject *parent = nullptr);

    // Shows `drawing` (every element switched on, epoch 1) and fits the view to it.
    void setDrawing(const DrwDrawing &drawing);
    const DrwDrawing &drawing() const { return m_drawing; }
    const DrawingView &view() const { return m_view; }

    void setShown(DrawElement element, bool shown);
    bool isShown(DrawElement element) const;
    // The magnification the regions of `element` are drawn with (1 for the other elements).
    double regionMagnification(DrawElement element) const;
    // The epoch, from 1, whose regions are drawn.
    void setCurrentEpoch(int epoch);
    int currentEpoch() const { return m_currentEpoch; }
    // User magnification of the ellipses or the rectangles on top of their base magnification.
    void setEllipseFactor(double factor);
    void setRectangleFactor(double factor);
    void zoomBy(int steps);
    // Zooms by `steps` keeping the ground under `position` in place on a plan painted at `size`.
    void zoomAbout(int steps, const QPointF &position, const QSize &size);
    // Back to the whole network, unzoomed.
    void showWhole();
    // Moves the view with the mouse from `from` to `to` on a plan painted at `size`.
    void pan(const QPoint &from, const QPoint &to, const QSize &size);

    // Every linked pair (i, j) with i < j, indices from 0.
    const QVector<QPair<int, int>> &linkedPairs() const { return m_linkedPairs; }
    // Which points are fixed, by index from 0; empty when the drawing cannot tell.
    const QVector<bool> &fixedPoints() const { return m_fixed; }
    // Index from 0 of the point drawn under `position` on a plan painted at `size`, the nearest
    // when several are; -1 for none.
    int pointAt(const QPoint &position, const QSize &size) const;

    // Paints the drawing as the plan shows it at `size`, background excepted.
    void draw(QPainter &painter, const QSize &size) const;
    // Paints the same as draw(), every element as a shape or a text of its own rather than
    // pictures, for files and printers; the regions are worked out at once.
    void drawShapes(QPainter &painter, const QSize &size) const;
    // Whether regions are being worked out in the background for a view the plan has painted;
    // once they are, the next paint shows them.
    bool regionsPending() const;
    // Whether the last paint showed the regions as worked out for what it showed, rather than
    // those of an earlier view, moved along, or of earlier settings.
    bool regionsUpToDate() const { return m_regionsUpToDate; }

signals:
    // What a paint shows has changed: a setting, or regions worked out in the background.
    void changed();

private:
    struct ScreenPoints;
    enum class Rendering { Screen, Shapes };

    void drawPlan(QPainter &painter, const QSize &size, Rendering rendering) const;
    ScreenPoints screenPoints(const QSize &size) const;
    // The regions as outlined shapes, one by one.
    void drawRegionShapes(QPainter &painter, const QSize &size, const ScreenPoints &screen) const;
    void drawPoints(QPainter &painter, const ScreenPoints &screen, qreal ratio,
                    Rendering rendering) const;
    void drawLegend(QPainter &painter, const QSize &size) const;
    // Whether the between-epochs family `element` is shown and has regions of the current epoch.
    bool showsEpochRegions(DrawElement element) const;
    // Regions worked out for a view: which regions, how large and where.
    struct RegionLayer
    {
        QImage image;
        int drawing = 0; // which drawing: its load number
        QSize size;
        qreal ratio = 0.0;
        double centreX = 0.0;
        double centreY = 0.0;
        double pixelsPerUnit = 0.0;
        double ellipseMagnification = 0.0;
        double rectangleMagnification = 0.0;
        double epochEllipseMagnification = 0.0;
        double epochRectangleMagnification = 0.0;
        int epoch = 0;
        QVector<bool> shown;
        bool valid = false;

        // Whether `other` shows the same regions, but for the view's centre and zoom.
        bool sameButView(const RegionLayer &other) const;
        bool sameAs(const RegionLayer &other) const;
    };

    // Paints the region families shown, for the current epoch, at the visible points. Regions
    // are worked out in the background: until they are, the last ones worked out are shown,
    // moved and magnified along with the drawing when only the view has changed.
    void drawRegions(QPainter &painter, const QSize &size, qreal ratio,
                     const ScreenPoints &screen) const;
    // Gathers the regions to paint for `layer`.
    RegionRaster gatherRegions(const RegionLayer &layer, const ScreenPoints &screen) const;
    // Starts working out in the background the regions a paint asked for.
    void startWorkingOut() const;
    // Takes the regions worked out in the background, if they are ready.
    void collectRegions() const;
    // Tells that the plan has changed once the regions being worked out are ready.
    void checkRegions();

    DrwDrawing m_drawing;
    QVector<QPair<int, int>> m_linkedPairs; // indices from 0, worked out once at load
    QVector<bool> m_fixed;
    // Per zoom level, the points' names laid out in its font, as they are first drawn.
    mutable QVector<QVector<QStaticText>> m_names;
    DrawingView m_view;
    QVector<bool> m_shown;
    int m_currentEpoch = 1;
    int m_drawingNumber = 0;
    mutable RegionLayer m_regionLayer;  // the regions last worked out
    mutable RegionLayer m_pendingLayer; // the regions being worked out, without their image
    mutable std::future<QImage> m_pending;
    mutable std::optional<RegionRaster> m_toWorkOut; // gathered by a paint, to work out after it
    QTimer *m_pendingCheck; // looks for the regions being worked out, while they are
    mutable bool m_regionsUpToDate = true;
};

#endif // DRAWINGPLAN_H
