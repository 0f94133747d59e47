#ifndef DRWDRAWING_H
#define DRWDRAWING_H

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// One adjusted point in plan. Coordinates are in metres.
struct DrwPoint
{
    QString name;
    double x = 0.0; // horizontal plane coordinate, drawn to the right
    double y = 0.0; // vertical plane coordinate, drawn upwards
    double z = 0.0; // further coordinate, not drawn
};

// A two-dimensional confidence ellipse or reliability rectangle, for one point (point2 is 0 for an
// absolute region and equals point1 for a region between epochs) or for a pair of points.
struct DrwRegion
{
    int point1 = 0; // point numbers, from 1
    int point2 = 0;
    double semiAxis1 = 0.0; // metres
    double semiAxis2 = 0.0; // metres
    double bearing = 0.0;   // of the first half-axis, degrees clockwise from the vertical axis
    int epoch = 0;          // from 1
};

// The adjusted network of a drawing file (".drw"), as the engine writes it beside an observation
// file: points with their names and plane coordinates, which points are linked by observations,
// and the regions of every family, each tagged with its epoch.
struct DrwDrawing
{
    QString fileName; // last path component of the file read
    int epochCount = 0;
    int pointCount = 0; // points read: the sizes of pointNames and points
    QStringList pointNames;
    QVector<DrwPoint> points;
    // Row i holds entry (i, j) at position j. A truncated file holds only the rows it reached,
    // its last row padded with zeros: entries beyond count as 0 (see link()).
    QVector<QVector<qint32>> links;
    QVector<DrwRegion> absoluteEllipses;
    QVector<DrwRegion> relativeEllipses;
    QVector<DrwRegion> absoluteRectangles;
    QVector<DrwRegion> relativeRectangles;
    QVector<DrwRegion> epochEllipses;
    QVector<DrwRegion> epochRectangles;

    // Entry (i, j) of the link matrix, indices from 0; 0 outside the matrix.
    qint32 link(int i, int j) const;
    // Whether points i and j (indices from 0) are drawn as linked: entry (i, j) plus entry (j, i)
    // greater than 0.
    bool isLinked(int i, int j) const;
    // Every linked pair (i, j) with i < j, indices from 0, in row order.
    QVector<QPair<int, int>> linkedPairs() const;
    // Which points are fixed, by index from 0. The file names none, but the engine writes no
    // absolute ellipse for a point whose plane coordinates are both fixed: once the file holds
    // absolute ellipses, a point with none of any epoch, or only flat ones (both half-axes 0), is
    // fixed. Empty when the file holds no absolute ellipse, as then fixity cannot be told.
    QVector<bool> fixedPoints() const;
};

#endif // DRWDRAWING_H
