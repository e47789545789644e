#pragma once

#include <QString>
#include <chrono>

namespace stowline::platform {

// Sleeps in flock() on the open file until the holder lets go, as an event rather than by polling,
// for `limit` at most. False with errno EINTR when the limit passed first.
bool WaitForFileLock(int fd, int operation, std::chrono::milliseconds limit);

// An exclusive lock on a file of its own beside what it guards (created private when missing): held
// until this object goes or its process ends, however it ends, since the system lets go of a dead
// holder's lock.
class ExclusiveFileLock {
public:
    explicit ExclusiveFileLock(const QString& path); // takes nothing yet
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    // False when the file could not be opened.
    bool usable() const { return m_fd >= 0; }
    bool tryTake();
    enum class Wait { Taken, TimedOut, Failed };
    // Waits up to `limit` for whoever holds it.
    Wait take(std::chrono::milliseconds limit);

private:
    int m_fd = -1;
};

} // namespace stowline::platform
