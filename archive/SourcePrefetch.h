#pragma once

#include <QByteArray>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace stowline {

// A stretch of a source file, and how many bytes of the run are read before it.
struct PrefetchStretch {
    QByteArray path;
    quint64 offset = 0;
    quint64 length = 0;
    quint64 runPosition = 0;
};

// Asks the kernel, on a thread of its own, to read the stretches a few MiB ahead of the run's
// readers. A page the cache let go of (a cold morning, or a cache trimmed by the system) is then
// read beside the deflating rather than stopping a worker behind the disk, which may be busy with
// the archive's own syncs for tens of milliseconds. Only advice: a file it cannot open is skipped.
class SourcePrefetcher {
public:
    explicit SourcePrefetcher(std::vector<PrefetchStretch> stretches);
    SourcePrefetcher(const SourcePrefetcher&) = delete;
    SourcePrefetcher& operator=(const SourcePrefetcher&) = delete;
    ~SourcePrefetcher();

    // The readers have got to this position of the run.
    void reached(quint64 runPosition);

private:
    void run();
    bool waitUntilWanted(quint64 runPosition);

    std::vector<PrefetchStretch> m_stretches;
    std::mutex m_mutex;
    std::condition_variable m_wanted;
    quint64 m_reached = 0;
    quint64 m_wakeAt = 0; // a reader at this position wakes the thread
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace stowline
