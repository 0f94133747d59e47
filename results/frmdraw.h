#ifndef FRMDRAW_H
#define FRMDRAW_H

#include "drawingview.h"
#include "drwdrawing.h"

#include <QImage>
#include <QPair>
#include <QPoint>
#include <QStaticText>
#include <QVector>
#include <QWidget>

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

// The canvas of the network drawing window: paints a drawing in plan on a white background, pans
// with a left-button drag and zooms with the wheel.
class frmDraw : public QWidget
{
    Q_OBJECT

public:
    explicit frmDraw(QWidget *parent = nullptr);

    // Shows `drawing` (every element switched on, epoch 1) and fits the view to it.
    void setDrawing(const DrwDrawing &drawing);
    const DrwDrawing &drawing() const { return m_drawing; }
    const DrawingView &view() const { return m_view; }

    void setShown(DrawElement element, bool shown);
    bool isShown(DrawElement element) const;
    // The epoch, from 1, whose regions are drawn.
    void setCurrentEpoch(int epoch);
    int currentEpoch() const { return m_currentEpoch; }
    // User magnification of the ellipses or the rectangles on top of their base magnification.
    void setEllipseFactor(double factor);
    void setRectangleFactor(double factor);
    void zoomBy(int steps);

    // Paints the drawing as the canvas shows it at `size`, background excepted.
    void draw(QPainter &painter, const QSize &size) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct ScreenPoints;
    // The regions as last worked out, and the view they were worked out for: a repaint of the
    // same view shows them again, and a step of a drag or of the wheel shows them moved and
    // magnified along with the drawing until the button is released or the wheel rests.
    struct RegionLayer
    {
        QImage image;
        QSize size;
        qreal ratio = 0.0;
        double centreX = 0.0;
        double centreY = 0.0;
        double pixelsPerUnit = 0.0;
        double ellipseMagnification = 0.0;
        double rectangleMagnification = 0.0;
        int epoch = 0;
        QVector<bool> shown;
        bool valid = false;

        // Whether `other` shows the same regions, but for the view's centre and zoom.
        bool sameButView(const RegionLayer &other) const;
    };

    // Paints the region families shown, for the current epoch, at the visible points.
    void drawRegions(QPainter &painter, const QSize &size, const ScreenPoints &screen) const;
    QImage paintRegions(const QSize &size, qreal ratio, const ScreenPoints &screen) const;

    DrwDrawing m_drawing;
    QVector<QPair<int, int>> m_linkedPairs; // indices from 0, worked out once at load
    QVector<QStaticText> m_names;           // the points' names, laid out once
    DrawingView m_view;
    QVector<bool> m_shown;
    int m_currentEpoch = 1;
    bool m_dragging = false;
    QPoint m_last;
    int m_wheelDelta = 0; // wheel motion short of a whole step, kept for the next event
    mutable RegionLayer m_regionLayer;
    QTimer *m_wheelRest; // runs from a wheel step until the wheel has rested a moment
};

#endif // FRMDRAW_H
