#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "platform/Heap.h"
#include "platform/ProgramFiles.h"
#include "scheduler/modScheduleRules.h"
#include "startup/CommandLineOptions.h"
#include "startup/FindMail.h"
#include "startup/StartSteps.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>

// `stowline`: a search of mail already indexed is answered here with Qt Core and SQLite alone, as
// the libraries every other start needs took most of a search's time; a scheduled run that nobody
// watches is handed to `stowline-scheduled`, every other start to the program with windows.

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

[[noreturn]] void handOverFailed(int textId, int failure) {
    constexpr int ProgramNotStarted = 127; // as a shell reports a program it cannot run
    std::fprintf(stderr, "stowline: %s %s\n", qPrintable(stowline::Str(textId)), std::strerror(failure));
    std::exit(ProgramNotStarted);
}

[[noreturn]] void handOverToWindows(char* argv[]) {
    handOverFailed(stowline::txtNoWindowsProgram, stowline::platform::HandOverToWindows(argv));
}

[[noreturn]] void handOverToScheduledRun(char* argv[]) {
    handOverFailed(stowline::txtNoScheduledRunProgram, stowline::platform::HandOverToScheduledRun(argv));
}

// A search speaks only when it cannot hand over: the application and its translations, a fifth of
// a search's own time, are made for that message alone.
[[noreturn]] void handSearchToWindows(int argc, char* argv[]) {
    const int failure = stowline::platform::HandOverToWindows(argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("stowline"));
    stowline::InstallTranslation();
    handOverFailed(stowline::txtNoWindowsProgram, failure);
}

// Answered here when the source's index is built; the program with windows builds it otherwise.
int answerFindMail(const CommandLineOptions& options, int argc, char* argv[]) {
    stowline::ChooseRegistrySource(options);
    if (options.mailArchive.isEmpty() && stowline::RegistryFailure())
        handSearchToWindows(argc, argv); // which says what is wrong with the registry
    QTextStream out(stdout);
    if (const std::optional<int> status = stowline::FindMailInCache(options, out))
        return *status;
    handSearchToWindows(argc, argv);
}

} // namespace

int main(int argc, char* argv[]) {
    stowline::platform::shareOneHeap();
    const CommandLineOptions options = stowline::parseCommandLine(argc, argv);
    if (options.action != CommandLineOptions::Action::FindMail) {
        if (unattendedScheduledRun(options))
            handOverToScheduledRun(argv);
        handOverToWindows(argv);
    }
    stowline::PinLocalTimeZone();
    // A search reads a few pages of each file once: no page cache laid out and touched in advance.
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    return answerFindMail(options, argc, argv);
}
