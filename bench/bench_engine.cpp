// Benchmark of the adjustment engine on generated networks of 1,000, 10,000 and 50,000 points.
//
// A network is a jittered grid of points spread on a rolling terrain, about 250 m apart. Every
// point is a station that observes its six nearest neighbours with one direction set, slope
// distances and zenith angles, all drawn from the true coordinates with Gaussian noise at their a
// priori precisions. A few points are fixed (the corners and one point in about a thousand); the
// others start from coordinates perturbed by a decimetre or so.
//
// Each size runs in the local model, then in the ellipsoidal model on the same geometry laid on
// GRS80 around 46 N 7 E: east and north of the grid measured in the tangent plane there, the
// terrain's height above the ellipsoid. Its fixed points are given in PLH, the others in XYZ, and
// its sights are drawn in each station's own horizon by GeographicLib, not by the engine.
//
// For each size the observation file and a configuration (the engine's defaults, which ask for
// every residual in the report, the confidence and reliability regions and the drawing file) are
// written in a temporary folder, then a fresh process runs the full processing, report, result
// and drawing files included. Its wall time and peak resident memory are printed, with the time
// of each stage measured in a second fresh process, and the time the approximate coordinates
// take when only one point in fifty is given.
//
// With --free, each size runs twice instead: with two fixed points (two opposite corners), then
// as a free network (FREENET TRACEMIN, no point fixed), and the ratio of their times is printed.
// With --epochs, each size is observed three times (local model) and processed as three epochs.
// With --dense, the network is the dense one of a national densification instead: every station
// observes each neighbour within two grid steps (twelve of them, about 36 observations a point)
// and only the four corners are fixed.
//
//   bench_engine [--keep] [--generate] [--free | --epochs] [--local | --ellipsoidal]
//                [--dense] [--secondary] [--robust] [--vce] [SIZE ...]
//                 default sizes: 1000 10000 50000
//   --keep         keep the generated files and outputs (their folder is printed)
//   --generate     only write the observation and configuration files
//   --free         two fixed points against the free network
//   --epochs       three epochs of each size, compared with the first
//   --local        only the local model; --ellipsoidal: only the ellipsoidal model
//   --dense        the dense geometry: twelve neighbours a station, four fixed corners
//   --secondary    one AUX group over every distance and zenith angle, with a constant, a scale
//                  and a refraction coefficient: three unknowns that couple the whole network
//   --robust       also time Huber's estimation (k = 2.5) against the least squares
//   --vce          also time the variance components (one group per kind of observation)

#include "engine/api/process.h"
#include "engine/base/allocatortuning.h"
#include "engine/base/atomicfile.h"
#include "engine/base/largepages.h"
#include "engine/base/parallel.h"
#include "engine/base/runthreads.h"
#include "engine/base/text.h"
#include "engine/estimation/adjustment.h"
#include "engine/estimation/datacheck.h"
#include "engine/estimation/regions.h"
#include "engine/estimation/robustestimation.h"
#include "engine/estimation/statistics.h"
#include "engine/estimation/variancecomponents.h"
#include "engine/input/observationreader.h"
#include "engine/model/approximatecoordinates.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"
#include "engine/output/drawingfile.h"
#include "engine/output/report.h"
#include "engine/output/resultfile.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpacing = 250.0;          // metres between neighbouring grid nodes
constexpr double kJitter = 0.35;            // share of the spacing a point may stray
constexpr int kNeighbours = 6;              // points each station observes
constexpr int kFixedEvery = 32;             // grid step between fixed points
constexpr double kStartError = 0.10;        // metres, standard error of the approximate values
constexpr double kInstrumentHeight = 1.55;  // metres
constexpr double kTargetHeight = 1.60;      // metres
constexpr double kDistanceConstant = 0.002; // metres
constexpr double kDistancePpm = 2.0;
constexpr double kDirectionSigma = 10.0; // decimilligrades
constexpr double kZenithSigma = 15.0;    // decimilligrades
constexpr double kDmgonToRad = kPi / 2000000.0;
constexpr double kOriginLatitude = 46.0; // degrees: the ellipsoidal model's grid centre
constexpr double kOriginLongitude = 7.0;

struct TruePoint
{
    double e = 0.0;
    double n = 0.0;
    double u = 0.0; // the height above the ellipsoid in the ellipsoidal model
    bool fixed = false;
    double latitude = 0.0; // degrees, ellipsoidal model
    double longitude = 0.0;
};

