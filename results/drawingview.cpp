#include "drawingview.h"

#include "drwdrawing.h"

#include <QRect>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

constexpr double kFallbackRadius = 1.0; // metres
constexpr double kDisplaySpan = 1.4;    // visible half-side in network radii, unzoomed
constexpr double kPanSpan = 1.2;        // the same for panning, so a drag moves 6/7 of the mouse
constexpr double kRegionShare = 0.25;   // largest absolute region: a quarter of the radius
constexpr double kLegendBarPixels = 50.0;
constexpr int kScreenLimit = 1 << 30;

// floor(v + 0.5): halves round up, towards the bottom right of the screen. Kept within int, and
// 0 for what is not a number, so that the conversion is always defined.
int roundHalfUp(double v)
{
    const double r = std::floor(v + 0.5);
    if (std::isnan(r))
        return 0;
    return int(std::clamp(r, -double(kScreenLimit), double(kScreenLimit)));
}

// Largest finite, positive first half-axis among `lists`, or 0 when there is none.
double largestSemiAxis(std::initializer_list<const QVector<DrwRegion> *> lists)
{
    double largest = 0.0;
    for (const QVector<DrwRegion> *list : lists) {
        for (const DrwRegion &region : *list) {
            if (std::isfinite(region.semiAxis1))
                largest = std::max(largest, region.semiAxis1);
        }
    }
    return largest;
}

// The magnification that draws the largest region, the first of the two found positive, a
// quarter of `radius` long; `fallback` when there is none or it cannot.
double baseScale(double radius, double firstLargest, double otherLargest, double fallback = 1.0)
{
    const double largest = firstLargest > 0.0 ? firstLargest : otherLargest;
    if (largest <= 0.0)
        return fallback;
    const double scale = radius * kRegionShare / largest;
    return std::isfinite(scale) && scale > 0.0 ? scale : fallback;
}

} // namespace

void DrawingView::fit(const DrwDrawing &drawing)
{
    // Running means cannot overflow where a sum of large coordinates would.
    double meanX = 0.0;
    double meanY = 0.0;
    int used = 0;
    for (const DrwPoint &point : drawing.points) {
        if (!std::isfinite(point.x) || !std::isfinite(point.y))
            continue;
        ++used;
        meanX += (point.x - meanX) / used;
        meanY += (point.y - meanY) / used;
    }
    if (!std::isfinite(meanX) || !std::isfinite(meanY))
        meanX = meanY = 0.0;

    double radius = 0.0;
    for (const DrwPoint &point : drawing.points) {
        if (std::isfinite(point.x) && std::isfinite(point.y))
            radius = std::max(radius, std::hypot(point.x - meanX, point.y - meanY));
    }
    if (!std::isfinite(radius) || radius <= 0.0)
        radius = kFallbackRadius;

    m_meanX = m_centreX = meanX;
    m_meanY = m_centreY = meanY;
    m_radius = radius;
    m_zoomLevel = 0;
    m_zoom = 1.0;
    m_ellipseScale =
        baseScale(radius, largestSemiAxis({&drawing.absoluteEllipses}),
                  largestSemiAxis({&drawing.relativeEllipses, &drawing.epochEllipses}));
    m_rectangleScale =
        baseScale(radius, largestSemiAxis({&drawing.absoluteRectangles}),
                  largestSemiAxis({&drawing.relativeRectangles, &drawing.epochRectangles}));
    m_epochEllipseScale =
        baseScale(radius, largestSemiAxis({&drawing.epochEllipses}), 0.0, m_ellipseScale);
    m_epochRectangleScale =
        baseScale(radius, largestSemiAxis({&drawing.epochRectangles}), 0.0, m_rectangleScale);
}

double DrawingView::ellipseMagnification(bool betweenEpochs) const
{
    return (betweenEpochs ? m_epochEllipseScale : m_ellipseScale) * m_ellipseFactor;
}

double DrawingView::rectangleMagnification(bool betweenEpochs) const
{
    return (betweenEpochs ? m_epochRectangleScale : m_rectangleScale) * m_rectangleFactor;
}

double DrawingView::span() const
{
    return kDisplaySpan * m_radius / m_zoom;
}

double DrawingView::pixelsPerUnit(const QSize &size) const
{
    const double s = span();
    return std::min(0.5 * size.height() / s, 0.5 * size.width() / s);
}

