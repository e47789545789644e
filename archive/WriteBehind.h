#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace stowline {

// Hands a file that is being written to the disk every few MiB, on a thread of its own, for a file
// that is synced at the end: the disk then works while the data is made, and the last sync finds
// little left to write. The writer does not wait for the disk unless it runs far ahead of it, so
// that a disk busy with a sync does not stop the writing, and through it the workers.
class WriteBehind {
public:
    explicit WriteBehind(int fd);
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    ~WriteBehind();

    // The file now holds this many bytes. Throws VbError for a disk that failed meanwhile.
    void written(quint64 size);
    // No more is written: the thread starts nothing new, but a sync it has begun runs on.
    void end();
    // Waits for the thread; throws VbError when the disk failed.
    void finish();

private:
    void run();
    bool handOver(quint64 start);
    void stop();
    void raiseFailure();

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_more;   // the writer wrote a step more
    std::condition_variable m_caught; // the disk caught up by a step
    quint64 m_written = 0;
    quint64 m_onDisk = 0;
    int m_error = 0;
    bool m_stopping = false;
    bool m_ended = false; // the thread returned: nothing more to wait for
    std::thread m_thread;
};

} // namespace stowline