double terrain(double e, double n)
{
    return 200.0 + 80.0 * std::sin(e / 1500.0) * std::cos(n / 1100.0) +
           30.0 * std::sin(e / 400.0 + n / 700.0) + 8.0 * std::cos(e / 90.0 - n / 130.0);
}

// `text` right-aligned in columns `column` .. `column + width - 1` (1-based) of `line`.
void right(std::string &line, int column, int width, const std::string &text)
{
    const auto end = static_cast<std::size_t>(column - 1 + width);
    if (line.size() < end)
        line.resize(end, ' ');
    const std::size_t size = std::min(text.size(), static_cast<std::size_t>(width));
    line.replace(end - size, size, text, 0, size);
}

void left(std::string &line, int column, const std::string &text)
{
    const auto end = static_cast<std::size_t>(column - 1) + text.size();
    if (line.size() < end)
        line.resize(end, ' ');
    line.replace(static_cast<std::size_t>(column - 1), text.size(), text);
}

std::string number(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string record(const char *code, const char *sigmaId = "")
{
    std::string line = " ";
    left(line, 2, code);
    left(line, 7, sigmaId);
    return line;
}

// An angle in radians as three-part grades "ggg cc cccc.cc".
std::string grades(double radians)
{
    double g = std::fmod(radians * 200.0 / kPi, 400.0);
    if (g < 0.0)
        g += 400.0;
    double last = std::round(g * 1e6) / 100.0; // decimilligrades, two decimals
    const double whole = std::floor(last / 10000.0 + 1e-12);
    last -= whole * 10000.0;
    const double middle = std::floor(last / 100.0 + 1e-12);
    last = std::max(0.0, last - middle * 100.0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f %02.0f %.2f", whole, middle, last);
    return buffer;
}

// Degrees as "N46 03 12.12345" (`positive` and `negative` the hemisphere letters).
std::string sexagesimal(double degrees, char positive, char negative)
{
    const double seconds = std::round(std::fabs(degrees) * 3600.0 * 1e5) / 1e5;
    const double whole = std::floor(seconds / 3600.0);
    const double minutes = std::floor((seconds - whole * 3600.0) / 60.0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%c%.0f %02.0f %08.5f",
                  degrees < 0.0 ? negative : positive, whole, minutes,
                  seconds - whole * 3600.0 - minutes * 60.0);
    return buffer;
}

std::string pointName(int index)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "P%06d", index + 1);
    return buffer;
}

struct GeneratedNetwork
{
    std::string text;
    int points = 0;
    int fixedPoints = 0;
    long observations = 0;
};

// The points held fixed: the corners and a sparse grid, two opposite corners, or none.
enum class Fixing { Spread, Corners, TwoCorners, None };

// Stations observe their six nearest neighbours, or (dense) all within two grid steps.
bool denseGeometry = false;

