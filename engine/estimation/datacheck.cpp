#include "engine/estimation/datacheck.h"

#include "engine/base/parallelfailure.h"
#include "engine/estimation/adjustment.h"
#include "engine/model/angles.h"
#include "engine/model/ellipsoidalmodel.h"
#include "engine/model/localmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <tuple>

namespace engine {

namespace {

constexpr double kMetresPerUnit[] = {1.0, 0.01, 0.001}; // m, cm, mm
// Heights beyond this are refused when read: no re-reading may give one.
constexpr double kLargestHeight = 100.0;

bool isAngle(const Observation &o)
{
    return o.kind == ObservationKind::Direction || o.kind == ObservationKind::Azimuth ||
           o.kind == ObservationKind::Zenith;
}

// Below this many observations, threads would cost more than they save.
constexpr std::size_t kParallelFrom = 100000;

// body(i) for every observation i of `count`, in parallel from kParallelFrom of them on, each
// writing its own slots only; an exception thrown by one is thrown again once all are done.
template <typename Body> void forEachObservation(std::size_t count, const Body &body)
{
    ParallelFailure failure;
#pragma omp parallel for schedule(static) if (count >= kParallelFrom)
    for (std::ptrdiff_t k = 0; k < static_cast<std::ptrdiff_t>(count); ++k)
        failure.run([&] { body(static_cast<std::size_t>(k)); });
    failure.rethrow();
}

// Sorts `items` by `before`, a strict total order, in pieces sorted in parallel then merged: the
// result is the one order `before` defines, whatever the thread count.
template <typename T, typename Less> void sortInParallel(std::vector<T> &items, Less before)
{
    constexpr std::ptrdiff_t kPieces = 8;
    const auto size = static_cast<std::ptrdiff_t>(items.size());
    const auto bound = [&](std::ptrdiff_t piece) {
        return items.begin() + size * std::min(piece, kPieces) / kPieces;
    };
#pragma omp parallel for schedule(static) if (items.size() >= kParallelFrom)
    for (std::ptrdiff_t piece = 0; piece < kPieces; ++piece)
        std::sort(bound(piece), bound(piece + 1), before);
    for (std::ptrdiff_t width = 1; width < kPieces; width *= 2) {
#pragma omp parallel for schedule(static) if (items.size() >= kParallelFrom)
        for (std::ptrdiff_t piece = 0; piece < kPieces; piece += 2 * width)
            std::inplace_merge(bound(piece), bound(piece + width), bound(piece + 2 * width),
                               before);
    }
}

bool fits(double normalizedReread)
{
    return std::abs(normalizedReread) <= kHintFit;
}

// The standard deviation of a record read again with its own standard deviation scaled by
// `ownFactor` (a family's part stays), never below the one as read.
double rereadSigma(const Observation &o, const ObservationAsRead &asRead, double ownFactor)
{
    if (!asRead.hasOwnSigma)
        return o.sigma;
    const double family = std::max(0.0, o.sigma * o.sigma - asRead.ownSigma * asRead.ownSigma);
    const double own = asRead.ownSigma * ownFactor;
    return std::max(o.sigma, std::sqrt(family + own * own));
}

// A reading of `written` as degrees, minutes and seconds packed in one number (DDD.MMSS), in
// radians; none when the field has more than one part or its minutes or seconds reach 60.
std::optional<double> packedSexagesimal(const std::string &written, AngleRange range)
{
    std::string error;
    const auto number = parseAngle(written, AngleUnit::Radians, error, AngleRange::Any);
    if (!number)
        return std::nullopt;
    const double packed = std::abs(*number);
    const double degrees = std::floor(packed);
    const double minutesAndSeconds = (packed - degrees) * 100.0;
    const double minutes = std::floor(minutesAndSeconds + 1e-9);
    const double seconds = std::max(0.0, (minutesAndSeconds - minutes) * 100.0);
    if (minutes >= 60.0 || seconds >= 60.0)
        return std::nullopt;
    double value = (degrees + minutes / 60.0 + seconds / 3600.0) * kPi / 180.0;
    if (*number < 0.0)
        value = -value;
    if (range == AngleRange::HalfCircle)
        return value >= 0.0 && value <= kPi ? std::optional<double>(value) : std::nullopt;
    if (range == AngleRange::Circle) {
        if (std::abs(value) >= 2.0 * kPi)
            return std::nullopt;
        return normalizeAngle(value);
    }
    return value;
}

class Checker
{
public:
    // The geodetic models compute on their surface, from each station's own horizon: 10 km from
    // its origin the tangent plane of the approximate coordinates leans 1.6 milliradians away
    // from a station's horizon, a hundred standard deviations of a zenith angle.
    Checker(const Network &network, const Options &options)
        : m_network(network)
    {
        for (const Point &p : network.points)
            m_state.coordinates.push_back(network.geodetic ? network.geocentricOf(p)
                                                           : p.approximate);
        if (network.geodetic)
            m_positions = ellipsoidalPositions(network.surface, m_state);
        approximateOrientations(network, options, m_state,
                                network.geodetic ? &m_positions : nullptr);
    }

