#ifndef ENGINE_OUTPUT_DEFORMATIONREPORT_H
#define ENGINE_OUTPUT_DEFORMATIONREPORT_H

#include "engine/estimation/congruence.h"
#include "engine/model/options.h"

#include <string>
#include <vector>

// The report's sections of a multi-epoch analysis: the list of the epochs, and for each
// comparison the displacements of the points with their standard deviations, then the congruence
// tests, step by step, and each point's verdict.
namespace engine {

// The heading of the epochs and the banner of each epoch's section (Latin-1 names).
std::string epochListReport(const std::vector<std::string> &names, const EpochOptions &options,
                            const char *lineEnd);
std::string epochBanner(int index, const std::string &name, const char *lineEnd);

std::string deformationReport(const std::vector<std::string> &names,
                              const std::vector<EpochComparison> &comparisons,
                              const EpochOptions &options, int decimals, const char *lineEnd);

} // namespace engine

#endif // ENGINE_OUTPUT_DEFORMATIONREPORT_H
