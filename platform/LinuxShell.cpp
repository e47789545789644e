#include "platform/LinuxShell.h"

#include <QDesktopServices>
#include <QUrl>

namespace stowline::platform {

bool LinuxShell::open(const QString& address) {
    // TolerantMode keeps blanks and angle brackets of a composed mailto address as they are.
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

} // namespace stowline::platform