GeneratedNetwork generate(int count, unsigned seed, bool ellipsoidal, bool secondary,
                          Fixing fixing = Fixing::Spread, unsigned noiseSeed = 0)
{
    const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> jitter(-kJitter * kSpacing, kJitter * kSpacing);
    std::normal_distribution<double> unit(0.0, 1.0);

    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const int rows = (count + side - 1) / side;
    const GeographicLib::LocalCartesian plane(kOriginLatitude, kOriginLongitude, 0.0, grs80);
    std::vector<TruePoint> points(static_cast<std::size_t>(count));
    GeneratedNetwork out;
    out.points = count;
    for (int k = 0; k < count; ++k) {
        const int row = k / side;
        const int column = k % side;
        TruePoint &p = points[static_cast<std::size_t>(k)];
        p.e = 10000.0 + column * kSpacing + jitter(random);
        p.n = 50000.0 + row * kSpacing + jitter(random);
        p.u = terrain(p.e, p.n);
        if (ellipsoidal) {
            double height = 0.0;
            plane.Reverse(p.e - (10000.0 + 0.5 * side * kSpacing),
                          p.n - (50000.0 + 0.5 * rows * kSpacing), 0.0, p.latitude, p.longitude,
                          height);
        }
        const int lastRow = (count - 1) / side;
        const bool corner = (row == 0 || row == lastRow) && (column == 0 || column == side - 1);
        switch (fixing) {
        case Fixing::Spread:
            p.fixed = corner || (row % kFixedEvery == kFixedEvery / 2 &&
                                 column % kFixedEvery == kFixedEvery / 2);
            break;
        case Fixing::Corners:
            p.fixed = corner;
            break;
        case Fixing::TwoCorners:
            p.fixed = k == 0 || k == count - 1;
            break;
        case Fixing::None:
            p.fixed = false;
            break;
        }
        out.fixedPoints += p.fixed ? 1 : 0;
    }

    std::string &text = out.text;
    text.reserve(static_cast<std::size_t>(count) * 1400);
    auto add = [&](const std::string &line) {
        text += line;
        text += '\n';
    };
    add(" TITL Reseau genere de " + std::to_string(count) + " points");
    {
        std::string line = record("SIGM", "DST");
        right(line, 11, 10, number(kDistanceConstant, 5));
        right(line, 22, 10, number(kDistancePpm, 3));
        if (secondary)
            left(line, 66, "G1");
        left(line, 79, "m");
        add(line);
        for (auto [id, sigma] : {std::pair<const char *, double>{"HZ", kDirectionSigma},
                                 std::pair<const char *, double>{"ZEN", kZenithSigma}}) {
            line = record("SIGM", id);
            right(line, 11, 10, number(sigma, 3));
            if (secondary && std::string(id) == "ZEN")
                left(line, 66, "G1");
            left(line, 79, "m");
            add(line);
        }
        if (secondary)
            add(" AUX  ALL G1           CONS SCAL REFR");
    }
    for (int k = 0; k < count; ++k) {
        const TruePoint &p = points[static_cast<std::size_t>(k)];
        const double start = p.fixed ? 0.0 : kStartError;
        Eigen::Vector3d position(p.e, p.n, p.u);
        if (ellipsoidal)
            grs80.Forward(p.latitude, p.longitude, p.u, position.x(), position.y(), position.z());
        for (int c = 0; c < 3; ++c)
            position(c) += start * unit(random);
        std::string line;
        if (ellipsoidal && p.fixed) {
            line = record("PLH");
            left(line, 24, sexagesimal(p.latitude, 'N', 'S'));
            left(line, 42, sexagesimal(p.longitude, 'E', 'W'));
            right(line, 60, 12, number(p.u, 4));
            left(line, 73, "m");
        } else {
            line = record(ellipsoidal ? "XYZ" : "LENU");
            right(line, 24, 18, number(position.x(), 4));
            right(line, 43, 18, number(position.y(), 4));
            right(line, 62, ellipsoidal ? 18 : 16, number(position.z(), 4));
            left(line, 81, "m");
        }
        left(line, 7, p.fixed ? "111" : "000");
        left(line, 11, pointName(k));
        add(line);
    }

    std::vector<std::pair<double, int>> candidates;
    // Another observation of the same marks: their noise from its own seed.
    if (noiseSeed != 0)
        random.seed(noiseSeed);
    for (int k = 0; k < count; ++k) {
        const TruePoint &s = points[static_cast<std::size_t>(k)];
        const int row = k / side;
        const int column = k % side;
        candidates.clear();
        for (int r = row - 2; r <= row + 2; ++r) {
            for (int c = column - 2; c <= column + 2; ++c) {
                const int other = r * side + c;
                if (r < 0 || c < 0 || c >= side || other >= count || other == k)
                    continue;
                if (denseGeometry && (r - row) * (r - row) + (c - column) * (c - column) > 4)
                    continue;
                const TruePoint &t = points[static_cast<std::size_t>(other)];
                candidates.emplace_back(std::hypot(t.e - s.e, t.n - s.n), other);
            }
        }
        const std::size_t taken = denseGeometry
                                      ? candidates.size()
                                      : std::min<std::size_t>(kNeighbours, candidates.size());
        std::partial_sort(candidates.begin(), candidates.begin() + static_cast<long>(taken),
                          candidates.end());
        std::string line = record("HI");
        left(line, 11, pointName(k));
        right(line, 24, 10, number(kInstrumentHeight, 4));
        left(line, 35, "m");
        add(line);
        add(record("DSET", "HZ"));
        const double orientation = 2.0 * kPi * (k % 97) / 97.0;
        const GeographicLib::LocalCartesian horizon(s.latitude, s.longitude, s.u, grs80);
        for (std::size_t c = 0; c < taken; ++c) {
            const int other = candidates[c].second;
            const TruePoint &t = points[static_cast<std::size_t>(other)];
            double dE = t.e - s.e;
            double dN = t.n - s.n;
            double dU = (t.u + kTargetHeight) - (s.u + kInstrumentHeight);
            if (ellipsoidal) {
                horizon.Forward(t.latitude, t.longitude, t.u + kTargetHeight, dE, dN, dU);
                dU -= kInstrumentHeight;
            }
            const double h = std::hypot(dE, dN);
            const double slope = std::hypot(h, dU);
            const double distanceSigma = kDistanceConstant + kDistancePpm * 1e-6 * slope;

            line = record("HT");
            left(line, 11, pointName(other));
            right(line, 24, 10, number(kTargetHeight, 4));
            left(line, 35, "m");
            add(line);

            line = record("DIR", "HZ");
            left(line, 11, pointName(k));
            left(line, 24, pointName(other));
            right(line, 50, 15,
                  grades(std::atan2(dE, dN) - orientation +
                         kDirectionSigma * kDmgonToRad * unit(random)));
            add(line);

            line = record("DIST", "DST");
            left(line, 11, pointName(k));
            left(line, 24, pointName(other));
            right(line, 50, 15, number(slope + distanceSigma * unit(random), 5));
            left(line, 77, "m");
            add(line);

            line = record("ZANG", "ZEN");
            left(line, 11, pointName(k));
            left(line, 24, pointName(other));
            right(line, 50, 15,
                  grades(std::atan2(h, dU) + kZenithSigma * kDmgonToRad * unit(random)));
            add(line);
            out.observations += 3;
        }
    }
    return out;
}

