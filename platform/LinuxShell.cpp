#include "platform/LinuxShell.h"

#include <QProcess>

namespace stowline::platform {

bool LinuxShell::open(const QString& address) {
    // xdg-open finds the desktop's handler for any address, as the toolkit's own opener does; started
    // apart, so that a browser it runs in the foreground does not hold the program.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}

} // namespace stowline::platform
