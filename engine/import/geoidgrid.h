#ifndef ENGINE_IMPORT_GEOIDGRID_H
#define ENGINE_IMPORT_GEOIDGRID_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The engine's geoid grid: undulations at the nodes of a regular latitude-longitude grid, and the
// engine's own file for it (".geo"), little-endian binary:
//   offset  size  field
//        0     8  the characters "TAVLOGEO"
//        8     8  I64 layout version, 1
//       16     8  I64 form of the source grid: 1 ISG, 2 NOAA GTX, 3 GeographicLib PGM, 4 IGN
//       24     8  F64 latitude of the southern row of nodes, degrees
//       32     8  F64 longitude of the western column of nodes, degrees
//       40     8  F64 spacing of the rows, degrees (> 0)
//       48     8  F64 spacing of the columns, degrees (> 0)
//       56     8  I64 number of rows (>= 2)
//       64     8  I64 number of columns (>= 2)
//       72     8  I64 number of values, rows x columns
//       80        F32 undulations in metres, row by row from south to north, each row from west
//                 to east; NaN where the source has no value
// The file is exactly 80 + 4 x values bytes long. Values are at the nodes (no cell centres). A
// grid whose columns go round the whole earth wraps from its last column to its first.
namespace engine::import {

enum class GridSource { Isg = 1, Gtx = 2, Pgm = 3, Ign = 4 };

struct GeoidGrid
{
    GridSource source = GridSource::Isg;
    double south = 0.0;   // degrees
    double west = 0.0;    // degrees
    double latStep = 0.0; // degrees
    double lonStep = 0.0; // degrees
    std::int64_t rows = 0;
    std::int64_t columns = 0;
    std::vector<float> values; // rows x columns, south row first, west to east; NaN: no value

    // The value at row `row` (0 south) and column `column` (0 west).
    float at(std::int64_t row, std::int64_t column) const
    {
        return values[static_cast<std::size_t>(row * columns + column)];
    }
    // Whether the columns cover the whole circle of longitude.
    bool wrapsAround() const;
    // The undulation in metres at `latitude`, `longitude` (degrees) by bilinear interpolation of
    // the four surrounding nodes; no value outside the grid or next to a node without value.
    std::optional<double> undulation(double latitude, double longitude) const;
};

// Why a grid cannot be a geoid grid of the engine (sizes, spacing, extent), or empty when it can.
std::string gridProblem(const GeoidGrid &grid);

// The bytes of the ".geo" file of `grid`.
std::string encodeGeoFile(const GeoidGrid &grid);

// The grid of a ".geo" file, or no value with the reason (Latin-1) in `reason`.
std::optional<GeoidGrid> decodeGeoFile(std::string_view bytes, std::string &reason);

// Reads the ".geo" file at the Latin-1 path `path`.
std::optional<GeoidGrid> readGeoFile(const std::string &path, std::string &reason);

} // namespace engine::import

#endif // ENGINE_IMPORT_GEOIDGRID_H
