#ifndef ENGINE_OUTPUT_SIMULATEDOBSERVATIONS_H
#define ENGINE_OUTPUT_SIMULATEDOBSERVATIONS_H

#include "engine/input/observationreader.h"
#include "engine/model/localmodel.h"
#include "engine/model/network.h"
#include "engine/model/options.h"

#include <cstdint>
#include <string>
#include <vector>

// Simulated observations (GENE_LOG), written alongside a pre-analysis: the record lines of the
// observation files, includes expanded, in one file, each DIST, DIR, AZIM, ZANG and OHDF value
// replaced by the value computed from the approximate coordinates plus, with GENE_NOISE BLANC or
// UNIT, a normally distributed error of the observation's standard deviation. The directions of
// a set are read on a circle turned by an orientation drawn by GENE_LIMBE. Observed positions keep
// their lines as written.
namespace engine {

struct SimulatedObservations
{
    std::string text; // Latin-1, lines ended by `lineEnd`
    std::uint32_t seed = 0;
    int generated = 0;         // values written
    int kept = 0;              // record lines copied as they were
    double largestError = 0.0; // largest |error| / sigma drawn
};

// The simulated file of `network` read from `source` (its lines not released), at `state` (the
// approximate coordinates), drawn with `seed`.
SimulatedObservations simulateObservations(const Network &network, const ObservationSource &source,
                                           const State &state, const Options &options,
                                           std::uint32_t seed, const char *lineEnd);

} // namespace engine

#endif // ENGINE_OUTPUT_SIMULATEDOBSERVATIONS_H
