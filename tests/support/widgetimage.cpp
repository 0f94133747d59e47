#include "widgetimage.h"

#include <QWidget>

QImage renderWidget(QWidget &widget, const QColor &background)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
