#include "engine/api/engineapi.h"

#include "engine/api/process.h"
#include "engine/base/atomicfile.h"
#include "engine/base/text.h"
#include "engine/base/version.h"
#include "engine/import/gridreaders.h"
#include "engine/import/importconversion.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>

namespace {

constexpr int kVersionCapacity = 23;

// The text at `text` of `*length` characters, stopping early at a NUL so that a length larger
// than the text never reads past its end. Null pointers and negative lengths give "".
std::string argumentText(const std::int32_t *length, const char *text)
{
    if (!length || !text || *length <= 0)
        return {};
    const auto limit = static_cast<std::size_t>(*length);
    const void *nul = std::memchr(text, '\0', limit);
    const std::size_t size =
        nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - text) : limit;
    return std::string(text, size);
}

// Tells the dialog that asked for a conversion why nothing was written: one line in the file named
// after the output with ".err" added. A success removes the line of an earlier call. Without an
// output path there is nowhere to say it; and a line that would replace the input is not written.
void reportConversion(const std::string &inputPath, const std::string &outputPath,
                      const std::string &reason)
{
    namespace fs = std::filesystem;
    if (outputPath.empty())
        return;
    const std::string errorPath = outputPath + ".err";
    if (reason.empty()) {
        std::error_code error;
        const fs::path file = engine::pathFromLatin1(errorPath);
        if (fs::symlink_status(file, error).type() != fs::file_type::directory)
            fs::remove(file, error);
        return;
    }
    if (engine::sameFile(errorPath, inputPath))
        return;
    std::string line = reason;
    for (char &c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    engine::writeFileAtomically(errorPath, line + engine::kLineEnd);
}

// The function types the workbench loads the entry points by are those of their definitions.
static_assert(std::is_same_v<decltype(&tavlodll_process), tavlodll_process_fn>);
static_assert(std::is_same_v<decltype(&tavlodll_convert), tavlodll_convert_fn>);
static_assert(std::is_same_v<decltype(&tavlodll_geoid), tavlodll_geoid_fn>);
static_assert(std::is_same_v<decltype(&tavlodll_newcfg), tavlodll_newcfg_fn>);
static_assert(std::is_same_v<decltype(&tavlodll_version), tavlodll_version_fn>);

} // namespace

extern "C" {

void TAVLO_CALL tavlodll_process(const std::int32_t *iobLength, const std::int32_t *cfgLength,
                                 const char *iobPath, const char *cfgPath)
{
    try {
        engine::processObservationFile(argumentText(iobLength, iobPath),
                                       argumentText(cfgLength, cfgPath));
    } catch (...) {
        // Nothing may cross the library boundary; the outputs already say what went wrong.
    }
}

void TAVLO_CALL tavlodll_convert(const std::int32_t *kind, const std::int32_t *inputLength,
                                 const std::int32_t *outputLength,
                                 const std::int32_t *optionsLength, const char *inputPath,
                                 const char *outputPath, const char *options)
{
    try {
        const std::string input = argumentText(inputLength, inputPath);
        const std::string output = argumentText(outputLength, outputPath);
        reportConversion(input, output,
                         kind ? engine::import::convertFile(*kind, input, output,
                                                            argumentText(optionsLength, options))
                              : engine::fr("Conversion refusée : type d'importation absent."));
    } catch (...) {
        // Nothing may cross the library boundary.
    }
}

void TAVLO_CALL tavlodll_geoid(const std::int32_t *inputLength, const std::int32_t *outputLength,
                               const char *inputPath, const char *outputPath)
{
    try {
        const std::string input = argumentText(inputLength, inputPath);
        const std::string output = argumentText(outputLength, outputPath);
        reportConversion(input, output, engine::import::convertGeoidFile(input, output));
    } catch (...) {
        // As above.
    }
}

void TAVLO_CALL tavlodll_newcfg(const std::int32_t *pathLength, const char *path)
{
    try {
        const std::string target = argumentText(pathLength, path);
        if (!target.empty())
            engine::writeDefaultConfiguration(target);
    } catch (...) {
        // As above.
    }
}

void TAVLO_CALL tavlodll_version(std::int32_t *codes, std::int32_t *count)
{
    const std::size_t length = std::strlen(engine::kEngineVersion);
    const int stored = static_cast<int>(length < kVersionCapacity ? length : kVersionCapacity);
    if (codes) {
        for (int i = 0; i < stored; ++i)
            codes[i] = static_cast<unsigned char>(engine::kEngineVersion[i]);
    }
    if (count)
        *count = codes ? stored : 0;
}
}
