#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modSettings.h"
#include "platform/Platform.h"
#include "platform/ProgramFiles.h"
#include "scheduler/modScheduledRun.h"
#include "startup/CommandLineOptions.h"
#include "startup/FindMail.h"
#include "startup/StartSteps.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// `stowline`: a scheduled run that nobody watches, and a search of mail already indexed, are made
// here, without the toolkit's widgets and graphics, whose loading took 20 ms of every nightly run
// and most of a search's time; every other start is handed to the program with windows.

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

[[noreturn]] void handOverToWindows(char* argv[]) {
    constexpr int ProgramNotStarted = 127; // as a shell reports a program it cannot run
    const int failure = stowline::platform::HandOverToWindows(argv);
    std::fprintf(stderr, "stowline: %s %s\n", qPrintable(stowline::Str(stowline::txtNoWindowsProgram)),
                 std::strerror(failure));
    std::exit(ProgramNotStarted);
}

// Answered here when the source's index is built; the program with windows builds it otherwise.
int answerFindMail(const CommandLineOptions& options, char* argv[]) {
    if (options.mailArchive.isEmpty() && stowline::RegistryFailure())
        handOverToWindows(argv); // which says what is wrong with the registry
    QTextStream out(stdout);
    if (const std::optional<int> status = stowline::FindMailInCache(options, out))
        return *status;
    handOverToWindows(argv);
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineOptions options = stowline::parseCommandLine(arguments);
    const bool findMail = options.action == CommandLineOptions::Action::FindMail;
    if (!findMail && !unattendedScheduledRun(options))
        handOverToWindows(argv);
    stowline::PinLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stowline"));
    stowline::InstallTranslation();
    stowline::ChooseRegistrySource(options);
    if (findMail)
        return answerFindMail(options, argv);
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
