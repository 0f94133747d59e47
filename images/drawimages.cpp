// Draws the embedded pictures of the workbench: eleven toolbar icons and the product picture, and
// the application's icon for the desktop at the sizes of the hicolor theme.
// Build with -DTAVLO_BUILD_IMAGE_TOOL=ON, then run `drawimages <images folder> [<icons folder>]`.

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

constexpr int kIconSize = 48;
const QColor kInk(40, 52, 70);
const QColor kPaper(250, 250, 245);
const QColor kAccent(193, 0, 42);
const QColor kBlue(44, 110, 190);
const QColor kGreen(46, 140, 80);

QPen inkPen(qreal width, const QColor &colour = kInk)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawSheet(QPainter &p, const QRectF &rect, const QColor &fill = kPaper)
{
    const qreal fold = rect.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(rect.topLeft());
    sheet.lineTo(rect.right() - fold, rect.top());
    sheet.lineTo(rect.right(), rect.top() + fold);
    sheet.lineTo(rect.bottomRight());
    sheet.lineTo(rect.bottomLeft());
    sheet.closeSubpath();
    p.setPen(inkPen(2));
    p.setBrush(fill);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(rect.right() - fold, rect.top());
    corner.lineTo(rect.right() - fold, rect.top() + fold);
    corner.lineTo(rect.right(), rect.top() + fold);
    p.setBrush(QColor(215, 215, 205));
    p.drawPath(corner);
}

void drawTextLines(QPainter &p, qreal left, qreal top, qreal width, int count)
{
    p.setPen(inkPen(2, QColor(120, 130, 145)));
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(left, top + i * 6),
                   QPointF(left + width * (i % 2 ? 0.7 : 1.0), top + i * 6));
}

void iconNew(QPainter &p)
{
    drawSheet(p, QRectF(9, 4, 28, 38));
    drawTextLines(p, 14, 20, 16, 3);
    // A star of new work.
    p.setPen(inkPen(2.5, QColor(230, 160, 0)));
    const QPointF c(36, 36);
    for (int i = 0; i < 4; ++i) {
        const qreal a = qDegreesToRadians(45.0 * i);
        p.drawLine(c + QPointF(7 * qCos(a), 7 * qSin(a)), c - QPointF(7 * qCos(a), 7 * qSin(a)));
    }
}

void iconOpen(QPainter &p)
{
    p.setPen(inkPen(2));
    p.setBrush(QColor(225, 180, 80));
    p.drawRoundedRect(QRectF(4, 12, 38, 28), 3, 3);
    p.setBrush(QColor(245, 210, 120));
    QPolygonF front;
    front << QPointF(10, 20) << QPointF(45, 20) << QPointF(39, 40) << QPointF(4, 40);
    p.drawPolygon(front);
    p.setBrush(QColor(225, 180, 80));
    p.drawRect(QRectF(4, 8, 14, 5));
}

void iconSave(QPainter &p)
{
    p.setPen(inkPen(2));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(6, 6, 36, 36), 3, 3);
    p.setBrush(kPaper);
    p.drawRect(QRectF(12, 6, 24, 14));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(13, 28, 22, 14));
    p.setBrush(kInk);
    p.drawRect(QRectF(28, 9, 5, 8));
}

void iconCut(QPainter &p)
{
    p.setPen(inkPen(3));
    p.drawLine(QPointF(14, 6), QPointF(32, 32));
    p.drawLine(QPointF(34, 6), QPointF(16, 32));
    p.setBrush(Qt::NoBrush);
    p.setPen(inkPen(3, kAccent));
    p.drawEllipse(QPointF(13, 37), 6, 6);
    p.drawEllipse(QPointF(35, 37), 6, 6);
}

void iconCopy(QPainter &p)
{
    drawSheet(p, QRectF(5, 4, 24, 30));
    drawSheet(p, QRectF(18, 14, 24, 30));
    drawTextLines(p, 22, 28, 13, 3);
}

void iconPaste(QPainter &p)
{
    p.setPen(inkPen(2));
    p.setBrush(QColor(180, 130, 80));
    p.drawRoundedRect(QRectF(6, 7, 30, 36), 3, 3);
    p.setBrush(QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(14, 3, 14, 8), 2, 2);
    drawSheet(p, QRectF(20, 16, 22, 28));
    drawTextLines(p, 24, 30, 11, 2);
}

