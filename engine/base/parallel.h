#ifndef ENGINE_BASE_PARALLEL_H
#define ENGINE_BASE_PARALLEL_H

// The engine's parallel loops run on OpenMP threads: by default as many as the machine has cores
// (or OMP_NUM_THREADS), fewer when setThreadCount() asks, one for a small processing (RunThreads).
// Results never depend on the count: a parallel loop writes results of its own and sums in an order
// fixed by the data, not the threads.
namespace engine {

int threadCount();

// `count` threads from now on; 0 goes back to the default.
void setThreadCount(int count);

// Whether setThreadCount() asked for a count, which then holds whatever the size of a run.
bool threadCountAsked();

} // namespace engine

#endif // ENGINE_BASE_PARALLEL_H
