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
// With `atLeast`, only when the allocator holds that much free: memory handed back costs its
// page faults again when it is taken, which a little memory does not repay.
void returnFreeMemory(std::size_t atLeast = 0);

// What the stages of a processing hand back at the least: on a network of a few thousand points,
// handing back what each stage frees would slow the run by a fifth.
constexpr std::size_t kFreeMemoryWorthReturning = std::size_t(64) << 20;

} // namespace engine

#endif // ENGINE_BASE_LARGEPAGES_H
