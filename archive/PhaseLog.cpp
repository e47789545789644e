#include "archive/PhaseLog.h"

#include "platform/FileAccess.h"

#include <QFile>

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
    const QByteArray line = secondsSinceStart(m_start) + ' ' +
                            secondsSinceStart(std::chrono::steady_clock::now()) + ' ' +
                            QByteArray::number(platform::currentThreadId()) + ' ' + m_name + '\n';
    // One append per line keeps the lines of several threads whole.
    platform::appendToFile(logFile().constData(), line.constData(), static_cast<size_t>(line.size()));
}

} // namespace stowline
