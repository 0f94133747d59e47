#ifndef ENGINE_BASE_PARALLELFAILURE_H
#define ENGINE_BASE_PARALLELFAILURE_H

#include <exception>

namespace engine {

// The first exception thrown by the iterations of a parallel loop, thrown again by rethrow() once
// the loop is over. No exception may leave an OpenMP region (it would end the process, and with
// it the workbench that loaded the engine), while a run out of memory must reach the caller as
// its message.
class ParallelFailure
{
public:
    template <typename Body> void run(const Body &body) noexcept
    {
        try {
            body();
        } catch (...) {
#pragma omp critical(engineParallelFailure)
            if (!m_failure)
                m_failure = std::current_exception();
        }
    }

    void rethrow() const
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    std::exception_ptr m_failure;
};

} // namespace engine

#endif // ENGINE_BASE_PARALLELFAILURE_H
