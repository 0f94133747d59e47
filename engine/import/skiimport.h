#ifndef ENGINE_IMPORT_SKIIMPORT_H
#define ENGINE_IMPORT_SKIIMPORT_H

#include "engine/import/importconversion.h"

// Leica SKI ASCII baseline exports. Header lines "@%key: value" must say the unit "m", the
// coordinate type "Cartesian" and the reference ellipsoid WGS 1984; a file that says otherwise,
// or has no such header, is refused whole. Records, the kind in the first two characters and a
// point id in columns 3 to 18:
//   @#  a point: id, X Y Z, then a class and further values not used here
//   @&  after @# or @+: m0 and six cofactors of that point; m0 <= 0 marks a fixed point
//   @+  a baseline starts: reference id and its X Y Z
//   @-  the rover of the baseline: id, dX dY dZ
//   @=  m0 then qxx qxy qxz qyy qyz qzz; covariance = m0^2 q
// Each baseline becomes a 3DD block: 3DD, DXYZ, then COV CT and two ELEM lines in square metres.
// With the points asked for, the points (@# and the references of @+) become XYZ records, fixed
// when their @& says so; with the covariances asked for too, each point with a usable @& matrix
// is written in a 3DC block. Other records (antenna heights, epochs, names, ellipses) are
// reported as comments: they are not converted.
namespace engine::import {

Conversion convertSki(std::string_view content, ImportContext &context,
                      const ImportOptions &options);

} // namespace engine::import

#endif // ENGINE_IMPORT_SKIIMPORT_H