bool writeText(const std::filesystem::path &path, const std::string &text)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(stream);
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time of this process so far (user and system), seconds: on a shared machine it says
// more than the wall time.
double processorSeconds()
{
#if defined(__unix__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
#else
    return 0.0;
#endif
}

// The resident size of this process now and its peak since the last reset, megabytes (Linux;
// -1 elsewhere or when /proc cannot be read).
struct ResidentSize
{
    double now = -1.0;
    double peak = -1.0;
};

ResidentSize residentSize()
{
    ResidentSize size;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        const bool peak = line.rfind("VmHWM:", 0) == 0;
        if (peak || line.rfind("VmRSS:", 0) == 0)
            (peak ? size.peak : size.now) = std::atof(line.c_str() + 6) / 1024.0;
    }
    return size;
}

// Starts the peak resident size afresh, so that each stage gives its own.
void resetPeakResidentSize()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Wall and processor time of a stage, and the resident size at its end and at its peak.
class Stage
{
public:
    Stage()
        : m_wall(std::chrono::steady_clock::now())
        , m_processor(processorSeconds())
    {
        resetPeakResidentSize();
    }
    void print(const char *name, const std::string &note = std::string()) const
    {
        const ResidentSize size = residentSize();
        std::printf("      %-24s %8.2f s wall %8.2f s processor %6.0f MB peak %6.0f MB after%s%s\n",
                    name, seconds(m_wall), processorSeconds() - m_processor, size.peak, size.now,
                    note.empty() ? "" : "  ", note.c_str());
    }

private:
    std::chrono::steady_clock::time_point m_wall;
    double m_processor;
};

double loadAverage()
{
    double load[1] = {0.0};
#if defined(__unix__)
    if (getloadavg(load, 1) != 1)
        load[0] = -1.0;
#endif
    return load[0];
}

// The approximate coordinates of `network` computed again with one point in fifty given: the
// time, and how far the computed points fall from the generated approximate values (which stray
// from the truth by about a decimetre).
void timeApproximateCoordinates(const engine::Network &network)
{
    engine::Network sparse = network;
    for (std::size_t p = 0; p < sparse.points.size(); ++p) {
        if (p % 50 == 0)
            continue;
        engine::Point &point = sparse.points[p];
        point.given = false;
        point.frame = engine::CoordinateFrame::Local;
        point.fixed = {false, false, false};
        point.approximate = Eigen::Vector3d::Zero();
    }
    engine::Diagnostics diagnostics;
    Stage stage;
    engine::computeApproximateCoordinates(sparse, diagnostics);
    std::vector<double> distances;
    for (std::size_t p = 0; p < sparse.points.size(); ++p) {
        if (!sparse.points[p].given)
            distances.push_back(
                (sparse.points[p].approximate - network.points[p].approximate).norm());
    }
    std::sort(distances.begin(), distances.end());
    char note[160];
    std::snprintf(note, sizeof note,
                  "%zu points from 2 %% given, %d errors; off by %.3f m "
                  "(median), %.3f m (largest)",
                  distances.size(), diagnostics.errorCount(),
                  distances.empty() ? 0.0 : distances[distances.size() / 2],
                  distances.empty() ? 0.0 : distances.back());
    stage.print("approximate coordinates", note);
}

