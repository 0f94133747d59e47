#ifndef ENGINE_BASE_LARGEPAGES_H
#define ENGINE_BASE_LARGEPAGES_H

#include <cstddef>

// A large array that is about to be filled costs one page fault per 4 KiB page on first touch; on
// Linux, where transparent huge pages are granted on request, asking for them over the array's
// whole 2 MiB pages makes those faults 512 times fewer. Only a hint: nothing changes elsewhere,
// or when the system declines.
namespace engine {

// Asks for huge pages over [data, data + bytes), before the memory is first written.
void adviseLargePages(const void *data, std::size_t bytes);

// Hands the memory the allocator holds free back to the system: the engine's programs keep it
// for reuse while they work (see allocatortuning.h), a workbench between two runs need not.
void returnFreeMemory();

} // namespace engine

#endif // ENGINE_BASE_LARGEPAGES_H
