#include "engine/api/multiepoch.h"

#include "engine/base/text.h"
#include "engine/estimation/adjustment.h"
#include "engine/estimation/congruence.h"
#include "engine/estimation/datacheck.h"
#include "engine/estimation/epochs.h"
#include "engine/estimation/gnssloops.h"
#include "engine/estimation/regions.h"
#include "engine/estimation/reliability.h"
#include "engine/estimation/robustestimation.h"
#include "engine/estimation/statistics.h"
#include "engine/estimation/variancecomponents.h"
#include "engine/model/angles.h"
#include "engine/model/networkbuilder.h"
#include "engine/output/deformationreport.h"
#include "engine/output/drawingfile.h"
#include "engine/output/report.h"
#include "engine/output/resultfile.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace engine {

namespace {

struct EpochRun
{
    EpochSource source;
    Diagnostics diagnostics; // the run's messages before the epochs, then the epoch's own
    Network network;
    DataCheck dataCheck;
    GnssLoops loops;
    AdjustmentOutcome outcome;
    RobustOutcome robust;
    VarianceOutcome variance;
    Statistics statistics;
    Regions regions;
    std::optional<Regions> drawingRegions;
    bool built = false;
    bool checked = false;
    bool adjusted = false;
    bool variancesEstimated = false;
    bool succeeded = false;
};

void adjustEpoch(EpochRun &run, const Options &options)
{
    run.network = buildNetwork(run.source.source, options, run.diagnostics);
    run.built = true;
    checkSharedRecords(run.source, run.network, run.diagnostics);
    if (run.diagnostics.hasErrors())
        return;
    const bool preAnalysis = options.calculationType == CalculationType::Simulation;
    if (!preAnalysis) {
        run.dataCheck = checkData(run.network, options);
        run.loops = gnssLoops(run.network);
        run.checked = true;
    }
    run.network.releaseAsRead();
    // Each epoch is estimated as a file of one epoch would be: its own variance components or
    // robust weights, since the epochs are independent.
    run.variancesEstimated = !preAnalysis && declaresVarianceGroups(run.network);
    if (run.variancesEstimated)
        run.outcome = varianceComponentAdjust(run.network, options, varianceGroups(run.network),
                                              run.diagnostics, run.variance);
    else if (options.calculationType == CalculationType::Huber ||
             options.calculationType == CalculationType::L1Norm)
        run.outcome = robustAdjust(run.network, options, run.diagnostics, run.robust);
    else
        run.outcome = adjust(run.network, options, run.diagnostics);
    run.adjusted = true;
    if (!run.outcome.solved || run.diagnostics.hasErrors())
        return;
    run.statistics = computeStatistics(run.network, run.outcome, options);
    if (!checkDetermination(run.network, run.outcome, run.statistics, run.diagnostics))
        return;
    run.regions = computeRegions(run.network, run.outcome, run.statistics, options);
    if (options.drawingRequested && run.network.geodetic &&
        options.regions.coordinates != RegionCoordinates::Neu) {
        Options plane = options;
        plane.regions.coordinates = RegionCoordinates::Neu;
        run.drawingRegions = computeRegions(run.network, run.outcome, run.statistics, plane);
    }
    run.succeeded =
        checkFinite(run.network, run.outcome, run.statistics, run.regions, run.diagnostics);
}

// The epochs compared: each with the one before it, or with the first.
std::vector<std::pair<int, int>> comparedPairs(int count, bool fromFirst)
{
    std::vector<std::pair<int, int>> pairs;
    for (int to = 1; to < count; ++to)
        pairs.emplace_back(fromFirst ? 0 : to - 1, to);
    return pairs;
}

// Ranks the observations of every epoch together, by decreasing normalized residual (the
// uncontrolled ones last), and gives each epoch's statistics these ranks, so that the report and
// the result file agree.
std::vector<std::pair<int, int>> rankTogether(std::vector<EpochRun> &runs)
{
    std::vector<std::pair<int, int>> order; // (epoch, observation)
    for (std::size_t e = 0; e < runs.size(); ++e) {
        for (int i : runs[e].statistics.rankOrder)
            order.emplace_back(static_cast<int>(e), i);
    }
    const auto stats = [&](const std::pair<int, int> &k) -> const ObservationStatistics & {
        return runs[static_cast<std::size_t>(k.first)]
            .statistics.perObservation[static_cast<std::size_t>(k.second)];
    };
    std::stable_sort(order.begin(), order.end(), [&](const auto &x, const auto &y) {
        const ObservationStatistics &a = stats(x);
        const ObservationStatistics &b = stats(y);
        if (a.controlled != b.controlled)
            return a.controlled;
        return std::fabs(a.normalized) > std::fabs(b.normalized);
    });
    for (std::size_t r = 0; r < order.size(); ++r) {
        EpochRun &run = runs[static_cast<std::size_t>(order[r].first)];
        run.statistics.perObservation[static_cast<std::size_t>(order[r].second)].rank =
            static_cast<int>(r + 1);
    }
    for (EpochRun &run : runs) {
        std::stable_sort(
            run.statistics.rankOrder.begin(), run.statistics.rankOrder.end(), [&](int a, int b) {
                return run.statistics.perObservation[static_cast<std::size_t>(a)].rank <
                       run.statistics.perObservation[static_cast<std::size_t>(b)].rank;
            });
    }
    return order;
}

// Every point name of the epochs, in the order first met.
std::vector<std::string> unitedNames(const std::vector<EpochRun> &runs,
                                     std::map<std::string, int> &index)
{
    std::vector<std::string> names;
    for (const EpochRun &run : runs) {
        for (const Point &p : run.network.points) {
            if (index.emplace(p.name, static_cast<int>(names.size())).second)
                names.push_back(p.name);
        }
    }
    return names;
}

ResultFile resultOf(const std::vector<EpochRun> &runs,
                    const std::vector<std::pair<int, int>> &order, const Options &options,
                    const std::string &reportPath, const std::vector<std::string> &files,
                    bool succeeded)
{
    ResultFile r;
    r.status = succeeded ? 0 : 1;
    r.observationFiles = files;
    r.logFile = reportPath;
    r.epochCount = static_cast<std::int64_t>(runs.size());
    for (const EpochRun &run : runs)
        r.epochNames.push_back(run.source.name);
    r.angleUnit = static_cast<std::int64_t>(options.angleUnit);
    if (options.calculationType == CalculationType::Simulation)
        r.calculation = 2;
    std::map<std::string, int> index;
    r.pointNames = unitedNames(runs, index);
    for (const EpochRun &run : runs)
        r.iterationCount = std::max<std::int64_t>(r.iterationCount, run.outcome.iterations);
    if (!succeeded)
        return r;
    double squares = 0.0;
    int degrees = 0;
    bool passed = true;
    bool tested = true;
    for (const EpochRun &run : runs) {
        const Statistics &s = run.statistics;
        r.observationCount += s.observations;
        r.unknownCount += s.unknowns;
        r.validCount += s.validCount;
        squares += s.weightedSquares;
        degrees += s.degreesOfFreedom;
        passed = passed && s.chiSquare == ChiSquareOutcome::Passed;
        tested = tested && s.chiSquare != ChiSquareOutcome::NotTested;
    }
    // The variance factor of the epochs together: their v'Pv over their degrees of freedom.
    r.varianceFactor = degrees > 0 ? squares / degrees : 0.0;
    r.auxiliaryValue = squares;
    r.chiSquare = !tested ? 2 : passed ? 1 : 0;
    r.residualTest =
        static_cast<std::int64_t>(residualTestCode(runs.front().statistics.residualTest));
    for (const auto &[epoch, i] : order) {
        const EpochRun &run = runs[static_cast<std::size_t>(epoch)];
        const Observation &o = run.network.observations[static_cast<std::size_t>(i)];
        ResultRecord rec = observationRecord(
            o, run.statistics.perObservation[static_cast<std::size_t>(i)], options.angleUnit);
        rec.epoch = epoch + 1;
        rec.station = index.at(run.network.points[static_cast<std::size_t>(o.station)].name) + 1;
        rec.target = index.at(run.network.points[static_cast<std::size_t>(o.target)].name) + 1;
        r.records.push_back(rec);
    }
    return r;
}

// The drawings of the epochs in one: the points of all, placed where they were first adjusted,
// every epoch's regions under its number, and the regions of the displacements under the number
// of the later epoch of each comparison.
DrawingFile unitedDrawing(const std::vector<EpochRun> &runs,
                          const std::vector<EpochComparison> &comparisons, const Options &options)
{
    DrawingFile united;
    united.epochCount = static_cast<std::int64_t>(runs.size());
    std::map<std::string, int> index;
    std::map<std::pair<std::int64_t, std::int64_t>, std::int64_t> links;
    for (std::size_t e = 0; e < runs.size(); ++e) {
        const EpochRun &run = runs[e];
        const DrawingFile d = drawingOf(run.network, run.outcome,
                                        run.drawingRegions ? *run.drawingRegions : run.regions);
        std::vector<std::int64_t> number(d.names.size());
        for (std::size_t p = 0; p < d.names.size(); ++p) {
            const auto [at, added] =
                index.emplace(d.names[p], static_cast<int>(united.names.size()));
            if (added) {
                united.names.push_back(d.names[p]);
                united.coordinates.push_back(d.coordinates[p]);
            }
            number[p] = at->second + 1;
        }
        for (const DrawingLink &l : d.links)
            links[{number[static_cast<std::size_t>(l.row)] - 1,
                   number[static_cast<std::size_t>(l.column)] - 1}] += l.count;
        const auto copy = [&](const std::vector<DrawingRegion> &from,
                              std::vector<DrawingRegion> &to) {
            for (DrawingRegion r : from) {
                r.point1 = number[static_cast<std::size_t>(r.point1 - 1)];
                if (r.point2 > 0)
                    r.point2 = number[static_cast<std::size_t>(r.point2 - 1)];
                r.epoch = static_cast<std::int64_t>(e + 1);
                to.push_back(r);
            }
        };
        copy(d.absoluteEllipses, united.absoluteEllipses);
        copy(d.relativeEllipses, united.relativeEllipses);
        copy(d.absoluteRectangles, united.absoluteRectangles);
        copy(d.relativeRectangles, united.relativeRectangles);
    }
    for (const auto &[at, count] : links)
        united.links.push_back({at.first, at.second, count});

    const EpochOptions &mep = options.epochs;
    const double k = confidenceFactor(2, mep.confidence);
    const double delta = mep.reliabilityRegions
                             ? noncentrality(mep.confidence, options.regions.reliability[1].beta)
                             : 0.0;
    for (const EpochComparison &c : comparisons) {
        const EpochRun &later = runs[static_cast<std::size_t>(c.to)];
        for (const PointDisplacement &d : c.displacements) {
            if (!d.estimated[0] || !d.estimated[1])
                continue;
            // The drawing's plane is (north, east).
            Eigen::Matrix2d plane;
            plane << d.covariance(1, 1), d.covariance(1, 0), d.covariance(0, 1), d.covariance(0, 0);
            const std::int64_t point =
                index.at(later.network.points[static_cast<std::size_t>(d.pointB)].name) + 1;
            const std::int64_t epoch = c.to + 1;
            if (mep.confidenceRegions)
                united.epochEllipses.push_back({point, point, epoch, ellipse(plane, k)});
            if (mep.reliabilityRegions)
                united.epochRectangles.push_back(
                    {point, point, epoch,
                     rectangle(delta * std::sqrt(std::max(plane(0, 0), 0.0)),
                               delta * std::sqrt(std::max(plane(1, 1), 0.0)))});
        }
    }
    return united;
}

} // namespace

