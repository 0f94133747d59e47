#include "engineapi.h"

#include "import/gridreaders.h"
#include "import/importconversion.h"
#include "process.h"

#include <cstring>
#include <string>

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
        if (!kind)
            return;
        engine::import::convertFile(*kind, argumentText(inputLength, inputPath),
                                    argumentText(outputLength, outputPath),
                                    argumentText(optionsLength, options));
    } catch (...) {
        // As above.
    }
}

void TAVLO_CALL tavlodll_geoid(const std::int32_t *inputLength, const std::int32_t *outputLength,
                               const char *inputPath, const char *outputPath)
{
    try {
        engine::import::convertGeoidFile(argumentText(inputLength, inputPath),
                                         argumentText(outputLength, outputPath));
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
