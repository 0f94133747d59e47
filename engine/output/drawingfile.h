#ifndef ENGINE_OUTPUT_DRAWINGFILE_H
#define ENGINE_OUTPUT_DRAWINGFILE_H

#include "engine/estimation/adjustment.h"
#include "engine/estimation/regions.h"
#include "engine/model/network.h"

#include <Eigen/Core>

#include <cstdint>
#include <string>
#include <vector>

// The drawing file (".drw"): the adjusted network in plan for the network drawing window.
// Little-endian like the result file (I64 a signed 64-bit integer, F64 an IEEE 754 binary64 real,
// TEXT an I64 word count n then 8n Latin-1 bytes padded with blanks), in this order:
//   I64 E, the number of epochs (1: one epoch)
//   I64 N, the number of points, then N TEXT point names (points numbered from 1 in this order)
//   N x (F64 north, F64 east, F64 up): adjusted coordinates, metres
//   N x N I64, row by row: entry (i, j) the number of observations from station i to target j
//   six sections of regions, each an I64 count then its records:
//     absolute ellipses    (I64 point, I64 epoch, F64 half-axis 1, F64 half-axis 2, F64 bearing)
//     relative ellipses    (I64 point 1, I64 point 2, I64 epoch, F64, F64, F64)
//     absolute rectangles  as absolute ellipses
//     relative rectangles  as relative ellipses
//     ellipses between epochs, rectangles between epochs  as absolute ellipses (empty: one epoch)
// Half-axes are in metres, the bearing of the first half-axis in degrees clockwise from north.
// Ellipses are the 2D confidence regions of the plane (north, east) at the REG2D_CONF confidence;
// rectangles the 2D reliability regions of that plane with the FIA2D_CONF and FIA2D_BETA delta0.
// A point whose plane coordinates are both fixed has no region of its own.
namespace engine {

class AtomicFile;

// The link matrix grows as the square of the number of points (8 N^2 bytes) and the drawing
// window reads it whole: beyond this many points no drawing file is written.
constexpr std::size_t kMaxDrawingPoints = 5000;

// What the warning of a drawing not written for its size tells the user to do instead (Latin-1).
std::string partialDrawingHint();

struct DrawingRegion
{
    std::int64_t point1 = 0; // from 1
    std::int64_t point2 = 0; // from 1; 0 for a region of one point
    std::int64_t epoch = 1;
    Ellipse shape;
};

struct DrawingLink
{
    std::int64_t row = 0;    // station, from 0
    std::int64_t column = 0; // target, from 0
    std::int64_t count = 0;
};

struct DrawingFile
{
    std::int64_t epochCount = 1;
    std::vector<std::string> names;           // Latin-1
    std::vector<Eigen::Vector3d> coordinates; // north, east, up
    std::vector<DrawingLink> links;           // nonzero entries, row by row
    std::vector<DrawingRegion> absoluteEllipses;
    std::vector<DrawingRegion> relativeEllipses;
    std::vector<DrawingRegion> absoluteRectangles;
    std::vector<DrawingRegion> relativeRectangles;
    std::vector<DrawingRegion> epochEllipses;
    std::vector<DrawingRegion> epochRectangles;
};

// The drawing of an adjusted network and its regions.
DrawingFile drawingOf(const Network &network, const AdjustmentOutcome &outcome,
                      const Regions &regions);

// Writes `drawing` to `file`, whose writing to the disk is started but whose commit is left to the
// caller; the link matrix is written a row at a time rather than built in memory. False when a
// write failed (the reason is the file's error).
bool writeDrawingFile(AtomicFile &file, const DrawingFile &drawing);

// Writes `drawing` to `path` through an AtomicFile and commits it. False when it fails, with the
// reason in `error` when given, leaving the file at `path` as it was.
bool writeDrawingFile(const std::string &path, const DrawingFile &drawing,
                      std::string *error = nullptr);

} // namespace engine

#endif // ENGINE_OUTPUT_DRAWINGFILE_H
