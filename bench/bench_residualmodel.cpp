// Sorts and filters a residual table of 1,000,000 observations and prints the times, medians of
// a few runs: every sort and every filter must come well under half a second. Each sort is timed
// from the rank order, each filter from the unfiltered table, both included.

#include "residualtablemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kObservations = 1000000;
constexpr int kPoints = 5000;
constexpr int kRuns = 5;

// A network's worth of observations: names shared as the reader shares them, residuals spread
// without order, one observation in twenty rejected.
FicResult makeResult()
{
    const QString kinds[] = {QStringLiteral("DIST"), QStringLiteral("DIR"), QStringLiteral("ZANG"),
                             QStringLiteral("OHDF"), QStringLiteral("DX"),  QStringLiteral("DY")};
    FicResult result;
    result.angleUnit = QStringLiteral("GRD");
    for (int p = 1; p <= kPoints; ++p)
        result.pointNames.append(QStringLiteral("P%1").arg(p));
    result.observations.reserve(kObservations);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int i = 0; i < kObservations; ++i) {
        FicObservation o;
        o.rank = i + 1;
        o.normalizedResidual = (next() % 800000) / 100000.0 - 4.0;
        o.residual = (next() % 20000) / 1e6 - 0.01;
        o.value = (next() % 40000000) / 1e5;
        o.reliability = (next() % 10000) / 100.0;
        o.valid = i % 20 != 0;
        o.typeLabel = kinds[next() % 6];
        o.stationIndex = int(next() % kPoints);
        o.targetIndex = int(next() % kPoints);
        o.station = result.pointNames.at(o.stationIndex);
        o.target = result.pointNames.at(o.targetIndex);
        result.observations.append(o);
    }
    return result;
}

// Processor time used by this thread, in milliseconds: other loads of the machine disturb it
// less than the wall clock.
double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Times
{
    double wallMs;
    double cpuMs;
};

Times medianMs(const std::function<void()> &work)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        const double cpuStart = threadMs();
        timer.start();
        work();
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(threadMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const FicResult result = makeResult();
    ResidualTableModel model;
    std::printf("residual table of %d observations, median of %d runs\n", kObservations, kRuns);

    const auto report = [&](const char *what, const std::function<void()> &work) {
        const Times times = medianMs(work);
        std::printf("  %-42s %8.1f ms wall %8.1f ms cpu  (%d rows)\n", what, times.wallMs,
                    times.cpuMs, model.rowCount());
    };
    report("load (rank order)", [&] { model.setResult(result); });
    report("sort by normalized residual", [&] {
        model.sort(ResidualTableModel::RankColumn, Qt::AscendingOrder);
        model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::DescendingOrder);
    });
    report("sort by residual", [&] {
        model.sort(ResidualTableModel::RankColumn, Qt::AscendingOrder);
        model.sort(ResidualTableModel::ResidualColumn, Qt::AscendingOrder);
    });
    report("sort by station (names in natural order)", [&] {
        model.sort(ResidualTableModel::RankColumn, Qt::AscendingOrder);
        model.sort(ResidualTableModel::StationColumn, Qt::AscendingOrder);
    });
    report("sort by kind", [&] {
        model.sort(ResidualTableModel::RankColumn, Qt::AscendingOrder);
        model.sort(ResidualTableModel::KindColumn, Qt::DescendingOrder);
    });
    model.sort(ResidualTableModel::NormalizedResidualColumn, Qt::DescendingOrder);
    report("filter rejected only (sorted)", [&] {
        model.setFilter({});
        model.setFilter({true, QString(), QString()});
    });
    report("filter one kind (sorted)", [&] {
        model.setFilter({});
        model.setFilter({false, QStringLiteral("DIR"), QString()});
    });
    report("filter one station (sorted)", [&] {
        model.setFilter({});
        model.setFilter({false, QString(), QStringLiteral("P77")});
    });
    report("no filter again (sorted)", [&] {
        model.setFilter({true, QString(), QString()});
        model.setFilter({});
    });
    return 0;
}
