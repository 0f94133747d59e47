// Simulated observations (GENE_LOG) of a pre-analysis: without noise they are the observations
// of the approximate coordinates; with noise, their adjustment passes the global test about as
// often as its confidence says.
#include "engine/output/simulatedobservations.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <cmath>
#include <sstream>

using namespace observationlines;

namespace {

// A hillside network of six marks, A and B fixed, every pair sighted both ways with a direction
// set, a distance and a zenith angle; the observed values are placeholders, never read. With
// `unknownHeights` the instrument heights of the free marks are unknowns of 1.55 m approximately.
std::vector<std::string> plannedNetwork(bool unknownHeights = false)
{
    struct Mark
    {
        const char *name;
        double e, n, u;
    };
    const Mark marks[] = {{"A", 1000.0, 2000.0, 100.0}, {"B", 1520.0, 2080.0, 112.5},
                          {"C", 1210.0, 2460.0, 96.2},  {"D", 1690.0, 2590.0, 131.7},
                          {"E", 1430.0, 2810.0, 118.4}, {"F", 980.0, 2650.0, 88.9}};
    std::vector<std::string> lines;
    lines.push_back(withSigmaId("ANGT", "DMS"));
    for (const Mark &m : marks)
        lines.push_back(lenu(m.name[0] < 'C' ? "111" : "000", m.name, m.e, m.n, m.u));
    for (const Mark &s : marks) {
        lines.push_back(height(unknownHeights && s.name[0] >= 'C' ? "UNHI" : "HI", s.name, 1.55));
        lines.push_back(record("DSET"));
        for (const Mark &t : marks) {
            if (&s == &t)
                continue;
            lines.push_back(angle("DIR", "", s.name, t.name, "0 00 00", "3"));
            lines.push_back(dist("", s.name, t.name, 1.0, "0.003"));
            lines.push_back(angle("ZANG", "", s.name, t.name, "90 00 00", "5"));
        }
    }
    return lines;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

engine::SimulatedObservations simulate(engine::GenerationNoise noise, std::uint32_t seed,
                                       bool unknownHeights = false)
{
    engine::Options options;
    options.calculationType = engine::CalculationType::Simulation;
    options.generateObservations = true;
    options.generationNoise = noise;
    const auto planned = runEngine(plannedNetwork(unknownHeights), options);
    return engine::simulateObservations(planned->network, planned->source,
                                        planned->outcome.approximate, options, seed, "\n");
}

engine::Options adjustment()
{
    engine::Options options;
    options.sigmaScaling = engine::SigmaScaling::Never;
    options.convergence = 1e-7;
    return options;
}

} // namespace

class TestEngineSimulation : public QObject
{
    Q_OBJECT

private slots:
    void exactValuesGiveTheApproximateCoordinates_data();
    void exactValuesGiveTheApproximateCoordinates();
    void noisyValuesPassTheGlobalTestAsOftenAsItsConfidence();
};

void TestEngineSimulation::exactValuesGiveTheApproximateCoordinates_data()
{
    QTest::addColumn<bool>("unknownHeights");
    QTest::newRow("known heights") << false;
    QTest::newRow("unknown instrument heights") << true;
}

void TestEngineSimulation::exactValuesGiveTheApproximateCoordinates()
{
    QFETCH(bool, unknownHeights);
    const engine::SimulatedObservations simulated =
        simulate(engine::GenerationNoise::None, 7, unknownHeights);
    QCOMPARE(simulated.generated, 6 * 5 * 3);
    const auto run = runEngine(linesOf(simulated.text), adjustment());
    QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
    for (std::size_t p = 0; p < run->network.points.size(); ++p)
        QVERIFY((run->outcome.state.coordinates[p] - run->network.points[p].approximate).norm() <
                1e-5);
    QCOMPARE(run->network.unknownHeights.size(), std::size_t(unknownHeights ? 4 : 0));
    for (double height : run->outcome.state.heights)
        QVERIFY(std::fabs(height - 1.55) < 1e-5);
    // Written to 1e-4 of an arc second and to the micrometre, the values leave nothing to share.
    QVERIFY2(run->statistics.weightedSquares < 1e-3,
             qPrintable(QString::number(run->statistics.weightedSquares)));
}

void TestEngineSimulation::noisyValuesPassTheGlobalTestAsOftenAsItsConfidence()
{
    constexpr int kRuns = 200;
    int passed = 0;
    for (int k = 0; k < kRuns; ++k) {
        const engine::SimulatedObservations simulated =
            simulate(engine::GenerationNoise::White, 1000u + static_cast<std::uint32_t>(k));
        const auto run = runEngine(linesOf(simulated.text), adjustment());
        QVERIFY2(run->solved, diagnosticsText(run->diagnostics).c_str());
        passed += run->statistics.chiSquare == engine::ChiSquareOutcome::Passed ? 1 : 0;
    }
    QVERIFY2(passed >= 180 && passed <= 198, qPrintable(QString::number(passed)));
}

QTEST_APPLESS_MAIN(TestEngineSimulation)

#include "tst_enginesimulation.moc"
