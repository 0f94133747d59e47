#include "myplotarea.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTickLength = 4;
constexpr int kLabelGap = 2;
// Ticks no closer than these, in pixels, so that their values do not run into each other.
constexpr int kHorizontalTickSpacing = 40;
constexpr int kVerticalTickSpacing = 30;
const QColor kCriticalColour(0, 128, 0);

// Ticks are multiples of a round step: a few significant digits write them exactly.
QString tickText(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

myPlotArea::myPlotArea(QWidget *parent)
    : QWidget(parent)
{}

QSize myPlotArea::sizeHint() const
{
    return QSize(400, 200);
}

QSize myPlotArea::minimumSizeHint() const
{
    return QSize(100, 100);
}

void myPlotArea::setMode(int mode)
{
    m_mode = mode;
}

void myPlotArea::setRange(int low, int high)
{
    m_low = low;
    m_high = high;
    update();
}

void myPlotArea::setData(const QStringList &data)
{
    m_data = data;
    m_values.clear();
    m_values.reserve(data.size());
    for (const QString &text : data) {
        const double v = text.toDouble();
        m_values.append(std::isnan(v) ? 0.0 : v);
    }
    m_low = 1.0;
    m_high = data.size();
    update();
}

void myPlotArea::setAxesShown(bool shown)
{
    m_axesShown = shown;
    update();
}

QRect myPlotArea::plotRect() const
{
    if (!m_axesShown)
        return rect();
    const QFontMetrics metrics(font());
    // Room for the rotated title and the widest tick value on the left, for the tick values and
    // the title below, and for half a tick value above and to the right.
    const int valueWidth = metrics.horizontalAdvance(QStringLiteral("00.0 %"));
    const int left = metrics.height() + kLabelGap + valueWidth + kLabelGap + kTickLength;
    const int bottom = kTickLength + kLabelGap + 2 * metrics.height() + kLabelGap;
    const int top = metrics.height() / 2 + 1;
    const int right = metrics.horizontalAdvance(QStringLiteral("0000")) / 2 + 1;
    return QRect(left, top, std::max(width() - left - right, 1),
                 std::max(height() - top - bottom, 1));
}

void myPlotArea::setCriticalValue(double value)
{
    m_criticalValue = value;
    update();
}

void myPlotArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    draw(painter);
}

void myPlotArea::draw(QPainter &painter) const
{
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRect area = plotRect();
    const int w = area.width();
    const int h = area.height();

    painter.save();
    painter.translate(area.topLeft());
    if (m_axesShown)
        painter.setClipRect(0, 0, w, h);
    if (m_mode == ModeRanking) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QColor(Qt::darkRed));
        painter.setBrush(QColor(Qt::red));
        const QVector<QRectF> bars = residualplot::rankingBars(m_values, m_low, m_high, w, h);
        painter.drawRects(bars.constData(), bars.size());
    } else if (m_mode == ModeHistogram && !m_values.isEmpty()) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QColor(Qt::darkBlue));
        painter.setBrush(QColor(Qt::blue));
        const QVector<QRectF> bars = residualplot::histogramBars(m_values, w, h);
        painter.drawRects(bars.constData(), bars.size());
        painter.setPen(QColor(Qt::red));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(residualplot::densityCurve(w, h));
    }
    drawCriticalValue(painter, w, h);
    painter.restore();

    if (m_axesShown && (m_mode == ModeRanking || m_mode == ModeHistogram))
        drawAxes(painter, area);

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void myPlotArea::drawCriticalValue(QPainter &painter, int w, int h) const
{
    const double c = m_criticalValue;
    if (!(c > 0.0) || !std::isfinite(c) || m_values.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(kCriticalColour);
    painter.setBrush(Qt::NoBrush);
    const QString caption = tr("valeur critique %1").arg(c, 0, 'f', 3);
    const QFontMetrics metrics(painter.font());
    if (m_mode == ModeRanking) {
        const double scale = residualplot::rankingScale(m_values, h);
        if (!(scale > 0.0))
            return;
        const int y = int(std::floor(h - c * scale));
        if (y < 0)
            return;
        painter.drawLine(0, y, w, y);
        painter.drawText(QRect(0, y - metrics.height() - 1, w - kLabelGap, metrics.height()),
                         Qt::AlignRight | Qt::AlignBottom, caption);
    } else if (m_mode == ModeHistogram) {
        for (double t : {-c, c}) {
            const int x = int(std::floor(residualplot::histogramX(t, w)));
            painter.drawLine(x, 0, x, h);
        }
        // Right of the line at c, or left of it when the caption would not fit.
        const int x = int(std::floor(residualplot::histogramX(c, w)));
        const int captionWidth = metrics.horizontalAdvance(caption);
        const QRect box =
            x + kLabelGap + captionWidth <= w
                ? QRect(x + kLabelGap, 0, captionWidth, metrics.height())
                : QRect(x - kLabelGap - captionWidth, 0, captionWidth, metrics.height());
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, caption);
    }
}