    DataCheck run()
    {
        DataCheck check;
        misfits(check);
        robustOrientations();
        observationHints(check);
        heightHints(check, true);
        heightHints(check, false);
        std::stable_sort(check.hints.begin(), check.hints.end(), [](const Hint &a, const Hint &b) {
            return std::tie(a.fileNumber, a.lineNumber) < std::tie(b.fileNumber, b.lineNumber);
        });
        levellingLoops(check);
        return check;
    }

private:
    // The misfit of `o` with its value and heights as given, against `state`; none when its
    // sight is not defined.
    std::optional<double> misfitOf(const Observation &o, const State &state) const
    {
        const ObservationEquation eq = equationOf(o, state);
        if (eq.geometry != SightGeometry::Defined || !std::isfinite(eq.computed))
            return std::nullopt;
        return misclosure(o, eq.computed);
    }

    // In a geodetic model the points are those of m_positions, the orientations those of
    // `state`.
    ObservationEquation equationOf(const Observation &o, const State &state) const
    {
        return m_network.geodetic ? evaluateEllipsoidal(o, m_positions, state) : evaluate(o, state);
    }

    void misfits(DataCheck &check)
    {
        const std::size_t count = m_network.observations.size();
        m_normalized.assign(count, 0.0);
        // Observation -1: no misfit.
        check.misfits.assign(count, ObservationMisfit{-1, 0.0, 0.0});
        forEachObservation(count, [&](std::size_t i) {
            const Observation &o = m_network.observations[i];
            const auto value = misfitOf(o, m_state);
            if (!value || !(o.sigma > 0.0))
                return;
            m_normalized[i] = *value / o.sigma;
            check.misfits[i] = {static_cast<int>(i), *value, m_normalized[i]};
        });
        check.misfits.erase(
            std::remove_if(check.misfits.begin(), check.misfits.end(),
                           [](const ObservationMisfit &m) { return m.observation < 0; }),
            check.misfits.end());
        // The worst first; equal ones in the order of the observations.
        sortInParallel(check.misfits, [](const ObservationMisfit &a, const ObservationMisfit &b) {
            const double x = std::abs(a.normalized);
            const double y = std::abs(b.normalized);
            return x > y || (x == y && a.observation < b.observation);
        });
        check.checked = check.misfits.size();
        const auto beyond =
            std::partition_point(check.misfits.begin(), check.misfits.end(),
                                 [](const ObservationMisfit &m) { return m.beyondListed(); });
        const auto listed = std::max(static_cast<std::size_t>(beyond - check.misfits.begin()),
                                     std::min(kListedWorst, check.checked));
        check.misfits.resize(listed);
        check.misfits.shrink_to_fit();
    }