QPoint DrawingView::toScreen(double x, double y, const QSize &size) const
{
    const double k = pixelsPerUnit(size);
    const int w = size.width();
    const int h = size.height();
    return QPoint(roundHalfUp(w / 2 + (x - m_centreX) * k),
                  h - roundHalfUp(h / 2 + (y - m_centreY) * k));
}

bool DrawingView::isVisible(double x, double y, const QSize &size) const
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return false;
    return QRect(QPoint(0, 0), size).contains(toScreen(x, y, size));
}

QPointF DrawingView::toGround(const QPointF &position, const QSize &size) const
{
    const double k = pixelsPerUnit(size);
    const int w = size.width();
    const int h = size.height();
    return QPointF(m_centreX + (position.x() - w / 2) / k,
                   m_centreY + (h - position.y() - h / 2) / k);
}

void DrawingView::zoomBy(int steps)
{
    const qint64 level = qint64(m_zoomLevel) + steps;
    m_zoomLevel = int(std::clamp<qint64>(level, kMinZoomLevel, kMaxZoomLevel));
    m_zoom = zoomForLevel(m_zoomLevel);
}

void DrawingView::zoomAbout(int steps, const QPointF &position, const QSize &size)
{
    const QPointF before = toGround(position, size);
    zoomBy(steps);
    const QPointF after = toGround(position, size);
    if (!std::isfinite(before.x()) || !std::isfinite(before.y()) || !std::isfinite(after.x()) ||
        !std::isfinite(after.y()))
        return;
    m_centreX =
        std::clamp(m_centreX + before.x() - after.x(), m_meanX - m_radius, m_meanX + m_radius);
    m_centreY =
        std::clamp(m_centreY + before.y() - after.y(), m_meanY - m_radius, m_meanY + m_radius);
}

void DrawingView::showWhole()
{
    m_centreX = m_meanX;
    m_centreY = m_meanY;
    m_zoomLevel = 0;
    m_zoom = 1.0;
}

void DrawingView::pan(const QPoint &from, const QPoint &to, const QSize &size)
{
    const double t = kPanSpan * m_radius / m_zoom;
    const double u = std::min(0.5 * size.height() / t, 0.5 * size.width() / t);
    if (!(u > 0.0))
        return;
    m_centreX =
        std::clamp(m_centreX + (from.x() - to.x()) / u, m_meanX - m_radius, m_meanX + m_radius);
    m_centreY =
        std::clamp(m_centreY + (to.y() - from.y()) / u, m_meanY - m_radius, m_meanY + m_radius);
}

double DrawingView::networkBarLength(const QSize &size) const
{
    return kLegendBarPixels / pixelsPerUnit(size);
}

double DrawingView::ellipseBarLength(const QSize &size) const
{
    return kLegendBarPixels / (pixelsPerUnit(size) * ellipseMagnification(false));
}

double DrawingView::rectangleBarLength(const QSize &size) const
{
    return kLegendBarPixels / (pixelsPerUnit(size) * rectangleMagnification(false));
}

double DrawingView::epochEllipseBarLength(const QSize &size) const
{
    return kLegendBarPixels / (pixelsPerUnit(size) * ellipseMagnification(true));
}

double DrawingView::epochRectangleBarLength(const QSize &size) const
{
    return kLegendBarPixels / (pixelsPerUnit(size) * rectangleMagnification(true));
}

double sliderFactor(int position)
{
    return position > 5 ? double(position - 5) : 1.0 / (6 - std::max(position, 1));
}

double zoomForLevel(int level)
{
    return level >= 0 ? double(level) + 1.0 : 1.0 / (1.0 - level);
}

QString barLengthText(double metres)
{
    if (!std::isfinite(metres))
        return QString();
    if (metres > 1000.0)
        return QString::number(metres / 1000.0, 'f', 1) + QLatin1String(" km");
    if (metres < 0.001)
        return QString::number(metres * 1000.0, 'f', 1) + QLatin1String(" mm");
    if (metres < 1.0)
        return QString::number(metres * 100.0, 'f', 1) + QLatin1String(" cm");
    return QString::number(metres, 'f', 1) + QLatin1String(" m");
}

int legendRow(int height, int offset)
{
    return std::max(height - 1 - offset, 50);
}
