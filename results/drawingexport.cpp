#include "drawingexport.h"

#include "drawingplan.h"
#include "drwdrawing.h"
#include "dxfwriter.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QtMath>

#include <cmath>
#include <limits>

namespace drawingexport {

const char *const kFixedPointsLayer = "POINTS_FIXES";
const char *const kFreePointsLayer = "POINTS_LIBRES";
const char *const kNamesLayer = "NOMS";
const char *const kLinksLayer = "LIENS";

namespace {

constexpr int kEllipseVertices = 36; // every 10 degrees: within 0.4 % of the curve
constexpr double kPageMarginMm = 10.0;
// The plan's sizes are screen pixels and its fonts points: at the screen's resolution they keep
// the proportions they have on screen.
constexpr int kScreenDpi = 96;

QString tr(const char *text)
{
    return QCoreApplication::translate("drawingexport", text);
}

struct RegionLayer
{
    DrawElement element;
    const QVector<DrwRegion> DrwDrawing::*regions;
    const char *layer;
    int colour;
    bool ellipse;
    bool twoPoints;
};

const RegionLayer kRegionLayers[] = {
    {DrawElement::AbsoluteEllipses, &DrwDrawing::absoluteEllipses, "ELLIPSES_PONCTUELLES", 1, true,
     false},
    {DrawElement::RelativeEllipses, &DrwDrawing::relativeEllipses, "ELLIPSES_RELATIVES", 5, true,
     true},
    {DrawElement::EpochEllipses, &DrwDrawing::epochEllipses, "ELLIPSES_EPOQUES", 30, true, false},
    {DrawElement::AbsoluteRectangles, &DrwDrawing::absoluteRectangles, "RECTANGLES_PONCTUELS", 3,
     false, false},
    {DrawElement::RelativeRectangles, &DrwDrawing::relativeRectangles, "RECTANGLES_RELATIFS", 4,
     false, true},
    {DrawElement::EpochRectangles, &DrwDrawing::epochRectangles, "RECTANGLES_EPOQUES", 3, false,
     false},
};

bool isFinite(const DrwPoint &point)
{
    return std::isfinite(point.x) && std::isfinite(point.y);
}

bool commit(QSaveFile &file, QString &error)
{
    if (file.commit())
        return true;
    error = file.errorString();
    return false;
}

bool openForWriting(QSaveFile &file, QString &error)
{
    if (file.open(QIODevice::WriteOnly))
        return true;
    error = file.errorString();
    return false;
}

// Outline of a region around `centre`, with half-axes `a` and `b` and its first axis at
// `bearing` degrees clockwise from north, in east-north coordinates.
QVector<QPointF> regionOutline(const QPointF &centre, double a, double b, double bearing,
                               bool ellipse)
{
    const double beta = qDegreesToRadians(bearing);
    const QPointF first(std::sin(beta), std::cos(beta));
    const QPointF second(std::cos(beta), -std::sin(beta));
    QVector<QPointF> outline;
    if (ellipse) {
        for (int i = 0; i < kEllipseVertices; ++i) {
            const double t = 2.0 * M_PI * i / kEllipseVertices;
            outline.append(centre + a * std::cos(t) * first + b * std::sin(t) * second);
        }
    } else {
        outline = {centre + a * first + b * second, centre - a * first + b * second,
                   centre - a * first - b * second, centre + a * first - b * second};
    }
    return outline;
}

QByteArray csvNumber(double value)
{
    return std::isfinite(value) ? QByteArray::number(value, 'f', 4) : QByteArray();
}

} // namespace

bool writeCoordinatesCsv(const DrwDrawing &drawing, int epoch, double confidence,
                         const QString &path, QString &error)
{
    // The chi-square quantile with two degrees of freedom has a closed form: k² = -2 ln(1 - p).
    const double k = std::sqrt(-2.0 * std::log(1.0 - confidence));
    const QVector<bool> fixed = drawing.fixedPoints();
    QVector<const DrwRegion *> ellipses(drawing.points.size(), nullptr);
    for (const DrwRegion &ellipse : drawing.absoluteEllipses) {
        if (ellipse.epoch == epoch && ellipse.point1 >= 1 && ellipse.point1 <= ellipses.size())
            ellipses[ellipse.point1 - 1] = &ellipse;
    }

    const QString percent = QString::number(100.0 * confidence, 'g', 6);
    QByteArray out =
        QStringList({tr("Point"), tr("Statut"), tr("Est (m)"), tr("Nord (m)"), tr("Haut (m)"),
                     tr("Ecart-type Est (m)"), tr("Ecart-type Nord (m)"),
                     tr("Demi-grand axe à %1 % (m)").arg(percent),
                     tr("Demi-petit axe à %1 % (m)").arg(percent), tr("Gisement du grand axe (°)")})
            .join(QLatin1Char(';'))
            .toLatin1();
    out += '\n';
    for (int i = 0; i < drawing.points.size(); ++i) {
        const DrwPoint &point = drawing.points.at(i);
        QByteArray name = point.name.toLatin1();
        name.replace(';', ',');
        QByteArrayList row = {name,
                              fixed.isEmpty() ? QByteArray()
                              : fixed.at(i)   ? tr("fixe").toLatin1()
                                              : tr("libre").toLatin1(),
                              csvNumber(point.x), csvNumber(point.y), csvNumber(point.z)};
        const DrwRegion *ellipse = ellipses.at(i);
        if (ellipse && k > 0.0 && std::isfinite(k)) {
            const double beta = qDegreesToRadians(ellipse->bearing);
            const double major = ellipse->semiAxis1 / k;
            const double minor = ellipse->semiAxis2 / k;
            const double s = std::sin(beta);
            const double c = std::cos(beta);
            row << csvNumber(std::sqrt(major * major * s * s + minor * minor * c * c))
                << csvNumber(std::sqrt(major * major * c * c + minor * minor * s * s))
                << csvNumber(ellipse->semiAxis1) << csvNumber(ellipse->semiAxis2)
                << csvNumber(ellipse->bearing);
        } else {
            row << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray();
        }
        out += row.join(';');
        out += '\n';
    }

    QSaveFile file(path);
    if (!openForWriting(file, error))
        return false;
    file.write(out);
    return commit(file, error);
}

bool writeDrawingDxf(const DrawingPlan &plan, const QString &path, QString &error)
{
    const DrwDrawing &drawing = plan.drawing();
    const DrawingView &view = plan.view();
    DxfWriter dxf;
    dxf.addLayer(QLatin1String(kFixedPointsLayer), 5);
    dxf.addLayer(QLatin1String(kFreePointsLayer), 5);
    dxf.addLayer(QLatin1String(kNamesLayer), 5);
    dxf.addLayer(QLatin1String(kLinksLayer), 8);
    for (const RegionLayer &family : kRegionLayers)
        dxf.addLayer(QLatin1String(family.layer), family.colour);

    const QVector<bool> &fixed = plan.fixedPoints();
    const int n = drawing.points.size();
    qint64 vertices = 2 * qint64(n) + 2 * plan.linkedPairs().size();
    for (const RegionLayer &family : kRegionLayers)
        vertices +=
            qint64((drawing.*family.regions).size()) * (family.ellipse ? kEllipseVertices : 4);
    dxf.reserve(int(std::min<qint64>(vertices, std::numeric_limits<int>::max())));
    for (const RegionLayer &family : kRegionLayers) {
        if (!plan.isShown(family.element))
            continue;
        const double magnification = plan.regionMagnification(family.element);
        for (const DrwRegion &region : drawing.*family.regions) {
            if (region.epoch != plan.currentEpoch() || region.point1 < 1 || region.point1 > n)
                continue;
            const DrwPoint &p = drawing.points.at(region.point1 - 1);
            QPointF centre(p.x, p.y);
            if (family.twoPoints) {
                if (region.point2 < 1 || region.point2 > n)
                    continue;
                const DrwPoint &q = drawing.points.at(region.point2 - 1);
                centre = 0.5 * (centre + QPointF(q.x, q.y));
            }
            const double a = region.semiAxis1 * magnification;
            const double b = region.semiAxis2 * magnification;
            if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()) || !std::isfinite(a) ||
                !std::isfinite(b) || !std::isfinite(region.bearing))
                continue;
            dxf.polyline(QLatin1String(family.layer),
                         regionOutline(centre, a, b, region.bearing, family.ellipse), true);
        }
    }
    if (plan.isShown(DrawElement::Links)) {
        for (const QPair<int, int> &pair : plan.linkedPairs()) {
            const DrwPoint &p = drawing.points.at(pair.first);
            const DrwPoint &q = drawing.points.at(pair.second);
            if (isFinite(p) && isFinite(q))
                dxf.line(QLatin1String(kLinksLayer), QPointF(p.x, p.y), QPointF(q.x, q.y));
        }
    }
    // Names about as large, against the network, as on screen unzoomed.
    const double textHeight = view.radius() / 50.0;
    for (int i = 0; i < n; ++i) {
        const DrwPoint &point = drawing.points.at(i);
        if (!isFinite(point))
            continue;
        const bool isFixed = i < fixed.size() && fixed.at(i);
        dxf.point(QLatin1String(isFixed ? kFixedPointsLayer : kFreePointsLayer), point.x, point.y,
                  std::isfinite(point.z) ? point.z : 0.0);
        if (plan.isShown(DrawElement::Names))
            dxf.text(QLatin1String(kNamesLayer),
                     QPointF(point.x + 0.5 * textHeight, point.y - 1.2 * textHeight), textHeight,
                     point.name);
    }

    QSaveFile file(path);
    if (!openForWriting(file, error))
        return false;
    if (!dxf.write(file)) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return commit(file, error);
}

