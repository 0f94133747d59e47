#ifndef ENGINE_IMPORT_GRIDREADERS_H
#define ENGINE_IMPORT_GRIDREADERS_H

#include "engine/import/geoidgrid.h"

#include <optional>
#include <string>
#include <string_view>

// Readers of the geoid undulation grids the engine converts, told apart by their content:
//   GeographicLib PGM   "P5", comment lines "# Offset" and "# Scale", width, height, 65535, then
//                       big-endian 16-bit values from the north pole down, each row eastwards
//                       from longitude 0; height = Offset + Scale x value
//   ISG 2.0             a text header between "begin_of_head" and "end_of_head" (key ":" or "="
//                       value), then the values row by row from north to south; geodetic
//                       coordinates in degrees or DMS; grid or cell registration told by whether
//                       (max - min) / delta equals the number of rows less one or the number
//   IGN ASCII           a first line "lonmin lonmax latmin latmax dlon dlat order coordinates
//                       values-per-node precision translation description", then the nodes in
//                       one of four orders, each "value", "lon lat value", with an accuracy
//                       after the value when the precision flag is 1
//   NOAA GTX            a 40-byte big-endian header (south latitude, west longitude, latitude
//                       and longitude spacing as float64, rows and columns as int32), then
//                       float32 values (float64 in older files, told by the size) from south to
//                       north, each row from west to east; -88.8888 means no value
// No count or size read from a file is trusted: each is checked against the bytes present first.
namespace engine::import {

// The grid held by `bytes` in one of the four forms, or no value with the reason (Latin-1).
std::optional<GeoidGrid> readGeoidGrid(std::string_view bytes, std::string &reason);

// Converts the grid file `inputPath` into the engine's ".geo" file `outputPath` (Latin-1 paths),
// written whole or not at all (AtomicFile). An unreadable input, or an output that is the input
// itself, writes nothing. Returns why nothing was written (one Latin-1 sentence), or an empty
// text when the output was written. Never throws.
std::string convertGeoidFile(const std::string &inputPath, const std::string &outputPath);

} // namespace engine::import

#endif // ENGINE_IMPORT_GRIDREADERS_H
