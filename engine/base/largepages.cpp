#include "engine/base/largepages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace engine {

void adviseLargePages(const void *data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHuge - 1) / kHuge * kHuge;
    const std::uintptr_t last = (start + bytes) / kHuge * kHuge;
    if (data && last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void returnFreeMemory(std::size_t atLeast)
{
#if defined(__GLIBC__)
    if (atLeast == 0 || mallinfo2().fordblks >= atLeast)
        malloc_trim(0);
#else
    (void)atLeast;
#endif
}

} // namespace engine
