#include "platform/FileLock.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace stowline::platform {

namespace {

// The signal that ends a wait for the lock. Its handler does nothing, and without SA_RESTART the
// interrupted flock() returns.
int lockWaitSignal() {
    static const int signal = [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(SIGRTMIN, &action, nullptr);
        return SIGRTMIN;
    }();
    return signal;
}

} // namespace

// A timer aimed at this thread interrupts the sleep at the limit, and every tenth of a second after in
// case its first signal came just before the wait began.
bool WaitForFileLock(int fd, int operation, std::chrono::milliseconds limit) {
    const int signal = lockWaitSignal();
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event._sigev_un._tid = gettid(); // glibc 2.36 names no accessor for it
    timer_t timer{};
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return false;
    itimerspec firing{};
    firing.it_value = {limit.count() / 1000, (limit.count() % 1000) * 1000000};
    firing.it_interval = {0, 100000000};
    timer_settime(timer, 0, &firing, nullptr);
    sigset_t wake, previous;
    sigemptyset(&wake);
    sigaddset(&wake, signal);
    pthread_sigmask(SIG_UNBLOCK, &wake, &previous);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int result = 0;
    while ((result = flock(fd, operation)) != 0 && errno == EINTR &&
           std::chrono::steady_clock::now() < deadline) {
    }
    const int error = errno;
    timer_delete(timer);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return result == 0;
}

ExclusiveFileLock::ExclusiveFileLock(const QString& path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (m_fd >= 0)
        ::close(m_fd); // lets go of the lock with the file
}

bool ExclusiveFileLock::tryTake() { return m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) == 0; }

ExclusiveFileLock::Wait ExclusiveFileLock::take(std::chrono::milliseconds limit) {
    if (tryTake())
        return Wait::Taken;
    if (m_fd < 0 || errno != EWOULDBLOCK)
        return Wait::Failed;
    if (WaitForFileLock(m_fd, LOCK_EX, limit))
        return Wait::Taken;
    return errno == EINTR ? Wait::TimedOut : Wait::Failed;
}

} // namespace stowline::platform
