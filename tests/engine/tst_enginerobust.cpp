// Robust estimation held against independent solvers: Huber's M-estimator against statsmodels'
// RLM (Debian python3-statsmodels), the L1 norm against an exact linear program solved by GLPK
// (Debian glpk-utils). Each comparison is skipped when its tool is absent.

#include "engine/api/process.h"
#include "engine/base/text.h"
#include "engine/estimation/robustestimation.h"
#include "enginetesthelpers.h"
#include "observationlines.h"

#include <QtTest>

#include <cmath>
#include <random>

using namespace observationlines;

Q_DECLARE_METATYPE(engine::CalculationType)

namespace {

constexpr double kBlunder = 0.05;  // metres, planted on one height difference
constexpr int kPoints = 12;        // P0 fixed, the others free in height
constexpr double kThreshold = 2.5; // HUBERVALUE
constexpr int kBlunderLine = 7;    // index of the planted blunder among the height differences

struct Levelling
{
    std::vector<double> trueHeights;
    std::vector<double> approximate;
    std::vector<std::pair<int, int>> legs;
    std::vector<double> observed;
    std::vector<std::string> lines; // the observation file
};

// A levelling network of kPoints points: a loop and its chords, 2 mm of noise, the blunder on
// leg kBlunderLine, every leg but those of `without`.
Levelling levelling(const std::vector<int> &without = {})
{
    Levelling net;
    std::mt19937 random(20240611);
    std::normal_distribution<double> noise(0.0, 0.002);
    std::uniform_real_distribution<double> relief(80.0, 140.0);
    for (int p = 0; p < kPoints; ++p) {
        net.trueHeights.push_back(relief(random));
        // As the file holds it.
        net.approximate.push_back(
            std::stod(number(net.trueHeights.back() + (p == 0 ? 0.0 : 0.3 - 0.05 * p), 5)));
    }
    for (int p = 0; p < kPoints; ++p)
        net.legs.emplace_back(p, (p + 1) % kPoints);
    for (int p = 0; p < kPoints; p += 2)
        net.legs.emplace_back(p, (p + 5) % kPoints);
    for (int p = 0; p < kPoints; ++p) {
        const std::string name = "P" + std::to_string(p);
        net.lines.push_back(
            lenu(p == 0 ? "111" : "110", name, 100.0 * p, 50.0 * (p % 3), net.approximate[p]));
    }
    for (std::size_t k = 0; k < net.legs.size(); ++k) {
        const auto [a, b] = net.legs[k];
        double dh = net.trueHeights[b] - net.trueHeights[a] + noise(random);
        if (static_cast<int>(k) == kBlunderLine)
            dh += kBlunder;
        // As the file holds it.
        dh = std::stod(number(dh, 6));
        net.observed.push_back(dh);
        if (std::find(without.begin(), without.end(), static_cast<int>(k)) != without.end())
            continue;
        net.lines.push_back(
            ohdf("", "P" + std::to_string(a), "P" + std::to_string(b), dh, "0.002", 0.0));
    }
    return net;
}

struct RobustRun
{
    engine::Diagnostics diagnostics;
    engine::Network network;
    engine::RobustOutcome robust;
    engine::AdjustmentOutcome outcome;
    engine::Statistics statistics;
};

std::unique_ptr<RobustRun> runRobust(const Levelling &net, const engine::Options &options)
{
    auto run = std::make_unique<RobustRun>();
    const std::string path = engine::normalizedPath("network.iob");
    const engine::ObservationSource source = engine::readObservationFiles(
        path, memoryLoader({{path, joinLines(net.lines)}}), run->diagnostics);
    run->network = engine::buildNetwork(source, options, run->diagnostics);
    if (run->diagnostics.hasErrors())
        return run;
    run->outcome = engine::robustAdjust(run->network, options, run->diagnostics, run->robust);
    if (run->outcome.solved && !run->diagnostics.hasErrors())
        run->statistics = engine::computeStatistics(run->network, run->outcome, options);
    return run;
}

// The first of `candidates` that runs `check` successfully, or an empty text.
QString workingProgram(const QStringList &candidates, const QStringList &check)
{
    for (const QString &program : candidates) {
        if (program.isEmpty())
            continue;
        QProcess process;
        process.start(program, check);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0)
            return program;
    }
    return QString();
}

// Runs `program` on `arguments` and returns the values of its lines "H <index> <value>" (and
// "H 0 <value>" for the minimum of the linear program); its error output goes to `errors`.
std::map<int, double> heightsPrinted(const QString &program, const QStringList &arguments,
                                     QByteArray &errors)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    errors = process.readAllStandardError();
    std::map<int, double> heights;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() == 3 && parts[0] == "H")
            heights[parts[1].toInt()] = parts[2].toDouble();
    }
    return heights;
}

