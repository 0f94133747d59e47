// Recording engine: a stand-in for the adjustment engine, with the same five C entry points and
// calling contract, that computes nothing. Tests load it through TAVLO_ENGINE.
//
// It is driven by environment variables, read afresh at every call:
//
//   TAVLO_RECORDING_LOG          File to which every call appends one line: the entry point's
//                                name, then each integer argument in decimal, then each text in
//                                double quotes, fields separated by tabs. A text is what the
//                                entry point received, read up to its NUL, with backslash, tab,
//                                carriage return and line feed escaped as \\, \t, \r and \n.
//                                Unset: nothing is recorded.
//   TAVLO_RECORDING_OUTPUT       What to write at the paths the call receives. A file: its bytes
//                                are copied to every output. A folder: each output receives the
//                                file of the folder that has the output's file name, when there
//                                is one. Unset: nothing is written.
//   TAVLO_RECORDING_PROCESS_EXT  The files tavlodll_process writes: extensions with their dot,
//                                separated by ";", each replacing the last extension of the
//                                observation file. Default ".fic".
//   TAVLO_RECORDING_FAILURE      A reason: tavlodll_convert and tavlodll_geoid then write no
//                                output but this text, as one line, to the output path plus
//                                ".err", as the engine does when it writes nothing. Unset: they
//                                write their output as above and remove a ".err" left there.
//   TAVLO_RECORDING_VERSION      The text of tavlodll_version, default "Recording engine 1.0".
//                                The codes of its first 23 bytes are stored and the count is set
//                                to its whole length, as a careless engine might do.
//
// Outputs: tavlodll_newcfg writes at its path, tavlodll_convert and tavlodll_geoid at their output
// path, tavlodll_process beside the observation file as described above. Paths arrive as Latin-1
// bytes; except on Windows they are turned into UTF-8 before use, so that a path with accents
// names the same file as in the workbench.

#include "engine/api/engineapi.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr int kVersionCodes = 23;

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string escaped(const char *text)
{
    std::string result;
    for (const char *c = text; *c; ++c) {
        switch (*c) {
        case '\\':
            result += "\\\\";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\n':
            result += "\\n";
            break;
        default:
            result += *c;
        }
    }
    return result;
}

void record(const char *entryPoint, const std::vector<const int32_t *> &integers,
            const std::vector<const char *> &texts)
{
    const std::string logPath = environment("TAVLO_RECORDING_LOG");
    if (logPath.empty())
        return;
    std::string line = entryPoint;
    for (const int32_t *value : integers)
        line += "\t" + std::to_string(*value);
    for (const char *text : texts)
        line += "\t\"" + escaped(text) + "\"";
    line += "\n";
    if (FILE *log = std::fopen(logPath.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), log);
        std::fclose(log);
    }
}

// The file-system name of a Latin-1 path.
std::string fileName(const std::string &latin1)
{
#ifdef _WIN32
    return latin1;
#else
    std::string utf8;
    for (const char c : latin1) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
#endif
}

void writeOutput(const std::string &latin1Target)
{
    const std::string target = fileName(latin1Target);
    namespace fs = std::filesystem;
    const std::string output = environment("TAVLO_RECORDING_OUTPUT");
    if (output.empty())
        return;
    std::error_code error;
    fs::path source(output);
    if (fs::is_directory(source, error))
        source /= fs::path(target).filename();
    if (!fs::is_regular_file(source, error))
        return;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
}

// The output of tavlodll_convert or tavlodll_geoid, or its failure file.
void writeConversion(const std::string &latin1Target)
{
    const std::string failurePath = fileName(latin1Target + ".err");
    const std::string reason = environment("TAVLO_RECORDING_FAILURE");
    if (reason.empty()) {
        writeOutput(latin1Target);
        std::remove(failurePath.c_str());
        return;
    }
    if (FILE *failure = std::fopen(failurePath.c_str(), "wb")) {
        const std::string line = reason + "\n";
        std::fwrite(line.data(), 1, line.size(), failure);
        std::fclose(failure);
    }
}

// `path` with the extension of its file name replaced by `extension` (added when it has none).
std::string withExtension(const std::string &path, const std::string &extension)
{
    const std::size_t separator = path.find_last_of("/\\");
    const std::size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (separator == std::string::npos || dot > separator);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

} // namespace

extern "C" {

void TAVLO_CALL tavlodll_process(const int32_t *iobLength, const int32_t *cfgLength,
                                 const char *iobPath, const char *cfgPath)
{
    record("tavlodll_process", {iobLength, cfgLength}, {iobPath, cfgPath});
    std::string extensions = environment("TAVLO_RECORDING_PROCESS_EXT");
    if (extensions.empty())
        extensions = ".fic";
    std::size_t start = 0;
    while (start <= extensions.size()) {
        std::size_t end = extensions.find(';', start);
        if (end == std::string::npos)
            end = extensions.size();
        const std::string extension = extensions.substr(start, end - start);
        if (!extension.empty())
            writeOutput(withExtension(iobPath, extension));
        start = end + 1;
    }
}

void TAVLO_CALL tavlodll_convert(const int32_t *kind, const int32_t *inputLength,
                                 const int32_t *outputLength, const int32_t *optionsLength,
                                 const char *inputPath, const char *outputPath, const char *options)
{
    record("tavlodll_convert", {kind, inputLength, outputLength, optionsLength},
           {inputPath, outputPath, options});
    writeConversion(outputPath);
}

void TAVLO_CALL tavlodll_geoid(const int32_t *inputLength, const int32_t *outputLength,
                               const char *inputPath, const char *outputPath)
{
    record("tavlodll_geoid", {inputLength, outputLength}, {inputPath, outputPath});
    writeConversion(outputPath);
}

void TAVLO_CALL tavlodll_newcfg(const int32_t *pathLength, const char *path)
{
    record("tavlodll_newcfg", {pathLength}, {path});
    writeOutput(path);
}

void TAVLO_CALL tavlodll_version(int32_t *codes, int32_t *count)
{
    record("tavlodll_version", {}, {});
    std::string text = environment("TAVLO_RECORDING_VERSION");
    if (text.empty())
        text = "Recording engine 1.0";
    const std::size_t stored = text.size() < kVersionCodes ? text.size() : kVersionCodes;
    for (std::size_t i = 0; i < stored; ++i)
        codes[i] = static_cast<unsigned char>(text[i]);
    *count = static_cast<int32_t>(text.size());
}
} // extern "C"
