#include "engine/output/simulatedobservations.h"

#include "engine/base/text.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"

#include <cmath>
#include <map>
#include <random>
#include <utility>

namespace engine {

namespace {

// Columns of the value of DIST, DIR, AZIM, ZANG and OHDF.
constexpr int kValueFirst = 50;
constexpr int kValueWidth = 15;

bool isSimulated(ObservationKind kind)
{
    return !isObservedPosition(kind);
}

} // namespace

SimulatedObservations simulateObservations(const Network &network, const ObservationSource &source,
                                           const State &state, const Options &options,
                                           std::uint32_t seed, const char *lineEnd)
{
    SimulatedObservations out;
    out.seed = seed;
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    const double circle = options.generationOrientation == GenerationOrientation::Random ? kPi
                          : options.generationOrientation == GenerationOrientation::RandomQuarter
                              ? kPi / 2.0
                              : 0.0;
    std::uniform_real_distribution<double> turn(0.0, 1.0);
    State drawn = state;
    drawn.orientations.assign(network.sets.size(), 0.0);
    for (double &orientation : drawn.orientations)
        orientation = circle * turn(random);
    std::vector<EllipsoidalPosition> positions;
    if (network.geodetic)
        positions = ellipsoidalPositions(network.surface, drawn);

    // The new value field of each observation's line.
    std::map<std::pair<int, int>, std::string> values;
    for (const Observation &o : network.observations) {
        if (!isSimulated(o.kind))
            continue;
        const ObservationEquation eq =
            network.geodetic ? evaluateEllipsoidal(o, positions, drawn) : evaluate(o, drawn);
        double error = 0.0;
        if (options.generationNoise != GenerationNoise::None) {
            const double unit = normal(random);
            out.largestError = std::max(out.largestError, std::fabs(unit));
            error = unit * o.sigma;
        }
        const double value = eq.computed + error;
        const bool angle = o.kind == ObservationKind::Direction ||
                           o.kind == ObservationKind::Azimuth || o.kind == ObservationKind::Zenith;
        const std::string written = angle ? formatAngle(normalizeAngle(value), o.angleUnit,
                                                        o.angleUnit == AngleUnit::Radians ? 2 : 4)
                                          : fixed(value / metresPerUnit(o.linearUnit), 0, 6);
        values[{o.fileNumber, o.lineNumber}] = padLeft(written, kValueWidth);
        ++out.generated;
    }
    for (const SourceLine &line : source.records) {
        std::string text(line.text);
        const auto found = values.find({line.fileNumber, line.lineNumber});
        if (found != values.end()) {
            if (text.size() < static_cast<std::size_t>(kValueFirst - 1 + kValueWidth))
                text.resize(static_cast<std::size_t>(kValueFirst - 1 + kValueWidth), ' ');
            text.replace(static_cast<std::size_t>(kValueFirst - 1),
                         static_cast<std::size_t>(kValueWidth), found->second);
        } else {
            ++out.kept;
        }
        out.text += text + lineEnd;
    }
    return out;
}

} // namespace engine