    // For each direction, the orientation of its set from the other directions of the set: the
    // median of their orientations, so that one reading at fault, or a few, spoil neither it nor
    // the hints of the others. Directions alone in their set get none: the orientation takes up
    // any reading.
    void robustOrientations()
    {
        const std::size_t count = m_network.observations.size();
        m_robustOrientation.assign(count, kNone);
        // Unwrapped about the set's approximate orientation.
        std::vector<double> unwrapped(count, 0.0);
        std::vector<char> defined(count, 0);
        forEachObservation(count, [&](std::size_t i) {
            const Observation &o = m_network.observations[i];
            if (o.kind != ObservationKind::Direction || o.set < 0)
                return;
            Observation azimuth = o;
            azimuth.kind = ObservationKind::Azimuth;
            const ObservationEquation eq = equationOf(azimuth, m_state);
            if (eq.geometry != SightGeometry::Defined)
                return;
            const auto set = static_cast<std::size_t>(o.set);
            unwrapped[i] = wrapAngle(eq.computed - o.value - m_state.orientations[set]);
            defined[i] = 1;
        });
        std::vector<std::vector<std::pair<double, int>>> bySet(m_network.sets.size());
        for (std::size_t i = 0; i < count; ++i) {
            if (defined[i])
                bySet[static_cast<std::size_t>(m_network.observations[i].set)].emplace_back(
                    unwrapped[i], static_cast<int>(i));
        }
        for (std::size_t s = 0; s < bySet.size(); ++s) {
            auto &values = bySet[s];
            std::sort(values.begin(), values.end());
            const std::size_t others = values.empty() ? 0 : values.size() - 1;
            if (others == 0)
                continue;
            for (std::size_t p = 0; p < values.size(); ++p) {
                // The k-th value once the p-th is left out.
                const auto at = [&](std::size_t k) { return values[k < p ? k : k + 1].first; };
                const double median =
                    others % 2 == 1 ? at(others / 2) : 0.5 * (at(others / 2 - 1) + at(others / 2));
                m_robustOrientation[static_cast<std::size_t>(values[p].second)] =
                    m_state.orientations[s] + median;
            }
        }
    }

    // The normalized misfit of `o` (possibly re-read) with `sigma`, a direction against the
    // orientation of its set from the other directions.
    std::optional<double> normalized(const Observation &o, std::size_t index, double sigma) const
    {
        std::optional<double> misfit;
        if (o.kind == ObservationKind::Direction) {
            if (std::isnan(m_robustOrientation[index]))
                return std::nullopt;
            State state;
            state.orientations = {m_robustOrientation[index]};
            Observation alone = o;
            alone.set = 0;
            if (!m_network.geodetic) {
                state.coordinates = {m_state.coordinates[static_cast<std::size_t>(o.station)],
                                     m_state.coordinates[static_cast<std::size_t>(o.target)]};
                alone.station = 0;
                alone.target = 1;
            }
            misfit = misfitOf(alone, state);
        } else {
            misfit = misfitOf(o, m_state);
        }
        if (!misfit || !(sigma > 0.0))
            return std::nullopt;
        return *misfit / sigma;
    }

    // The record as read of observation `i`; once the records are released, an empty one, which
    // no hint reads.
    const ObservationAsRead &recordAsRead(std::size_t i) const
    {
        static const ObservationAsRead none;
        return i < m_network.asRead.size() ? m_network.asRead[i] : none;
    }

    struct Reading
    {
        HintKind kind;
        double value;
        double sigma;
        double unit = 1.0;
        AngleUnit angleUnit = AngleUnit::Grades;
    };

