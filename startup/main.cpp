#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modSettings.h"
#include "platform/Platform.h"
#include "platform/ProgramFiles.h"
#include "scheduler/modScheduledRun.h"
#include "startup/CommandLineOptions.h"
#include "startup/StartSteps.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

// `stowline`: a scheduled run that nobody watches is made here, without the toolkit's widgets and
// graphics, whose loading took 20 ms of every nightly run; every other start is handed to the
// program with windows.

namespace {

using stowline::CommandLineOptions;

bool displayToOpen() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty())
        return !platform.startsWith("offscreen");
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool unattendedScheduledRun(const CommandLineOptions& options) {
    return options.action == CommandLineOptions::Action::Run && !displayToOpen() &&
           stowline::IsScheduledRun(stowline::commandLineText(options.switchArguments));
}

// What a start with windows does before it looks at its command line, then the run itself.
void runScheduledBackup() {
    using namespace stowline;
    TRAP_BEGIN("main:runScheduledBackup")
        STEP(3) EnsureSettingsKey(regAccess());
        STEP(4) CountStart([](const QString& address) { platform::shell().open(address); });
        STEP(5) LoadStartupSettings(regAccess());
        STEP(6) ScheduledBackup(UnattendedRunView());
    TRAP_END
    ScheduledRunAfterFailure(UnattendedRunView());
}

} // namespace

int main(int argc, char* argv[]) {
    constexpr int ProgramNotStarted = 127; // as a shell reports a program it cannot run
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineOptions options = stowline::parseCommandLine(arguments);
    if (!unattendedScheduledRun(options)) {
        const int failure = stowline::platform::HandOverToWindows(argv);
        std::fprintf(stderr, "stowline: %s %s\n", qPrintable(stowline::Str(stowline::txtNoWindowsProgram)),
                     std::strerror(failure));
        return ProgramNotStarted;
    }
    stowline::PinLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stowline"));
    stowline::InstallTranslation();
    stowline::ChooseRegistrySource(options);
    if (const std::optional<QString> failure = stowline::RegistryFailure()) {
        std::fprintf(stderr, "stowline: %s\n", qPrintable(*failure));
        return stowline::RegistryUnusable;
    }
    QString refusal;
    const stowline::platform::RegistryStoreLock storeLock = stowline::LockStore(refusal);
    if (!storeLock) {
        std::fprintf(stderr, "stowline: %s\n", qPrintable(refusal));
        return stowline::AlreadyRunning;
    }
    runScheduledBackup(); // ends the program with the run's status
    return 1;
}
