#ifndef ENGINE_BASE_RUNTHREADS_H
#define ENGINE_BASE_RUNTHREADS_H

#include <cstddef>
#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

namespace engine {

// A processing of fewer record lines than this runs on one thread: starting and waking threads
// for its short loops costs more than they save, and far more on a machine whose cores are busy.
constexpr std::size_t kThreadsFromLines = 100000;

// While it lives, the engine's loops started from this thread run on the threads a processing of
// `lines` record lines calls for: the count setThreadCount() asked for, else every core from
// kThreadsFromLines lines on and one below. The count in force before comes back with its end.
// Results never depend on it.
class RunThreads
{
public:
    explicit RunThreads(std::size_t lines);
    ~RunThreads();
    RunThreads(const RunThreads &) = delete;
    RunThreads &operator=(const RunThreads &) = delete;

    // Runs `work` on a thread of its own, its loops on one thread, when the run keeps to one
    // thread of its own accord on a machine of several cores: another core is idle. Otherwise,
    // or when no thread can be started, nothing is run and the future returned is not valid.
    template <typename Work> std::future<std::invoke_result_t<Work>> beside(Work work) const
    {
        if (!m_spareCore)
            return {};
        try {
            return std::async(std::launch::async, [work = std::move(work)]() mutable {
                keepLoopsOnOneThread();
                return work();
            });
        } catch (const std::system_error &) {
            return {};
        }
    }

private:
    static void keepLoopsOnOneThread();

    int m_previous;
    bool m_spareCore = false;
};

} // namespace engine

#endif // ENGINE_BASE_RUNTHREADS_H
