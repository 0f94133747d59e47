// The engine's results do not depend on its thread count: a network big enough to cut its
// elimination tree into many subtrees, with the dense products of its fronts split into small
// blocks, is processed with 1, 2 and 8 threads and every output compared byte for byte.

#include "densegrid.h"
#include "engine/api/process.h"
#include "engine/base/parallel.h"
#include "engine/base/parallelfailure.h"
#include "engine/base/runthreads.h"
#include "engine/base/text.h"
#include "engine/model/angles.h"
#include "engine/solver/supernodalcholesky.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <random>
#include <thread>

using namespace observationlines;

namespace {

constexpr int kSide = 18;       // points a side of the grid
constexpr double kStep = 250.0; // metres between neighbours
constexpr int kSmallBlock = 8;  // columns of a block of the dense products, to split every front

// A jittered grid on rolling terrain; each station observes every neighbour within two grid steps
// with a direction, a slope distance and a zenith angle, from the true coordinates with noise. The
// four corners are fixed, the other points start a few decimetres off.
std::vector<std::string> gridNetwork()
{
    densegrid::Noise noise(20261209u);
    const std::vector<Eigen::Vector3d> truth = densegrid::truth(kSide, kStep, noise);
    const auto corner = [](int r, int c) {
        return (r == 0 || r == kSide - 1) && (c == 0 || c == kSide - 1);
    };
    std::vector<std::string> lines;
    lines.push_back(" TITL  Grille");
    lines.push_back(sigm("DIS", 0.002, 2.0, 0.0, 0.0));
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            const Eigen::Vector3d &p = truth[static_cast<std::size_t>(r * kSide + c)];
            const bool fixed = corner(r, c);
            const double off = fixed ? 0.0 : 0.3;
            lines.push_back(lenu(fixed ? "111" : "000", densegrid::pointName(r * kSide + c),
                                 p.x() + off * noise(), p.y() + off * noise(),
                                 p.z() + off * noise()));
        }
    }
    densegrid::appendSights(lines, truth, kSide, noise);
    return lines;
}

struct Outputs
{
    std::string report;
    std::string result;
    std::vector<Eigen::Vector3d> coordinates;
};

} // namespace

class TestEngineThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void resultsDoNotDependOnTheThreadCount();
    void memoryRunOutOnAThreadReachesTheCaller();
    void smallRunsTakeOneThreadUnlessACountIsAsked_data();
    void smallRunsTakeOneThreadUnlessACountIsAsked();

private:
    Outputs process(int threads) const;

    QTemporaryDir m_folder;
    std::string m_observations;
    std::string m_configuration;
    std::vector<std::string> m_lines;
};

void TestEngineThreads::initTestCase()
{
    QVERIFY(m_folder.isValid());
    m_lines = gridNetwork();
    m_observations = m_folder.filePath("grille.iob").toStdString();
    m_configuration = m_folder.filePath("grille.cfg").toStdString();
    std::ofstream file(m_observations, std::ios::binary);
    file << joinLines(m_lines);
    file.close();
    QVERIFY(file.good());
    QVERIFY(engine::writeDefaultConfiguration(m_configuration));
    engine::setFrontBlockSize(kSmallBlock);
}

void TestEngineThreads::cleanupTestCase()
{
    engine::setFrontBlockSize(0);
    engine::setThreadCount(0);
}

Outputs TestEngineThreads::process(int threads) const
{
    engine::setThreadCount(threads);
    Outputs outputs;
    const engine::ProcessOutput output =
        engine::runProcessing(m_observations, m_configuration, engine::diskFileLoader());
    outputs.report = output.report;
    outputs.result = output.result;
    const std::unique_ptr<EngineRun> run = runEngine(m_lines);
    if (run->solved)
        outputs.coordinates = run->outcome.state.coordinates;
    return outputs;
}

void TestEngineThreads::resultsDoNotDependOnTheThreadCount()
{
    const Outputs single = process(1);
    QVERIFY(!single.coordinates.empty());
    QVERIFY(!single.result.empty());
    QVERIFY(single.report.find("AJUSTEMENT") != std::string::npos);
    // 0: no count asked, a small run's data check goes beside its adjustment.
    for (int threads : {0, 2, 8}) {
        const Outputs several = process(threads);
        QVERIFY2(several.report == single.report, qPrintable(QString("%1 threads").arg(threads)));
        QVERIFY2(several.result == single.result, qPrintable(QString("%1 threads").arg(threads)));
        QCOMPARE(several.coordinates.size(), single.coordinates.size());
        for (std::size_t p = 0; p < single.coordinates.size(); ++p) {
            // Bit for bit: not a tolerance.
            QVERIFY2(std::memcmp(several.coordinates[p].data(), single.coordinates[p].data(),
                                 3 * sizeof(double)) == 0,
                     qPrintable(QString("point %1, %2 threads").arg(p).arg(threads)));
        }
    }
}

// A run out of memory on any of the threads must come back to the processing as an exception (its
// message), not end the process that loaded the engine.
void TestEngineThreads::memoryRunOutOnAThreadReachesTheCaller()
{
    engine::setThreadCount(8);
    engine::ParallelFailure failure;
    int finished = 0;
#pragma omp parallel for schedule(static, 1) reduction(+ : finished)
    for (int i = 0; i < 64; ++i) {
        failure.run([&] {
            if (i % 8 == 5)
                throw std::bad_alloc();
            ++finished;
        });
    }
    QCOMPARE(finished, 56);
    QVERIFY_EXCEPTION_THROWN(failure.rethrow(), std::bad_alloc);
    engine::setThreadCount(0);
}

void TestEngineThreads::smallRunsTakeOneThreadUnlessACountIsAsked_data()
{
    // The comparisons above hold only if the counts they ask for are the counts a run gets.
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("expected"); // 0: every core
    const int large = static_cast<int>(engine::kThreadsFromLines);
    QTest::newRow("small run") << 0 << 1000 << 1;
    QTest::newRow("large run") << 0 << large << 0;
    QTest::newRow("small run, 2 asked") << 2 << 1000 << 2;
    QTest::newRow("large run, 8 asked") << 8 << large << 8;
}

void TestEngineThreads::smallRunsTakeOneThreadUnlessACountIsAsked()
{
    QFETCH(int, asked);
    QFETCH(int, lines);
    QFETCH(int, expected);
    engine::setThreadCount(0);
    const int cores = engine::threadCount();
    engine::setThreadCount(asked);
    const int before = engine::threadCount();
    {
        const engine::RunThreads threads(static_cast<std::size_t>(lines));
        QCOMPARE(engine::threadCount(), expected > 0 ? expected : cores);
        // Work goes beside the run only when the run keeps to one thread of its own accord,
        // and its loops keep to one thread too.
        std::future<std::pair<std::thread::id, int>> beside = threads.beside(
            [] { return std::make_pair(std::this_thread::get_id(), engine::threadCount()); });
        QCOMPARE(beside.valid(), asked == 0 && expected == 1 && cores > 1);
        if (beside.valid()) {
            const auto [thread, count] = beside.get();
            QVERIFY(thread != std::this_thread::get_id());
            QCOMPARE(count, 1);
        }
    }
    QCOMPARE(engine::threadCount(), before);
    engine::setThreadCount(0);
}

QTEST_GUILESS_MAIN(TestEngineThreads)
#include "tst_enginethreads.moc"
