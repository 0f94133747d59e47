#include "frmdraw.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

constexpr int kWheelStep = 120; // wheel delta of one notch

} // namespace

frmDraw::frmDraw(QWidget *parent)
    : QWidget(parent)
{
    connect(&m_plan, &DrawingPlan::changed, this, QOverload<>::of(&QWidget::update));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setMouseTracking(true);
}

QSize frmDraw::sizeHint() const
{
    return QSize(400, 200);
}

QSize frmDraw::minimumSizeHint() const
{
    return QSize(100, 100);
}

void frmDraw::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragging = true;
    m_last = event->pos();
}

void frmDraw::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_dragging = false;
}

void frmDraw::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        m_plan.pan(m_last, event->pos(), size());
        m_last = event->pos();
    } else {
        QWidget::mouseMoveEvent(event);
    }
    emit cursorMoved(view().toGround(event->localPos(), size()),
                     m_plan.pointAt(event->pos(), size()));
}

void frmDraw::leaveEvent(QEvent *event)
{
    emit cursorLeft();
    QWidget::leaveEvent(event);
}

void frmDraw::wheelEvent(QWheelEvent *event)
{
    // Fine-grained wheels send fractions of a notch: they add up to whole steps.
    const qint64 total = qint64(m_wheelDelta) + event->angleDelta().y();
    const qint64 steps = total / kWheelStep;
    m_wheelDelta = int(total - steps * kWheelStep);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    const QPointF position = event->position();
#else
    const QPointF position = event->posF();
#endif
    if (steps != 0)
        m_plan.zoomAbout(int(qBound<qint64>(-DrawingView::kMaxZoomLevel * 2, steps,
                                            DrawingView::kMaxZoomLevel * 2)),
                         position, size());
    event->accept();
}

void frmDraw::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    draw(painter, size());
}
