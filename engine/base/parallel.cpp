#include "engine/base/parallel.h"

#include <omp.h>

#include <atomic>

namespace engine {

namespace {

// The count OpenMP chose at start, before any setThreadCount().
const int defaultCount = omp_get_max_threads();
std::atomic<bool> countAsked{false};

} // namespace

int threadCount()
{
    return omp_get_max_threads();
}

void setThreadCount(int count)
{
    countAsked = count > 0;
    omp_set_num_threads(count > 0 ? count : defaultCount);
}

bool threadCountAsked()
{
    return countAsked;
}

} // namespace engine
