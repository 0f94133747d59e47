// Loads a result of 100,000 observations into the residual window, then paints the ranking chart
// and the histogram into images of the plot's size, and prints the times: wall-clock medians, and
// the processor time of this thread beside them, which other loads of the machine disturb less.

#include "frmresult.h"
#include "myplotarea.h"

#include <QApplication>
#include <QComboBox>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kObservations = 100000;
constexpr int kPoints = 200;
constexpr int kRuns = 7;

void writeText(QDataStream &out, const QByteArray &text)
{
    const int words = (text.size() + 7) / 8;
    out << qint64(words);
    out.writeRawData(text.leftJustified(words * 8, ' ').constData(), words * 8);
}

// A successful run: the engine's header, then the records in rank order, the normalized residual
// falling from 4 towards 0.
bool writeResult(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::DoublePrecision);
    out << qint64(0) << qint64(1) << qint64(kObservations) << qint64(3 * kPoints) << qint64(1)
        << qint64(4) << 1.0123 << qint64(1);
    out << qint64(1);
    writeText(out, "/data/reseau.iob");
    writeText(out, "/data/reseau.log");
    out << qint64(kPoints);
    for (int p = 1; p <= kPoints; ++p)
        writeText(out, "P" + QByteArray::number(p));
    out << 0.5 << qint64(kObservations - kObservations / 20) << qint64(1) << qint64(1);
    for (int rank = 1; rank <= kObservations; ++rank) {
        const double normalized = 4.0 * (kObservations - rank) / kObservations;
        out << qint64(1) << 100.0 + rank * 1e-3 << qint64(rank) << 1e-3 * (rank % 9 - 4)
            << (rank % 2 ? normalized : -normalized) << 0.1 * (rank % 7)
            << qint64(rank % 20 ? 1 : 0) << qint64(rank + 3) << qint64(1) << qint64(1 + rank % 6)
            << qint64(1 + rank % 3) << qint64(1 + rank % kPoints)
            << qint64(1 + (rank + 7) % kPoints);
    }
    return out.status() == QDataStream::Ok;
}

// Processor time used by this thread, in milliseconds.
double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Times
{
    std::vector<double> wall;
    std::vector<double> cpu;
};

template <typename F> void measure(Times &times, F &&work)
{
    QElapsedTimer timer;
    const double cpuStart = threadMs();
    timer.start();
    work();
    times.wall.push_back(timer.nsecsElapsed() / 1e6);
    times.cpu.push_back(threadMs() - cpuStart);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Times of painting `plot` into an image of its own size.
Times paintTimes(myPlotArea &plot)
{
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
    Times times;
    for (int run = 0; run < kRuns; ++run)
        measure(times, [&] { plot.render(&image); });
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reseau.fic"));
    if (!dir.isValid() || !writeResult(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("result file: %d observations, %lld bytes\n", kObservations, QFile(path).size());

    frmResult window;
    window.resize(600, 700);
    Times loads;
    for (int run = 0; run < kRuns; ++run)
        measure(loads, [&] { window.loadResult(path); });
    std::printf("load into the residual window: median %.1f ms (thread CPU %.1f ms), first %.1f ms "
                "(target < 1000 ms)\n",
                median(loads.wall), median(loads.cpu), loads.wall.front());

    auto *choice = window.findChild<QComboBox *>(QStringLiteral("graphChoice"));
    auto *plot = window.findChild<myPlotArea *>(QStringLiteral("plot"));
    window.show();
    plot->resize(560, 220);

    const struct
    {
        int index;
        const char *name;
    } graphs[] = {{1, "ranking chart"}, {2, "histogram"}};
    for (const auto &graph : graphs) {
        QElapsedTimer timer;
        timer.start();
        choice->setCurrentIndex(graph.index);
        const double choose = timer.nsecsElapsed() / 1e6;
        plot->resize(560, 220);
        const Times paints = paintTimes(*plot);
        std::printf("%s: choosing it %.1f ms; painting %dx%d median %.2f ms (thread CPU %.2f ms) "
                    "(target < 50 ms)\n",
                    graph.name, choose, plot->width(), plot->height(), median(paints.wall),
                    median(paints.cpu));
    }
    return 0;
}
