#include "archive/PhaseLog.h"

#include <QFile>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace stowline {

namespace {

const auto programStart = std::chrono::steady_clock::now();

const QByteArray& logFile() {
    static const QByteArray path = qgetenv("STOWLINE_PHASE_LOG");
    return path;
}

QByteArray secondsSinceStart(std::chrono::steady_clock::time_point at) {
    return QByteArray::number(std::chrono::duration<double>(at - programStart).count(), 'f', 3);
}

} // namespace

PhaseLog::PhaseLog(QByteArray name) : m_name(std::move(name)), m_start(std::chrono::steady_clock::now()) {}

PhaseLog::~PhaseLog() {
    if (logFile().isEmpty())
        return;
    const QByteArray line =
        secondsSinceStart(m_start) + ' ' + secondsSinceStart(std::chrono::steady_clock::now()) + ' ' +
        QByteArray::number(static_cast<long>(::syscall(SYS_gettid))) + ' ' + m_name + '\n';
    // One append per line keeps the lines of several threads whole.
    const int fd = ::open(logFile().constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line.constData(), static_cast<size_t>(line.size()));
    ::close(fd);
}

} // namespace stowline
