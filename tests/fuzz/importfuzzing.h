#ifndef IMPORTFUZZING_H
#define IMPORTFUZZING_H

#include "engine/import/importconversion.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

// One fuzz input for an import reader: the first byte chooses the options and whether point "1"
// is already defined, the rest is the file's content. Every output line must stay one line.
inline int fuzzImport(engine::import::ImportKind kind, const std::uint8_t *data, std::size_t size)
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
    const Conversion conversion = convertContent(kind, content, context, options);
    for (const std::string &line : conversion.lines) {
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();
    }
    return 0;
}

#endif // IMPORTFUZZING_H
