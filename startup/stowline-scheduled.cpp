#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modSettings.h"
#include "platform/Heap.h"
#include "platform/Platform.h"
#include "platform/ProgramFiles.h"
#include "scheduler/modScheduledRun.h"
#include "startup/CommandLineOptions.h"
#include "startup/StartSteps.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

// `stowline-scheduled`: the scheduled run nobody watches, handed over by `stowline`, which keeps the
// keyring, OpenSSL and the zip writer this run needs out of every search it answers.

namespace {

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
    stowline::platform::shareOneHeap();
    const stowline::CommandLineOptions options = stowline::parseCommandLine(argc, argv);
    stowline::PinLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stowline"));
    stowline::InstallTranslation();
    // Started by hand for anything else, it does what `stowline` would: the program with windows answers.
    if (!stowline::IsScheduledRun(stowline::commandLineText(options.switchArguments))) {
        const int failure = stowline::platform::HandOverToWindows(argv);
        std::fprintf(stderr, "stowline: %s %s\n", qPrintable(stowline::Str(stowline::txtNoWindowsProgram)),
                     std::strerror(failure));
        return 127; // as a shell reports a program it cannot run
    }
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
