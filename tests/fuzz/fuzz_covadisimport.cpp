// Fuzz target: the import of Covadis files, with every option combination.

#include "importfuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return fuzzImport(engine::import::ImportKind::Covadis, data, size);
}