    std::vector<Reading> rereadings(const Observation &o, const ObservationAsRead &asRead) const
    {
        std::vector<Reading> readings;
        if (o.kind == ObservationKind::Distance || o.kind == ObservationKind::HeightDifference) {
            const double metres = metresPerUnit(o.linearUnit);
            for (double unit : kMetresPerUnit) {
                if (unit == metres)
                    continue;
                const double factor = unit / metres;
                readings.push_back(
                    {HintKind::LinearUnit, o.value * factor, rereadSigma(o, asRead, factor), unit});
            }
            return readings;
        }
        if (!isAngle(o) || asRead.written.empty())
            return readings;
        const AngleRange range =
            o.kind == ObservationKind::Zenith ? AngleRange::HalfCircle : AngleRange::Circle;
        if (o.angleUnit == AngleUnit::Grades || o.angleUnit == AngleUnit::Dms) {
            const AngleUnit other =
                o.angleUnit == AngleUnit::Grades ? AngleUnit::Dms : AngleUnit::Grades;
            const double factor = smallAngleUnitInRadians(other) / asRead.smallAngleUnit;
            std::string error;
            if (const auto value = parseAngle(asRead.written, other, error, range)) {
                Reading r{HintKind::AngleUnit, *value, rereadSigma(o, asRead, factor)};
                r.angleUnit = other;
                readings.push_back(r);
            }
            if (const auto value = packedSexagesimal(asRead.written, range)) {
                const double sexagesimal =
                    smallAngleUnitInRadians(AngleUnit::Dms) / asRead.smallAngleUnit;
                readings.push_back(
                    {HintKind::Sexagesimal, *value, rereadSigma(o, asRead, sexagesimal)});
            }
        }
        if (o.kind == ObservationKind::Direction)
            readings.push_back({HintKind::OtherFace, normalizeAngle(o.value + kPi), o.sigma});
        return readings;
    }

    void observationHints(DataCheck &check) const
    {
        // The misfits as read, the directions' against their set's robust orientation; the
        // others' are those of m_normalized, 0 where there is none.
        const std::size_t count = m_network.observations.size();
        std::vector<double> asReadOf(m_normalized);
        forEachObservation(count, [&](std::size_t i) {
            const Observation &o = m_network.observations[i];
            if (o.kind == ObservationKind::Direction)
                asReadOf[i] = normalized(o, i, o.sigma).value_or(0.0);
        });
        for (std::size_t i = 0; i < count; ++i) {
            if (std::abs(asReadOf[i]) < kHintMisfit)
                continue;
            const Observation &o = m_network.observations[i];
            const ObservationAsRead &record = recordAsRead(i);
            const std::optional<double> asRead = asReadOf[i];
            std::optional<Hint> best;
            for (const Reading &r : rereadings(o, record)) {
                Observation reread = o;
                reread.value = r.value;
                const auto after = normalized(reread, i, r.sigma);
                if (!after || !fits(*after))
                    continue;
                if (best && std::abs(best->normalizedReread) <= std::abs(*after))
                    continue;
                Hint h;
                h.kind = r.kind;
                h.fileNumber = o.fileNumber;
                h.lineNumber = o.lineNumber;
                h.observation = static_cast<int>(i);
                h.asRead = o.value;
                h.reread = r.value;
                h.unitAsRead = metresPerUnit(o.linearUnit);
                h.unitReread = r.unit;
                h.angleUnitReread = r.angleUnit;
                if (r.kind == HintKind::AngleUnit || r.kind == HintKind::Sexagesimal)
                    h.written = record.written;
                h.normalizedAsRead = *asRead;
                h.normalizedReread = *after;
                best = h;
            }
            if (best)
                check.hints.push_back(*best);
        }
    }

