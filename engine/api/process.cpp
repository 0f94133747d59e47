#include "engine/api/process.h"

#include "engine/api/multiepoch.h"
#include "engine/base/atomicfile.h"
#include "engine/base/largepages.h"
#include "engine/base/runthreads.h"
#include "engine/base/text.h"
#include "engine/estimation/adjustment.h"
#include "engine/estimation/datacheck.h"
#include "engine/estimation/gnssloops.h"
#include "engine/estimation/regions.h"
#include "engine/estimation/robustestimation.h"
#include "engine/estimation/statistics.h"
#include "engine/estimation/variancecomponents.h"
#include "engine/model/angles.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"
#include "engine/output/drawingfile.h"
#include "engine/output/matrixfiles.h"
#include "engine/output/report.h"
#include "engine/output/resultfile.h"

#include <cmath>
#include <future>
#include <map>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

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
    // The summary shows a pre-analysis by its computation code.
    if (options.calculationType == CalculationType::Simulation)
        r.calculation = 2;
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
    r.residualTest = static_cast<std::int64_t>(residualTestCode(statistics->residualTest));
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
                                   "carré du nombre de points). ") +
                                partialDrawingHint());
        return nullptr;
    }
    return std::make_shared<const DrawingFile>(drawingOf(network, outcome, regions));
}

