#include "engine/base/parallel.h"

#include <omp.h>

namespace engine {

namespace {

// The count OpenMP chose at start, before any setThreadCount().
const int defaultCount = omp_get_max_threads();

} // namespace

int threadCount()
{
    return omp_get_max_threads();
}

void setThreadCount(int count)
{
    omp_set_num_threads(count > 0 ? count : defaultCount);
}

} // namespace engine
