#include "regionraster.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Half-axes are drawn at least this long, so that a flat region is a line the pen draws along
// and nothing divides by zero.
constexpr double kShortestHalfAxis = 1e-3;
// Half-axes are drawn at most this long, so that a damaged file or a large magnification cannot
// take the arithmetic beyond its range. The centre of a drawn region is near the layer, so within
// a layer of some thousands of pixels the shortened edge lies within a fraction of a pixel of the
// true one.
constexpr double kLongestHalfAxis = 1e6;
// More threads than this share the memory's bandwidth without gain.
constexpr int kMostThreads = 16;
// A dashed pen draws dashes four pen widths long with gaps of two; round caps lengthen each dash
// by half a pen width at both ends.
constexpr double kDashWidths = 4.0;
constexpr double kGapWidths = 2.0;
constexpr int kArcSteps = 32; // samples of a dashed ellipse's arc length, eight per quadrant
constexpr int kBandRows = 32; // rows painted by a thread at a time

// x * a / 255 on each of the four channels of a premultiplied pixel.
inline std::uint32_t byteMul(std::uint32_t x, std::uint32_t a)
{
    std::uint32_t t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return x | t;
}

inline std::uint32_t over(std::uint32_t destination, std::uint32_t source)
{
    return source + byteMul(destination, 255 - (source >> 24));
}

// Written as plain selections, which vectorise where the library's minimum and maximum,
// returning references, do not.
inline float larger(float x, float y)
{
    return x > y ? x : y;
}

inline float smaller(float x, float y)
{
    return x < y ? x : y;
}

inline float clamp01(float x)
{
    return smaller(larger(x, 0.0f), 1.0f);
}

inline std::uint8_t coverageByte(float cover)
{
    return std::uint8_t(int(cover * 255.0f + 0.5f));
}

// An angle-like measure of the direction (x, y), from 0 to 4 a quarter turn at a time, growing
// counter-clockwise from the x axis; cheaper than an arc tangent and as good for a table lookup.
inline float pseudoAngle(float x, float y)
{
    if (y >= 0.0f) {
        if (x > 0.0f)
            return y / (x + y);
        return y > 0.0f || x < 0.0f ? 1.0f + (-x) / (-x + y) : 0.0f;
    }
    if (x < 0.0f)
        return 2.0f + (-y) / (-x - y);
    return 3.0f + x / (x - y);
}

// The direction whose pseudo-angle is p.
void pseudoDirection(double p, double &x, double &y)
{
    const int quadrant = std::min(int(p), 3);
    const double f = p - quadrant;
    const double along[] = {1.0 - f, -f, -(1.0 - f), f};
    const double across[] = {f, 1.0 - f, -f, -(1.0 - f)};
    x = along[quadrant];
    y = across[quadrant];
}

// How much of a dashed pen `width` wide covers a point `along` the outline from its start, from
// 0 to 1. The first dash starts at the start of the outline, its cap reaching back half a width.
inline float dashCover(float along, float width)
{
    const float period = float(kDashWidths + kGapWidths) * width;
    const float dash = float(kDashWidths + 1.0) * width; // with its caps
    const float shifted = along + 0.5f * width;
    const float phase = shifted - period * std::floor(shifted / period);
    if (phase < dash)
        return clamp01(std::min(phase, dash - phase) + 0.5f);
    return clamp01(0.5f - std::min(phase - dash, period - phase));
}

} // namespace

RegionRaster::RegionRaster(const QSize &size)
    : m_width(std::max(size.width(), 0))
    , m_height(std::max(size.height(), 0))
{}

void RegionRaster::beginFamily(Shape shape, double penWidth, bool dashed, const QColor &fill,
                               const QColor &outline)
{
    Family family;
    family.shape = shape;
    family.halfPen = 0.5 * std::abs(penWidth);
    family.dashed = dashed;
    family.fillPixel = qPremultiply(fill.rgba());
    family.outlinePixel = qPremultiply(outline.rgba());
    m_families.push_back(std::move(family));
}