void iconSettings(QPainter &p)
{
    const QPointF c(24, 24);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a = M_PI * i / teeth;
        const qreal r = (i % 2 == 0) ? 20 : 15;
        const QPointF a1 = c + QPointF(r * qCos(a - 0.18), r * qSin(a - 0.18));
        const QPointF a2 = c + QPointF(r * qCos(a + 0.18), r * qSin(a + 0.18));
        if (i == 0)
            gear.moveTo(a1);
        else
            gear.lineTo(a1);
        gear.lineTo(a2);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 6, 6);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(inkPen(2));
    p.setBrush(QColor(150, 160, 175));
    p.drawPath(gear);
}

void iconProcess(QPainter &p)
{
    // A play arrow over a small triangle of stations: run the adjustment.
    p.setPen(inkPen(2));
    p.setBrush(kGreen);
    QPolygonF arrow;
    arrow << QPointF(10, 6) << QPointF(42, 24) << QPointF(10, 42);
    p.drawPolygon(arrow);
    p.setPen(inkPen(1.5, kPaper));
    p.drawLine(QPointF(15, 17), QPointF(29, 24));
    p.drawLine(QPointF(29, 24), QPointF(15, 31));
    p.drawLine(QPointF(15, 31), QPointF(15, 17));
}

void iconShowReport(QPainter &p)
{
    drawSheet(p, QRectF(6, 4, 28, 38));
    p.setPen(Qt::NoPen);
    const qreal heights[] = {10, 18, 7, 14};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 1 ? kAccent : kBlue);
        p.drawRect(QRectF(11 + i * 5.5, 36 - heights[i], 4, heights[i]));
    }
    p.setPen(inkPen(3));
    p.setBrush(QColor(255, 255, 255, 160));
    p.drawEllipse(QPointF(33, 31), 8, 8);
    p.drawLine(QPointF(39, 37), QPointF(45, 44));
}

void iconSatellite(QPainter &p)
{
    p.save();
    p.translate(24, 22);
    p.rotate(-35);
    p.setPen(inkPen(1.5));
    p.setBrush(kBlue);
    p.drawRect(QRectF(-21, -5, 13, 10));
    p.drawRect(QRectF(8, -5, 13, 10));
    p.setPen(inkPen(1, kPaper));
    p.drawLine(QPointF(-14.5, -5), QPointF(-14.5, 5));
    p.drawLine(QPointF(14.5, -5), QPointF(14.5, 5));
    p.setPen(inkPen(1.5));
    p.setBrush(QColor(220, 190, 90));
    p.drawRect(QRectF(-7, -6, 14, 12));
    p.drawLine(QPointF(0, 6), QPointF(0, 11));
    p.restore();
    p.setPen(inkPen(2, kAccent));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 30, 14, 14), 0, 90 * 16);
    p.drawArc(QRectF(-2, 24, 26, 26), 0, 90 * 16);
}

void iconDraw(QPainter &p)
{
    // A network: stations, sights and an error ellipse.
    const QPointF pts[] = {{8, 38}, {22, 8}, {41, 16}, {36, 40}};
    p.setPen(QPen(QColor(120, 120, 120), 1.5, Qt::DashDotLine));
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            p.drawLine(pts[i], pts[j]);
    p.save();
    p.translate(pts[2]);
    p.rotate(-30);
    p.setPen(inkPen(1.5, QColor(255, 0, 50)));
    p.setBrush(QColor(255, 0, 0, 120));
    p.drawEllipse(QPointF(0, 0), 8, 4);
    p.restore();
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    for (const QPointF &pt : pts)
        p.drawEllipse(pt, 3.5, 3.5);
}

QImage icon(const std::function<void(QPainter &)> &draw)
{
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

// The application's icon on a 48-unit grid: a survey network on a sky tile, a fixed station in
// red, a confidence ellipse at a free one. Small sizes drop the details a few pixels cannot show.
void applicationIcon(QPainter &p, int size)
{
    const bool small = size < 32;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(2, 2, 44, 44), 8, 8);
    QLinearGradient sky(0, 2, 0, 46);
    sky.setColorAt(0, QColor(232, 240, 248));
    sky.setColorAt(1, QColor(188, 208, 226));
    p.setPen(QPen(kInk, small ? 2.5 : 1.5));
    p.setBrush(sky);
    p.drawPath(tile);

    const QPointF stations[] = {{11, 36}, {17, 12}, {36, 10}, {38, 33}, {25, 25}};
    const int sights[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};
    p.setPen(QPen(QColor(70, 70, 85), small ? 2.5 : 1.4, small ? Qt::SolidLine : Qt::DashLine));
    for (const auto &s : sights) {
        if (small && s[0] == 4)
            continue;
        p.drawLine(stations[s[0]], stations[s[1]]);
    }
    p.save();
    p.translate(stations[4]);
    p.rotate(-35);
    p.setPen(QPen(QColor(220, 0, 40), small ? 2.5 : 1.6));
    p.setBrush(QColor(255, 0, 0, 90));
    p.drawEllipse(QPointF(0, 0), 9, 5);
    p.restore();

    p.setPen(QPen(kInk, small ? 1.5 : 1.2));
    p.setBrush(kBlue);
    for (int i = 1; i < 5; ++i)
        p.drawEllipse(stations[i], small ? 4.0 : 3.2, small ? 4.0 : 3.2);
    QPolygonF triangle;
    triangle << stations[0] + QPointF(0, -7) << stations[0] + QPointF(6.5, 5)
             << stations[0] + QPointF(-6.5, 5);
    p.setBrush(kAccent);
    p.drawPolygon(triangle);
}

