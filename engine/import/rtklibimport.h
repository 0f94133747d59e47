#ifndef ENGINE_IMPORT_RTKLIBIMPORT_H
#define ENGINE_IMPORT_RTKLIBIMPORT_H

#include "engine/import/importconversion.h"

// RTKLib solution files (".pos"). Header lines begin with "%"; the last one names the columns,
// and its position label gives the form of the solutions and the field separator (the character
// after the label): "x-ecef(m)" geocentric X Y Z, "latitude(deg)" latitude, longitude and
// ellipsoidal height in degrees, "latitude(d'\")" the same in degrees, minutes and seconds,
// "e-baseline(m)" east, north and up from the reference position. Each data line holds the time
// (date and time, or GPS week and seconds), the position, the quality Q (1 to 6), the number of
// satellites, three standard deviations and three signed square roots of covariances
// (covariance = sign(v) v^2), then the age and the ratio.
// Each solution becomes a point record (XYZ, PLH, or LENU for the baseline form), named after the
// input file, with its covariance as a 3DC block when asked for (COV CT for X Y Z, COV LG in the
// order east, north, up otherwise). The reference position of the header ("% ref pos") is
// written as a fixed point when the points are asked for.
namespace engine::import {

Conversion convertRtkLib(std::string_view content, ImportContext &context,
                         const ImportOptions &options);

} // namespace engine::import

#endif // ENGINE_IMPORT_RTKLIBIMPORT_H