bool writeDrawingPng(const DrawingPlan &plan, const QSize &size, const QString &path,
                     QString &error)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        error = tr("Image trop grande");
        return false;
    }
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        plan.drawShapes(painter, size);
    }
    QSaveFile file(path);
    if (!openForWriting(file, error))
        return false;
    if (!image.save(&file, "PNG")) {
        error = tr("Ecriture de l'image impossible");
        file.cancelWriting();
        return false;
    }
    return commit(file, error);
}

void paintOnPage(const DrawingPlan &plan, const QSize &size, const QString &title,
                 QPagedPaintDevice &device)
{
    QPainter painter(&device);
    const QRect page(0, 0, device.width(), device.height());
    QFont titleFont(QStringLiteral("Arial"), 12, QFont::Bold);
    painter.setFont(titleFont);
    const int titleHeight = painter.fontMetrics().height() * 2;
    painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight),
                     Qt::AlignLeft | Qt::AlignTop, title);
    const QRect area = page.adjusted(0, titleHeight, 0, 0);
    const double scale =
        std::min(area.width() / double(size.width()), area.height() / double(size.height()));
    if (!(scale > 0.0))
        return;
    painter.translate(area.left(), area.top());
    painter.scale(scale, scale);
    painter.setClipRect(QRect(QPoint(0, 0), size));
    plan.drawShapes(painter, size);
}

bool writeDrawingPdf(const DrawingPlan &plan, const QSize &size, const QString &title,
                     const QString &path, QString &error)
{
    QSaveFile file(path);
    if (!openForWriting(file, error))
        return false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QCoreApplication::applicationName());
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                              QPageLayout::Millimeter);
        writer.setResolution(kScreenDpi);
        paintOnPage(plan, size, title, writer);
    }
    return commit(file, error);
}

} // namespace drawingexport