// Huber's estimation (k = 2.5) of `network`, the least-squares adjustment included; its processor
// time against that of the least squares alone, `leastSquaresSeconds` (target: at most 3 times).
void timeRobustEstimation(const engine::Network &network, engine::Options options,
                          double leastSquaresSeconds)
{
    options.calculationType = engine::CalculationType::Huber;
    options.robustThreshold = 2.5;
    engine::Diagnostics diagnostics;
    engine::RobustOutcome robust;
    Stage stage;
    const double start = processorSeconds();
    const engine::AdjustmentOutcome outcome =
        engine::robustAdjust(network, options, diagnostics, robust);
    const double robustSeconds = processorSeconds() - start;
    char note[160];
    std::snprintf(note, sizeof note,
                  "%d reweightings, %zu down-weighted, %s; %.2f times the least squares "
                  "(target <= 3)",
                  robust.iterations, robust.downWeighted.size(),
                  outcome.solved && robust.estimated ? "solved" : "FAILED",
                  leastSquaresSeconds > 0.0 ? robustSeconds / leastSquaresSeconds : 0.0);
    stage.print("Huber estimation", note);
}

// The variance components of `network`, one group per kind of observation, estimated to
// convergence; their processor time against that of the least squares alone.
void timeVarianceComponents(const engine::Network &network, engine::Options options,
                            double leastSquaresSeconds)
{
    options.varianceIterations = 100;
    engine::Diagnostics diagnostics;
    engine::VarianceOutcome variance;
    Stage stage;
    const double start = processorSeconds();
    const engine::AdjustmentOutcome outcome = engine::varianceComponentAdjust(
        network, options, engine::varianceGroups(network), diagnostics, variance);
    const double vceSeconds = processorSeconds() - start;
    std::string components;
    for (const engine::VarianceComponent &c : variance.components)
        components += " " + c.name + " " + std::to_string(c.variance);
    char note[320];
    std::snprintf(
        note, sizeof note, "%d iterations, %s; %.2f times the least squares;%s",
        variance.iterations, outcome.solved && variance.estimated ? "converged" : "FAILED",
        leastSquaresSeconds > 0.0 ? vceSeconds / leastSquaresSeconds : 0.0, components.c_str());
    stage.print("variance components", note);
}

// The report written to its file as it is made, as a processing writes it.
class ReportFile : public engine::ReportStream
{
public:
    explicit ReportFile(const std::string &path)
        : m_file(path)
    {}
    void write(std::string_view latin1) override
    {
        m_file.write(latin1);
        m_bytes += latin1.size();
    }
    bool commit(std::string &reason) override
    {
        const bool committed = m_file.commit();
        reason = m_file.error();
        return committed;
    }
    std::size_t bytes() const { return m_bytes; }

private:
    engine::AtomicFile m_file;
    std::size_t m_bytes = 0;
};

