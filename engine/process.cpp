#include "process.h"

#include "adjustment.h"
#include "angles.h"
#include "configuration.h"
#include "drawingfile.h"
#include "networkbuilder.h"
#include "regions.h"
#include "report.h"
#include "resultfile.h"
#include "statistics.h"
#include "text.h"

#include <cmath>
#include <fstream>
#include <new>
#include <stdexcept>

namespace engine {

namespace fs = std::filesystem;

namespace {

ResultFile resultOf(const std::string &reportPath, const std::vector<std::string> &files,
                    const Network *network, const AdjustmentOutcome *outcome,
                    const Statistics *statistics, const Options &options, bool succeeded)
{
    ResultFile r;
    r.status = succeeded ? 0 : 1;
    r.observationFiles = files;
    r.logFile = reportPath;
    r.angleUnit = static_cast<std::int64_t>(options.angleUnit);
    if (network) {
        for (const Point &p : network->points)
            r.pointNames.push_back(p.name);
    }
    if (outcome)
        r.iterationCount = outcome->iterations;
    if (!succeeded || !network || !outcome || !statistics)
        return r;
    r.observationCount = statistics->observations;
    r.unknownCount = statistics->unknowns;
    r.varianceFactor = statistics->varianceFactor;
    r.chiSquare = static_cast<std::int64_t>(statistics->chiSquare);
    r.auxiliaryValue = statistics->weightedSquares;
    r.validCount = statistics->validCount;
    const ResidualTest test = statistics->residualTest == ResidualTestKind::Tau ? ResidualTest::Tau
                              : statistics->residualTest == ResidualTestKind::Normal
                                  ? ResidualTest::Normal
                                  : ResidualTest::None;
    r.residualTest = static_cast<std::int64_t>(test);
    const double angleUnit = angleUnitInRadians(options.angleUnit);
    const double smallAngle = smallAngleUnitInRadians(options.angleUnit);
    for (int index : statistics->rankOrder) {
        const auto i = static_cast<std::size_t>(index);
        const Observation &o = network->observations[i];
        const ObservationStatistics &s = statistics->perObservation[i];
        const bool angle = o.kind == ObservationKind::Direction ||
                           o.kind == ObservationKind::Azimuth || o.kind == ObservationKind::Zenith;
        ResultRecord rec;
        rec.value = angle ? o.value / angleUnit : o.value;
        rec.rank = s.rank;
        rec.residual = angle ? s.residual / smallAngle : s.residual;
        rec.normalizedResidual = s.normalized;
        rec.reliability = 100.0 * s.redundancy;
        rec.valid = s.valid ? 1 : 0;
        rec.lineNumber = o.lineNumber;
        rec.fileNumber = o.fileNumber;
        rec.kind = static_cast<std::int64_t>(o.kind);
        rec.component = 1;
        rec.station = o.station + 1;
        rec.target = o.target + 1;
        r.records.push_back(rec);
    }
    return r;
}

// The drawing of a successful run, or none (with a warning) when the network is too large for
// the drawing file's link matrix.
std::shared_ptr<const DrawingFile> drawingFor(const Network &network,
                                              const AdjustmentOutcome &outcome,
                                              const Regions &regions, Diagnostics &diagnostics)
{
    if (network.points.size() > kMaxDrawingPoints) {
        diagnostics.warning(std::string(), 0,
                            fr("Fichier de dessin non écrit : le réseau compte ") +
                                std::to_string(network.points.size()) +
                                fr(" points, au-delà des ") + std::to_string(kMaxDrawingPoints) +
                                fr(" que le dessin admet (sa matrice des liens croît comme le "
                                   "carré du nombre de points)."));
        return nullptr;
    }
    return std::make_shared<const DrawingFile>(drawingOf(network, outcome, regions));
}

void fillSummary(ProcessSummary &summary, const Options &options, const Statistics *statistics,
                 const AdjustmentOutcome *outcome, const Diagnostics &diagnostics)
{
    summary.calculation = options.calculationType;
    summary.errors = diagnostics.errorCount();
    summary.status = diagnostics.hasErrors() || !statistics ? 1 : 0;
    if (outcome)
        summary.iterations = outcome->iterations;
    if (statistics) {
        summary.observations = statistics->observations;
        summary.unknowns = statistics->unknowns;
        summary.varianceFactor = statistics->varianceFactor;
        summary.chiSquare = static_cast<int>(statistics->chiSquare);
    }
}

} // namespace

ProcessOutput runProcessing(const std::string &observationPath,
                            const std::string &configurationPath, const FileLoader &loader)
{
    ProcessOutput output;
    Diagnostics diagnostics;
    Options options;
    ObservationSource source;
    Network network;
    AdjustmentOutcome outcome;
    Statistics statistics;
    Regions regions;
    bool haveOptions = false;
    bool haveNetwork = false;
    bool haveOutcome = false;
    bool haveStatistics = false;
    bool haveRegions = false;
    try {
        output.reportPath = siblingPath(observationPath, ".log");
        output.resultPath = siblingPath(observationPath, ".fic");
        output.drawingPath = siblingPath(observationPath, ".drw");

        std::string configurationText;
        if (!loader(configurationPath, configurationText)) {
            diagnostics.error(configurationPath, 0,
                              fr("Fichier de configuration introuvable ou illisible."));
        } else {
            options = optionsFromValues(readConfigurationValues(configurationText),
                                        configurationPath, diagnostics);
            haveOptions = true;
        }
        source = readObservationFiles(observationPath, loader, diagnostics);
        if (haveOptions) {
            network = buildNetwork(source, options, diagnostics);
            haveNetwork = true;
        }
        // The record lines are in the network now; only the file list is used further on.
        source.releaseLines();
        if (!diagnostics.hasErrors()) {
            outcome = adjust(network, options, diagnostics);
            haveOutcome = true;
            if (outcome.solved && !diagnostics.hasErrors()) {
                statistics = computeStatistics(network, outcome, options);
                if (checkDetermination(network, outcome, statistics, diagnostics)) {
                    regions = computeRegions(network, outcome, statistics, options);
                    // A value that is not finite is never written: the run fails instead.
                    haveStatistics =
                        checkFinite(network, outcome, statistics, regions, diagnostics);
                    haveRegions = haveStatistics;
                }
                // The inverse and the factor have served: free them before the report.
                statistics.inverse.reset();
                outcome.factor.reset();
                if (haveRegions && options.drawingRequested)
                    output.drawing = drawingFor(network, outcome, regions, diagnostics);
            }
        }
    } catch (const std::domain_error &e) {
        // A probability or a count of degrees of freedom outside the domain of a test.
        diagnostics.error(std::string(), 0, fr("Calcul statistique impossible : ") + e.what());
        haveStatistics = false;
        haveRegions = false;
        output.drawing.reset();
    } catch (const std::bad_alloc &) {
        diagnostics.error(std::string(), 0, fr("Mémoire insuffisante pour ce calcul."));
        haveStatistics = false;
        haveRegions = false;
        output.drawing.reset();
    } catch (const std::exception &e) {
        diagnostics.error(std::string(), 0, fr("Erreur interne du moteur : ") + e.what());
        haveStatistics = false;
        haveRegions = false;
        output.drawing.reset();
    }

    try {
        ReportInput in;
        in.observationPath = observationPath;
        in.configurationPath = configurationPath;
        in.files = source.files;
        in.options = haveOptions ? &options : nullptr;
        in.network = haveNetwork ? &network : nullptr;
        in.outcome = haveOutcome ? &outcome : nullptr;
        in.statistics = haveStatistics ? &statistics : nullptr;
        in.regions = haveRegions ? &regions : nullptr;
        in.diagnostics = &diagnostics;
        output.report = writeReport(in, kLineEnd);
        const bool succeeded = haveStatistics && !diagnostics.hasErrors();
        output.result = encodeResultFile(
            resultOf(output.reportPath, source.files, haveNetwork ? &network : nullptr,
                     haveOutcome ? &outcome : nullptr, haveStatistics ? &statistics : nullptr,
                     options, succeeded));
        fillSummary(output.summary, options, haveStatistics ? &statistics : nullptr,
                    haveOutcome ? &outcome : nullptr, diagnostics);
    } catch (...) {
        // Even the report could not be made: fall back on the bare failure.
        output.report = fr("TRAITEMENT INTERROMPU : erreur interne du moteur.") + kLineEnd;
        ResultFile failed;
        failed.logFile = output.reportPath;
        output.result = encodeResultFile(failed);
        output.summary = ProcessSummary();
        output.drawing.reset();
    }
    return output;
}

bool writeFileAtomically(const std::string &path, const std::string &content)
{
    std::error_code error;
    const fs::path target = pathFromLatin1(path);
    fs::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        if (!stream)
            return false;
        stream.write(content.data(), static_cast<std::streamsize>(content.size()));
        stream.flush();
        if (!stream) {
            stream.close();
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

ProcessSummary processObservationFile(const std::string &observationPath,
                                      const std::string &configurationPath)
{
    try {
        // Without a file name there is no place for the outputs: write nothing.
        if (pathFromLatin1(observationPath).filename().empty())
            return ProcessSummary();
        std::error_code error;
        // Outputs of an earlier run must not survive to be taken for this one's.
        fs::remove(pathFromLatin1(siblingPath(observationPath, ".fic")), error);
        fs::remove(pathFromLatin1(siblingPath(observationPath, ".drw")), error);
        ProcessOutput output = runProcessing(observationPath, configurationPath, diskFileLoader());
        if (output.drawing && !writeDrawingFile(output.drawingPath, *output.drawing))
            output.report += fr(" ATTENTION : le fichier de dessin ") + output.drawingPath +
                             fr(" n'a pas pu être écrit.") + kLineEnd;
        output.drawing.reset();
        const bool reportWritten = writeFileAtomically(output.reportPath, output.report);
        const bool resultWritten = writeFileAtomically(output.resultPath, output.result);
        if (!reportWritten || !resultWritten) {
            output.summary.status = 1;
            // A drawing without the result file of its run must not be taken for a good one.
            fs::remove(pathFromLatin1(output.drawingPath), error);
        }
        return output.summary;
    } catch (...) {
        return ProcessSummary();
    }
}

bool writeDefaultConfiguration(const std::string &path)
{
    try {
        return writeFileAtomically(path, defaultConfigurationText(kLineEnd));
    } catch (...) {
        return false;
    }
}

} // namespace engine
