// Fuzz target: the geoid grid readers (ISG, GTX, PGM, IGN) and the reader of the engine's ".geo"
// file, with a round trip through the ".geo" file and interpolations on what they accept.

#include "engine/import/geoidgrid.h"
#include "engine/import/gridreaders.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void exercise(const engine::import::GeoidGrid &grid)
{
    for (const double lat : {-90.0, -45.5, 0.0, 12.3, 90.0, grid.south})
        for (const double lon : {-180.0, -0.1, 0.0, 7.7, 359.9, grid.west})
            (void)grid.undulation(lat, lon);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace engine::import;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    std::string reason;
    if (const auto grid = readGeoidGrid(bytes, reason)) {
        exercise(*grid);
        const std::string encoded = encodeGeoFile(*grid);
        const auto decoded = decodeGeoFile(encoded, reason);
        if (!decoded || decoded->rows != grid->rows || decoded->columns != grid->columns)
            std::abort();
    }
    if (const auto grid = decodeGeoFile(bytes, reason))
        exercise(*grid);
    return 0;
}
