#ifndef WIDGETIMAGE_H
#define WIDGETIMAGE_H

#include "colournear.h"

#include <QColor>
#include <QImage>

class QWidget;

// Paints `widget` (at its current size) over an image filled with `background`, without the
// widget's own window background, so that what the widget leaves unpainted shows `background`.
QImage renderWidget(QWidget &widget, const QColor &background = Qt::black);

#endif // WIDGETIMAGE_H