void fillSummary(ProcessSummary &summary, const Options &options, const Statistics *statistics,
                 const AdjustmentOutcome *outcome, const Diagnostics &diagnostics)
{
    summary.calculation = optionToken(options.calculationType);
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

std::string notWritten(const std::string &what, const std::string &path, const std::string &reason)
{
    return what + path + fr(" n'a pas pu être écrit (") + reason + ").";
}

std::string drawingNotWritten(const std::string &path, const std::string &reason)
{
    return notWritten(fr("Le fichier de dessin "), path, reason);
}

struct OutputFile
{
    std::string path;
    std::string noun; // Latin-1
};

// Reads each input from the disk once, keeps what it read for the run and the paths it read, so
// that the outputs are checked against the very files the run reads. The run reads its inputs in
// the order of the first reading, so each text is handed over, not copied, at its last reading:
// a large observation file is not held twice.
class InputFiles
{
public:
    // Reads from the disk, counting the readings of each file.
    FileLoader firstReading()
    {
        return [this](const std::string &path, std::string &content) {
            const auto known = m_inputs.find(path);
            if (known != m_inputs.end()) {
                content = known->second.content;
                ++known->second.readings;
                return true;
            }
            if (!m_disk(path, content))
                return false;
            m_inputs.emplace(path, Input{content, 1});
            return true;
        };
    }

    // Reads from the disk and notes the file as an input without keeping its text: the text goes
    // to the caller, which is the run's only reading of it.
    FileLoader handingOver()
    {
        return [this](const std::string &path, std::string &content) {
            if (!m_disk(path, content))
                return false;
            m_inputs.emplace(path, Input{std::string(), 0});
            return true;
        };
    }

    // Serves the texts of the first reading; a file it did not read is read from the disk.
    FileLoader run()
    {
        return [this](const std::string &path, std::string &content) {
            const auto known = m_inputs.find(path);
            if (known == m_inputs.end() || known->second.readings <= 0)
                return m_disk(path, content);
            if (--known->second.readings == 0)
                content = std::move(known->second.content);
            else
                content = known->second.content;
            return true;
        };
    }

    // The input that is the file `path`, or null.
    const std::string *sameAs(const std::string &path) const
    {
        for (const auto &input : m_inputs) {
            if (sameFile(input.first, path))
                return &input.first;
        }
        return nullptr;
    }

private:
    struct Input
    {
        std::string content;
        int readings = 0;
    };
    FileLoader m_disk = diskFileLoader();
    std::map<std::string, Input> m_inputs;
};

// The report written to its file as it is made. `failure` receives the message of a report that
// could not be written. The run's input at `path` is never written over; a report that can only
// go over the old one in place (a folder where files can be neither created nor removed) is held
// whole until the commit, as it is the short one of a refused run.
class ReportOnDisk : public ReportStream
{
public:
    ReportOnDisk(const std::string &path, bool input, bool inPlace, std::string &failure)
        : m_path(path)
        , m_input(input)
        , m_inPlace(inPlace)
        , m_failure(failure)
    {
        if (!m_input)
            m_file = std::make_unique<AtomicFile>(path);
    }

    void write(std::string_view latin1) override
    {
        if (m_file)
            m_file->write(latin1);
        if (m_inPlace)
            m_text += latin1;
    }

    bool commit(std::string &reason) override
    {
        m_failure.clear();
        if (m_input) {
            reason = fr("fichier d'entrée du traitement");
            return false;
        }
        if (m_file->commit())
            return true;
        reason = m_file->error();
        if (m_inPlace && overwriteInPlace(m_path, m_text))
            return true;
        m_failure = notWritten(fr("Le rapport "), m_path, reason);
        return false;
    }

private:
    std::string m_path;
    bool m_input;
    bool m_inPlace;
    std::string &m_failure;
    std::unique_ptr<AtomicFile> m_file;
    std::string m_text;
};

// Removes the file an earlier run left at `path`, if any. A folder there is not the engine's to
// remove, even empty.
std::error_code removeOldOutput(const std::string &path)
{
    std::error_code error;
    const fs::path file = pathFromLatin1(path);
    const fs::file_status status = fs::symlink_status(file, error);
    if (status.type() == fs::file_type::not_found)
        return {};
    if (error)
        return error;
    if (status.type() == fs::file_type::directory)
        return std::make_error_code(std::errc::is_a_directory);
    fs::remove(file, error);
    return error;
}

// Outputs of an earlier run, taken out of their folder at once and deleted on a thread of their
// own while the run goes on: deleting a report of several hundred megabytes takes a noticeable
// part of a large run. A file first gets a second name that no file has yet (a hard link), then
// loses its own; the second name is removed on the thread. Where no second name can be made, the
// file is deleted at once. The deletions are over before the object is.
class OldOutputs
{
public:
    OldOutputs() = default;
    OldOutputs(const OldOutputs &) = delete;
    OldOutputs &operator=(const OldOutputs &) = delete;
    ~OldOutputs()
    {
        if (m_deleting.joinable())
            m_deleting.join();
    }

    // Takes the file `path` away as removeOldOutput does; the error when it is still there.
    std::error_code remove(const std::string &path)
    {
        constexpr int kNameAttempts = 8;
        const fs::path file = pathFromLatin1(path);
        std::error_code error;
        const bool regular = fs::symlink_status(file, error).type() == fs::file_type::regular;
        for (int attempt = 0; regular && attempt < kNameAttempts; ++attempt) {
            fs::path aside = file;
            aside += "." + std::to_string(m_random()) + ".old";
            fs::create_hard_link(file, aside, error);
            if (error == std::errc::file_exists)
                continue;
            if (error)
                break;
            if (fs::remove(file, error)) {
                m_aside.push_back(std::move(aside));
                return {};
            }
            std::error_code ignored;
            fs::remove(aside, ignored);
            return error;
        }
        return removeOldOutput(path);
    }

    void startDeleting()
    {
        if (m_aside.empty() || m_deleting.joinable())
            return;
        try {
            m_deleting = std::thread([paths = std::move(m_aside)] {
                for (const fs::path &path : paths) {
                    std::error_code ignored;
                    fs::remove(path, ignored);
                }
            });
        } catch (const std::system_error &) {
            for (const fs::path &path : m_aside) {
                std::error_code ignored;
                fs::remove(path, ignored);
            }
        }
        m_aside.clear();
    }

private:
    std::vector<fs::path> m_aside;
    std::mt19937_64 m_random{std::random_device()()};
    std::thread m_deleting;
};

// The matrix files an earlier run on `observationPath` left in its folder.
std::vector<std::string> oldMatrixFiles(const std::string &observationPath)
{
    std::vector<std::string> found;
    const fs::path folder = pathFromLatin1(siblingPath(observationPath, "")).parent_path();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = latin1FromPath(it->path().filename());
        if (isMatrixFileName(observationPath, name))
            found.push_back(latin1FromPath(it->path()));
    }
    return found;
}

} // namespace

