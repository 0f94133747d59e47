#ifndef ENGINE_OBSERVATIONREADER_H
#define ENGINE_OBSERVATIONREADER_H

#include "diagnostics.h"

#include <functional>
#include <string>
#include <vector>

// Reading of observation files (".iob"). The first character of a line decides its kind: a blank
// starts a record line (code in columns 2 to 5, fields at fixed columns), "#" an include line
// ("#include", one blank, then from column 10 the name of another observation file, relative to
// the folder of the file that includes it), anything else a comment line. Included files are read
// where they are included; files are numbered from 1 in the order they are first met, and every
// record keeps its file number and its line number within that file.
namespace engine {

// Loads the whole content of a file given its Latin-1 path; false when it cannot be read.
using FileLoader = std::function<bool(const std::string &path, std::string &content)>;

// Reads files from the disk.
FileLoader diskFileLoader();

struct SourceLine
{
    int fileNumber = 0; // from 1
    int lineNumber = 0; // from 1, within its file
    std::string text;   // the line without its line end
};

struct ObservationSource
{
    std::vector<std::string> files;  // absolute Latin-1 paths; file number n is files[n - 1]
    std::vector<SourceLine> records; // record lines in reading order
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

// The absolute, lexically normal form of `path` (Latin-1), with the platform's separators.
std::string normalizedPath(const std::string &path);

// `name` taken relative to the folder of `includingFile` unless it is absolute.
std::string resolveInclude(const std::string &includingFile, const std::string &name);

} // namespace engine

#endif // ENGINE_OBSERVATIONREADER_H
