#ifndef RESIDUALPLOT_H
#define RESIDUALPLOT_H

#include <QPolygonF>
#include <QRectF>
#include <QVector>

#include <array>

// Geometry of the residual graphs, in pixels of a plot `width` × `height` whose origin is the
// top-left corner. Bars are rectangles from their top down to the bottom edge (y = height).
namespace residualplot {

constexpr int kHistogramClassCount = 16;
constexpr double kHistogramFirstLimit = -3.5;
constexpr double kHistogramClassWidth = 0.5;
constexpr int kHistogramLimitCount = 15; // -3.5, -3.0, ..., 3.5
constexpr int kRankingTopGap = 19;       // the largest value stops this many pixels below the top

// Class of the normalized residual `value`: 0 below -3.5, j (1 to 14) from limit j-1 up to
// limit j excluded, 15 from 3.5 up (limit j = -3.5 + 0.5 j).
int histogramClass(double value);

// How many of `values` fall into each class.
std::array<int, kHistogramClassCount> histogramCounts(const QVector<double> &values);

// Width of one unit of the horizontal axis, which runs from -4 at x = 0 to +4 at 8 units.
int histogramUnit(int width);

// Left and right x of class `index` (0 to 15), as the left and right of the returned rectangle;
// its vertical extent is 0.
QRectF histogramClassSpan(int index, int width);

// One bar per class, reaching up to h − 2h·c/n for c of the n values; none for no values.
QVector<QRectF> histogramBars(const QVector<double> &values, int width, int height);

// The standard normal density at the histogram's scale (the bars of a normal sample follow it),
// from (0, height) through t = -4, -3.9, ..., 4.
QPolygonF densityCurve(int width, int height);

// Bars of |values| over the ranks `low` to `high` (ranks count from 1), side by side over the
// whole width, scaled so that |values[0]| reaches `height` less the top gap. Ranks outside the
// list draw nothing; so do an empty list, a first value that is 0 or not finite, and an empty
// range. Bars narrower than a pixel are merged into one per pixel column, taking the highest.
QVector<QRectF> rankingBars(const QVector<double> &values, double low, double high, int width,
                            int height);

// Axes. Ticks of a graph's axis: multiples of 1, 2 or 5 times a power of ten from `from` to `to`
// (both included when they fall on a multiple), at most `maxCount` of them; none for an empty or
// undefined interval.
QVector<double> axisTicks(double from, double to, int maxCount);

// Pixels per unit of |normalized residual| in the ranking chart (|values[0]| reaches the height
// less the top gap); 0 when the chart draws nothing.
double rankingScale(const QVector<double> &values, int height);

// Horizontal middle of the bar of `rank` (from 1) in the ranking chart over `low` to `high`.
double rankCentre(int rank, double low, double high, int width);

// Horizontal place of the normalized residual `t` in the histogram, -4 at 0 and 4 at 8 units.
double histogramX(double t, int width);

// Height of a class holding the `share` (0 to 1) of the values: half of them reach the top.
double histogramShareY(double share, int height);

} // namespace residualplot

#endif // RESIDUALPLOT_H
