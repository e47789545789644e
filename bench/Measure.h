#pragma once

#include <QElapsedTimer>
#include <QString>
#include <unistd.h>

// Measuring helpers the benchmarks share.
namespace stowline::bench {

// Peak resident memory of this process in KiB since the last resetPeakRss().
long peakRssKiB();
void resetPeakRss();
qint64 folderBytes(const QString& folder);
double seconds(const QElapsedTimer& timer);
QString mib(qint64 bytes);
QString loadAverage();

// CPU seconds (user and system) used so far by this process and by the children it waited for.
double cpuSeconds();

// Wall and CPU seconds of one run.
struct Run {
    double wall = 1e300;
    double cpu = 0;
    bool keepBest(const Run& other) {
        if (other.wall >= wall)
            return false;
        *this = other;
        return true;
    }
};

// Each run starts with nothing waiting to be written, so that none pays for another's writes.
template <class Work> Run measure(Work work) {
    sync();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    work();
    return {seconds(timer), cpuSeconds() - cpuBefore};
}

// Runs a command to its end with its output dropped and its errors shown.
void runQuietly(const QString& program, const QStringList& arguments, const QString& folder);

} // namespace stowline::bench
