#include "allocatortuning.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <unistd.h>
#endif

void restartWithAllocatorTuning(char **argv)
{
#if defined(__linux__) && defined(__GLIBC__)
    // The allocator reads its tunables once, when the program is loaded: hence the restart.
    // Releases without this tunable ignore it.
    constexpr const char *kVariable = "GLIBC_TUNABLES";
    constexpr const char *kHugePages = "glibc.malloc.hugetlb";
    const char *current = std::getenv(kVariable);
    if (!argv || !argv[0] || (current && std::strstr(current, kHugePages)))
        return;
    std::string tunables = current && *current ? std::string(current) + ":" : std::string();
    tunables += std::string(kHugePages) + "=1";
    if (setenv(kVariable, tunables.c_str(), 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // Still here: the restart failed, so the program goes on without the tuning.
    if (current)
        setenv(kVariable, current, 1);
    else
        unsetenv(kVariable);
#else
    (void)argv;
#endif
}
