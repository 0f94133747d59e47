#ifndef ENGINE_ESTIMATION_DATACHECK_H
#define ENGINE_ESTIMATION_DATACHECK_H

#include "engine/model/network.h"
#include "engine/model/options.h"

#include <cmath>
#include <string>
#include <vector>

// The check of the data before the adjustment, on the approximate coordinates the network holds
// and the approximate orientations of its direction sets: the misfit of every observation, the
// misclosures of the loops of levelled height differences, and hints for the usual mistakes of
// units and faces, where one re-reading of a record explains a misfit far better than chance.
namespace engine {

// Every observation whose misfit exceeds this many standard deviations is listed, beyond the
// worst few listed anyway.
constexpr double kListedMisfit = 10.0;
constexpr std::size_t kListedWorst = 20;
// A loop is flagged when its misclosure exceeds this many of its standard deviations.
constexpr double kLoopTolerance = 3.0;
// A re-reading is hinted at when the misfit as read exceeds kHintMisfit standard deviations and
// the misfit re-read stays within kHintFit of them: a blunder of that size falls so near one
// given re-reading by chance at most 3 times in 100.
constexpr double kHintMisfit = 100.0;
constexpr double kHintFit = 3.0;

struct ObservationMisfit
{
    int observation = 0;     // index into Network::observations
    double misfit = 0.0;     // observed minus computed: metres or radians
    double normalized = 0.0; // misfit / sigma

    // Beyond kListedMisfit sigma: the report lists it whatever its rank.
    bool beyondListed() const { return std::abs(normalized) > kListedMisfit; }
};

// A fundamental loop of the levelling graph: the height differences of a spanning tree plus one
// that the tree leaves out.
struct LevellingLoop
{
    int closing = 0;         // the record the tree leaves out, index into Network::observations
    int links = 0;           // height differences round the loop
    double misclosure = 0.0; // metres: the sum of the height differences round the loop
    double sigma = 0.0;      // metres: propagated from the records' standard deviations
    // Only for the loops listed, the kListedWorst worst and every flagged one (a large network
    // has many long loops): the points round the loop from the closing record's back point, and
    // its records, the closing one first.
    std::vector<int> points;
    std::vector<int> observations;

    bool flagged() const { return std::abs(misclosure) > kLoopTolerance * sigma; }
};

enum class HintKind {
    LinearUnit,       // DIST or OHDF read in another of m, cm, mm
    AngleUnit,        // an angle read in DMS instead of grades or the reverse
    Sexagesimal,      // an angle of one part read as DDD.MMSS (degrees, minutes, seconds)
    InstrumentHeight, // an HI read in another of m, cm, mm
    TargetHeight,     // an HT read in another of m, cm, mm
    OtherFace         // a direction read with half a circle added
};

struct Hint
{
    HintKind kind = HintKind::LinearUnit;
    int fileNumber = 0; // the record at fault
    int lineNumber = 0;
    int observation = 0;  // the observation that shows it; for a height the worst it serves
    int observations = 1; // how many observations the re-reading brings back (heights)
    double asRead = 0.0;  // the value as read and re-read: metres or radians
    double reread = 0.0;
    double unitAsRead = 1.0; // linear units and heights: metres per unit
    double unitReread = 1.0;
    AngleUnit angleUnitReread = AngleUnit::Grades; // AngleUnit
    // Angles (AngleUnit, Sexagesimal): the angle field as written, for the report, printed once
    // the records as read are released.
    std::string written;
    double normalizedAsRead = 0.0; // the largest misfit over sigma, as read and re-read
    double normalizedReread = 0.0;
};

struct DataCheck
{
    // The misfits the report lists, the worst first: the kListedWorst worst and every one beyond
    // kListedMisfit sigma.
    std::vector<ObservationMisfit> misfits;
    std::size_t checked = 0;          // the observations whose misfit could be computed
    std::vector<LevellingLoop> loops; // the worst first
    std::vector<Hint> hints;          // in the order of the files and lines
};

// The hints of units read another way need the network's records as read (Network::asRead):
// the check comes before they are released.
DataCheck checkData(const Network &network, const Options &options);

} // namespace engine

#endif // ENGINE_ESTIMATION_DATACHECK_H
