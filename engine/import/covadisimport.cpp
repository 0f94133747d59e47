#include "engine/import/covadisimport.h"

#include "engine/base/text.h"
#include "engine/import/recordwriter.h"

namespace engine::import {

Conversion convertCovadis(std::string_view content, ImportContext &context)
{
    Conversion out;
    out.readable = true;
    const auto lines = splitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string text = trim(lines[i]);
        if (text.empty())
            continue;
        out.lines.push_back(
            rejectedLine(context, static_cast<int>(i) + 1,
                         fr("format Covadis géobase non documenté publiquement, « ") +
                             text.substr(0, 60) + fr(" »")));
    }
    return out;
}

} // namespace engine::import
