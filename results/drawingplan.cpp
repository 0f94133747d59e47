#include "drawingplan.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QThread>
#include <QTimer>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

namespace {

constexpr int kElementCount = int(DrawElement::EpochRectangles) + 1;
constexpr int kRegionFillAlpha = 150;
constexpr double kRegionPenWidth = 2.0;
constexpr int kPendingCheckMs = 10; // how often to look for regions worked out

enum class Pairing { OnePoint, TwoPoints };

struct RegionFamily
{
    DrawElement element;
    const QVector<DrwRegion> DrwDrawing::*regions;
    RegionRaster::Shape shape;
    Pairing pairing;
    QColor outline;
    QColor fill;
    Qt::PenStyle outlineStyle;
};

// In painting order: the relative and between-epochs regions come over the absolute ones.
const RegionFamily kFamilies[] = {
    {DrawElement::AbsoluteEllipses, &DrwDrawing::absoluteEllipses, RegionRaster::Shape::Ellipse,
     Pairing::OnePoint, QColor(255, 0, 50), QColor(255, 0, 0), Qt::SolidLine},
    {DrawElement::AbsoluteRectangles, &DrwDrawing::absoluteRectangles,
     RegionRaster::Shape::Rectangle, Pairing::OnePoint, QColor(0, 255, 50), QColor(0, 255, 0),
     Qt::SolidLine},
    {DrawElement::RelativeEllipses, &DrwDrawing::relativeEllipses, RegionRaster::Shape::Ellipse,
     Pairing::TwoPoints, QColor(50, 0, 200), QColor(0, 0, 200), Qt::SolidLine},
    {DrawElement::RelativeRectangles, &DrwDrawing::relativeRectangles,
     RegionRaster::Shape::Rectangle, Pairing::TwoPoints, QColor(100, 255, 200),
     QColor(100, 255, 200), Qt::SolidLine},
    {DrawElement::EpochEllipses, &DrwDrawing::epochEllipses, RegionRaster::Shape::Ellipse,
     Pairing::OnePoint, QColor(255, 100, 50), QColor(255, 100, 0), Qt::DashLine},
    {DrawElement::EpochRectangles, &DrwDrawing::epochRectangles, RegionRaster::Shape::Rectangle,
     Pairing::OnePoint, QColor(100, 255, 50), QColor(100, 255, 0), Qt::DashLine},
};

// The legend's captions keep the translations of the window's canvas.
QString legendText(const char *text)
{
    return QCoreApplication::translate("frmDraw", text);
}

const QColor kPointColour(Qt::blue);

// The mark of a fixed point: a triangle standing on its base, about as large as a free point's
// dot of `width` pixels, centred on `centre`.
QPolygonF fixedMark(const QPointF &centre, int width)
{
    const double half = 0.6 * (width + 2);
    return QPolygonF({centre + QPointF(0.0, -half), centre + QPointF(-half, 0.8 * half),
                      centre + QPointF(half, 0.8 * half)});
}

void drawFixedMark(QPainter &painter, const QPointF &centre, int width)
{
    painter.setPen(QPen(kPointColour.darker(), 1));
    painter.setBrush(kPointColour);
    painter.drawPolygon(fixedMark(centre, width));
}

void drawFreeMark(QPainter &painter, const QPointF &centre, int width)
{
    painter.setPen(QPen(kPointColour, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawPoint(centre);
}

} // namespace

// Where each point is on screen, worked out once per paint.
struct DrawingPlan::ScreenPoints
{
    QVector<QPoint> positions;
    QVector<bool> visible;

    // Index from 0 of a visible point numbered from 1, or -1 for a number outside the list or
    // a point out of view.
    int visibleIndex(int number) const
    {
        if (number < 1 || number > visible.size())
            return -1;
        return visible.at(number - 1) ? number - 1 : -1;
    }

    // Where a region is drawn: at its point, or halfway between its two points; nothing when a
    // point it needs is out of view.
    std::optional<QPoint> regionCentre(const DrwRegion &region, Pairing pairing,
                                       const QVector<DrwPoint> &points, const DrawingView &view,
                                       const QSize &size) const
    {
        const int first = visibleIndex(region.point1);
        if (first < 0)
            return std::nullopt;
        if (pairing == Pairing::OnePoint)
            return positions.at(first);
        const int second = visibleIndex(region.point2);
        if (second < 0)
            return std::nullopt;
        const DrwPoint &p = points.at(first);
        const DrwPoint &q = points.at(second);
        return view.toScreen(0.5 * p.x + 0.5 * q.x, 0.5 * p.y + 0.5 * q.y, size);
    }
};

namespace {

// The angle of a region's first axis from the screen's x axis, counterclockwise in degrees, from
// its bearing.
double regionAngle(double bearing)
{
    const double theta = 90.0 - bearing;
    return theta < 0.0 ? theta + 180.0 : theta;
}

} // namespace

DrawingPlan::DrawingPlan(QObject *parent)
    : QObject(parent)
    , m_shown(kElementCount, true)
    , m_pendingCheck(new QTimer(this))
{
    m_pendingCheck->setInterval(kPendingCheckMs);
    connect(m_pendingCheck, &QTimer::timeout, this, &DrawingPlan::checkRegions);
}

void DrawingPlan::setDrawing(const DrwDrawing &drawing)
{
    m_drawing = drawing;
    m_linkedPairs = m_drawing.linkedPairs();
    m_fixed = m_drawing.fixedPoints();
    m_names =
        QVector<QVector<QStaticText>>(DrawingView::kMaxZoomLevel - DrawingView::kMinZoomLevel + 1);
    m_view = DrawingView();
    m_view.fit(m_drawing);
    ++m_drawingNumber;
    m_regionLayer = RegionLayer();
    m_shown.fill(true);
    m_currentEpoch = 1;
    emit changed();
}

void DrawingPlan::setShown(DrawElement element, bool shown)
{
    m_shown[int(element)] = shown;
    emit changed();
}

bool DrawingPlan::isShown(DrawElement element) const
{
    return m_shown.at(int(element));
}

void DrawingPlan::setCurrentEpoch(int epoch)
{
    m_currentEpoch = epoch;
    emit changed();
}

void DrawingPlan::setEllipseFactor(double factor)
{
    m_view.setEllipseFactor(factor);
    emit changed();
}

void DrawingPlan::setRectangleFactor(double factor)
{
    m_view.setRectangleFactor(factor);
    emit changed();
}

void DrawingPlan::zoomBy(int steps)
{
    m_view.zoomBy(steps);
    emit changed();
}

void DrawingPlan::zoomAbout(int steps, const QPointF &position, const QSize &size)
{
    m_view.zoomAbout(steps, position, size);
    emit changed();
}

void DrawingPlan::showWhole()
{
    m_view.showWhole();
    emit changed();
}

int DrawingPlan::pointAt(const QPoint &position, const QSize &size) const
{
    const int reach = (10 + m_view.zoomLevel()) / 2 + 2;
    int nearest = -1;
    qint64 nearestDistance = qint64(reach) * reach + 1;
    for (int i = 0; i < m_drawing.points.size(); ++i) {
        const DrwPoint &point = m_drawing.points.at(i);
        if (!m_view.isVisible(point.x, point.y, size))
            continue;
        const QPoint d = m_view.toScreen(point.x, point.y, size) - position;
        const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
        if (distance < nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

void DrawingPlan::pan(const QPoint &from, const QPoint &to, const QSize &size)
{
    m_view.pan(from, to, size);
    emit changed();
}

bool DrawingPlan::RegionLayer::sameButView(const RegionLayer &other) const
{
    return valid && other.valid && drawing == other.drawing && size == other.size &&
           ratio == other.ratio && ellipseMagnification == other.ellipseMagnification &&
           rectangleMagnification == other.rectangleMagnification &&
           epochEllipseMagnification == other.epochEllipseMagnification &&
           epochRectangleMagnification == other.epochRectangleMagnification &&
           epoch == other.epoch && shown == other.shown;
}

bool DrawingPlan::RegionLayer::sameAs(const RegionLayer &other) const
{
    return sameButView(other) && centreX == other.centreX && centreY == other.centreY &&
           pixelsPerUnit == other.pixelsPerUnit;
}

bool DrawingPlan::regionsPending() const
{
    return m_pending.valid() &&
           m_pending.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void DrawingPlan::collectRegions() const
{
    if (!m_pending.valid() || regionsPending())
        return;
    RegionLayer layer = m_pendingLayer;
    layer.image = m_pending.get();
    if (layer.drawing == m_drawingNumber)
        m_regionLayer = layer;
}

double DrawingPlan::regionMagnification(DrawElement element) const
{
    switch (element) {
    case DrawElement::AbsoluteEllipses:
    case DrawElement::RelativeEllipses:
        return m_view.ellipseMagnification(false);
    case DrawElement::EpochEllipses:
        return m_view.ellipseMagnification(true);
    case DrawElement::AbsoluteRectangles:
    case DrawElement::RelativeRectangles:
        return m_view.rectangleMagnification(false);
    case DrawElement::EpochRectangles:
        return m_view.rectangleMagnification(true);
    case DrawElement::Names:
    case DrawElement::Links:
        break;
    }
    return 1.0;
}

void DrawingPlan::checkRegions()
{
    if (regionsPending())
        return;
    m_pendingCheck->stop();
    emit changed();
}

void DrawingPlan::drawRegions(QPainter &painter, const QSize &size, qreal ratio,
                              const ScreenPoints &screen) const
{
    RegionLayer wanted;
    wanted.drawing = m_drawingNumber;
    wanted.size = size;
    wanted.ratio = ratio;
    wanted.centreX = m_view.centreX();
    wanted.centreY = m_view.centreY();
    wanted.pixelsPerUnit = m_view.pixelsPerUnit(size);
    wanted.ellipseMagnification = regionMagnification(DrawElement::AbsoluteEllipses);
    wanted.rectangleMagnification = regionMagnification(DrawElement::AbsoluteRectangles);
    wanted.epochEllipseMagnification = regionMagnification(DrawElement::EpochEllipses);
    wanted.epochRectangleMagnification = regionMagnification(DrawElement::EpochRectangles);
    wanted.epoch = m_currentEpoch;
    for (const RegionFamily &family : kFamilies)
        wanted.shown.append(isShown(family.element));
    wanted.valid = true;

    collectRegions();
    if (!m_regionLayer.valid) {
        // Nothing worked out yet to show meanwhile: the regions are worked out at once.
        wanted.image = gatherRegions(wanted, screen).paint(QThread::idealThreadCount());
        wanted.image.setDevicePixelRatio(wanted.ratio);
        m_regionLayer = wanted;
    } else if (!wanted.sameAs(m_regionLayer) && !m_pending.valid()) {
        // One piece of work at a time: regions asked for meanwhile are worked out after it. It
        // starts once this paint is done, so as not to slow it down.
        m_pendingLayer = wanted;
        m_toWorkOut = gatherRegions(wanted, screen);
    }

    m_regionsUpToDate = wanted.sameAs(m_regionLayer);
    if (m_regionsUpToDate) {
        painter.drawImage(QPointF(0, 0), m_regionLayer.image);
    } else if (wanted.sameButView(m_regionLayer)) {
        // Only the view has moved: the regions move and are magnified as the ground under them,
        // about the canvas's middle, which shows the view's centre.
        const double k = wanted.pixelsPerUnit;
        const double magnification = k / m_regionLayer.pixelsPerUnit;
        const QPointF middle(size.width() / 2, size.height() - size.height() / 2);
        const QPointF shift((m_regionLayer.centreX - wanted.centreX) * k,
                            (wanted.centreY - m_regionLayer.centreY) * k);
        painter.save();
        painter.translate(middle + shift);
        painter.scale(magnification, magnification);
        painter.translate(-middle);
        painter.drawImage(QPointF(0, 0), m_regionLayer.image);
        painter.restore();
    } else {
        painter.drawImage(QPointF(0, 0), m_regionLayer.image);
    }
}

void DrawingPlan::startWorkingOut() const
{
    if (!m_toWorkOut)
        return;
    const int threads = QThread::idealThreadCount();
    m_pending = std::async(std::launch::async, [raster = std::move(*m_toWorkOut),
                                                ratio = m_pendingLayer.ratio, threads]() mutable {
        QImage image;
        try {
            image = raster.paint(threads);
        } catch (const std::bad_alloc &) {
            // Without memory for them, the regions are left out rather than the window.
        }
        image.setDevicePixelRatio(ratio);
        return image;
    });
    m_toWorkOut.reset();
    m_pendingCheck->start();
}

RegionRaster DrawingPlan::gatherRegions(const RegionLayer &layer, const ScreenPoints &screen) const
{
    const QSize &size = layer.size;
    const qreal ratio = layer.ratio;
    RegionRaster raster(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)));
    const double k = layer.pixelsPerUnit;
    for (const RegionFamily &family : kFamilies) {
        if (!isShown(family.element) || (m_drawing.*family.regions).isEmpty())
            continue;
        const double scale =
            family.element == DrawElement::EpochEllipses     ? layer.epochEllipseMagnification
            : family.element == DrawElement::EpochRectangles ? layer.epochRectangleMagnification
            : family.shape == RegionRaster::Shape::Ellipse   ? layer.ellipseMagnification
                                                             : layer.rectangleMagnification;
        QColor fill = family.fill;
        fill.setAlpha(kRegionFillAlpha);
        raster.beginFamily(family.shape, kRegionPenWidth * ratio,
                           family.outlineStyle == Qt::DashLine, fill, family.outline);
        for (const DrwRegion &region : m_drawing.*family.regions) {
            if (region.epoch != layer.epoch)
                continue;
            const std::optional<QPoint> centre =
                screen.regionCentre(region, family.pairing, m_drawing.points, m_view, size);
            if (!centre)
                continue;
            const double a = region.semiAxis1 * scale * k;
            const double b = region.semiAxis2 * scale * k;
            raster.add(QPointF(*centre) * ratio, a * ratio, b * ratio, regionAngle(region.bearing));
        }
    }
    return raster;
}

DrawingPlan::ScreenPoints DrawingPlan::screenPoints(const QSize &size) const
{
    ScreenPoints screen;
    const int n = m_drawing.points.size();
    screen.positions.resize(n);
    screen.visible.resize(n);
    for (int i = 0; i < n; ++i) {
        const DrwPoint &point = m_drawing.points.at(i);
        screen.visible[i] = m_view.isVisible(point.x, point.y, size);
        if (screen.visible[i])
            screen.positions[i] = m_view.toScreen(point.x, point.y, size);
    }
    return screen;
}

void DrawingPlan::draw(QPainter &painter, const QSize &size) const
{
    drawPlan(painter, size, Rendering::Screen);
    startWorkingOut();
}

void DrawingPlan::drawShapes(QPainter &painter, const QSize &size) const
{
    drawPlan(painter, size, Rendering::Shapes);
}

void DrawingPlan::drawPlan(QPainter &painter, const QSize &size, Rendering rendering) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const int zoomLevel = m_view.zoomLevel();
    painter.setFont(QFont(QStringLiteral("Courrier"), 12 + zoomLevel));

    const ScreenPoints screen = screenPoints(size);
    // Regions and dots are drawn in the device's own pixels, so that they stay sharp on a screen
    // with several device pixels to a pixel.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (rendering == Rendering::Screen)
        drawRegions(painter, size, ratio, screen);
    else
        drawRegionShapes(painter, size, screen);
    painter.setBrush(Qt::NoBrush);

    if (isShown(DrawElement::Links)) {
        QVector<QLine> lines;
        for (const QPair<int, int> &pair : m_linkedPairs) {
            if (screen.visible.at(pair.first) && screen.visible.at(pair.second))
                lines.append(
                    QLine(screen.positions.at(pair.first), screen.positions.at(pair.second)));
        }
        painter.setPen(QPen(Qt::gray, 1, Qt::DashDotLine, Qt::SquareCap));
        painter.drawLines(lines);
    }

    drawPoints(painter, screen, ratio, rendering);
    drawLegend(painter, size);
    painter.restore();
}

void DrawingPlan::drawRegionShapes(QPainter &painter, const QSize &size,
                                   const ScreenPoints &screen) const
{
    const double k = m_view.pixelsPerUnit(size);
    for (const RegionFamily &family : kFamilies) {
        if (!isShown(family.element))
            continue;
        const double scale = regionMagnification(family.element);
        QColor fill = family.fill;
        fill.setAlpha(kRegionFillAlpha);
        painter.setPen(QPen(family.outline, kRegionPenWidth, family.outlineStyle, Qt::RoundCap));
        painter.setBrush(fill);
        for (const DrwRegion &region : m_drawing.*family.regions) {
            if (region.epoch != m_currentEpoch)
                continue;
            const std::optional<QPoint> centre =
                screen.regionCentre(region, family.pairing, m_drawing.points, m_view, size);
            if (!centre)
                continue;
            const double a = region.semiAxis1 * scale * k;
            const double b = region.semiAxis2 * scale * k;
            if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(region.bearing))
                continue;
            const double theta = regionAngle(region.bearing);
            // Turned here rather than by the painter, so that a vector file keeps one group of
            // settings for the whole family instead of one per region.
            QTransform turn;
            turn.translate(centre->x(), centre->y());
            turn.rotate(-theta);
            const QRectF bounds(-a, -b, 2.0 * a, 2.0 * b);
            if (family.shape == RegionRaster::Shape::Ellipse) {
                QPainterPath outline;
                outline.addEllipse(bounds);
                painter.drawPath(turn.map(outline));
            } else {
                painter.drawPolygon(turn.map(QPolygonF(bounds)));
            }
        }
    }
}

void DrawingPlan::drawPoints(QPainter &painter, const ScreenPoints &screen, qreal ratio,
                             Rendering rendering) const
{
    const int n = m_drawing.points.size();
    const int zoomLevel = m_view.zoomLevel();
    const int dotWidth = 10 + zoomLevel;
    const auto isFixed = [this](int i) { return i < m_fixed.size() && m_fixed.at(i); };
    if (rendering == Rendering::Shapes) {
        for (int i = 0; i < n; ++i) {
            if (!screen.visible.at(i))
                continue;
            if (isFixed(i))
                drawFixedMark(painter, screen.positions.at(i), dotWidth);
            else
                drawFreeMark(painter, screen.positions.at(i), dotWidth);
        }
    } else {
        // Every mark of a kind is the same: it is drawn once and copied to each point, which
        // costs a fraction of drawing it anew. Points lie on whole pixels, so each copy matches
        // a mark drawn in place.
        const int markCentre = int(std::ceil(0.6 * (dotWidth + 2))) + 2;
        const auto mark = [&](bool fixed) {
            QImage image(QSize(2 * markCentre + 1, 2 * markCentre + 1) * ratio,
                         QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter markPainter(&image);
            markPainter.setRenderHint(QPainter::Antialiasing);
            if (fixed)
                drawFixedMark(markPainter, QPointF(markCentre, markCentre), dotWidth);
            else
                drawFreeMark(markPainter, QPointF(markCentre, markCentre), dotWidth);
            return image;
        };
        const QImage free = mark(false);
        const QImage fixed = m_fixed.contains(true) ? mark(true) : QImage();
        for (int i = 0; i < n; ++i) {
            if (screen.visible.at(i))
                painter.drawImage(screen.positions.at(i) - QPoint(markCentre, markCentre),
                                  isFixed(i) ? fixed : free);
        }
    }
    if (!isShown(DrawElement::Names))
        return;
    painter.setPen(kPointColour);
    const QPoint offset(zoomLevel + 7, zoomLevel + 7);
    if (rendering == Rendering::Shapes) {
        for (int i = 0; i < n; ++i) {
            if (screen.visible.at(i))
                painter.drawText(screen.positions.at(i) + offset, m_drawing.points.at(i).name);
        }
        return;
    }
    // A prepared text keeps its layout for the font it was last drawn in, so each zoom level,
    // with its own font size, has its own. It is placed by its top left corner, not its base line.
    const int level = qBound(DrawingView::kMinZoomLevel, zoomLevel, DrawingView::kMaxZoomLevel);
    QVector<QStaticText> &names = m_names[level - DrawingView::kMinZoomLevel];
    if (names.size() != n) {
        names.clear();
        for (const DrwPoint &point : m_drawing.points) {
            QStaticText name(point.name);
            name.setTextFormat(Qt::PlainText);
            names.append(name);
        }
    }
    const QPoint topLeft = offset - QPoint(0, painter.fontMetrics().ascent());
    for (int i = 0; i < n; ++i) {
        if (screen.visible.at(i))
            painter.drawStaticText(screen.positions.at(i) + topLeft, names.at(i));
    }
}

bool DrawingPlan::showsEpochRegions(DrawElement element) const
{
    if (!isShown(element))
        return false;
    const QVector<DrwRegion> &regions =
        element == DrawElement::EpochEllipses ? m_drawing.epochEllipses : m_drawing.epochRectangles;
    const int count = m_drawing.points.size();
    return std::any_of(regions.begin(), regions.end(), [&](const DrwRegion &r) {
        return r.epoch == m_currentEpoch && r.point1 >= 1 && r.point1 <= count;
    });
}

void DrawingPlan::drawLegend(QPainter &painter, const QSize &size) const
{
    // The legend keeps its place whatever the view.
    QPen legendPen(Qt::darkYellow, 5);
    painter.setPen(legendPen);
    painter.setBrush(Qt::NoBrush);
    painter.setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
    painter.drawLine(20, 70, 20, 20);
    painter.drawLine(15, 40, 20, 20);
    painter.drawLine(25, 40, 20, 20);
    painter.drawText(15, 15, QStringLiteral("N"));
    // The between-epochs regions, at their own magnification, get a dashed bar beside their
    // family's while the epoch shown has some.
    const struct
    {
        QString caption;
        int offset;
        double length;
        double epochLength;
    } bars[] = {
        {legendText("Réseau"), 299, m_view.networkBarLength(size), 0.0},
        {legendText("Confiance"), 199, m_view.ellipseBarLength(size),
         showsEpochRegions(DrawElement::EpochEllipses) ? m_view.epochEllipseBarLength(size) : 0.0},
        {legendText("Fiabilité"), 99, m_view.rectangleBarLength(size),
         showsEpochRegions(DrawElement::EpochRectangles) ? m_view.epochRectangleBarLength(size)
                                                         : 0.0},
    };
    legendPen.setCapStyle(Qt::FlatCap);
    const QFontMetrics barMetrics(painter.font());
    for (const auto &bar : bars) {
        const int captionRow = legendRow(size.height(), bar.offset);
        const int barRow = legendRow(size.height(), bar.offset - 50);
        painter.setPen(legendPen);
        painter.drawText(15, captionRow, bar.caption);
        painter.drawLine(15, barRow, 65, barRow);
        const QString text = barLengthText(bar.length);
        painter.drawText(75, barRow, text);
        if (bar.epochLength <= 0.0)
            continue;
        const int left = 75 + barMetrics.horizontalAdvance(text) + 20;
        QPen dashed = legendPen;
        dashed.setStyle(Qt::DashLine);
        dashed.setWidth(3);
        painter.setPen(dashed);
        painter.drawLine(left, barRow, left + 50, barRow);
        painter.setPen(legendPen);
        painter.drawText(left + 60, barRow,
                         barLengthText(bar.epochLength) + legendText(" entre époques"));
    }

    if (m_fixed.isEmpty())
        return;
    // Which mark is which, in the top right corner, where the north arrow leaves room.
    const QFont font(QStringLiteral("Arial"), 10);
    const QFontMetrics metrics(font);
    const QString captions[] = {legendText("Point fixe"), legendText("Point libre")};
    const int textWidth =
        std::max(metrics.horizontalAdvance(captions[0]), metrics.horizontalAdvance(captions[1]));
    const int rowHeight = std::max(metrics.height(), 16) + 4;
    const QRect box(size.width() - textWidth - 46, 8, textWidth + 38, 2 * rowHeight + 8);
    painter.setPen(QPen(Qt::darkYellow, 1));
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRect(box);
    painter.setFont(font);
    for (int row = 0; row < 2; ++row) {
        const int middle = box.top() + 4 + row * rowHeight + rowHeight / 2;
        const QPointF markCentre(box.left() + 16, middle);
        if (row == 0)
            drawFixedMark(painter, markCentre, 10);
        else
            drawFreeMark(painter, markCentre, 10);
        painter.setPen(Qt::black);
        painter.drawText(QRect(box.left() + 30, middle - rowHeight / 2, textWidth + 4, rowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, captions[row]);
    }
}
