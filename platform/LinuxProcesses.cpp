#include "platform/LinuxProcesses.h"

#include <QProcess>

namespace stowline::platform {

ChildEnd LinuxProcesses::runAndWait(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return {};
    process.waitForFinished(-1);
    // On a crash QProcess keeps the signal number as the exit code.
    return {process.exitStatus() == QProcess::CrashExit ? ChildEnd::How::Signalled : ChildEnd::How::Exited,
            process.exitCode()};
}

bool LinuxProcesses::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace stowline::platform
