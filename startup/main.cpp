#include "platform/RegistryStore.h"
#include "scheduler/UnattendedDialogs.h"
#include "startup/frmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace {

// An unattended run (/S from cron or a systemd timer) has no display to open.
void chooseOffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool registryOpens() {
    try {
        stowline::platform::registry();
        return true;
    } catch (const stowline::platform::RegistryError& error) {
        std::fprintf(stderr, "stowline: %s\n", error.what());
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QMessageBox::critical(nullptr, QStringLiteral("Stowline"), QString::fromUtf8(error.what()));
        return false;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    chooseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("stowline"));
    // Offscreen nobody can answer a dialog: messages go to stderr, questions are declined.
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        stowline::InstallUnattendedDialogs();
    if (!registryOpens())
        return 2;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    stowline::frmMain::Load(stowline::commandLineText(arguments));
    return QApplication::exec();
}
