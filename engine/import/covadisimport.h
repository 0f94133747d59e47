#ifndef ENGINE_IMPORT_COVADISIMPORT_H
#define ENGINE_IMPORT_COVADISIMPORT_H

#include "engine/import/importconversion.h"

// Covadis géobase files. No description of their layout is public beyond this: a text file with
// one item per line, each line holding a line number, an element type (station, reference,
// measurement, point, comment, code) and its parameters. Neither the element type codes nor the
// order, units and meaning of the parameters are known, so no line can be turned into a record
// without guessing: every non-blank line is reported as a comment saying so, and the surveyor
// keeps the field data in view. A file that is not text is refused.
namespace engine::import {

Conversion convertCovadis(std::string_view content, ImportContext &context);

} // namespace engine::import

#endif // ENGINE_IMPORT_COVADISIMPORT_H