QImage applicationIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / qreal(kIconSize), size / qreal(kIconSize));
    applicationIcon(painter, size);
    return image;
}

QImage productPicture()
{
    const int w = 420, h = 300;
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(232, 240, 248));
    sky.setColorAt(1, QColor(200, 218, 232));
    p.fillRect(image.rect(), sky);

    // Contour lines of a hill under the network.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 7; ++i) {
        p.setPen(QPen(QColor(150, 170, 140, 160), 1.2));
        p.drawEllipse(QPointF(230, 140), 40 + 26 * i, 22 + 15 * i);
    }

    // The lower band stays free for the splash screen's message.
    const QPointF stations[] = {{40, 190},  {100, 110}, {225, 88},  {320, 100},
                                {395, 160}, {285, 190}, {205, 145}, {125, 180}};
    const int sights[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 0}, {6, 0}, {6, 1},
                             {6, 2}, {6, 3}, {6, 4}, {6, 5}, {7, 0}, {7, 1}, {7, 6}, {7, 5}};
    p.setPen(QPen(QColor(90, 90, 100), 1.6, Qt::DashDotLine));
    for (const auto &s : sights)
        p.drawLine(stations[s[0]], stations[s[1]]);

    // Confidence ellipses and reliability rectangles at the free stations.
    const qreal bearings[] = {0, 30, -20, 60, 10, -45, 75, 15};
    for (int i = 1; i < 8; ++i) {
        if (i == 4)
            continue;
        p.save();
        p.translate(stations[i]);
        p.rotate(-bearings[i]);
        p.setPen(QPen(QColor(0, 200, 50), 1.5));
        p.setBrush(QColor(0, 255, 0, 60));
        p.drawRect(QRectF(-14, -8, 28, 16));
        p.setPen(QPen(QColor(255, 0, 50), 1.8));
        p.setBrush(QColor(255, 0, 0, 90));
        p.drawEllipse(QPointF(0, 0), 11, 6);
        p.restore();
    }
    for (int i = 0; i < 8; ++i) {
        const bool fixed = (i == 0 || i == 4);
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(fixed ? QColor(kAccent) : QColor(kBlue));
        if (fixed) {
            QPolygonF triangle;
            triangle << stations[i] + QPointF(0, -8) << stations[i] + QPointF(7, 5)
                     << stations[i] + QPointF(-7, 5);
            p.drawPolygon(triangle);
        } else {
            p.drawEllipse(stations[i], 5, 5);
        }
    }

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(64);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(193, 0, 42, 235));
    p.drawText(QRectF(18, 0, w, 70), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Tavlo"));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: drawimages <images folder> [<icons folder>]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const std::pair<const char *, void (*)(QPainter &)> icons[] = {{"new", iconNew},
                                                                   {"open", iconOpen},
                                                                   {"save", iconSave},
                                                                   {"cut", iconCut},
                                                                   {"copy", iconCopy},
                                                                   {"paste", iconPaste},
                                                                   {"settings", iconSettings},
                                                                   {"process", iconProcess},
                                                                   {"showreport", iconShowReport},
                                                                   {"satellite", iconSatellite},
                                                                   {"draw", iconDraw}};
    for (const auto &entry : icons) {
        if (!icon(entry.second)
                 .save(folder + QLatin1Char('/') + QLatin1String(entry.first) +
                       QStringLiteral(".png")))
            return 1;
    }
    if (!productPicture().save(folder + QStringLiteral("/tavlo.png")))
        return 1;
    if (argc > 2) {
        const QString icons = QString::fromLocal8Bit(argv[2]);
        for (const int size : {16, 32, 48, 64, 128, 256}) {
            if (!applicationIconImage(size).save(icons + QStringLiteral("/tavlo-%1.png").arg(size)))
                return 1;
        }
    }
    return 0;
}