// The whitened system of the free heights' corrections to their approximate values, one line
// per leg: "from to misclosure/sigma 1/sigma" (point 0 is fixed).
QByteArray whitenedSystem(const Levelling &net, const engine::Network &network)
{
    QByteArray text;
    for (std::size_t k = 0; k < net.legs.size(); ++k) {
        const auto [a, b] = net.legs[k];
        const double sigma = network.observations[k].sigma;
        const double misclosure = net.observed[k] - (net.approximate[b] - net.approximate[a]);
        text += QByteArray::number(a) + ' ' + QByteArray::number(b) + ' ' +
                QByteArray::number(misclosure / sigma, 'g', 17) + ' ' +
                QByteArray::number(1.0 / sigma, 'g', 17) + '\n';
    }
    return text;
}

constexpr char kRlmScript[] = R"(import sys
import numpy as np
import statsmodels.api as sm
from statsmodels.robust.scale import HuberScale

class UnitScale(HuberScale):
    def __call__(self, df, nobs, resid):
        return 1.0

rows = np.loadtxt(sys.argv[1], ndmin=2)
n = int(sys.argv[2])
X = np.zeros((len(rows), n - 1))
for i, (a, b, y, w) in enumerate(rows):
    if int(b) > 0: X[i, int(b) - 1] += w
    if int(a) > 0: X[i, int(a) - 1] -= w
fit = sm.RLM(rows[:, 2], X, M=sm.robust.norms.HuberT(t=float(sys.argv[3]))).fit(
    scale_est=UnitScale(), update_scale=False, conv='coefs', tol=1e-14, maxiter=10000)
for j, x in enumerate(fit.params):
    print("H %d %.15g" % (j + 1, x))
)";

QByteArray l1Model(const QByteArray &system)
{
    QByteArray model = "set I; set J;\nparam a{I}; param b{I}; param y{I}; param w{I};\n"
                       "var x{J}; var p{I} >= 0; var q{I} >= 0;\n"
                       "minimize sum_abs: sum{i in I} (p[i] + q[i]);\n"
                       "s.t. leg{i in I}: (if b[i] > 0 then w[i] * x[b[i]] else 0) - "
                       "(if a[i] > 0 then w[i] * x[a[i]] else 0) - p[i] + q[i] = y[i];\n"
                       "solve;\nprintf{j in J}: \"H %d %.15g\\n\", j, x[j];\n"
                       "printf \"H 0 %.15g\\n\", sum_abs;\ndata;\n";
    model += "set J :=";
    for (int j = 1; j < kPoints; ++j)
        model += ' ' + QByteArray::number(j);
    model += ";\nparam : I : a b y w :=\n";
    int i = 0;
    for (const QByteArray &line : system.split('\n')) {
        if (!line.isEmpty())
            model += QByteArray::number(++i) + ' ' + line + '\n';
    }
    return model + ";\nend;\n";
}

} // namespace

class TestEngineRobust : public QObject
{
    Q_OBJECT

private slots:
    void isolatesTheBlunder_data();
    void isolatesTheBlunder();
    void processingReportsTheRobustEstimate();
};

void TestEngineRobust::isolatesTheBlunder_data()
{
    QTest::addColumn<engine::CalculationType>("method");
    // Huber: the heights, metres; L1: the sum of |v| / sigma, which a move of 0.1 mm of one
    // height changes by at least 0.05.
    QTest::addColumn<double>("tolerance");
    QTest::newRow("Huber against statsmodels RLM") << engine::CalculationType::Huber << 1e-7;
    QTest::newRow("L1 against the linear program") << engine::CalculationType::L1Norm << 1e-5;
}