void myPlotArea::drawAxes(QPainter &painter, const QRect &area) const
{
    const int w = area.width();
    const int h = area.height();
    const QFontMetrics metrics(painter.font());
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(QPalette::Text));
    painter.setBrush(Qt::NoBrush);
    const int axisX = area.left() - 1;
    const int axisY = area.top() + h;
    painter.drawLine(axisX, area.top(), axisX, axisY);
    painter.drawLine(axisX, axisY, area.left() + w, axisY);

    const auto verticalTick = [&](double y, const QString &text) {
        const int at = area.top() + int(std::floor(y));
        painter.drawLine(axisX - kTickLength, at, axisX - 1, at);
        const int right = axisX - kTickLength - kLabelGap;
        painter.drawText(QRect(0, at - metrics.height() / 2, right, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    };
    const auto horizontalTick = [&](double x, const QString &text) {
        const int at = area.left() + int(std::floor(x));
        painter.drawLine(at, axisY + 1, at, axisY + kTickLength);
        const int half = metrics.horizontalAdvance(text) / 2 + 1;
        painter.drawText(
            QRect(at - half, axisY + kTickLength + kLabelGap, 2 * half, metrics.height()),
            Qt::AlignHCenter | Qt::AlignTop, text);
    };

    QString horizontalTitle;
    QString verticalTitle;
    if (m_mode == ModeRanking) {
        horizontalTitle = tr("Rang");
        verticalTitle = tr("|Résidu normé|");
        const double scale = residualplot::rankingScale(m_values, h);
        if (scale > 0.0) {
            for (double v : residualplot::axisTicks(0.0, h / scale, h / kVerticalTickSpacing))
                verticalTick(h - v * scale, tickText(v));
        }
        const double first = std::max(1.0, std::ceil(m_low));
        const double last = std::min<double>(m_values.size(), std::floor(m_high));
        for (double rank :
             residualplot::axisTicks(first, last, std::max(1, w / kHorizontalTickSpacing))) {
            if (rank == std::floor(rank))
                horizontalTick(residualplot::rankCentre(int(rank), m_low, m_high, w),
                               tickText(rank));
        }
    } else {
        horizontalTitle = tr("Résidu normé");
        verticalTitle = tr("Part");
        for (double share : residualplot::axisTicks(0.0, 0.5, h / kVerticalTickSpacing))
            verticalTick(residualplot::histogramShareY(share, h),
                         tickText(share * 100.0) + QStringLiteral(" %"));
        for (double t : residualplot::axisTicks(-4.0, 4.0, w / kHorizontalTickSpacing))
            horizontalTick(residualplot::histogramX(t, w), tickText(t));
    }

    painter.drawText(
        QRect(area.left(), height() - metrics.height() - kLabelGap, w, metrics.height()),
        Qt::AlignHCenter | Qt::AlignBottom, horizontalTitle);
    // Centred on the widget's height rather than the graph's, which a short plot makes too low
    // for the title.
    painter.save();
    painter.translate(kLabelGap, height() / 2);
    painter.rotate(-90.0);
    painter.drawText(QRect(-height() / 2, 0, height(), metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, verticalTitle);
    painter.restore();
}
