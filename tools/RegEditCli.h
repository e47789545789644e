#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace stowline {

// The command line of stowline-regedit, as regedit takes it:
//   /e [/a] FILE [KEY]   export KEY (every key when absent) with its subkeys; /a: REGEDIT4, else 5.00
//   [/s] FILE            import FILE silently (nothing is ever asked)
//   --wine-prefix DIR, --profile FILE --windows-root MOUNT: another registry than the store
// Switches are "/" or "-" and one letter, any case; every other argument, a path such as "/tmp/x.reg"
// included, is a file or key name.
struct RegEditOptions {
    enum class Action { Import, Export };
    Action action = Action::Import;
    bool ansi = false;
    QString file;
    QString key;
    QString error;        // not empty when the command line is unusable
    bool help = false;    // --help, -h, /h, /?
    bool version = false; // --version
    // --wine-prefix DIR, or --profile FILE with --windows-root MOUNT, as for stowline.
    QString winePrefix;
    QString profile;
    QString windowsRoot;
};

RegEditOptions parseRegEditArguments(const QStringList& arguments);

// The GNU-style help and version texts, each ending in a newline.
QString regEditHelpText();
QString regEditVersionText();

// 0: everything imported or exported; 1: nothing imported or exported; 2: bad arguments;
// 3: imported, with lines skipped (each one reported on stderr).
enum RegEditExit { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitSkippedLines = 3 };
// Runs the command; diagnostics go to err as one line each.
int runRegEdit(const RegEditOptions& options, QTextStream& err);

} // namespace stowline