void runEpochs(const std::string &observationPath, const std::string &configurationPath,
               const Options &options, const ObservationSource &source,
               const Diagnostics &diagnostics, const OutputHandling &handling,
               ProcessOutput &output)
{
    Diagnostics general = diagnostics;
    std::vector<EpochRun> runs;
    for (EpochSource &epoch : splitEpochs(source, general)) {
        EpochRun run;
        run.source = std::move(epoch);
        runs.push_back(std::move(run));
    }
    std::vector<EpochComparison> comparisons;
    const bool split = !general.hasErrors() && !runs.empty();
    // What goes wrong after the epochs, for the report's closing.
    Diagnostics closing;
    bool succeeded = split;
    std::string reason;
    try {
        if (succeeded) {
            for (EpochRun &run : runs) {
                adjustEpoch(run, options);
                succeeded = succeeded && run.succeeded;
            }
        }
        if (succeeded) {
            for (const auto &[from, to] :
                 comparedPairs(static_cast<int>(runs.size()), options.epochs.fromFirst)) {
                const EpochRun &a = runs[static_cast<std::size_t>(from)];
                const EpochRun &b = runs[static_cast<std::size_t>(to)];
                EpochComparison c =
                    compareEpochs({&a.network, &a.outcome, &a.statistics},
                                  {&b.network, &b.outcome, &b.statistics}, options.epochs);
                c.from = from;
                c.to = to;
                comparisons.push_back(std::move(c));
            }
        }
    } catch (const std::domain_error &e) {
        closing.error(std::string(), 0, fr("Calcul statistique impossible : ") + e.what());
        succeeded = false;
    } catch (const std::bad_alloc &) {
        closing.error(std::string(), 0, fr("Mémoire insuffisante pour ce calcul."));
        succeeded = false;
    }
    for (EpochRun &run : runs) {
        run.statistics.inverse.reset();
        run.outcome.factor.reset();
    }

    std::vector<std::pair<int, int>> order;
    if (succeeded)
        order = rankTogether(runs);
    if (succeeded && options.drawingRequested) {
        std::size_t points = 0;
        std::map<std::string, int> index;
        points = unitedNames(runs, index).size();
        if (points > kMaxDrawingPoints) {
            closing.warning(std::string(), 0,
                            fr("Fichier de dessin non écrit : les époques comptent ") +
                                std::to_string(points) + fr(" points, au-delà des ") +
                                std::to_string(kMaxDrawingPoints) + fr(" que le dessin admet. ") +
                                partialDrawingHint());
        } else {
            const DrawingFile drawing = unitedDrawing(runs, comparisons, options);
            if (handling.writeDrawing &&
                !handling.writeDrawingNow(output.drawingPath, drawing, reason)) {
                closing.error(std::string(), 0,
                              fr("Le fichier de dessin ") + output.drawingPath +
                                  fr(" n'a pas pu être écrit (") + reason + ").");
                succeeded = false;
            }
            if (!handling.writeDrawing)
                output.drawing = std::make_shared<const DrawingFile>(drawing);
        }
    }

    // The report: its opening and the list of the epochs, each epoch's sections, the comparisons,
    // then its closing, written to the report's stream as it is made when there is one.
    const std::unique_ptr<ReportStream> stream =
        handling.openReport ? handling.openReport(output.reportPath) : nullptr;
    const auto emit = [&](const std::string &text) {
        if (stream)
            stream->write(text);
        else
            output.report += text;
    };
    const auto emitReport = [&](const ReportInput &in) {
        if (stream)
            writeReport(in, kLineEnd, *stream);
        else
            output.report += writeReport(in, kLineEnd);
    };
    std::vector<std::string> names;
    for (const EpochRun &run : runs)
        names.push_back(run.source.name);
    const auto reportOf = [&](ReportPart part, const Diagnostics &shown, const EpochRun *run) {
        ReportInput in;
        in.part = part;
        in.observationPath = observationPath;
        in.configurationPath = configurationPath;
        in.files = source.files;
        in.options = &options;
        in.diagnostics = &shown;
        if (run) {
            in.network = run->built ? &run->network : nullptr;
            in.dataCheck = run->checked ? &run->dataCheck : nullptr;
            in.gnssLoops = run->checked ? &run->loops : nullptr;
            in.outcome = run->adjusted ? &run->outcome : nullptr;
            in.robust = run->adjusted && run->robust.estimated ? &run->robust : nullptr;
            in.variance = run->adjusted && run->variancesEstimated && run->variance.iterations > 0
                              ? &run->variance
                              : nullptr;
            in.statistics = run->succeeded ? &run->statistics : nullptr;
            in.regions = run->succeeded ? &run->regions : nullptr;
        }
        emitReport(in);
    };
    int errors = general.errorCount() + closing.errorCount();
    for (const EpochRun &run : runs)
        errors += run.diagnostics.errorCount();
    if (!split) {
        reportOf(ReportPart::Whole, general, nullptr);
    } else {
        // The titles of the opening are those the first epoch read.
        reportOf(ReportPart::Opening, general, &runs.front());
        emit(epochListReport(names, options.epochs, kLineEnd));
        for (std::size_t e = 0; e < runs.size(); ++e) {
            emit(epochBanner(static_cast<int>(e), names[e], kLineEnd));
            reportOf(ReportPart::Epoch, runs[e].diagnostics, &runs[e]);
        }
        if (succeeded)
            emit(deformationReport(names, comparisons, options.epochs, options.distanceDecimals,
                                   kLineEnd));
        ReportInput in;
        in.part = ReportPart::Closing;
        in.options = &options;
        in.diagnostics = &closing;
        in.runErrors = errors;
        in.runFinished = succeeded;
        emitReport(in);
    }
    const bool reportWritten = stream && stream->commit(reason);
    succeeded = succeeded && (reportWritten || !handling.openReport);
    const ResultFile result =
        resultOf(runs, order, options, output.reportPath, source.files, succeeded);
    output.result = encodeResultFile(result);

    ProcessSummary &summary = output.summary;
    summary.calculation = optionToken(options.calculationType);
    summary.errors = errors;
    summary.status = succeeded ? 0 : 1;
    summary.reportWritten = reportWritten;
    summary.iterations = static_cast<int>(result.iterationCount);
    summary.observations = static_cast<int>(result.observationCount);
    summary.unknowns = static_cast<int>(result.unknownCount);
    summary.varianceFactor = result.varianceFactor;
    summary.chiSquare = static_cast<int>(result.chiSquare);
    for (const EpochRun &run : runs)
        summary.hints += static_cast<int>(run.dataCheck.hints.size());
}

} // namespace engine
