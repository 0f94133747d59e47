#include "engine/base/runthreads.h"

#include "engine/base/parallel.h"

#include <omp.h>

namespace engine {

RunThreads::RunThreads(std::size_t lines)
    : m_previous(omp_get_max_threads())
{
    if (!threadCountAsked() && lines < kThreadsFromLines) {
        omp_set_num_threads(1);
        m_spareCore = omp_get_num_procs() > 1;
    }
}

void RunThreads::keepLoopsOnOneThread()
{
    omp_set_num_threads(1);
}

RunThreads::~RunThreads()
{
    omp_set_num_threads(m_previous);
}

} // namespace engine
