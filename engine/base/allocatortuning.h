#ifndef ENGINE_BASE_ALLOCATORTUNING_H
#define ENGINE_BASE_ALLOCATORTUNING_H

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

// Restarts the running program once, before it does anything else, with the C library's
// allocator backing its memory with transparent huge pages and keeping the small blocks a
// processing frees for its next allocations instead of handing them back to the system at once.
// A processing touches several gigabytes of fresh memory on a large network; with 4 KiB pages
// that is a million page faults, and on a virtual machine every page handed back and taken again
// costs as much as a new one: together, a third of the run. Blocks of 64 MiB and more (the
// factor, the design matrix, the work storage of a factorization) are mapped apart and handed
// back when freed: kept in the heap, the gaps they leave, which few later blocks fit, added up to
// a tenth of the peak of memory. A processing hands its free memory back between its stages
// and when it ends (returnFreeMemory). Does nothing where the allocator cannot be tuned, when the
// tuning is already in place, or when the restart fails; a tunable the user set is kept. `argv` is
// main's, null-terminated. Header only: the workbench, which loads the engine at run time and
// never links it, calls it too.
namespace engine {

inline void restartWithAllocatorTuning(char **argv)
{
#if defined(__linux__) && defined(__GLIBC__)
    // The allocator reads its tunables once, when the program is loaded: hence the restart.
    // Releases without this tunable ignore it.
    constexpr const char *kVariable = "GLIBC_TUNABLES";
    constexpr const char *kHugePages = "glibc.malloc.hugetlb";
    // Huge pages; blocks mapped apart from 64 MiB; none of the heap's top given back below 4 GiB.
    constexpr const char *kTunables[][2] = {{kHugePages, "1"},
                                            {"glibc.malloc.mmap_threshold", "67108864"},
                                            {"glibc.malloc.trim_threshold", "4294967295"}};
    const char *current = std::getenv(kVariable);
    if (!argv || !argv[0] || (current && std::strstr(current, kHugePages)))
        return;
    const bool wasSet = current != nullptr;
    const std::string previous = wasSet ? current : "";
    std::string tunables = previous;
    for (const auto &[name, value] : kTunables) {
        if (previous.find(name) == std::string::npos)
            tunables += (tunables.empty() ? "" : ":") + std::string(name) + "=" + value;
    }
    if (setenv(kVariable, tunables.c_str(), 1) != 0)
        return;
    // Through the program's own path, so that the process keeps its name for ps, top or pkill;
    // through the kernel's link to it should that path be gone.
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        path[length] = '\0';
        execv(path, argv);
    }
    execv("/proc/self/exe", argv);
    // Still here: the restart failed, so the program goes on without the tuning.
    if (wasSet)
        setenv(kVariable, previous.c_str(), 1);
    else
        unsetenv(kVariable);
#else
    (void)argv;
#endif
}

} // namespace engine

#endif // ENGINE_BASE_ALLOCATORTUNING_H
