#ifndef WIDGETIMAGE_H
#define WIDGETIMAGE_H

#include <QColor>
#include <QImage>

class QWidget;

// Paints `widget` (at its current size) over an image filled with `background`, without the
// widget's own window background, so that what the widget leaves unpainted shows `background`.
QImage renderWidget(QWidget &widget, const QColor &background = Qt::black);

// True when each channel of `actual` is within `tolerance` of `expected` (antialiased edges).
bool colourNear(const QColor &actual, const QColor &expected, int tolerance = 8);

#endif // WIDGETIMAGE_H
