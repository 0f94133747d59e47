#include "drwdrawing.h"

qint32 DrwDrawing::link(int i, int j) const
{
    if (i < 0 || i >= links.size())
        return 0;
    const QVector<qint32> &row = links.at(i);
    return j >= 0 && j < row.size() ? row.at(j) : 0;
}

bool DrwDrawing::isLinked(int i, int j) const
{
    // Summed in 64 bits: two large entries must not overflow into a negative sum.
    return qint64(link(i, j)) + qint64(link(j, i)) > 0;
}

QVector<QPair<int, int>> DrwDrawing::linkedPairs() const
{
    // Both entries of a pair past the rows the file held are 0, so only pairs with i among those
    // rows can be linked: the work stays within the bytes read, whatever N the file claims.
    QVector<QPair<int, int>> pairs;
    const int n = points.size();
    const int rows = qMin(links.size(), n);
    for (int i = 0; i < rows; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (isLinked(i, j))
                pairs.append({i, j});
        }
    }
    return pairs;
}

QVector<bool> DrwDrawing::fixedPoints() const
{
    if (absoluteEllipses.isEmpty())
        return {};
    QVector<bool> fixed(points.size(), true);
    for (const DrwRegion &ellipse : absoluteEllipses) {
        if (ellipse.point1 >= 1 && ellipse.point1 <= fixed.size() &&
            (ellipse.semiAxis1 != 0.0 || ellipse.semiAxis2 != 0.0))
            fixed[ellipse.point1 - 1] = false;
    }
    return fixed;
}
