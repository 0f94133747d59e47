// Fuzz target for the reading of observation files, run through the whole processing in memory:
// the include reader, the record fields, the network, the adjustment, the statistics, the report
// and the result file. The input is the main observation file; the part after the first form
// feed, when there is one, is the content of every file it includes (so includes, cycles and
// missing files are all reachable); after 16 includes every further file is missing, to keep each
// run short. Nothing touches the disk.

#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/input/observationreader.h"
#include "engine/model/options.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = input.find('\f');
    const std::string mainText = input.substr(0, split);
    const std::string includedText = split == std::string::npos ? "" : input.substr(split + 1);
    const std::string mainPath = engine::normalizedPath("fuzz/main.iob");
    const std::string configurationPath = engine::normalizedPath("fuzz/main.cfg");
    const std::string configuration = engine::defaultConfigurationText("\n");

    int includes = 0;
    constexpr int kIncludeBudget = 16;
    const engine::FileLoader loader = [&](const std::string &path, std::string &content) {
        if (path == mainPath)
            content = mainText;
        else if (path == configurationPath)
            content = configuration;
        else if (split != std::string::npos && path.find("absent") == std::string::npos &&
                 ++includes <= kIncludeBudget)
            content = includedText;
        else
            return false;
        return true;
    };
    const engine::ProcessOutput output = engine::runProcessing(mainPath, configurationPath, loader);
    // A result file always holds at least its header.
    if (output.result.size() < 17 * 8)
        __builtin_trap();
    return 0;
}
