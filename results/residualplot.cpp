#include "residualplot.h"

#include <algorithm>
#include <cmath>

namespace residualplot {

namespace {

constexpr double kNormalDensityPeak = 0.3989422804014327; // 1 / sqrt(2 pi)
constexpr int kDensityPointCount = 81;                    // t = -4.0, -3.9, ..., 4.0

} // namespace

int histogramClass(double value)
{
    // Counting the limits at or below the value keeps -3.5 in class 1 and 3.0 in class 14 exactly.
    static const std::array<double, kHistogramLimitCount> limits = [] {
        std::array<double, kHistogramLimitCount> l{};
        for (int j = 0; j < kHistogramLimitCount; ++j)
            l[j] = kHistogramFirstLimit + kHistogramClassWidth * j;
        return l;
    }();
    if (std::isnan(value))
        return kHistogramClassCount / 2; // a value that cannot be read counts as 0
    return int(std::upper_bound(limits.begin(), limits.end(), value) - limits.begin());
}

std::array<int, kHistogramClassCount> histogramCounts(const QVector<double> &values)
{
    std::array<int, kHistogramClassCount> counts{};
    for (double v : values)
        ++counts[histogramClass(v)];
    return counts;
}

int histogramUnit(int width)
{
    return std::max(width, 0) / 8;
}

QRectF histogramClassSpan(int index, int width)
{
    // Class j covers half a unit from -4 + 0.5 j, i.e. x from j·u/2 to (j+1)·u/2, in whole pixels.
    const int u = histogramUnit(width);
    const int left = index * u / 2;
    const int right = (index + 1) * u / 2;
    return QRectF(QPointF(left, 0), QPointF(right, 0));
}

QVector<QRectF> histogramBars(const QVector<double> &values, int width, int height)
{
    QVector<QRectF> bars;
    if (values.isEmpty())
        return bars;
    const std::array<int, kHistogramClassCount> counts = histogramCounts(values);
    const double n = values.size();
    bars.reserve(kHistogramClassCount);
    for (int j = 0; j < kHistogramClassCount; ++j) {
        const QRectF span = histogramClassSpan(j, width);
        const double top = std::floor(height - 2.0 * height * counts[j] / n);
        bars.append(QRectF(QPointF(span.left(), top), QPointF(span.right(), height)));
    }
    return bars;
}

QPolygonF densityCurve(int width, int height)
{
    const double u = histogramUnit(width);
    QPolygonF curve;
    curve.reserve(kDensityPointCount + 1);
    curve.append(QPointF(0, height));
    for (int i = 0; i < kDensityPointCount; ++i) {
        const double t = i / 10.0 - 4.0;
        // At the bars' scale: a class half a unit wide holding the share p of the values rises
        // 2hp, so a density f (share per unit) rises h·f. Twice that would set every normal
        // sample's bars at half the curve.
        const double y = height - kNormalDensityPeak * std::exp(-t * t / 2.0) * height;
        curve.append(QPointF((t + 4.0) * u, y));
    }
    return curve;
}

QVector<QRectF> rankingBars(const QVector<double> &values, double low, double high, int width,
                            int height)
{
    QVector<QRectF> bars;
    if (values.isEmpty())
        return bars;
    const double largest = std::abs(values.first());
    const double count = high - low + 1.0;
    if (!(largest > 0.0) || !std::isfinite(largest) || !(count > 0.0) || !std::isfinite(count))
        return bars;

    const double scale = (height - kRankingTopGap) / largest;
    const double barWidth = width / count;
    // The first bar belongs to rank floor(low); ranks below 1 keep their place but draw nothing.
    const double first = std::floor(low - 1.0);
    const int start = int(std::max(first, 0.0));
    const int end = int(std::min<double>(values.size(), std::ceil(high)));
    bars.reserve(std::min(end - start, width + 1) + 1);
    for (int i = start; i < end; ++i) {
        // Positions come from the rank itself, not from the previous rounded edge, so that bars
        // narrower than a pixel still advance and the chart fills the width.
        const double k = i - first;
        const double left = std::floor(k * barWidth);
        const double right = std::floor((k + 1.0) * barWidth);
        const double top =
            std::clamp(std::floor(height - std::abs(values.at(i)) * scale), -1.0, double(height));
        if (!bars.isEmpty() && bars.last().left() == left) {
            QRectF &merged = bars.last();
            merged.setTop(std::min(merged.top(), top));
            merged.setRight(std::max(merged.right(), right));
        } else {
            bars.append(QRectF(QPointF(left, top), QPointF(right, height)));
        }
    }
    return bars;
}

QVector<double> axisTicks(double from, double to, int maxCount)
{
    QVector<double> ticks;
    if (!std::isfinite(from) || !std::isfinite(to) || !(to > from) || maxCount < 1)
        return ticks;
    // The smallest step of 1, 2 or 5 times a power of ten giving at most maxCount ticks.
    const double rough = (to - from) / maxCount;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10.0 * power;
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    }
    // Integer multiples of the step, so that 0.3 is not written 0.30000000000000004.
    const double first = std::ceil(from / step - 1e-9);
    const double last = std::floor(to / step + 1e-9);
    for (double k = first; k <= last && ticks.size() <= maxCount; k += 1.0)
        ticks.append(k * step == 0.0 ? 0.0 : k * step);
    return ticks;
}

double rankingScale(const QVector<double> &values, int height)
{
    if (values.isEmpty())
        return 0.0;
    const double largest = std::abs(values.first());
    if (!(largest > 0.0) || !std::isfinite(largest))
        return 0.0;
    return (height - kRankingTopGap) / largest;
}

double rankCentre(int rank, double low, double high, int width)
{
    const double barWidth = width / (high - low + 1.0);
    return (rank - 1 - std::floor(low - 1.0) + 0.5) * barWidth;
}

double histogramX(double t, int width)
{
    return (t + 4.0) * histogramUnit(width);
}

double histogramShareY(double share, int height)
{
    return height - 2.0 * height * share;
}

} // namespace residualplot
