#include "startup/AppIdentity.h"

#include "foundation/Strings.h"

#include <QApplication>
#include <QIcon>

namespace stowline {

void SetUpApplicationIdentity(bool windowsShown) {
    // Decoding the three sizes took 4 ms of an unattended run's start, for windows no one sees.
    if (windowsShown) {
        QIcon icon;
        for (int size : {48, 128, 256})
            icon.addFile(QStringLiteral(":/icons/stowline-%1.png").arg(size), QSize(size, size));
        // Setting it on the application gives every window the icon, wizards and dialogs included.
        QApplication::setWindowIcon(icon);
    }
    QGuiApplication::setDesktopFileName(QStringLiteral("stowline"));
    InstallTranslation();
}

} // namespace stowline