void RegionRaster::add(const QPointF &centre, double a, double b, double theta)
{
    if (m_families.empty() || !std::isfinite(centre.x()) || !std::isfinite(centre.y()) ||
        !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(theta))
        return;
    m_families.back().given.push_back({centre.x(), centre.y(), a, b, theta});
}

void RegionRaster::setUp(Family &family, const Given &given) const
{
    Region r;
    r.cx = given.cx;
    r.cy = given.cy;
    r.a = std::clamp(std::abs(given.a), kShortestHalfAxis, kLongestHalfAxis);
    r.b = std::clamp(std::abs(given.b), kShortestHalfAxis, kLongestHalfAxis);
    const double radians = given.theta * kPi / 180.0;
    r.cos = std::cos(radians);
    r.sin = std::sin(radians);
    r.aF = float(r.a);
    r.bF = float(r.b);
    r.cosF = float(r.cos);
    r.sinF = float(r.sin);
    r.inverseA2 = float(1.0 / (r.a * r.a));
    r.inverseB2 = float(1.0 / (r.b * r.b));
    if (family.shape == Shape::Ellipse)
        setUpEllipse(family, r);
    else
        setUpRectangle(r);
    const double reach = family.halfPen + 1.0;
    if (r.cx + r.rightmostX + reach < 0.0 || r.cx + r.leftmostX - reach > m_width ||
        r.cy + r.halfHeight + reach < 0.0 || r.cy - r.halfHeight - reach > m_height) {
        if (r.arcIndex >= 0)
            family.arcs.resize(std::size_t(r.arcIndex));
        return;
    }
    family.regions.push_back(r);
}

void RegionRaster::setUpEllipse(Family &family, Region &r) const
{
    // A point (dx, dy) from the centre lies on the edge where (u/a)^2 + (v/b)^2 = 1, with
    // u = cos dx - sin dy and v = sin dx + cos dy its coordinates along the half-axes.
    const double a2 = r.a * r.a;
    const double b2 = r.b * r.b;
    r.qa = r.cos * r.cos / a2 + r.sin * r.sin / b2;
    r.qb = r.cos * r.sin * (1.0 / b2 - 1.0 / a2);
    r.qc = r.sin * r.sin / a2 + r.cos * r.cos / b2;
    r.halfHeight = r.a * r.b * std::sqrt(r.qa);
    r.rightmostX = r.a * r.b * std::sqrt(r.qc);
    r.rightmostDy = -r.qb * r.a * r.b / std::sqrt(r.qc);
    r.leftmostX = -r.rightmostX;
    r.leftmostDy = -r.rightmostDy;
    if (!family.dashed)
        return;
    r.arcIndex = int(family.arcs.size());
    family.arcs.push_back(0.0);
    double previousU = r.a;
    double previousV = 0.0;
    for (int k = 1; k <= kArcSteps; ++k) {
        double x = 0.0;
        double y = 0.0;
        pseudoDirection(4.0 * k / kArcSteps, x, y);
        const double length = std::sqrt(x * x + y * y);
        const double u = r.a * x / length;
        const double v = r.b * y / length;
        family.arcs.push_back(family.arcs.back() + std::hypot(u - previousU, v - previousV));
        previousU = u;
        previousV = v;
    }
}

void RegionRaster::setUpRectangle(Region &r)
{
    // From the top left corner round, as a path round the rectangle takes them.
    const double cornerU[] = {-r.a, r.a, r.a, -r.a};
    const double cornerV[] = {-r.b, -r.b, r.b, r.b};
    int leftmost = 0;
    int rightmost = 0;
    for (int i = 0; i < 4; ++i) {
        r.cornerX[i] = cornerU[i] * r.cos + cornerV[i] * r.sin;
        r.cornerY[i] = -cornerU[i] * r.sin + cornerV[i] * r.cos;
        r.halfHeight = std::max(r.halfHeight, std::abs(r.cornerY[i]));
        if (r.cornerX[i] < r.cornerX[leftmost])
            leftmost = i;
        if (r.cornerX[i] > r.cornerX[rightmost])
            rightmost = i;
    }
    r.leftmostX = r.cornerX[leftmost];
    r.leftmostDy = r.cornerY[leftmost];
    r.rightmostX = r.cornerX[rightmost];
    r.rightmostDy = r.cornerY[rightmost];
}