    // An HI or HT read in another unit: each record is judged on every distance and zenith
    // angle that takes its height, all of which must fit once it is re-read.
    void heightHints(DataCheck &check, bool instrument) const
    {
        const auto recordOf = [&](std::size_t i) {
            const Observation &o = m_network.observations[i];
            const ObservationAsRead &asRead = recordAsRead(i);
            const HeightRecord &record = instrument ? asRead.instrumentRecord : asRead.targetRecord;
            const bool judged = record.lineNumber > 0 && (o.kind == ObservationKind::Distance ||
                                                          o.kind == ObservationKind::Zenith);
            return judged
                       ? std::optional<std::pair<int, int>>({record.fileNumber, record.lineNumber})
                       : std::nullopt;
        };
        // Only the records that serve a misfit worth a hint are looked at.
        std::vector<std::pair<int, int>> suspects;
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            if (std::abs(m_normalized[i]) < kHintMisfit)
                continue;
            if (const auto record = recordOf(i))
                suspects.push_back(*record);
        }
        if (suspects.empty())
            return;
        std::sort(suspects.begin(), suspects.end());
        std::map<std::pair<int, int>, std::vector<std::size_t>> byRecord;
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const auto record = recordOf(i);
            if (record && std::binary_search(suspects.begin(), suspects.end(), *record))
                byRecord[*record].push_back(i);
        }
        for (const auto &[where, served] : byRecord) {
            const Observation &first = m_network.observations[served.front()];
            const ObservationAsRead &asRead = recordAsRead(served.front());
            const HeightRecord &record = instrument ? asRead.instrumentRecord : asRead.targetRecord;
            const double height = instrument ? first.instrumentHeight : first.targetHeight;
            std::size_t worst = served.front();
            for (std::size_t i : served) {
                if (std::abs(m_normalized[i]) > std::abs(m_normalized[worst]))
                    worst = i;
            }
            if (std::abs(m_normalized[worst]) < kHintMisfit || height == 0.0)
                continue;
            std::optional<Hint> best;
            const double metres = metresPerUnit(record.unit);
            for (double unit : kMetresPerUnit) {
                const double reread = height * unit / metres;
                if (unit == metres || std::abs(reread) > kLargestHeight)
                    continue;
                double largest = 0.0;
                bool allFit = true;
                for (std::size_t i : served) {
                    Observation o = m_network.observations[i];
                    (instrument ? o.instrumentHeight : o.targetHeight) = reread;
                    const auto after = normalized(o, i, o.sigma);
                    allFit = allFit && after && fits(*after);
                    if (!allFit)
                        break;
                    largest = std::max(largest, std::abs(*after));
                }
                if (!allFit || (best && best->normalizedReread <= largest))
                    continue;
                Hint h;
                h.kind = instrument ? HintKind::InstrumentHeight : HintKind::TargetHeight;
                h.fileNumber = where.first;
                h.lineNumber = where.second;
                h.observation = static_cast<int>(worst);
                h.observations = static_cast<int>(served.size());
                h.asRead = height;
                h.reread = reread;
                h.unitAsRead = metresPerUnit(record.unit);
                h.unitReread = unit;
                h.normalizedAsRead = m_normalized[worst];
                h.normalizedReread = largest;
                best = h;
            }
            if (best)
                check.hints.push_back(*best);
        }
    }

