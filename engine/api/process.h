#ifndef ENGINE_API_PROCESS_H
#define ENGINE_API_PROCESS_H

#include "engine/input/observationreader.h"
#include "engine/output/reportstream.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One processing: read the configuration and the observation files, adjust, and write the report
// (".log"), the result file (".fic") and the drawing file (".drw") beside the observation file.
// Each output is written whole or not at all (AtomicFile). The outputs of an earlier run are
// removed first, so that a failed run never leaves one to be taken for its own; an output that
// would replace one of the run's input files is refused before anything is touched.
namespace engine {

struct DrawingFile;

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
    int hints = 0;              // hints of the data check at mistakes of units and faces
    bool reportWritten = false; // the report is on the disk at its path
    std::string message;        // why outputs were refused or not written (Latin-1), else empty
};

struct ProcessOutput
{
    std::string reportPath;
    std::string resultPath;
    std::string drawingPath;
    // Latin-1 text with the platform's line ends; empty when it went to the report's stream.
    std::string report;
    std::string result;                         // bytes of the result file
    std::shared_ptr<const DrawingFile> drawing; // null when no drawing file is to be written
    // Simulated observations of a pre-analysis (GENE_LOG), empty when none are generated.
    std::string simulatedPath;
    std::string simulated;
    ProcessSummary summary;
};

// What the caller of runProcessing decided before the run, and the writers it hands the drawing
// and the report to: the report then says whether the drawing was written, and the result file
// whether the report was. A writer returns false with its reason when it could not write; without
// writers the outputs stay in memory.
struct OutputHandling
{
    std::vector<std::string> refusals; // errors found before the run (Latin-1): nothing is computed
    std::function<bool(const std::string &path, const DrawingFile &drawing, std::string &reason)>
        writeDrawing;
    // With it, what writeDrawing wrote stays pending, going to the disk while the report is made,
    // until this makes it final, before the report's commit; a drawing that fails then has the
    // report made again to say so.
    std::function<bool(const std::string &path, std::string &reason)> commitDrawing;
    // The stream the report at `path` is written to as it is made; its commit says whether it was
    // written.
    std::function<std::unique_ptr<ReportStream>(const std::string &path)> openReport;
    // The matrix files ([MATRICES]); none are made without it.
    std::function<bool(const std::string &path, const std::string &content, std::string &reason)>
        writeMatrix;

    // Writes the drawing and makes it final at once.
    bool writeDrawingNow(const std::string &path, const DrawingFile &drawing,
                         std::string &reason) const
    {
        return writeDrawing(path, drawing, reason) &&
               (!commitDrawing || commitDrawing(path, reason));
    }
};

// Runs the processing: files are read through `loader`, and nothing is written but through the
// writers of `handling`. Never throws: any failure ends up in the report and in the status.
ProcessOutput runProcessing(const std::string &observationPath,
                            const std::string &configurationPath, const FileLoader &loader,
                            const OutputHandling &handling = OutputHandling());

// Runs the processing on the disk and writes its outputs. When one of them would replace an
// input file (the observation files read, the configuration), or an output of an earlier run
// cannot be removed, nothing is computed: the outputs that can be written say why, and so does
// the summary's message. When an output cannot be written, the run fails. Never throws.
ProcessSummary processObservationFile(const std::string &observationPath,
                                      const std::string &configurationPath);

// Writes the default configuration at `path` (AtomicFile). Never throws.
bool writeDefaultConfiguration(const std::string &path);

} // namespace engine

#endif // ENGINE_API_PROCESS_H
