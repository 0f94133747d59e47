#ifndef DRAWINGVIEW_H
#define DRAWINGVIEW_H

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>

struct DrwDrawing;

// The view of the network drawing: where the ground is on screen, how far it is zoomed and panned,
// and how much the regions are magnified. Plain arithmetic, used by the canvas to paint.
//
// Ground units are metres; screen positions are pixels from the top left corner of the canvas.
class DrawingView
{
public:
    static constexpr int kMinZoomLevel = -10;
    static constexpr int kMaxZoomLevel = 10;

    // Centres the view on the mean of the points, unzoomed, and sets each region family's base
    // magnification so that its largest absolute first half-axis is drawn a quarter of the network
    // radius long. Points with a coordinate that is not finite take no part.
    //
    // Fallbacks, so that nothing divides by zero: with no usable point the mean is (0, 0); with no
    // points, one point or coincident points the radius is 1 metre. A family without a positive
    // absolute first half-axis takes its base magnification from the largest first half-axis of
    // its relative and between-epochs regions, and from nothing of these keeps a magnification of
    // 1 (regions and their legend at true size).
    //
    // The between-epochs regions of each family get a base magnification of their own, found the
    // same way from their largest first half-axis: a displacement's region is often many times
    // the regions of one epoch, and would cover the plan at theirs. Without such regions it is
    // the family's.
    void fit(const DrwDrawing &drawing);

    double meanX() const { return m_meanX; }
    double meanY() const { return m_meanY; }
    double radius() const { return m_radius; }
    double centreX() const { return m_centreX; }
    double centreY() const { return m_centreY; }
    int zoomLevel() const { return m_zoomLevel; }
    double zoom() const { return m_zoom; }
    double ellipseScale() const { return m_ellipseScale; }
    double rectangleScale() const { return m_rectangleScale; }
    double epochEllipseScale() const { return m_epochEllipseScale; }
    double epochRectangleScale() const { return m_epochRectangleScale; }
    // A family's magnification as drawn: its base magnification times its slider factor.
    double ellipseMagnification(bool betweenEpochs) const;
    double rectangleMagnification(bool betweenEpochs) const;
    double ellipseFactor() const { return m_ellipseFactor; }
    double rectangleFactor() const { return m_rectangleFactor; }
    void setEllipseFactor(double factor) { m_ellipseFactor = factor; }
    void setRectangleFactor(double factor) { m_rectangleFactor = factor; }

    // Half the ground shown across the smaller side of the canvas, in metres: 1.4 radius / zoom.
    double span() const;
    // Pixels per metre on a canvas of `size`.
    double pixelsPerUnit(const QSize &size) const;
    // Screen position of the ground point (x, y) on a canvas of `size`; the vertical coordinate
    // grows upwards. Positions far outside the canvas are clamped to stay within int.
    QPoint toScreen(double x, double y, const QSize &size) const;
    // Whether the ground point (x, y) falls on a pixel of a canvas of `size` (false for
    // coordinates not finite).
    bool isVisible(double x, double y, const QSize &size) const;
    // Ground point under the screen position `position` on a canvas of `size`: the inverse of
    // toScreen, before its rounding.
    QPointF toGround(const QPointF &position, const QSize &size) const;

    // Adds `steps` to the zoom level, within kMinZoomLevel..kMaxZoomLevel; the centre stays.
    void zoomBy(int steps);
    // Zooms by `steps` so that the ground point under `position` stays under it, as far as the
    // centre may go: within one radius of the mean on each axis, as for a drag.
    void zoomAbout(int steps, const QPointF &position, const QSize &size);
    // The whole network again: the centre on the mean of the points, unzoomed. The regions keep
    // their magnification.
    void showWhole();
    // Moves the centre opposite to a mouse drag from `from` to `to` on a canvas of `size`, at 6/7
    // of the mouse's motion, keeping the centre within one radius of the mean on each axis.
    void pan(const QPoint &from, const QPoint &to, const QSize &size);

    // Ground lengths of the 50-pixel legend bars on a canvas of `size`, in metres.
    double networkBarLength(const QSize &size) const;
    double ellipseBarLength(const QSize &size) const;
    double rectangleBarLength(const QSize &size) const;
    double epochEllipseBarLength(const QSize &size) const;
    double epochRectangleBarLength(const QSize &size) const;

private:
    double m_meanX = 0.0;
    double m_meanY = 0.0;
    double m_radius = 1.0;
    double m_centreX = 0.0;
    double m_centreY = 0.0;
    int m_zoomLevel = 0;
    double m_zoom = 1.0;
    double m_ellipseScale = 1.0;
    double m_rectangleScale = 1.0;
    double m_epochEllipseScale = 1.0;
    double m_epochRectangleScale = 1.0;
    double m_ellipseFactor = 1.0;
    double m_rectangleFactor = 1.0;
};

// Magnification of a region family for the "Echelle :" slider position (1 to 11): 1/5, 1/4, 1/3,
// 1/2, 1, 1, 2, 3, 4, 5, 6.
double sliderFactor(int position);

// Zoom factor of a zoom level: level + 1 from 0 up, 1 / (1 - level) below, 1/11 to 11 over the
// levels -10 to 10.
double zoomForLevel(int level);

// A legend bar length in metres with one decimal and its unit: "1.3 km" above 1000 m, "0.4 mm"
// below 1 mm, "25.0 cm" from 1 mm up to 1 m, else "12.3 m". Empty for a length not finite.
QString barLengthText(double metres);

// Screen row of a legend line `offset` pixels above the bottom row of a canvas `height` pixels
// high, never above row 50.
int legendRow(int height, int offset);

#endif // DRAWINGVIEW_H