template <bool IsEllipse>
bool RegionRaster::span(const Region &r, double dy, double &left, double &right)
{
    if (std::abs(dy) > r.halfHeight)
        return false;
    if constexpr (IsEllipse) {
        const double discriminant = std::max(r.qa - dy * dy / (r.a * r.a * r.b * r.b), 0.0);
        const double middle = -r.qb * dy / r.qa;
        const double half = std::sqrt(discriminant) / r.qa;
        left = middle - half;
        right = middle + half;
        return true;
    }
    bool found = false;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        const double y0 = r.cornerY[i];
        const double y1 = r.cornerY[j];
        if (dy < std::min(y0, y1) || dy > std::max(y0, y1))
            continue;
        double x = r.cornerX[i];
        double other = r.cornerX[j];
        if (y1 != y0)
            x = other = x + (dy - y0) / (y1 - y0) * (other - x);
        if (other < x)
            std::swap(x, other);
        left = found ? std::min(left, x) : x;
        right = found ? std::max(right, other) : other;
        found = true;
    }
    return found;
}

QImage RegionRaster::paint(int threads)
{
    if (m_families.empty())
        return QImage();
    for (Family &family : m_families) {
        for (const Given &given : family.given)
            setUp(family, given);
        family.given.clear();
    }
    m_layer = QImage(QSize(m_width, m_height), QImage::Format_ARGB32_Premultiplied);
    if (m_layer.isNull()) // no pixels, or no memory for them
        return m_layer;
    m_layer.fill(Qt::transparent);
    const int bands = (m_height + kBandRows - 1) / kBandRows;
    const int workers = std::clamp(threads, 1, std::max(std::min(bands, kMostThreads), 1));
    m_bits = m_layer.bits(); // taken once: the threads write disjoint rows through it
    std::atomic<int> next{0};
    const auto work = [&]() {
        Scratch scratch;
        const std::size_t cells = std::size_t(kBandRows) * std::size_t(m_width);
        scratch.area.assign(cells, 0);
        scratch.outline.assign(cells, 0);
        scratch.dirtyFirst.assign(std::size_t(kBandRows), INT_MAX);
        scratch.dirtyLast.assign(std::size_t(kBandRows), -1);
        for (int band = next++; band < bands; band = next++)
            paintBand(band * kBandRows, std::min((band + 1) * kBandRows, m_height), scratch);
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < workers; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    m_families.clear();
    return m_layer;
}

void RegionRaster::paintBand(int top, int end, Scratch &scratch)
{
    for (const Family &family : m_families) {
        if (family.shape == Shape::Ellipse) {
            if (family.dashed)
                rasterise<true, true>(family, top, end, scratch);
            else
                rasterise<true, false>(family, top, end, scratch);
        } else {
            if (family.dashed)
                rasterise<false, true>(family, top, end, scratch);
            else
                rasterise<false, false>(family, top, end, scratch);
        }
        composite(family, top, end, scratch);
    }
}

template <bool IsEllipse, bool Dashed>
void RegionRaster::rasterise(const Family &family, int top, int end, Scratch &scratch)
{
    // The band is drawn `reach` either side of the edge: the pen's half-width and half a pixel
    // of antialiasing.
    const double reach = family.halfPen + 0.5;
    for (const Region &r : family.regions) {
        const double first = std::max(std::floor(r.cy - r.halfHeight - reach), double(top));
        const double last = std::min(std::ceil(r.cy + r.halfHeight + reach), end - 1.0);
        for (double row = first; row <= last; ++row)
            rasteriseRow<IsEllipse, Dashed>(family, r, int(row), top, scratch);
    }
}

template <bool IsEllipse, bool Dashed>
void RegionRaster::rasteriseRow(const Family &family, const Region &r, int row, int bandTop,
                                Scratch &scratch)
{
    const std::size_t line = std::size_t(row - bandTop);
    int &dirtyFirst = scratch.dirtyFirst[line];
    int &dirtyLast = scratch.dirtyLast[line];
    const double dy = row + 0.5 - r.cy;
    double left = 0.0;
    double right = 0.0;
    // The area: pixels whose centre lies inside. Those along the edge are antialiased with the
    // outline.
    if (span<IsEllipse>(r, dy, left, right)) {
        const double first = std::max(std::ceil(r.cx + left - 0.5), 0.0);
        const double last = std::min(std::floor(r.cx + right - 0.5), m_width - 1.0);
        if (first <= last) {
            std::memset(scratch.area.data() + line * m_width + std::size_t(first), 255,
                        std::size_t(last - first + 1));
            dirtyFirst = std::min(dirtyFirst, int(first));
            dirtyLast = std::max(dirtyLast, int(last));
        }
    }

    // The outline on this row lies within `reach` of the region's span on the rows within
    // `reach`. The left end of a convex region's span is convex in dy, so over those rows it is
    // least at the region's leftmost point, or else at the end of those rows nearer to it; and
    // likewise on the right.
    const double reach = family.halfPen + 0.5;
    const double low = std::max(dy - reach, -r.halfHeight);
    const double high = std::min(dy + reach, r.halfHeight);
    if (low > high)
        return;
    double lowLeft = 0.0, lowRight = 0.0, highLeft = 0.0, highRight = 0.0;
    span<IsEllipse>(r, low, lowLeft, lowRight);
    span<IsEllipse>(r, high, highLeft, highRight);
    left = r.leftmostDy < low ? lowLeft : r.leftmostDy > high ? highLeft : r.leftmostX;
    right = r.rightmostDy < low ? lowRight : r.rightmostDy > high ? highRight : r.rightmostX;
    const double first = std::max(std::ceil(r.cx + left - reach - 0.5), 0.0);
    const double last = std::min(std::floor(r.cx + right + reach - 0.5), m_width - 1.0);
    if (first > last)
        return;
    dirtyFirst = std::min(dirtyFirst, int(first));
    dirtyLast = std::max(dirtyLast, int(last));
    // Pixels farther than `reach` inside the edge are skipped: those inside the spans of both
    // rows `reach` away, shrunk by `reach`.
    if (low == dy - reach && high == dy + reach) {
        const double gapFirst =
            std::max(std::floor(r.cx + std::max(lowLeft, highLeft) + reach - 0.5) + 1.0, first);
        const double gapLast =
            std::min(std::ceil(r.cx + std::min(lowRight, highRight) - reach - 0.5) - 1.0, last);
        if (gapFirst <= gapLast) {
            outlinePixels<IsEllipse, Dashed>(family, r, row, bandTop, int(first), int(gapFirst),
                                             scratch);
            outlinePixels<IsEllipse, Dashed>(family, r, row, bandTop, int(gapLast) + 1,
                                             int(last) + 1, scratch);
            return;
        }
    }
    outlinePixels<IsEllipse, Dashed>(family, r, row, bandTop, int(first), int(last) + 1, scratch);
}

template <bool IsEllipse, bool Dashed>
void RegionRaster::outlinePixels(const Family &family, const Region &r, int row, int bandTop,
                                 int first, int end, Scratch &scratch)
{
    const float reach = float(family.halfPen + 0.5);
    const float width = float(2.0 * family.halfPen);
    // The pixel's centre in the region's own frame (u along the first half-axis), a column at a
    // time; single precision keeps a tenth of a pixel within a million pixels of the centre.
    const double dx = first + 0.5 - r.cx;
    const double dy = row + 0.5 - r.cy;
    const float u0 = float(r.cos * dx - r.sin * dy);
    const float v0 = float(r.sin * dx + r.cos * dy);
    const float stepU = r.cosF;
    const float stepV = r.sinF;
    const float a = r.aF;
    const float b = r.bF;
    const float inverseA2 = r.inverseA2;
    const float inverseB2 = r.inverseB2;
    // No point inside an ellipse lies farther from its edge than its shorter half-axis.
    const float deepest = -std::min(a, b);
    const double *arc = Dashed && IsEllipse ? family.arcs.data() + r.arcIndex : nullptr;
    const std::size_t line = std::size_t(row - bandTop) * std::size_t(m_width);
    std::uint8_t *area = scratch.area.data() + line;
    std::uint8_t *outline = scratch.outline.data() + line;
    for (int i = first; i < end; ++i) {
        const float t = float(i - first);
        const float u = u0 + t * stepU;
        const float v = v0 + t * stepV;
        float distance;
        if constexpr (IsEllipse) {
            // With s^2 = (u/a)^2 + (v/b)^2, the function s - 1 over the length of its gradient:
            // the distance to first order, which is what matters within a pen width of the
            // edge, and exact for a circle.
            const float gu = u * inverseA2;
            const float gv = v * inverseB2;
            const float s = std::sqrt(u * gu + v * gv);
            const float gradient = larger(std::sqrt(gu * gu + gv * gv), 1e-30f);
            distance = larger((s - 1.0f) * s / gradient, deepest);
        } else {
            const float qu = std::abs(u) - a;
            const float qv = std::abs(v) - b;
            const float outU = larger(qu, 0.0f);
            const float outV = larger(qv, 0.0f);
            distance = std::sqrt(outU * outU + outV * outV) + smaller(larger(qu, qv), 0.0f);
        }
        float cover = clamp01(reach - std::abs(distance));
        if constexpr (Dashed) {
            float along;
            if constexpr (IsEllipse) {
                const float p = pseudoAngle(u / a, v / b) * (kArcSteps / 4.0f);
                const int step = std::clamp(int(p), 0, kArcSteps - 1);
                along = float(arc[step] + (p - step) * (arc[step + 1] - arc[step]));
            } else if (std::abs(u) - a > std::abs(v) - b) {
                // From the top left corner: the top side, the right, the bottom, the left.
                along = u > 0.0f ? 2.0f * a + std::clamp(v + b, 0.0f, 2.0f * b)
                                 : 4.0f * a + 2.0f * b + std::clamp(b - v, 0.0f, 2.0f * b);
            } else {
                along = v < 0.0f ? std::clamp(u + a, 0.0f, 2.0f * a)
                                 : 2.0f * a + 2.0f * b + std::clamp(a - u, 0.0f, 2.0f * a);
            }
            cover *= dashCover(along, width);
        }
        const std::uint8_t outlineByte = coverageByte(cover);
        const std::uint8_t areaByte = coverageByte(clamp01(0.5f - distance));
        outline[i] = outline[i] > outlineByte ? outline[i] : outlineByte;
        area[i] = area[i] > areaByte ? area[i] : areaByte;
    }
}

void RegionRaster::composite(const Family &family, int top, int end, Scratch &scratch)
{
    for (int row = top; row < end; ++row) {
        const std::size_t line = std::size_t(row - top);
        const int first = scratch.dirtyFirst[line];
        const int last = scratch.dirtyLast[line];
        if (first > last)
            continue;
        auto *pixels = reinterpret_cast<std::uint32_t *>(
            m_bits + std::size_t(row) * std::size_t(m_layer.bytesPerLine()));
        std::uint8_t *area = scratch.area.data() + line * m_width;
        std::uint8_t *outline = scratch.outline.data() + line * m_width;
        for (int i = first; i <= last; ++i) {
            const std::uint32_t a = area[i];
            const std::uint32_t o = outline[i];
            if ((a | o) == 0)
                continue;
            std::uint32_t pixel = pixels[i];
            if (a != 0)
                pixel = over(pixel, a == 255 ? family.fillPixel : byteMul(family.fillPixel, a));
            if (o != 0)
                pixel =
                    over(pixel, o == 255 ? family.outlinePixel : byteMul(family.outlinePixel, o));
            pixels[i] = pixel;
        }
        std::memset(area + first, 0, std::size_t(last - first + 1));
        std::memset(outline + first, 0, std::size_t(last - first + 1));
        scratch.dirtyFirst[line] = INT_MAX;
        scratch.dirtyLast[line] = -1;
    }
}