// The stages of a processing, timed one by one (the same calls as the engine's processing).
void timeStages(const std::string &observationPath, const std::string &configurationPath,
                bool robust, bool varianceComponents)
{
    engine::Diagnostics diagnostics;
    std::string configurationText;
    engine::diskFileLoader()(configurationPath, configurationText);
    const engine::Options options = engine::optionsFromValues(
        engine::readConfigurationValues(configurationText), configurationPath, diagnostics);

    Stage stage;
    const engine::ObservationSource source =
        engine::readObservationFiles(observationPath, engine::diskFileLoader(), diagnostics);
    stage.print("read");
    const engine::RunThreads threads(source.records.size());
    stage = Stage();
    engine::Network network = engine::buildNetwork(source, options, diagnostics);
    stage.print("build");
    timeApproximateCoordinates(network);

    stage = Stage();
    const engine::DataCheck check = engine::checkData(network, options);
    stage.print("data check", std::to_string(check.hints.size()) + " hints");
    // As the processing does, so that the peak measured is the one it reaches.
    network.releaseAsRead();
    engine::returnFreeMemory(engine::kFreeMemoryWorthReturning);

    stage = Stage();
    const double leastSquaresStart = processorSeconds();
    engine::SolverTimings phases;
    engine::Reweighting timed;
    timed.timings = &phases;
    const engine::AdjustmentOutcome outcome =
        engine::adjust(network, options, diagnostics, std::move(timed));
    const double leastSquaresSeconds = processorSeconds() - leastSquaresStart;
    stage.print("adjustment", std::to_string(outcome.iterations) + " iterations, " +
                                  (outcome.solved ? "solved" : "FAILED") + ", " +
                                  std::to_string(engine::threadCount()) + " threads");
    std::printf("        forming the normal matrix %6.2f s wall\n", phases.forming);
    std::printf("        ordering and analysis     %6.2f s wall\n", phases.analysis);
    for (std::size_t k = 0; k < phases.factorizations.size(); ++k)
        std::printf("        factorization %zu           %6.2f s wall\n", k + 1,
                    phases.factorizations[k]);
    for (std::size_t k = 0; k < phases.iterativeSolves.size(); ++k)
        std::printf("        iterative solve %zu         %6.2f s wall  %d steps\n", k + 1,
                    phases.iterativeSolves[k], phases.iterativeSteps[k]);
    if (!outcome.solved)
        return;
    if (robust)
        timeRobustEstimation(network, options, leastSquaresSeconds);
    if (varianceComponents)
        timeVarianceComponents(network, options, leastSquaresSeconds);
    if (outcome.factor) {
        std::printf("      factor: %ld unknowns, %ld entries of L stored\n",
                    static_cast<long>(outcome.unknowns.count),
                    outcome.factor->solver.storedEntries());
    }

    stage = Stage();
    // As a processing without matrix files does, the inverse takes the factor's place.
    engine::Statistics statistics =
        engine::computeStatistics(network, outcome, options, engine::InverseStorage::OverFactor);
    const bool determined = engine::checkDetermination(network, outcome, statistics, diagnostics);
    stage.print("statistics", determined ? "determined" : "NOT DETERMINED");
    std::printf("        selected inversion        %6.2f s wall\n", phases.inversion);

    stage = Stage();
    const engine::Regions regions = engine::computeRegions(network, outcome, statistics, options);
    stage.print("regions");
    statistics.inverse.reset();

    stage = Stage();
    if (network.points.size() <= engine::kMaxDrawingPoints) {
        const std::string path = engine::siblingPath(observationPath, ".drw");
        const engine::DrawingFile drawing = engine::drawingOf(network, outcome, regions);
        const bool written = engine::writeDrawingFile(path, drawing);
        char size[48];
        std::snprintf(size, sizeof size, "%.1f MB%s",
                      static_cast<double>(std::filesystem::file_size(path)) / 1e6,
                      written ? "" : ", FAILED");
        stage.print("drawing file", size);
    } else {
        std::printf("      drawing file: not written beyond %zu points\n",
                    engine::kMaxDrawingPoints);
    }

    stage = Stage();
    engine::ReportInput in;
    in.observationPath = observationPath;
    in.configurationPath = configurationPath;
    in.files = source.files;
    in.options = &options;
    in.network = &network;
    in.dataCheck = &check;
    in.outcome = &outcome;
    in.statistics = &statistics;
    in.regions = &regions;
    in.diagnostics = &diagnostics;
    ReportFile report(engine::siblingPath(observationPath, ".log"));
    engine::writeReport(in, engine::kLineEnd, report);
    std::string reason;
    const bool reportWritten = report.commit(reason);
    char size[48];
    std::snprintf(size, sizeof size, "%.1f MB written%s", static_cast<double>(report.bytes()) / 1e6,
                  reportWritten ? "" : ", FAILED");
    stage.print("report", size);

    stage = Stage();
    engine::ResultFile result;
    result.status = 0;
    for (const engine::Point &p : network.points)
        result.pointNames.push_back(p.name);
    const std::string bytes =
        engine::encodeResultFile(result, network, statistics, options.angleUnit);
    std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes.size()) / 1e6);
    stage.print("result file", size);
}

struct ChildFigures
{
    double seconds = 0.0;
    double processorSeconds = 0.0;
    long peakKilobytes = 0;
    int status = 0;
};

// Runs `work` in a fresh process and returns its wall time and peak resident memory.
ChildFigures inChild(const std::function<int()> &work)
{
    ChildFigures figures;
    const auto start = std::chrono::steady_clock::now();
#if defined(__unix__)
    std::fflush(stdout);
    // The child starts as a fresh process would, without the memory the generation freed: its
    // pages would be copied on the child's first write to them.
    engine::returnFreeMemory();
    const pid_t pid = fork();
    if (pid == 0) {
        const int status = work();
        std::fflush(stdout);
        _exit(status);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.seconds = seconds(start);
    figures.peakKilobytes = usage.ru_maxrss;
    figures.processorSeconds =
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    figures.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    figures.status = work();
    figures.seconds = seconds(start);
#endif
    return figures;
}

} // namespace

