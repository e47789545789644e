#include "archive/WriteBehind.h"

#include "foundation/modError.h"
#include "platform/FileCalls.h"

#include <cerrno>
#include <sys/types.h>

namespace stowline {

namespace {

constexpr quint64 Step = 8 * 1024 * 1024;
// A disk that keeps what it is sent in a cache of its own empties it only when synced: the archive's
// last sync then waited for all of it (0.2-0.3 s for 237 MB where the disk takes 250 MB/s), so it
// is synced beside the writing every so often as well.
constexpr quint64 FlushStep = 32 * 1024 * 1024;
// How far the writer may run ahead of the disk: a sync of the disk's cache takes up to 60 ms, in
// which the writer makes about 20 MiB; a slow disk keeps the dirty pages to this much.
constexpr quint64 MaximumLag = 64 * 1024 * 1024;

bool cannotWriteBack(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ESPIPE;
}

} // namespace

WriteBehind::WriteBehind(int fd) : m_fd(fd), m_thread([this] { run(); }) {}

WriteBehind::~WriteBehind() { stop(); }

void WriteBehind::written(quint64 size) {
    std::unique_lock lock(m_mutex);
    if (m_error != 0)
        raiseFailure();
    const bool wake = size >= m_written / Step * Step + Step;
    m_written = size;
    if (wake)
        m_more.notify_one();
    m_caught.wait(lock, [&] { return m_ended || size <= m_onDisk + MaximumLag; });
}

void WriteBehind::finish() {
    stop();
    std::lock_guard lock(m_mutex);
    if (m_error != 0)
        raiseFailure();
}

void WriteBehind::end() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_more.notify_one();
}

void WriteBehind::stop() {
    end();
    if (m_thread.joinable())
        m_thread.join();
}

// The error is told once: a later call finds the file failed already.
void WriteBehind::raiseFailure() {
    const int error = m_error;
    m_error = 0;
    m_ended = true;
    RaiseOsError(error);
}

void WriteBehind::run() {
    quint64 start = 0;
    quint64 flushedFrom = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_more.wait(lock, [&] { return m_stopping || m_written >= start + Step; });
            if (m_stopping)
                break; // the last sync writes the rest
        }
        if (!handOver(start))
            break;
        start += Step;
        int error = 0;
        if (start >= flushedFrom + FlushStep) {
            flushedFrom = start;
            error = platform::syncFile(m_fd) == 0 ? 0 : errno;
        }
        std::lock_guard lock(m_mutex);
        m_onDisk = start - Step;
        m_caught.notify_one();
        if (error != 0) {
            m_error = error;
            break;
        }
    }
    std::lock_guard lock(m_mutex);
    m_ended = true;
    m_caught.notify_one();
}

// Starts the step at start, and waits for the one before it; false when that cannot be done.
bool WriteBehind::handOver(quint64 start) {
    const auto from = static_cast<off_t>(start);
    const auto step = static_cast<off_t>(Step);
    if (platform::writeBack(m_fd, from, step, false) == 0 &&
        (from < step || platform::writeBack(m_fd, from - step, step, true) == 0))
        return true;
    const int error = errno;
    if (!cannotWriteBack(error)) { // a file system or file that cannot: the last sync writes it all
        std::lock_guard lock(m_mutex);
        m_error = error;
    }
    return false;
}

} // namespace stowline
