#ifndef ENGINE_API_MULTIEPOCH_H
#define ENGINE_API_MULTIEPOCH_H

#include "engine/api/process.h"
#include "engine/base/diagnostics.h"
#include "engine/input/observationreader.h"
#include "engine/model/options.h"

#include <string>

// A multi-epoch processing (MEP_MODE OUI): the epochs of the observation files are adjusted one
// by one, each with its statistics, tests and report section, then each is compared with the one
// before it or with the first (MEP_FROM0). The result file holds the observations of every epoch,
// ranked together, and the drawing file the points of every epoch with their regions and the
// regions of the displacements between epochs.
namespace engine {

// Fills the report, the result and the drawing of `output` and its summary. `diagnostics` holds
// what the reading of the configuration and of the files found; `source` must hold its lines.
void runEpochs(const std::string &observationPath, const std::string &configurationPath,
               const Options &options, const ObservationSource &source,
               const Diagnostics &diagnostics, const OutputHandling &handling,
               ProcessOutput &output);

} // namespace engine

#endif // ENGINE_API_MULTIEPOCH_H
