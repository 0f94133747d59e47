#ifndef ENGINE_SOLVER_SOLVERTIMINGS_H
#define ENGINE_SOLVER_SOLVERTIMINGS_H

#include <chrono>
#include <vector>

// Wall durations (seconds) of the phases of an adjustment, recorded only for a caller that asks
// for them (the benchmark) by handing a record to the run.
namespace engine {

struct SolverTimings
{
    using Clock = std::chrono::steady_clock;

    double forming = 0.0;  // linearisation and summation of the normal matrix, every iteration
    double analysis = 0.0; // elimination order and analysis of the pattern
    std::vector<double> factorizations; // each numerical factorization, in order
    // Each solve by conjugate gradients on the factor of an earlier iteration, and its steps.
    std::vector<double> iterativeSolves;
    std::vector<int> iterativeSteps;
    double inversion = 0.0; // selected inversion

    static double since(Clock::time_point start)
    {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
};

} // namespace engine

#endif // ENGINE_SOLVER_SOLVERTIMINGS_H
