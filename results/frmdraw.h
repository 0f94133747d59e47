#ifndef FRMDRAW_H
#define FRMDRAW_H

#include "drawingplan.h"

#include <QPoint>
#include <QWidget>

// The canvas of the network drawing window: paints a drawing in plan on a white background, pans
// with a left-button drag, zooms with the wheel about the point under the mouse, and tells where
// the mouse is on the ground.
class frmDraw : public QWidget
{
    Q_OBJECT

public:
    explicit frmDraw(QWidget *parent = nullptr);

    // Shows `drawing` (every element switched on, epoch 1) and fits the view to it.
    void setDrawing(const DrwDrawing &drawing) { m_plan.setDrawing(drawing); }
    const DrwDrawing &drawing() const { return m_plan.drawing(); }
    const DrawingView &view() const { return m_plan.view(); }

    void setShown(DrawElement element, bool shown) { m_plan.setShown(element, shown); }
    bool isShown(DrawElement element) const { return m_plan.isShown(element); }
    // The epoch, from 1, whose regions are drawn.
    void setCurrentEpoch(int epoch) { m_plan.setCurrentEpoch(epoch); }
    int currentEpoch() const { return m_plan.currentEpoch(); }
    // User magnification of the ellipses or the rectangles on top of their base magnification.
    void setEllipseFactor(double factor) { m_plan.setEllipseFactor(factor); }
    void setRectangleFactor(double factor) { m_plan.setRectangleFactor(factor); }
    void zoomBy(int steps) { m_plan.zoomBy(steps); }
    // Back to the whole network, unzoomed.
    void showWhole() { m_plan.showWhole(); }
    const DrawingPlan &plan() const { return m_plan; }

    // Paints the drawing as the canvas shows it at `size`, background excepted.
    void draw(QPainter &painter, const QSize &size) const { m_plan.draw(painter, size); }
    // Whether regions are being worked out in the background for a view the canvas has shown;
    // once they are, the next paint shows them.
    bool regionsPending() const { return m_plan.regionsPending(); }
    // Whether the last paint showed the regions as worked out for what it showed, rather than
    // those of an earlier view, moved along, or of earlier settings.
    bool regionsUpToDate() const { return m_plan.regionsUpToDate(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The mouse is over the ground point `ground` (metres), on the point of index `point` (from
    // 0), or on none when it is -1.
    void cursorMoved(const QPointF &ground, int point);
    void cursorLeft();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    DrawingPlan m_plan;
    bool m_dragging = false;
    QPoint m_last;
    int m_wheelDelta = 0; // wheel motion short of a whole step, kept for the next event
};

#endif // FRMDRAW_H
