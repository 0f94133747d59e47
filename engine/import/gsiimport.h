#ifndef ENGINE_IMPORT_GSIIMPORT_H
#define ENGINE_IMPORT_GSIIMPORT_H

#include "engine/import/importconversion.h"

// Leica GSI-8 and GSI-16 total-station files. A line is one block of words separated by blanks;
// a word is 15 (GSI-8) or 23 (GSI-16) characters: word index in positions 1-2, word information
// in 3-6 (position 6 the unit of a measured word), the sign in 7, the data, without a decimal
// point, in 8 to the end. GSI-16 lines may begin with "*".
//   station block       11 84 85 86 88   coordinates and instrument height of the station
//   known point         11 81 82 83      coordinates of a point
//   polar measurement   11 21 22 31 (or 32 with 33) 87 [81 82 83]
// Station blocks give HI, a new direction set (DSET) and, with their coordinates, a fixed point;
// measurements give DIR, ZANG and DIST (HT from the reflector height); known points give fixed
// coordinate records (LENU, or NEO with that option); coordinates measured with a target give
// free approximate coordinates. A target measured again under the same station starts a new
// direction set. Face-two readings (zenith angle over half a circle) are reduced to face one.
// Observations refer to the precision families "HZ" (directions), "ZEN" (zenith angles) and
// "DST" (distances), which the surveyor defines.
namespace engine::import {

Conversion convertGsi(std::string_view content, ImportContext &context,
                      const ImportOptions &options);

} // namespace engine::import

#endif // ENGINE_IMPORT_GSIIMPORT_H
