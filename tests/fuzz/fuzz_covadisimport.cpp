// Fuzz target: the import of Covadis files, with every option combination.

#include "importconversion.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace engine::import;
    if (size == 0)
        return 0;
    ImportOptions options;
    options.includePoints = data[0] & 1;
    options.includeCovariance = data[0] & 2;
    options.neo = data[0] & 4;
    const std::string_view content(reinterpret_cast<const char *>(data + 1), size - 1);
    ImportContext context;
    context.fileName = "fuzz.txt";
    context.baseName = "fuzz";
    if (data[0] & 8)
        context.definedPoints.insert("1");
    const Conversion conversion = convertContent(ImportKind::Covadis, content, context, options);
    // Every output line is one line: no line end inside it.
    for (const std::string &line : conversion.lines) {
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();
    }
    return 0;
}
