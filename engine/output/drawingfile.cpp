#include "engine/output/drawingfile.h"

#include "engine/base/atomicfile.h"
#include "engine/base/text.h"
#include "engine/output/binarywriter.h"

#include <algorithm>

namespace engine {

namespace {

void single(BinaryWriter &w, const std::vector<DrawingRegion> &regions)
{
    w.i64(static_cast<std::int64_t>(regions.size()));
    for (const DrawingRegion &r : regions) {
        w.i64(r.point1);
        w.i64(r.epoch);
        w.f64(r.shape.semiAxis1);
        w.f64(r.shape.semiAxis2);
        w.f64(r.shape.bearing);
    }
}

void pairs(BinaryWriter &w, const std::vector<DrawingRegion> &regions)
{
    w.i64(static_cast<std::int64_t>(regions.size()));
    for (const DrawingRegion &r : regions) {
        w.i64(r.point1);
        w.i64(r.point2);
        w.i64(r.epoch);
        w.f64(r.shape.semiAxis1);
        w.f64(r.shape.semiAxis2);
        w.f64(r.shape.bearing);
    }
}

bool planFixed(const Unknowns &unknowns, std::int64_t point)
{
    const auto &u = unknowns.point[static_cast<std::size_t>(point)];
    return u[0] < 0 && u[1] < 0;
}

} // namespace

std::string partialDrawingHint()
{
    return fr("Pour dessiner une partie du réseau, traitez-la à part : un fichier d'observations "
              "qui ne garde que ses points et les observations entre eux, avec les points de sa "
              "bordure fixés à leurs coordonnées ajustées.");
}

DrawingFile drawingOf(const Network &network, const AdjustmentOutcome &outcome,
                      const Regions &regions)
{
    DrawingFile d;
    for (std::size_t p = 0; p < network.points.size(); ++p) {
        d.names.push_back(network.points[p].name);
        // The geodetic models draw in their projection (grid north, east and the ellipsoidal
        // height), or without one in the tangent plane of their local coordinates.
        const Eigen::Vector3d enu =
            p >= outcome.state.coordinates.size() ? network.points[p].approximate
            : network.geodetic                    ? network.drawingOf(outcome.state.coordinates[p])
                                                  : outcome.state.coordinates[p];
        d.coordinates.emplace_back(enu.y(), enu.x(), enu.z());
    }

    std::vector<DrawingLink> links;
    links.reserve(network.observations.size());
    for (const Observation &o : network.observations)
        links.push_back({o.station, o.target, 1});
    std::sort(links.begin(), links.end(), [](const DrawingLink &a, const DrawingLink &b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    for (const DrawingLink &link : links) {
        if (!d.links.empty() && d.links.back().row == link.row &&
            d.links.back().column == link.column)
            ++d.links.back().count;
        else
            d.links.push_back(link);
    }

    const RegionRow &confidence = regions.options.confidence[1];
    const RegionRow &reliability = regions.options.reliability[1];
    const double k = regions.confidenceFactors[1];
    const double delta = regions.noncentralities[1];
    if (confidence.absolute) {
        for (const PointCovariance &c : regions.points) {
            if (!planFixed(outcome.unknowns, c.point1))
                d.absoluteEllipses.push_back(
                    {c.point1 + 1, 0, 1, ellipse(pairBlock(c.covariance, 0), k)});
        }
    }
    if (confidence.relative) {
        for (const PointCovariance &c : regions.pairs) {
            if (!planFixed(outcome.unknowns, c.point1) || !planFixed(outcome.unknowns, c.point2))
                d.relativeEllipses.push_back(
                    {c.point1 + 1, c.point2 + 1, 1, ellipse(pairBlock(c.covariance, 0), k)});
        }
    }
    if (reliability.absolute) {
        for (const ReliabilityBox &b : regions.reliability.points) {
            if (b.observations > 0 && !planFixed(outcome.unknowns, b.point1))
                d.absoluteRectangles.push_back(
                    {b.point1 + 1, 0, 1, rectangle(delta * b.extent(0), delta * b.extent(1))});
        }
    }
    if (reliability.relative) {
        for (const ReliabilityBox &b : regions.reliability.pairs) {
            if (b.observations > 0 &&
                (!planFixed(outcome.unknowns, b.point1) || !planFixed(outcome.unknowns, b.point2)))
                d.relativeRectangles.push_back(
                    {b.point1 + 1, b.point2 + 1, 1,
                     rectangle(delta * b.extent(0), delta * b.extent(1))});
        }
    }
    return d;
}

bool writeDrawingFile(AtomicFile &file, const DrawingFile &drawing)
{
    BinaryWriter w(file);
    const auto n = static_cast<std::int64_t>(drawing.names.size());
    w.i64(drawing.epochCount);
    w.i64(n);
    for (const std::string &name : drawing.names)
        w.text(name);
    for (const Eigen::Vector3d &c : drawing.coordinates) {
        w.f64(c(0));
        w.f64(c(1));
        w.f64(c(2));
    }
    // The matrix is nearly all zeros: the zeros between two counts, across the ends of rows, go
    // to the file as one run, which the writer leaves as a hole when it is long.
    std::size_t zeros = 0;
    auto link = drawing.links.begin();
    for (std::int64_t i = 0; i < n; ++i) {
        std::int64_t next = 0; // the row's first column not written yet
        for (; link != drawing.links.end() && link->row == i; ++link) {
            if (link->column < next || link->column >= n)
                continue;
            zeros += static_cast<std::size_t>(link->column - next) * 8;
            w.zeros(zeros);
            zeros = 0;
            w.i64(link->count);
            next = link->column + 1;
        }
        zeros += static_cast<std::size_t>(n - next) * 8;
    }
    w.zeros(zeros);
    single(w, drawing.absoluteEllipses);
    pairs(w, drawing.relativeEllipses);
    single(w, drawing.absoluteRectangles);
    pairs(w, drawing.relativeRectangles);
    single(w, drawing.epochEllipses);
    single(w, drawing.epochRectangles);
    if (!w.flush())
        return false;
    file.startFlush();
    return true;
}

bool writeDrawingFile(const std::string &path, const DrawingFile &drawing, std::string *error)
{
    AtomicFile file(path);
    const bool written = writeDrawingFile(file, drawing) && file.commit();
    if (!written && error)
        *error = file.error();
    return written;
}

} // namespace engine
