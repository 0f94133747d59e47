#ifndef ENGINE_INPUT_OBSERVATIONREADER_H
#define ENGINE_INPUT_OBSERVATIONREADER_H

#include "engine/base/diagnostics.h"
#include "engine/base/files.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reading of observation files (".iob"). The first character of a line decides its kind: a blank
// starts a record line (code in columns 2 to 5, fields at fixed columns), "#" an include line
// ("#include", one blank, then from column 10 the name of another observation file, relative to
// the folder of the file that includes it), anything else a comment line. Included files are read
// where they are included; files are numbered from 1 in the order they are first met, and every
// record keeps its file number and its line number within that file. A comment line that begins
// with a tab but would be a record without it gets a warning, and so does a file that reads as
// UTF-8 rather than Latin-1 (its accents take two columns and shift the fields after them).
namespace engine {

// The fields of the records this engine reads.
enum class Field {
    Text,
    AngleUnit,
    SigmaId,
    Constant,
    Ppm,
    CentringPoint,
    CentringStation,
    CentringTarget,
    Secondary,
    ObservationType,
    GroupName,
    Parameter1,
    Parameter2,
    Parameter3,
    Parameter4,
    Parameter5,
    Parameter6,
    Parameter7,
    Flags,
    Point,
    East,
    North,
    Up,
    Height,
    Station,
    Target,
    Value,
    StdDev,
    Refraction,
    Length,
    RefractionSigma,
    SemiMajor,
    SemiMinor,
    X,
    Y,
    Z,
    Latitude,
    Longitude,
    CoordinateType,
    MatrixType,
    AllConstant,
    AllFactor,
    DiagonalConstant,
    DiagonalFactor,
    DiagonalPpm,
    UpConstant,
    UpFactor,
    Element1,
    Element2,
    Element3,
    FalseNorthing,
    FalseEasting,
    ScaleFactor,
    FirstParallel,
    SecondParallel,
    Azimuth,
    Projection,
    DeflectionNorth,
    DeflectionEast,
    Undulation,
    Unit
};

// The columns of a record's code.
constexpr int kCodeFirst = 2;
constexpr int kCodeLast = 5;

// A field at columns `first` to `last` (from 1, both included).
struct FieldSpan
{
    Field field;
    int first;
    int last;
};

// The layout of a record: its fields in increasing column order. The code stands in columns
// kCodeFirst to kCodeLast and every other column is blank.
struct RecordLayout
{
    const char *code;
    std::vector<FieldSpan> fields;

    // The span of `field`, or null when the record has no such field.
    const FieldSpan *find(Field field) const;
};

// The layouts of the records this engine reads, and the one of `code` (null when not read).
const std::vector<RecordLayout> &recordLayouts();
const RecordLayout *recordLayout(std::string_view code);

// The runs of columns [first, last] of `line` whose characters stand outside the code and the
// fields of `layout` without being blanks; trailing blanks and tabs are not looked at.
std::vector<std::pair<int, int>> columnsOutsideFields(std::string_view line,
                                                      const RecordLayout &layout);

struct SourceLine
{
    int fileNumber = 0;    // from 1
    int lineNumber = 0;    // from 1, within its file
    std::string_view text; // the line without its line end, within ObservationSource::contents
};

struct ObservationSource
{
    std::vector<std::string> files;  // absolute Latin-1 paths; file number n is files[n - 1]
    std::vector<SourceLine> records; // record lines in reading order
    // The texts the record lines view, one per reading of a file; each keeps its address.
    std::vector<std::unique_ptr<const std::string>> contents;

    // Frees the record lines and the texts they view, once they have been read.
    void releaseLines()
    {
        std::vector<SourceLine>().swap(records);
        std::vector<std::unique_ptr<const std::string>>().swap(contents);
    }
};

// At most this many files may be open inside one another, and at most this many include lines
// may be followed in one reading (files that include one another many times over would otherwise
// take exponential time).
constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxIncludes = 1000;

// Reads `mainPath` and every file it includes. A missing file, an include cycle, a malformed
// include line, a too deep nesting or too many includes goes to `diagnostics` with its file and
// line.
ObservationSource readObservationFiles(const std::string &mainPath, const FileLoader &loader,
                                       Diagnostics &diagnostics);

// The files the reading of `mainPath` reads, with the same messages, without keeping their texts.
std::vector<std::string> listObservationFiles(const std::string &mainPath, const FileLoader &loader,
                                              Diagnostics &diagnostics);

// `name` taken relative to the folder of `includingFile` unless it is absolute.
std::string resolveInclude(const std::string &includingFile, const std::string &name);

} // namespace engine

#endif // ENGINE_INPUT_OBSERVATIONREADER_H
