#ifndef ENGINE_IMPORT_IMPORTCONVERSION_H
#define ENGINE_IMPORT_IMPORTCONVERSION_H

#include <set>
#include <string>
#include <string_view>
#include <vector>

// Import of external field data into an observation file. One call converts one input file:
// the first file of a run creates the output, the following ones append to it. Every input line
// that cannot be converted becomes a comment line at its place, naming the input file, the line
// and the reason. An input that cannot be read, or that is not of the kind at all, writes nothing.
namespace engine::import {

// The kinds of the import dialog, in the order of its list.
enum class ImportKind { Covadis = 1, SkiAscii = 2, RtkLib = 3, LeicaGsi = 4 };

struct ImportOptions
{
    bool includePoints = false;     // kinds 2 and 3: write the points' coordinates
    bool includeCovariance = false; // kinds 2 and 3: write the points' covariances (3DC blocks)
    bool neo = false;               // kind 4: coordinate records as NEO instead of LENU
    bool append = false;            // a later file of the run: append to the output
};

// The options string of `kind`: one "O" (yes) or "N" (no) per option of the kind (none for
// kind 1, two for kinds 2 and 3, one for kind 4), then the batch character, "N" for the first
// file of a run and "O" for the later ones. False when the kind is unknown or the string does
// not have exactly that form.
bool parseImportOptions(int kind, std::string_view text, ImportOptions &options);

// What the reader of one input knows of it.
struct ImportContext
{
    std::string fileName;                // the input's file name, for the comments (Latin-1)
    std::string baseName;                // the file name without its extension
    std::set<std::string> definedPoints; // points already given coordinates in the output
};

struct Conversion
{
    bool readable = false;          // false: nothing is written
    std::string reason;             // why the input is not readable (Latin-1)
    std::vector<std::string> lines; // the output lines, without line ends
};

// The comment line that stands for input line `lineNumber` (from 1), which could not be converted.
std::string rejectedLine(const ImportContext &context, int lineNumber, std::string_view reason);

// The lines of a text input, without their line ends (CR LF, LF or CR). A final line end does not
// make an empty last line.
std::vector<std::string_view> splitLines(std::string_view content);

// Converts `content` in memory.
Conversion convertContent(ImportKind kind, std::string_view content, ImportContext &context,
                          const ImportOptions &options);

// The names of the points that the coordinate records of observation-file `content` define.
std::set<std::string> pointsDefinedIn(std::string_view content);

// Converts the file `inputPath` into `outputPath` (Latin-1 paths) with the options string of the
// import dialog. The output is written whole or not at all (AtomicFile); when appending, the old
// output is copied first. An output that is the input itself is refused. Returns why nothing was
// written (one Latin-1 sentence), or an empty text when the output was written. Never throws.
std::string convertFile(int kind, const std::string &inputPath, const std::string &outputPath,
                        const std::string &options);

} // namespace engine::import

#endif // ENGINE_IMPORT_IMPORTCONVERSION_H