    // The fundamental loops of a breadth-first spanning forest of the levelling graph.
    void levellingLoops(DataCheck &check) const
    {
        const std::size_t pointCount = m_network.points.size();
        std::vector<std::vector<int>> edges(pointCount);
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            if (o.kind != ObservationKind::HeightDifference || !(o.sigma > 0.0))
                continue;
            edges[static_cast<std::size_t>(o.station)].push_back(static_cast<int>(i));
            edges[static_cast<std::size_t>(o.target)].push_back(static_cast<int>(i));
        }
        std::vector<int> parentEdge(pointCount, -1);
        std::vector<int> depth(pointCount, -1);
        std::vector<double> height(pointCount, 0.0);
        std::vector<bool> inTree(m_network.observations.size(), false);
        std::vector<int> queue;
        for (std::size_t root = 0; root < pointCount; ++root) {
            if (depth[root] >= 0 || edges[root].empty())
                continue;
            depth[root] = 0;
            queue.assign(1, static_cast<int>(root));
            for (std::size_t head = 0; head < queue.size(); ++head) {
                const auto p = static_cast<std::size_t>(queue[head]);
                for (int e : edges[p]) {
                    const Observation &o = m_network.observations[static_cast<std::size_t>(e)];
                    const auto other = static_cast<std::size_t>(
                        o.station == static_cast<int>(p) ? o.target : o.station);
                    if (depth[other] >= 0)
                        continue;
                    depth[other] = depth[p] + 1;
                    parentEdge[other] = e;
                    inTree[static_cast<std::size_t>(e)] = true;
                    height[other] =
                        height[p] + (o.target == static_cast<int>(other) ? o.value : -o.value);
                    queue.push_back(static_cast<int>(other));
                }
            }
        }
        const auto parentOf = [&](int p) {
            const Observation &o = m_network.observations[static_cast<std::size_t>(
                parentEdge[static_cast<std::size_t>(p)])];
            return o.station == p ? o.target : o.station;
        };
        // Round the loop of record `closing`; its points and records only when `listed`.
        const auto trace = [&](int closing, bool listed) {
            const Observation &o = m_network.observations[static_cast<std::size_t>(closing)];
            LevellingLoop loop;
            loop.closing = closing;
            loop.links = 1;
            double variance = o.sigma * o.sigma;
            if (listed)
                loop.observations.push_back(closing);
            // The tree paths from both ends up to their meeting point.
            std::vector<int> fromBack{o.station};
            std::vector<int> fromForward{o.target};
            int a = o.station;
            int b = o.target;
            while (a != b) {
                const bool back =
                    depth[static_cast<std::size_t>(a)] >= depth[static_cast<std::size_t>(b)];
                int &deeper = back ? a : b;
                const int edge = parentEdge[static_cast<std::size_t>(deeper)];
                const double sigma = m_network.observations[static_cast<std::size_t>(edge)].sigma;
                variance += sigma * sigma;
                ++loop.links;
                deeper = parentOf(deeper);
                if (listed) {
                    loop.observations.push_back(edge);
                    (back ? fromBack : fromForward).push_back(deeper);
                }
            }
            if (listed) {
                // Back point, forward point, up to the meeting point, down to the back point.
                loop.points.push_back(o.station);
                loop.points.insert(loop.points.end(), fromForward.begin(), fromForward.end());
                for (std::size_t k = fromBack.size() - 1; k-- > 1;)
                    loop.points.push_back(fromBack[k]);
                if (loop.points.size() > 1 && loop.points.back() == o.station)
                    loop.points.pop_back();
            }
            loop.misclosure = o.value - (height[static_cast<std::size_t>(o.target)] -
                                         height[static_cast<std::size_t>(o.station)]);
            loop.sigma = std::sqrt(variance);
            return loop;
        };
        for (std::size_t i = 0; i < m_network.observations.size(); ++i) {
            const Observation &o = m_network.observations[i];
            if (o.kind == ObservationKind::HeightDifference && o.sigma > 0.0 && !inTree[i])
                check.loops.push_back(trace(static_cast<int>(i), false));
        }
        std::stable_sort(check.loops.begin(), check.loops.end(),
                         [](const LevellingLoop &x, const LevellingLoop &y) {
                             return std::abs(x.misclosure) / x.sigma >
                                    std::abs(y.misclosure) / y.sigma;
                         });
        for (std::size_t k = 0; k < check.loops.size(); ++k) {
            if (k < kListedWorst || check.loops[k].flagged())
                check.loops[k] = trace(check.loops[k].closing, true);
        }
    }

    const Network &m_network;
    State m_state;
    std::vector<EllipsoidalPosition> m_positions; // geodetic models: the points of m_state
    std::vector<double> m_normalized;        // as read, against the set's approximate orientation
    std::vector<double> m_robustOrientation; // kNone: none
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
};

} // namespace

DataCheck checkData(const Network &network, const Options &options)
{
    return Checker(network, options).run();
}

} // namespace engine
