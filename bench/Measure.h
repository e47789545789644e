#pragma once

#include <QElapsedTimer>
#include <QString>

// Measuring helpers the benchmarks share.
namespace stowline::bench {

// Peak resident memory of this process in KiB since the last resetPeakRss().
long peakRssKiB();
void resetPeakRss();
qint64 folderBytes(const QString& folder);
double seconds(const QElapsedTimer& timer);
QString mib(qint64 bytes);
QString loadAverage();

} // namespace stowline::bench
