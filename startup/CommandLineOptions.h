#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

namespace stowline {

// What `stowline` was asked to do. GNU-style options and a bare archive are turned into the
// Windows-style switches ("/S", "/R FILE") that the start-up already understands.
struct CommandLineOptions {
    enum class Action {
        Run,
        Help,
        Version,
        Error,
        Verify,
        Status,
        ExportMail,
        UndoRestore,
        FindMail,
        UploadMail
    };
    Action action = Action::Run;
    QString verifyFile;          // for Verify
    QStringList switchArguments; // for commandLineText(): {}, {"/S"} or {"/R", FILE, ...}
    QString error;               // one line, without the program name, when action is Error
    // --wine-prefix DIR, or --profile FILE with --windows-root MOUNT: the registry to work on
    // instead of Stowline's own store; empty when not given.
    QString winePrefix;
    QString profile;
    QString windowsRoot;
    // --export-mail DIR [--format mbox|maildir|eml] [--recover] [ARCHIVE]: mailArchive empty for the
    // profile the registry source names.
    QString mailFolder;
    QString mailFormat = QStringLiteral("mbox");
    bool recoverMail = false;
    QString mailArchive;
    // --find-mail QUERY [ARCHIVE], or --query QUERY with --export-mail: empty when not given.
    QString mailQuery;
    // --upload-mail imaps://USER@HOST[:PORT][/FOLDER] [--password-file FILE] [--ca-file FILE] [--recover]
    // [ARCHIVE]: the archive in mailArchive.
    QString uploadAddress;
    QString passwordFile;
    QString caFile;
};

// Arguments without the program name, after the toolkit has taken its own (-platform and the like).
CommandLineOptions parseCommandLine(const QStringList& arguments);
// The same from main's own arguments, before any toolkit object exists.
CommandLineOptions parseCommandLine(int argc, char* argv[]);

// EX_USAGE of sysexits.h: what scripts expect from a command line that cannot be used.
constexpr int ExitUsageError = 64;

// Prints help (stdout), version (stdout) or the error with its hint (stderr) and returns the exit
// status; nothing and no status when the program is to run.
std::optional<int> answerCommandLine(const CommandLineOptions& options, QTextStream& out, QTextStream& err);

// Joins program arguments back into one command-line text: the switch, then each argument quoted.
QString commandLineText(const QStringList& arguments);

} // namespace stowline
