#ifndef COLOURNEAR_H
#define COLOURNEAR_H

#include <QColor>

// True when each channel of `actual` is within `tolerance` of `expected` (antialiased edges).
bool colourNear(const QColor &actual, const QColor &expected, int tolerance = 8);

#endif // COLOURNEAR_H