// The default configuration written at `path` with `token` put in place of `from`.
bool configurationWith(const std::string &defaults, const std::string &path,
                       const std::string &from, const std::string &token)
{
    std::ifstream stream(defaults, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    const std::size_t at = text.find(from);
    if (at == std::string::npos) {
        std::fprintf(stderr, "No %s in the default configuration\n", from.c_str());
        return false;
    }
    return writeText(path, text.replace(at, from.size(), token));
}

// Two fixed points against the free network, per size and model.
void compareFree(const std::vector<int> &sizes, const std::vector<bool> &models,
                 const std::filesystem::path &folder, const std::string &localConfiguration,
                 const std::string &ellipsoidalConfiguration)
{
    std::printf("Engine benchmark: two fixed points against the free network (FREENET "
                "TRACEMIN), full processing\n");
    for (int size : sizes) {
        for (const bool ellipsoidal : models) {
            const std::string model = ellipsoidal ? "ellipsoidal" : "local";
            const std::string &held = ellipsoidal ? ellipsoidalConfiguration : localConfiguration;
            const std::string free = (folder / ("free_" + model + ".cfg")).string();
            if (!configurationWith(held, free, "FREENET    NON", "FREENET    TRACEMIN"))
                return;
            double times[2] = {0.0, 0.0};
            for (const Fixing fixing : {Fixing::TwoCorners, Fixing::None}) {
                const bool isFree = fixing == Fixing::None;
                const std::string observationPath =
                    (folder / ("network" + std::to_string(size) + "_" + model +
                               (isFree ? "_free" : "_two") + ".iob"))
                        .string();
                long observations = 0;
                {
                    const GeneratedNetwork network = generate(
                        size, 20240501u + static_cast<unsigned>(size), ellipsoidal, false, fixing);
                    observations = network.observations;
                    writeText(observationPath, network.text);
                }
                const ChildFigures run = inChild([&] {
                    return engine::processObservationFile(observationPath, isFree ? free : held)
                        .status;
                });
                times[isFree ? 1 : 0] = run.seconds;
                std::printf("%d points, %ld observations, %s model, %s: %.2f s wall, %.2f s "
                            "processor, peak memory %.0f MB, status %d; load average %.2f\n",
                            size, observations, model.c_str(),
                            isFree ? "free network" : "two fixed points", run.seconds,
                            run.processorSeconds, static_cast<double>(run.peakKilobytes) / 1024.0,
                            run.status, loadAverage());
            }
            std::printf("   free / two fixed points: %.2f\n", times[1] / times[0]);
        }
    }
}

// Three epochs of the generated network, each observed with its own noise: the coordinates and
// sigma families of the first generation are shared, the observations of each generation (from
// its first HI record on) make an epoch.
void compareEpochs(const std::vector<int> &sizes, const std::filesystem::path &folder,
                   const std::string &localConfiguration)
{
    std::printf("Engine benchmark: three epochs (MEP_MODE OUI, each compared with the first, "
                "congruence tests asked), local model, full processing\n");
    const std::string configuration = (folder / "epochs.cfg").string();
    const std::pair<const char *, const char *> keys[] = {
        {"MEP_MODE   NON", "MEP_MODE   OUI"}, {"MEP_FROM0  NON", "MEP_FROM0  OUI"},
        {"MEP_DOCONF NON", "MEP_DOCONF OUI"}, {"MEP_DOFIAB NON", "MEP_DOFIAB OUI"},
        {"MEP_DOCONG NON", "MEP_DOCONG OUI"}, {"MEP_CTYPE  000", "MEP_CTYPE  001"}};
    std::string from = localConfiguration;
    for (const auto &[key, value] : keys) {
        if (!configurationWith(from, configuration, key, value))
            return;
        from = configuration;
    }
    for (int size : sizes) {
        const std::string observationPath =
            (folder / ("epochs" + std::to_string(size) + ".iob")).string();
        long observations = 0;
        {
            std::string text;
            for (unsigned epoch = 0; epoch < 3; ++epoch) {
                const GeneratedNetwork network =
                    generate(size, 20240501u + static_cast<unsigned>(size), false, false,
                             Fixing::Spread, 7919u * (epoch + 1));
                const std::size_t first = network.text.find("\n HI");
                if (epoch == 0)
                    text = network.text.substr(0, first + 1);
                text += " EPOC Campagne " + std::to_string(epoch + 1) + "\n" +
                        network.text.substr(first + 1);
                observations += network.observations;
            }
            writeText(observationPath, text);
        }
        const ChildFigures run = inChild(
            [&] { return engine::processObservationFile(observationPath, configuration).status; });
        std::printf("3 epochs of %d points, %ld observations in all: %.2f s wall, %.2f s "
                    "processor, peak memory %.0f MB, status %d; load average %.2f\n",
                    size, observations, run.seconds, run.processorSeconds,
                    static_cast<double>(run.peakKilobytes) / 1024.0, run.status, loadAverage());
    }
}

int main(int argc, char **argv)
{
    // Measured in the same process setting as the engine's programs run.
    engine::restartWithAllocatorTuning(argv);
    std::vector<int> sizes;
    bool keep = false;
    bool generateOnly = false;
    bool secondary = false;
    bool varianceComponents = false;
    bool robust = false;
    bool free = false;
    bool epochs = false;
    std::vector<bool> models = {false, true}; // ellipsoidal or not
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--keep")
            keep = true;
        else if (argument == "--generate")
            generateOnly = keep = true;
        else if (argument == "--free")
            free = true;
        else if (argument == "--epochs")
            epochs = true;
        else if (argument == "--local")
            models = {false};
        else if (argument == "--ellipsoidal")
            models = {true};
        else if (argument == "--dense")
            denseGeometry = true;
        else if (argument == "--secondary")
            secondary = true;
        else if (argument == "--vce")
            varianceComponents = true;
        else if (argument == "--robust")
            robust = true;
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {1000, 10000, 50000};

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_engine_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string localConfiguration = (folder / "bench.cfg").string();
    engine::writeDefaultConfiguration(localConfiguration);
    const std::string ellipsoidalConfiguration = (folder / "bench_ellipsoidal.cfg").string();
    if (!configurationWith(localConfiguration, ellipsoidalConfiguration, "3D_LOCALE",
                           "3D_ELLIPSOIDALE"))
        return 1;
    if (free || epochs) {
        if (free)
            compareFree(sizes, models, folder, localConfiguration, ellipsoidalConfiguration);
        else
            compareEpochs(sizes, folder, localConfiguration);
        std::error_code error;
        if (!keep)
            std::filesystem::remove_all(folder, error);
        return 0;
    }

    std::printf("Engine benchmark: full processing (statistics, report, result and drawing "
                "files)\n");
    for (int size : sizes) {
        if (size < 4)
            continue;
        for (const bool ellipsoidal : models) {
            const std::string model = ellipsoidal ? "ellipsoidal" : "local";
            const std::string &configurationPath =
                ellipsoidal ? ellipsoidalConfiguration : localConfiguration;
            const std::string observationPath =
                (folder / ("network" + std::to_string(size) + "_" + model + ".iob")).string();
            long observations = 0;
            int fixedPoints = 0;
            {
                const GeneratedNetwork network =
                    generate(size, 20240501u + static_cast<unsigned>(size), ellipsoidal, secondary,
                             denseGeometry ? Fixing::Corners : Fixing::Spread);
                observations = network.observations;
                fixedPoints = network.fixedPoints;
                writeText(observationPath, network.text);
            }
            std::printf("\n%d points (%d fixed), %ld observations, %s model; load average %.2f\n",
                        size, fixedPoints, observations, model.c_str(), loadAverage());
            if (generateOnly)
                continue;
            const ChildFigures run = inChild([&] {
                const engine::ProcessSummary summary =
                    engine::processObservationFile(observationPath, configurationPath);
                return summary.status;
            });
            std::printf("   full processing: %.2f s wall, %.2f s processor, peak memory %.0f MB, "
                        "status %d; load average %.2f\n",
                        run.seconds, run.processorSeconds,
                        static_cast<double>(run.peakKilobytes) / 1024.0, run.status, loadAverage());
            std::printf("   stages:\n");
            inChild([&] {
                timeStages(observationPath, configurationPath, robust, varianceComponents);
                return 0;
            });
        }
    }
    if (keep) {
        std::printf("\nFiles kept in %s\n", folder.string().c_str());
    } else {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    return 0;
}
