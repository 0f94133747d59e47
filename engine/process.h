#ifndef ENGINE_PROCESS_H
#define ENGINE_PROCESS_H

#include "observationreader.h"

#include <memory>
#include <string>

// One processing: read the configuration and the observation files, adjust, and write the report
// (".log") and the result file (".fic") beside the observation file. The outputs are written to a
// temporary file then renamed; the result and drawing files of an earlier run are removed first,
// so that a failed run never leaves one to be taken for its own.
namespace engine {

struct DrawingFile;

// The engine's name and version, as the about box shows it (at most 23 characters).
constexpr const char kEngineVersion[] = "Tavlo engine 1.0.0";

struct ProcessSummary
{
    int status = 1; // 0 succeeded, 1 failed
    std::string calculation;
    int observations = 0;
    int unknowns = 0;
    double varianceFactor = 0.0;
    int chiSquare = 2; // 0 failed, 1 passed, 2 no outcome
    int iterations = 0;
    int errors = 0;
};

struct ProcessOutput
{
    std::string reportPath;
    std::string resultPath;
    std::string drawingPath;
    std::string report;                         // Latin-1 text with the platform's line ends
    std::string result;                         // bytes of the result file
    std::shared_ptr<const DrawingFile> drawing; // null when no drawing file is to be written
    ProcessSummary summary;
};

// Runs the processing in memory: files are read through `loader`, nothing is written. Never
// throws: any failure ends up in the report and in the status.
ProcessOutput runProcessing(const std::string &observationPath,
                            const std::string &configurationPath, const FileLoader &loader);

// Runs the processing on the disk and writes its outputs. Never throws.
ProcessSummary processObservationFile(const std::string &observationPath,
                                      const std::string &configurationPath);

// Writes the default configuration at `path` (temporary file then rename). Never throws.
bool writeDefaultConfiguration(const std::string &path);

// Writes `content` to `path` through a temporary file in the same folder, then renames it.
bool writeFileAtomically(const std::string &path, const std::string &content);

} // namespace engine

#endif // ENGINE_PROCESS_H
