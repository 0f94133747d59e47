#include "myplotarea.h"

#include <QPainter>

#include <cmath>

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

void myPlotArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    draw(painter);
}

void myPlotArea::draw(QPainter &painter) const
{
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), palette().color(QPalette::Base));

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

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 1, h - 1);
}
