// Reads a result file of 1,000,000 observations (104 MB) with its records, as the residual
// window does, and prints the time of each read and the process's peak memory.

#include "ficreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kObservations = 1000000;
constexpr int kPoints = 5000;
constexpr int kReads = 5;

class FieldWriter
{
public:
    void i64(qint64 value)
    {
        char bytes[8];
        qToLittleEndian(value, bytes);
        m_buffer.append(bytes, 8);
    }
    void f64(double value)
    {
        qint64 bits;
        std::memcpy(&bits, &value, 8);
        i64(bits);
    }
    void text(const QByteArray &latin1)
    {
        const int words = (latin1.size() + 7) / 8;
        i64(words);
        m_buffer.append(latin1.leftJustified(words * 8, ' '));
    }
    // Hands the buffered bytes to `file`, so the generator never holds the whole file.
    bool flush(QFile &file)
    {
        const bool done = file.write(m_buffer) == m_buffer.size();
        m_buffer.clear();
        return done;
    }

private:
    QByteArray m_buffer;
};

bool writeResultFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    FieldWriter w;
    for (qint64 value : {0, 1, kObservations, 3 * kPoints, 1, 4})
        w.i64(value);
    w.f64(1.0234);
    w.i64(1);
    w.i64(1);
    w.text("/data/reseau.iob");
    w.text("/data/reseau.log");
    w.i64(kPoints);
    for (int p = 1; p <= kPoints; ++p)
        w.text("POINT" + QByteArray::number(p));
    w.f64(0.5);
    w.i64(kObservations - kObservations / 10);
    w.i64(2);
    w.i64(1);
    for (int i = 1; i <= kObservations; ++i) {
        w.i64(1);
        w.f64(100.0 + i * 1e-3);
        w.i64(i);
        w.f64(1e-3 * (i % 7) - 3e-3);
        w.f64(4.0 - 8.0 * i / kObservations);
        w.f64(0.1 * (i % 9));
        w.i64(i % 10 ? 1 : 0);
        w.i64(i + 10);
        w.i64(1);
        w.i64(i % 3 ? 1 : 6);
        w.i64(1 + i % 3);
        w.i64(1 + i % kPoints);
        w.i64(1 + (i * 7) % kPoints);
        if (i % 10000 == 0 && !w.flush(file))
            return false;
    }
    return w.flush(file);
}

// Processor time of this process, apart from the time other programs take on a busy machine.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

long peakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("reseau.fic"));
    if (!dir.isValid() || !writeResultFile(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("result file: %d observations, %.1f MB\n", kObservations, QFile(path).size() / 1e6);
    const long before = peakMemoryKiB();

    // One read first, so that the file is in the page cache.
    if (readFic(path, true).observations.size() != kObservations) {
        std::fprintf(stderr, "the file did not read back whole\n");
        return 1;
    }

    double best = 1e9;
    double total = 0;
    double bestCpu = 1e9;
    for (int run = 0; run < kReads; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuSeconds();
        const FicResult result = readFic(path, true);
        const double cpu = cpuSeconds() - cpuStart;
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (result.observations.last().rank != kObservations)
            return 1;
        best = std::min(best, seconds);
        bestCpu = std::min(bestCpu, cpu);
        total += seconds;
    }
    std::printf("readFic(path, true): best %.3f s, mean %.3f s over %d reads (target < 0.5 s)\n",
                best, total / kReads, kReads);
    std::printf("processor time of the best read: %.3f s\n", bestCpu);
    std::printf("peak memory: %.1f MB (%.1f MB before reading)\n", peakMemoryKiB() / 1024.0,
                before / 1024.0);
    return 0;
}