namespace {

// The observation files as read before the run, with the messages of their reading.
struct ReadObservations
{
    ObservationSource source;
    Diagnostics diagnostics;
};

// The processing; `read`, when given, holds the observation files already read.
ProcessOutput process(const std::string &observationPath, const std::string &configurationPath,
                      const FileLoader &loader, const OutputHandling &handling,
                      ReadObservations *read)
{
    ProcessOutput output;
    Diagnostics diagnostics;
    Options options;
    ObservationSource source;
    Network network;
    DataCheck dataCheck;
    GnssLoops loops;
    AdjustmentOutcome outcome;
    RobustOutcome robust;
    VarianceOutcome variance;
    bool haveVariance = false;
    Statistics statistics;
    Regions regions;
    std::optional<Regions> drawingRegions;
    std::optional<SimulatedObservations> simulated;
    bool haveOptions = false;
    bool haveNetwork = false;
    bool haveDataCheck = false;
    bool haveOutcome = false;
    bool haveStatistics = false;
    bool haveRegions = false;
    bool drawingPending = false; // written, its commit waiting for the report to be made
    std::optional<RunThreads> threads;
    try {
        output.reportPath = siblingPath(observationPath, ".log");
        output.resultPath = siblingPath(observationPath, ".fic");
        output.drawingPath = siblingPath(observationPath, ".drw");
        for (const std::string &refusal : handling.refusals)
            diagnostics.error(std::string(), 0, refusal);

        std::string configurationText;
        if (!loader(configurationPath, configurationText)) {
            diagnostics.error(configurationPath, 0,
                              fr("Fichier de configuration introuvable ou illisible."));
        } else {
            options = optionsFromValues(readConfigurationValues(configurationText),
                                        configurationPath, diagnostics);
            haveOptions = true;
        }
        // Files read beforehand with so many messages that some were counted by kind are read
        // again here, so that the messages come in their order among this run's.
        if (read && read->diagnostics.omitted().empty()) {
            source = std::move(read->source);
            diagnostics.append(read->diagnostics);
        } else {
            if (read)
                read->source = ObservationSource();
            source = readObservationFiles(observationPath, loader, diagnostics);
        }
        threads.emplace(source.records.size());
        if (haveOptions && options.multiEpoch) {
            runEpochs(observationPath, configurationPath, options, source, diagnostics, handling,
                      output);
            return output;
        }
        if (haveOptions) {
            network = buildNetwork(source, options, diagnostics);
            haveNetwork = true;
        }
        // The record lines are in the network now; only the file list is used further on, but
        // by the simulated observations, which copy them.
        const bool simulate = haveOptions && options.generateObservations &&
                              options.calculationType == CalculationType::Simulation;
        if (!simulate)
            source.releaseLines();
        if (!diagnostics.hasErrors()) {
            // The observed values of a pre-analysis are not read: there is nothing to check.
            const bool preAnalysis = options.calculationType == CalculationType::Simulation;
            const bool robustEstimation = options.calculationType == CalculationType::Huber ||
                                          options.calculationType == CalculationType::L1Norm;
            // Variance components need residuals, which a pre-analysis has not.
            haveVariance = !preAnalysis && declaresVarianceGroups(network);
            const auto adjustNetwork = [&] {
                if (haveVariance)
                    return varianceComponentAdjust(network, options, varianceGroups(network),
                                                   diagnostics, variance);
                if (robustEstimation)
                    return robustAdjust(network, options, diagnostics, robust);
                return adjust(network, options, diagnostics);
            };
            // A small run checks its data beside its adjustment: the check writes no message
            // and reads the observations as read, which are released once both have ended.
            const auto check = [&] {
                dataCheck = checkData(network, options);
                loops = gnssLoops(network);
            };
            std::future<void> checking;
            if (!preAnalysis)
                checking = threads->beside(check);
            const auto checked = [&] {
                if (checking.valid())
                    checking.get();
                haveDataCheck = !preAnalysis;
                network.releaseAsRead();
            };
            if (!checking.valid()) {
                if (!preAnalysis)
                    check();
                checked();
                // What the reading and the data check freed goes back to the system, as does
                // what the adjustment frees below: the allocator keeps the small blocks freed
                // for reuse.
                returnFreeMemory(kFreeMemoryWorthReturning);
                outcome = adjustNetwork();
            } else {
                try {
                    outcome = adjustNetwork();
                } catch (...) {
                    // The report of a failed adjustment still shows the data check.
                    try {
                        checked();
                    } catch (...) {
                    }
                    throw;
                }
                checked();
            }
            haveOutcome = true;
            if (outcome.solved && !diagnostics.hasErrors()) {
                // Unless the matrix files solve again, nothing needs the factor after the
                // inverse: the inverse takes its place.
                returnFreeMemory(kFreeMemoryWorthReturning);
                statistics = computeStatistics(network, outcome, options,
                                               options.matrices.any() ? InverseStorage::BesideFactor
                                                                      : InverseStorage::OverFactor);
                if (checkDetermination(network, outcome, statistics, diagnostics)) {
                    regions = computeRegions(network, outcome, statistics, options);
                    // The drawing shows its plane's north, east and up whatever the report's
                    // components.
                    if (options.drawingRequested && network.geodetic &&
                        options.regions.coordinates != RegionCoordinates::Neu) {
                        Options plane = options;
                        plane.regions.coordinates = RegionCoordinates::Neu;
                        drawingRegions = computeRegions(network, outcome, statistics, plane);
                    }
                    // A value that is not finite is never written: the run fails instead.
                    haveStatistics =
                        checkFinite(network, outcome, statistics, regions, diagnostics);
                    haveRegions = haveStatistics;
                    if (haveStatistics && simulate) {
                        simulated = simulateObservations(network, source, outcome.state, options,
                                                         std::random_device()(), kLineEnd);
                        output.simulatedPath = siblingPath(observationPath, ".sim.iob");
                        output.simulated = simulated->text;
                    }
                }
                if (haveStatistics && options.matrices.any() && handling.writeMatrix)
                    writeMatrixFiles(
                        observationPath, network, outcome, statistics,
                        adjustedSystem(network, outcome, statistics.inverse.get(), options),
                        options, handling.writeMatrix, diagnostics);
                // The inverse, the factor and the design matrix have served: free them before
                // the report.
                statistics.inverse.reset();
                outcome.factor.reset();
                outcome.design = DesignMatrix();
                if (haveRegions && options.drawingRequested)
                    output.drawing = drawingFor(
                        network, outcome, drawingRegions ? *drawingRegions : regions, diagnostics);
                std::string reason;
                if (output.drawing && handling.writeDrawing) {
                    const bool written =
                        handling.writeDrawing(output.drawingPath, *output.drawing, reason);
                    if (!written)
                        diagnostics.error(std::string(), 0,
                                          drawingNotWritten(output.drawingPath, reason));
                    drawingPending = written && handling.commitDrawing;
                }
                if (handling.writeDrawing)
                    output.drawing.reset();
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
        in.dataCheck = haveDataCheck ? &dataCheck : nullptr;
        in.gnssLoops = haveDataCheck ? &loops : nullptr;
        in.outcome = haveOutcome ? &outcome : nullptr;
        in.robust = haveOutcome && robust.estimated ? &robust : nullptr;
        in.variance = haveOutcome && haveVariance && variance.iterations > 0 ? &variance : nullptr;
        in.statistics = haveStatistics ? &statistics : nullptr;
        in.regions = haveRegions ? &regions : nullptr;
        in.diagnostics = &diagnostics;
        in.simulated = simulated ? &*simulated : nullptr;
        in.simulatedPath = output.simulatedPath;
        std::unique_ptr<ReportStream> stream;
        const auto makeReport = [&] {
            if (handling.openReport) {
                stream.reset();
                stream = handling.openReport(output.reportPath);
                writeReport(in, kLineEnd, *stream);
            } else {
                output.report = writeReport(in, kLineEnd);
            }
        };
        makeReport();
        std::string reason;
        if (drawingPending && !handling.commitDrawing(output.drawingPath, reason)) {
            diagnostics.error(std::string(), 0, drawingNotWritten(output.drawingPath, reason));
            makeReport();
        }
        const bool reportWritten = stream && stream->commit(reason);
        const bool succeeded =
            haveStatistics && !diagnostics.hasErrors() && (reportWritten || !handling.openReport);
        const ResultFile result =
            resultOf(output.reportPath, source.files, haveNetwork ? &network : nullptr,
                     haveOutcome ? &outcome : nullptr, haveStatistics ? &statistics : nullptr,
                     options, succeeded);
        // The records of a successful run come straight from its statistics.
        output.result = succeeded ? encodeResultFile(result, network, statistics, options.angleUnit)
                                  : encodeResultFile(result);
        fillSummary(output.summary, options, haveStatistics ? &statistics : nullptr,
                    haveOutcome ? &outcome : nullptr, diagnostics);
        output.summary.reportWritten = reportWritten;
        output.summary.hints = static_cast<int>(dataCheck.hints.size());
        if (!succeeded)
            output.summary.status = 1;
    } catch (...) {
        // Even the report could not be made: fall back on the bare failure.
        output.report = fr("TRAITEMENT INTERROMPU : erreur interne du moteur.") + kLineEnd;
        ResultFile failed;
        failed.logFile = output.reportPath;
        output.result = encodeResultFile(failed);
        output.summary = ProcessSummary();
        output.drawing.reset();
        if (handling.openReport) {
            // What the failed report had written is gone with its stream.
            const std::unique_ptr<ReportStream> stream = handling.openReport(output.reportPath);
            stream->write(output.report);
            std::string reason;
            output.summary.reportWritten = stream->commit(reason);
        }
    }
    return output;
}

} // namespace

ProcessOutput runProcessing(const std::string &observationPath,
                            const std::string &configurationPath, const FileLoader &loader,
                            const OutputHandling &handling)
{
    return process(observationPath, configurationPath, loader, handling, nullptr);
}

ProcessSummary processObservationFile(const std::string &observationPath,
                                      const std::string &configurationPath)
{
    // Destroyed last, once everything the processing held is gone.
    struct FreeMemoryReturned
    {
        ~FreeMemoryReturned() { returnFreeMemory(); }
    } const freeMemoryReturned;
    try {
        // Without a file name there is no place for the outputs: write nothing.
        if (pathFromLatin1(observationPath).filename().empty()) {
            ProcessSummary none;
            none.message = fr("Le chemin du fichier d'observations ne nomme aucun fichier : "
                              "rien n'est écrit.");
            return none;
        }
        // The configuration, then the observation files, read once: the outputs are checked
        // against the very files the run reads.
        InputFiles inputs;
        {
            std::string text;
            inputs.firstReading()(configurationPath, text);
        }
        ReadObservations read;
        read.source = readObservationFiles(observationPath, inputs.handingOver(), read.diagnostics);

        const OutputFile outputs[] = {
            {siblingPath(observationPath, ".log"), fr("rapport")},
            {siblingPath(observationPath, ".fic"), fr("fichier résultat")},
            {siblingPath(observationPath, ".drw"), fr("fichier de dessin")}};
        OutputHandling handling;
        std::set<std::string> inputsAmongOutputs;
        std::set<std::string> undeletable;
        for (const OutputFile &o : outputs) {
            if (const std::string *input = inputs.sameAs(o.path)) {
                const std::string alias = normalizedPath(*input) == normalizedPath(o.path)
                                              ? std::string()
                                              : fr(", qui est aussi ") + o.path + ",";
                handling.refusals.push_back(fr("Traitement refusé : le fichier d'entrée ") +
                                            *input + alias + fr(" serait écrasé par le ") + o.noun +
                                            fr(" du traitement ; donnez-lui un autre nom."));
                inputsAmongOutputs.insert(o.path);
            }
        }
        // Outputs of an earlier run must not survive to be taken for this one's.
        OldOutputs oldOutputs;
        for (const OutputFile &o : outputs) {
            if (inputsAmongOutputs.count(o.path))
                continue;
            const std::error_code error = oldOutputs.remove(o.path);
            if (!error)
                continue;
            handling.refusals.push_back(
                fr("Traitement refusé : le fichier ") + o.path +
                fr(" d'un traitement précédent n'a pas pu être supprimé (") +
                systemErrorText(error) + fr(") ; il serait pris pour celui de ce traitement."));
            undeletable.insert(o.path);
        }
        // So must the matrix files, whose number of iterations may differ from this run's.
        for (const std::string &path : oldMatrixFiles(observationPath)) {
            if (inputs.sameAs(path))
                continue;
            const std::error_code error = oldOutputs.remove(path);
            if (error)
                handling.refusals.push_back(
                    fr("Traitement refusé : le fichier ") + path +
                    fr(" d'un traitement précédent n'a pas pu être supprimé (") +
                    systemErrorText(error) + fr(") ; il serait pris pour celui de ce traitement."));
        }
        oldOutputs.startDeleting();

        std::vector<std::string> failures;
        // The failed outputs of a refused run go over the old ones in place when these could be
        // neither removed nor replaced (a folder without write access): the workbench would
        // otherwise show the earlier run's result as this one's.
        const auto writeOutput = [&](const std::string &path, const std::string &content,
                                     std::string &reason) {
            if (inputsAmongOutputs.count(path)) {
                reason = fr("fichier d'entrée du traitement");
                return false;
            }
            if (writeFileAtomically(path, content, &reason))
                return true;
            return undeletable.count(path) && overwriteInPlace(path, content);
        };
        // The drawing goes to the disk while the report is made, and is committed before it.
        std::unique_ptr<AtomicFile> drawingFile;
        bool drawingWritten = false;
        handling.writeDrawing = [&](const std::string &path, const DrawingFile &drawing,
                                    std::string &reason) {
            if (!inputsAmongOutputs.count(path)) {
                drawingFile = std::make_unique<AtomicFile>(path);
                if (writeDrawingFile(*drawingFile, drawing))
                    return true;
                reason = drawingFile->error();
                drawingFile.reset();
            }
            failures.push_back(drawingNotWritten(path, reason));
            return false;
        };
        handling.commitDrawing = [&](const std::string &path, std::string &reason) {
            drawingWritten = drawingFile->commit();
            if (!drawingWritten) {
                reason = drawingFile->error();
                failures.push_back(drawingNotWritten(path, reason));
            }
            drawingFile.reset();
            return drawingWritten;
        };
        std::vector<std::string> matricesWritten;
        handling.writeMatrix = [&](const std::string &path, const std::string &content,
                                   std::string &reason) {
            if (inputs.sameAs(path)) {
                reason = fr("fichier d'entrée du traitement");
                return false;
            }
            if (!writeFileAtomically(path, content, &reason))
                return false;
            matricesWritten.push_back(path);
            return true;
        };
        std::string reportFailure;
        handling.openReport = [&](const std::string &path) {
            return std::make_unique<ReportOnDisk>(path, inputsAmongOutputs.count(path) > 0,
                                                  undeletable.count(path) > 0, reportFailure);
        };

        ProcessOutput output =
            process(observationPath, configurationPath, inputs.run(), handling, &read);
        ProcessSummary summary = output.summary;
        if (!output.simulated.empty()) {
            std::string reason;
            if (inputs.sameAs(output.simulatedPath) ||
                !writeFileAtomically(output.simulatedPath, output.simulated, &reason))
                failures.push_back(
                    notWritten(fr("Le fichier d'observations simulées "), output.simulatedPath,
                               reason.empty() ? fr("fichier d'entrée du traitement") : reason));
        }
        if (!reportFailure.empty())
            failures.push_back(reportFailure);
        std::string reason;
        if (!writeOutput(output.resultPath, output.result, reason)) {
            if (!inputsAmongOutputs.count(output.resultPath))
                failures.push_back(
                    notWritten(fr("Le fichier résultat "), output.resultPath, reason));
            summary.status = 1;
        }
        if (!summary.reportWritten)
            summary.status = 1;
        // A drawing or matrices without a successful run must not be taken for good ones.
        if (summary.status != 0 && drawingWritten)
            removeOldOutput(output.drawingPath);
        if (summary.status != 0) {
            for (const std::string &path : matricesWritten)
                removeOldOutput(path);
        }
        if (undeletable.count(output.drawingPath))
            overwriteInPlace(output.drawingPath, std::string());

        std::vector<std::string> messages = handling.refusals;
        messages.insert(messages.end(), failures.begin(), failures.end());
        for (const std::string &message : messages)
            summary.message += (summary.message.empty() ? "" : " ") + message;
        return summary;
    } catch (...) {
        ProcessSummary failed;
        failed.message = fr("Erreur interne du moteur.");
        return failed;
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
