// The engine's sparse Cholesky factorization against CHOLMOD's supernodal one on the same normal
// matrix: that of the first iteration of a network, scaled to a unit diagonal, as the engine
// factors it.
//
// CHOLMOD (SuiteSparse) is called through Eigen's CholmodSupport, with its own fill-reducing
// order (METIS when the library has it, else AMD) and with the engine's nested dissection order
// given as the matrix's own order, so that both factor the same fill. Times are the best of three
// numerical factorizations (the analysis apart); the selected inversion is timed on the engine's
// factor. Built only when CMake finds CHOLMOD.
//
//   bench_factor FILE.iob FILE.cfg
// Generate the dense networks with `bench_engine --dense --local --generate --keep SIZE`.

#include "engine/base/allocatortuning.h"
#include "engine/base/parallel.h"
#include "engine/estimation/adjustment.h"
#include "engine/input/observationreader.h"
#include "engine/model/networkbuilder.h"
#include "engine/model/options.h"
#include "engine/solver/ordering.h"
#include "engine/solver/selectedinversion.h"
#include "engine/solver/supernodalcholesky.h"

#include <Eigen/CholmodSupport>
#include <Eigen/SparseCore>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double processorSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The best of three runs of `work`: wall seconds, and processor seconds of the process, which a
// busy machine disturbs less (with one thread, the fairer figure).
struct Best
{
    double wall = 1e300;
    double processor = 1e300;
};
Best bestOfThree(const std::function<void()> &work)
{
    Best best;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        const double processorStart = processorSeconds();
        work();
        best.wall = std::min(best.wall, seconds(start));
        best.processor = std::min(best.processor, processorSeconds() - processorStart);
    }
    return best;
}

double loadAverage()
{
    double load[1] = {0.0};
    if (getloadavg(load, 1) != 1)
        load[0] = -1.0;
    return load[0];
}

using Cholmod = Eigen::CholmodSupernodalLLT<Eigen::SparseMatrix<double>, Eigen::Lower>;

// CHOLMOD with a single order method; false when the library cannot use it.
bool timeCholmod(const char *name, int method, const Eigen::SparseMatrix<double> &matrix,
                 const Best &engine)
{
    Cholmod llt;
    llt.cholmod().nmethods = 1;
    llt.cholmod().method[0].ordering = method;
    llt.cholmod().postorder = 1;
    const auto start = Clock::now();
    llt.analyzePattern(matrix);
    const double analysis = seconds(start);
    if (llt.cholmod().status != CHOLMOD_OK) {
        std::printf("  CHOLMOD, %-26s not available (status %d)\n", name, llt.cholmod().status);
        return false;
    }
    const Best factorization = bestOfThree([&]() { llt.factorize(matrix); });
    if (llt.info() != Eigen::Success) {
        std::printf("  CHOLMOD, %-26s factorization FAILED\n", name);
        return false;
    }
    std::printf("  CHOLMOD, %-26s analysis %6.2f s, factorization %6.2f s wall %6.2f s processor, "
                "nnz(L) %11.0f, %.2e flops; engine / CHOLMOD %.2f wall, %.2f processor\n",
                name, analysis, factorization.wall, factorization.processor, llt.cholmod().lnz,
                llt.cholmod().fl, engine.wall / factorization.wall,
                engine.processor / factorization.processor);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Both factorizations run with the allocator set as the engine's programs set it.
    engine::restartWithAllocatorTuning(argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_factor FILE.iob FILE.cfg\n");
        return 2;
    }
    const std::string observationPath = argv[1];
    const std::string configurationPath = argv[2];
    engine::Diagnostics diagnostics;
    std::string configurationText;
    engine::diskFileLoader()(configurationPath, configurationText);
    const engine::Options options = engine::optionsFromValues(
        engine::readConfigurationValues(configurationText), configurationPath, diagnostics);
    const engine::ObservationSource source =
        engine::readObservationFiles(observationPath, engine::diskFileLoader(), diagnostics);
    const engine::Network network = engine::buildNetwork(source, options, diagnostics);

    // One step from the approximate values: its final design and the scale of its factor.
    engine::Reweighting oneStep;
    oneStep.singleStep = true;
    oneStep.finalFactor = false;
    const engine::AdjustmentOutcome outcome =
        engine::adjust(network, options, diagnostics, std::move(oneStep));
    if (!outcome.solved || !outcome.factor) {
        std::fprintf(stderr, "the network was not solved\n");
        return 1;
    }
    const Eigen::SparseMatrix<double> design = outcome.design;
    const Eigen::VectorXd &scale = outcome.factor->scale;
    Eigen::SparseMatrix<double> normal = design.transpose() * outcome.weights.asDiagonal() * design;
    normal = scale.asDiagonal() * normal * scale.asDiagonal();
    const Eigen::SparseMatrix<double> lower = normal.triangularView<Eigen::Lower>();

    std::printf("%ld unknowns, %ld entries in the lower triangle; %d threads, load average %.2f\n",
                static_cast<long>(normal.cols()), static_cast<long>(lower.nonZeros()),
                engine::threadCount(), loadAverage());

    engine::NormalFactor factor;
    factor.scale = Eigen::VectorXd::Ones(normal.cols());
    auto start = Clock::now();
    const engine::NormalMatrix structure = engine::structuralPattern(network, outcome.unknowns);
    factor.solver.setOrdering(engine::eliminationOrder(network, outcome.unknowns, structure));
    factor.solver.analyzePattern(structure);
    const double analysis = seconds(start);
    const Best engineFactor = bestOfThree([&]() { factor.solver.compute(lower); });
    const Best inversion = bestOfThree([&]() { engine::SelectedInverse inverse(factor); });
    std::printf(
        "  engine, nested dissection           analysis %6.2f s, factorization %6.2f s wall "
        "%6.2f s processor, stored %11ld (explicit zeros included); selected inversion "
        "%.2f s wall %.2f s processor\n",
        analysis, engineFactor.wall, engineFactor.processor, factor.solver.storedEntries(),
        inversion.wall, inversion.processor);

    const engine::SupernodalCholesky::Analysis &symbolic = *factor.solver.analysis();
    long largestSubtreeStack = 0;
    for (const auto &tree : symbolic.subtrees)
        largestSubtreeStack = std::max(largestSubtreeStack, tree.stackSize);
    const double megabytes = 8.0 / 1e6;
    std::printf("  engine's storage: L %.0f MB, %zu subtrees below %zu supernodes (largest front "
                "%d rows): update matrices of the subtrees' roots and the top %.0f MB, "
                "largest stack of a subtree %.0f MB\n",
                static_cast<double>(factor.solver.storedEntries()) * megabytes,
                symbolic.subtrees.size(), symbolic.top.size(), symbolic.largestFront,
                static_cast<double>(symbolic.topStorageSize) * megabytes,
                static_cast<double>(largestSubtreeStack) * megabytes);

    if (!timeCholmod("METIS", CHOLMOD_METIS, lower, engineFactor))
        timeCholmod("AMD", CHOLMOD_AMD, lower, engineFactor);
    // The engine's order given as the matrix's own.
    Eigen::SparseMatrix<double> full;
    full = lower.selfadjointView<Eigen::Lower>().twistedBy(factor.solver.permutationP());
    const Eigen::SparseMatrix<double> permuted = full.triangularView<Eigen::Lower>();
    timeCholmod("the engine's order", CHOLMOD_NATURAL, permuted, engineFactor);
    return 0;
}
