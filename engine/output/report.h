#ifndef ENGINE_OUTPUT_REPORT_H
#define ENGINE_OUTPUT_REPORT_H

#include "engine/base/diagnostics.h"
#include "engine/estimation/adjustment.h"
#include "engine/estimation/datacheck.h"
#include "engine/estimation/gnssloops.h"
#include "engine/estimation/regions.h"
#include "engine/estimation/robustestimation.h"
#include "engine/estimation/statistics.h"
#include "engine/estimation/variancecomponents.h"
#include "engine/model/network.h"
#include "engine/model/options.h"
#include "engine/output/reportstream.h"
#include "engine/output/simulatedobservations.h"

#include <string>
#include <vector>

// The report (".log"): French plain text, Latin-1, whose sections follow the LOG_* keys of the
// configuration. The residual section starts with the heading "INFORMATION SUR LES RESIDUS"; in
// it each observation starts with a line "#" followed by its rank right-aligned in 11 characters,
// which the workbench searches for to show an observation of the residual window.
namespace engine {

// A multi-epoch run writes its report in parts: the opening (heading, files, options and the
// messages of the run before its epochs) once, the sections of each epoch, then the closing (the
// messages that came after the epochs and the closing line).
enum class ReportPart { Whole, Opening, Epoch, Closing };

struct ReportInput
{
    ReportPart part = ReportPart::Whole;
    // For the closing part: the errors of the whole run, and whether it went to its end.
    int runErrors = 0;
    bool runFinished = false;
    std::string observationPath;
    std::string configurationPath;
    std::vector<std::string> files;
    const Options *options = nullptr;     // null when the configuration could not be read
    const Network *network = nullptr;     // null when the files could not be read
    const DataCheck *dataCheck = nullptr; // null when the adjustment was not attempted
    const GnssLoops *gnssLoops = nullptr; // likewise
    const AdjustmentOutcome *outcome = nullptr;
    const RobustOutcome *robust = nullptr;     // null unless a robust estimate converged
    const VarianceOutcome *variance = nullptr; // null unless variance components were estimated
    const Statistics *statistics = nullptr;    // null unless the adjustment succeeded
    const Regions *regions = nullptr;          // null unless the adjustment succeeded
    const Diagnostics *diagnostics = nullptr;
    // The simulated observations of a pre-analysis (GENE_LOG) and their file, or null.
    const SimulatedObservations *simulated = nullptr;
    std::string simulatedPath;
};

// The heading of the residual section and the key line of one observation in it.
constexpr const char kResidualHeading[] = "INFORMATION SUR LES RESIDUS";
std::string residualKey(int rank);

std::string writeReport(const ReportInput &input, const char *lineEnd);
// The same text handed to `stream` in pieces as it is made.
void writeReport(const ReportInput &input, const char *lineEnd, ReportStream &stream);

} // namespace engine

#endif // ENGINE_OUTPUT_REPORT_H
