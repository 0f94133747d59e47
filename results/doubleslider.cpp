#include "doubleslider.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kTrackColour(75, 130, 89);

} // namespace

DoubleSlider::DoubleSlider(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(kHeight);
}

void DoubleSlider::setMargins(int left, int right)
{
    m_leftMargin = left;
    m_rightMargin = right;
    update();
}

void DoubleSlider::setMinimumGap(float gap)
{
    m_gap = gap;
}

double DoubleSlider::fractionAt(int x) const
{
    // A track of no width (hidden or squeezed widget) counts as one pixel: no division by zero.
    const int span = std::max(width() - m_leftMargin - m_rightMargin, 1);
    return double(x - m_leftMargin) / span;
}

int DoubleSlider::handlePosition(float value) const
{
    const int span = width() - m_leftMargin - m_rightMargin;
    return int(std::floor(m_leftMargin + double(span) * value + 0.5));
}

QPolygon DoubleSlider::handleShape(int x) const
{
    const int h = height();
    const int k = m_handleHalfWidth;
    const int shoulder = int(std::floor(0.3 * h));
    return QPolygon({QPoint(x - k, shoulder), QPoint(x - k, h), QPoint(x + k, h),
                     QPoint(x + k, shoulder), QPoint(x, 0)});
}

void DoubleSlider::setMinValue(float value)
{
    if (value != m_min && !std::isnan(value))
        applyMin(value);
}

void DoubleSlider::setMaxValue(float value)
{
    if (value != m_max && !std::isnan(value))
        applyMax(value);
}

void DoubleSlider::setValues(float a, float b)
{
    setMinValue(std::min(a, b));
    setMaxValue(std::max(a, b));
}

void DoubleSlider::setSliderWidth(int sliderW)
{
    m_handleHalfWidth = sliderW;
    update();
}

void DoubleSlider::applyMin(float value)
{
    // The low handle pushes the high one ahead, and stops a gap short of 1.
    const float m = std::max(value, 0.0f);
    if (m_max > m + m_gap) {
        m_min = m;
    } else if (m + m_gap > 1.0f) {
        m_max = 1.0f;
        m_min = 1.0f - m_gap;
    } else {
        m_max = m + m_gap;
        m_min = m;
    }
    update();
    emit valuesChanged(m_min, m_max);
}

void DoubleSlider::applyMax(float value)
{
    const float M = std::min(value, 1.0f);
    if (M > m_min + m_gap) {
        m_max = M;
    } else if (M - m_gap < 0.0f) {
        m_min = 0.0f;
        m_max = m_gap;
    } else {
        m_min = M - m_gap;
        m_max = M;
    }
    update();
    emit valuesChanged(m_min, m_max);
}

void DoubleSlider::applyMove(float f)
{
    if (m_dragMin && m_dragMax) {
        const float d = f - m_pressPos;
        setMinValue(m_pressMin + d);
        setMaxValue(m_pressMax + d);
    } else if (m_dragMin) {
        setMinValue(f);
    } else if (m_dragMax) {
        setMaxValue(f);
    }
}

void DoubleSlider::mousePressEvent(QMouseEvent *event)
{
    const float f = float(fractionAt(event->pos().x()));
    m_pressPos = f;
    m_pressMin = m_min;
    m_pressMax = m_max;
    if (event->button() == Qt::LeftButton) {
        // A press halfway between the handles takes the high one.
        m_dragMin = std::abs(m_max - f) > std::abs(m_min - f);
        m_dragMax = !m_dragMin;
    } else if (event->button() == Qt::RightButton) {
        m_dragMin = true;
        m_dragMax = true;
    }
    applyMove(f);
    emit toggleInteractionMode(true);
}

void DoubleSlider::mouseReleaseEvent(QMouseEvent *)
{
    emit toggleInteractionMode(false);
}

void DoubleSlider::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton)
        return;
    const float f = float(std::clamp(fractionAt(event->pos().x()), 0.0, 1.0));
    applyMove(f);
    emit valuesChanged(m_min, m_max);
}

void DoubleSlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    draw(painter);
}

void DoubleSlider::draw(QPainter &painter) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int middle = height() / 2;
    painter.setPen(kTrackColour);
    painter.drawLine(QPoint(m_leftMargin, middle), QPoint(width() - m_rightMargin, middle));

    painter.setBrush(QColor(Qt::white));
    painter.drawPolygon(handleShape(handlePosition(m_min)));
    painter.drawPolygon(handleShape(handlePosition(m_max)));
}