void TestEngineRobust::isolatesTheBlunder()
{
    QFETCH(engine::CalculationType, method);
    QFETCH(double, tolerance);
    engine::Options options;
    options.calculationType = method;
    options.robustThreshold = kThreshold;
    options.convergence = 1e-7;
    const Levelling net = levelling();
    const auto run = runRobust(net, options);
    QVERIFY2(run->robust.estimated && run->outcome.solved,
             diagnosticsText(run->diagnostics).c_str());

    // The robust estimate isolates the blunder: its residual holds the blunder, it has the
    // largest standardized residual and is down-weighted (Huber: alone; the L1 norm gathers the
    // noise on fewer legs, one of which goes beyond k), while least squares spread it over the
    // other legs.
    const std::vector<int> &down = run->robust.downWeighted;
    QVERIFY(std::find(down.begin(), down.end(), kBlunderLine) != down.end());
    if (method == engine::CalculationType::Huber)
        QCOMPARE(down, std::vector<int>{kBlunderLine});
    Eigen::Index largest = 0;
    run->robust.standardized.cwiseAbs().maxCoeff(&largest);
    QCOMPARE(static_cast<int>(largest), kBlunderLine);
    QVERIFY(std::fabs(run->robust.residuals(kBlunderLine) + kBlunder) < 0.01);
    engine::Options plain = options;
    plain.calculationType = engine::CalculationType::Adjustment;
    const auto leastSquares = runEngine(net.lines, plain);
    QVERIFY(leastSquares->solved);
    QVERIFY(std::fabs(leastSquares->outcome.residuals(kBlunderLine)) < 0.7 * kBlunder);

    // The final adjustment and its statistics are those of the network without those legs.
    const auto without = runEngine(levelling(down).lines, plain);
    QVERIFY(without->solved);
    QCOMPARE(run->statistics.leftOut, static_cast<int>(down.size()));
    QCOMPARE(run->statistics.degreesOfFreedom, without->statistics.degreesOfFreedom);
    QVERIFY(std::fabs(run->statistics.weightedSquares - without->statistics.weightedSquares) <
            1e-9);
    for (int p = 1; p < kPoints; ++p)
        QVERIFY(std::fabs(run->outcome.state.coordinates[p].z() -
                          without->outcome.state.coordinates[p].z()) < 1e-8);
    for (int i : down)
        QVERIFY(!run->statistics.perObservation[static_cast<std::size_t>(i)].valid);
    QCOMPARE(run->statistics.validCount, without->statistics.validCount);

    // The robust estimate against the independent solver.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile system(folder.filePath("system.txt"));
    QVERIFY(system.open(QIODevice::WriteOnly));
    system.write(whitenedSystem(net, run->network));
    system.close();
    std::map<int, double> truth;
    QByteArray errors;
    if (method == engine::CalculationType::Huber) {
        const QString python =
            workingProgram({QStringLiteral("/usr/bin/python3"),
                            QStandardPaths::findExecutable(QStringLiteral("python3"))},
                           {QStringLiteral("-c"), QStringLiteral("import statsmodels")});
        if (python.isEmpty())
            QSKIP("statsmodels (python3-statsmodels) is not installed.");
        QFile script(folder.filePath("rlm.py"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(kRlmScript);
        script.close();
        truth = heightsPrinted(python,
                               {script.fileName(), system.fileName(), QString::number(kPoints),
                                QString::number(kThreshold)},
                               errors);
    } else {
        const QString glpsol = QStandardPaths::findExecutable(QStringLiteral("glpsol"));
        if (glpsol.isEmpty())
            QSKIP("glpsol (glpk-utils) is not installed.");
        QFile model(folder.filePath("l1.mod"));
        QVERIFY(model.open(QIODevice::WriteOnly));
        QFile read(system.fileName());
        QVERIFY(read.open(QIODevice::ReadOnly));
        model.write(l1Model(read.readAll()));
        model.close();
        truth = heightsPrinted(glpsol, {QStringLiteral("--math"), model.fileName()}, errors);
    }
    if (method == engine::CalculationType::Huber) {
        QVERIFY2(static_cast<int>(truth.size()) == kPoints - 1, errors.constData());
        for (const auto &[point, correction] : truth) {
            const double expected = net.approximate[static_cast<std::size_t>(point)] + correction;
            const double got =
                run->robust.estimate.coordinates[static_cast<std::size_t>(point)].z();
            QVERIFY2(std::fabs(got - expected) <= tolerance,
                     qPrintable(QStringLiteral("P%1: %2 against %3")
                                    .arg(point)
                                    .arg(got, 0, 'f', 9)
                                    .arg(expected, 0, 'f', 9)));
        }
        return;
    }
    // The L1 minimum of a levelling network is seldom unique (a face of the polytope, the
    // heights sliding along legs with residuals of opposite signs): its value is the truth.
    QVERIFY2(truth.count(0) == 1, errors.constData());
    double sum = 0.0;
    for (Eigen::Index i = 0; i < run->robust.residuals.size(); ++i)
        sum += std::fabs(run->robust.residuals(i)) / run->network.observations[i].sigma;
    QVERIFY2(
        std::fabs(sum - truth[0]) <= tolerance,
        qPrintable(QStringLiteral("%1 against %2").arg(sum, 0, 'f', 9).arg(truth[0], 0, 'f', 9)));
}

// The configuration's robust computation runs through the whole processing, and its report names
// the down-weighted leg with its line.
void TestEngineRobust::processingReportsTheRobustEstimate()
{
    const std::string observations = engine::normalizedPath("network.iob");
    const std::string configuration = engine::normalizedPath("network.cfg");
    const engine::ProcessOutput output = engine::runProcessing(
        observations, configuration,
        memoryLoader({{observations, joinLines(levelling().lines)},
                      {configuration, "TYPEMODEL  3D_LOCALE\nTYPECALCUL HUBER\nHUBERVALUE 2.5\n"
                                      "LOG_RESIDU TOUS\n"}}));
    QVERIFY2(output.summary.status == 0, output.report.c_str());
    const std::string &report = output.report;
    QVERIFY(report.find(engine::fr("ESTIMATION ROBUSTE")) != std::string::npos);
    QVERIFY(report.find(engine::fr("Observations sous-pondérées (|v/sigma| > k)")) !=
            std::string::npos);
    // The blunder's leg follows the kPoints coordinate lines.
    const std::string leg = "P7           -> P8";
    const std::size_t listed = report.find(leg);
    QVERIFY2(listed != std::string::npos, report.c_str());
    const std::string row = report.substr(listed, report.find('\n', listed) - listed);
    QVERIFY2(row.find(" " + std::to_string(kPoints + kBlunderLine + 1) + " ") != std::string::npos,
             row.c_str());
    QVERIFY(report.find(engine::fr("Observations écartées de l'ajustement")) != std::string::npos);
}

QTEST_GUILESS_MAIN(TestEngineRobust)
#include "tst_enginerobust.moc"
