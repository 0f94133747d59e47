#ifndef REGIONRASTER_H
#define REGIONRASTER_H

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QSize>

#include <cstdint>
#include <vector>

// Paints the confidence and reliability regions of the network drawing into a transparent layer,
// one family after another: each family's areas are filled with its fill colour, and its outlines,
// the band a pen of the given width covers along the edge of each region, laid over them in its
// outline colour, antialiased.
//
// A large network has tens of thousands of regions, which the painter would take some tens of
// microseconds each to fill and stroke. Regions are ellipses and rectangles, which are convex, so
// here each is rasterised row by row into two coverage masks, the areas and the outlines, and each
// family is composited once; horizontal bands of the layer are painted on several threads. Where
// regions of one family overlap their union is filled once, so the overlap is no darker than the
// rest, and every outline of a family lies over every area of it.
class RegionRaster
{
public:
    enum class Shape { Ellipse, Rectangle };

    // A transparent layer of `size` pixels.
    explicit RegionRaster(const QSize &size);

    // Starts a family whose regions have `shape`, are filled with `fill` (with its own alpha) and
    // outlined in `outline` by a pen `penWidth` pixels wide, dashed like a dashed pen with round
    // caps when `dashed`. Families are painted in the order they are begun.
    void beginFamily(Shape shape, double penWidth, bool dashed, const QColor &fill,
                     const QColor &outline);
    // Adds to the family the region centred at `centre` (pixels from the top left corner of the
    // layer) with half-axes of `a` and `b` pixels, its first half-axis turned `theta` degrees
    // counter-clockwise on screen from the rightward axis. Half-axes are taken as their absolute
    // values, at most a million pixels; a region with a value not finite, or wholly outside the
    // layer, is left out.
    void add(const QPointF &centre, double a, double b, double theta);

    // Paints the families added so far, on up to `threads` threads, and returns the layer; a null
    // image when no family was begun. Adding regions only records them: the work is done here,
    // on whichever thread calls this.
    QImage paint(int threads);

private:
    struct Region
    {
        double cx = 0.0;
        double cy = 0.0;
        double a = 0.0;
        double b = 0.0;
        double cos = 1.0;
        double sin = 0.0;
        double halfHeight = 0.0; // farthest row offset the region reaches
        double leftmostX = 0.0;  // its leftmost and rightmost points
        double leftmostDy = 0.0;
        double rightmostX = 0.0;
        double rightmostDy = 0.0;
        // Ellipse: the quadratic form A dx^2 + 2 B dx dy + C dy^2 = 1 of its edge.
        double qa = 0.0;
        double qb = 0.0;
        double qc = 0.0;
        // Rectangle: its corners.
        double cornerX[4] = {};
        double cornerY[4] = {};
        // The same in single precision, for the pixels.
        float aF = 0.0f;
        float bF = 0.0f;
        float cosF = 1.0f;
        float sinF = 0.0f;
        float inverseA2 = 0.0f;
        float inverseB2 = 0.0f;
        int arcIndex = -1; // dashed ellipse: its arc length table in the family's list
    };

    // A region as added: its centre, half-axes and turn.
    struct Given
    {
        double cx;
        double cy;
        double a;
        double b;
        double theta;
    };

    struct Family
    {
        Shape shape;
        double halfPen;
        bool dashed;
        std::uint32_t fillPixel;    // premultiplied
        std::uint32_t outlinePixel; // premultiplied
        std::vector<Given> given;   // as added, worked out when painted
        std::vector<Region> regions;
        // Dashed ellipses: arc length along the edge at evenly spaced pseudo-angles.
        std::vector<double> arcs;
    };

    // Masks and the columns they touched, for one band of rows.
    struct Scratch
    {
        std::vector<std::uint8_t> area;
        std::vector<std::uint8_t> outline;
        std::vector<int> dirtyFirst;
        std::vector<int> dirtyLast;
    };

    // The span of the region on the line dy below its centre; false when the line misses it.
    template <bool IsEllipse>
    static bool span(const Region &r, double dy, double &left, double &right);
    // Works out a region added to `family`, unless it lies wholly outside the layer.
    void setUp(Family &family, const Given &given) const;
    void setUpEllipse(Family &family, Region &r) const;
    static void setUpRectangle(Region &r);
    // Paints the rows top to end (excluded), at most a band of them.
    void paintBand(int top, int end, Scratch &scratch);
    // Adds a family's regions to the masks of the band from `top` to `end` (excluded).
    template <bool IsEllipse, bool Dashed>
    void rasterise(const Family &family, int top, int end, Scratch &scratch);
    template <bool IsEllipse, bool Dashed>
    void rasteriseRow(const Family &family, const Region &r, int row, int bandTop,
                      Scratch &scratch);
    // Outlines the columns first to end (excluded) of a row.
    template <bool IsEllipse, bool Dashed>
    void outlinePixels(const Family &family, const Region &r, int row, int bandTop, int first,
                       int end, Scratch &scratch);
    void composite(const Family &family, int top, int end, Scratch &scratch);

    int m_width;
    int m_height;
    QImage m_layer;
    uchar *m_bits = nullptr;
    std::vector<Family> m_families;
};

#endif // REGIONRASTER_H
