#include "startup/CommandLineOptions.h"

#include "foundation/Strings.h"

#include <QCommandLineParser>

namespace stowline {

namespace {

constexpr int txtUsage = 1100;
constexpr int txtAbout = 1101;
constexpr int txtAboutFile = 1102;
constexpr int txtOptionSchedule = 1103;
constexpr int txtOptionRestore = 1104;
constexpr int txtOptionHelp = 1105;
constexpr int txtOptionVersion = 1106;
constexpr int txtReportBugs = 1107;
constexpr int txtHomePage = 1108;
constexpr int txtUnknownOption = 1110;
constexpr int txtMissingValue = 1111;
constexpr int txtTooMany = 1112;
constexpr int txtTryHelp = 1113;
constexpr int txtConflict = 1114;
constexpr int txtOptionWinePrefix = 1130;
constexpr int txtOptionProfile = 1131;
constexpr int txtOptionWindowsRoot = 1132;
constexpr int txtSourceConflict = 1133;
constexpr int txtProfileNeedsRoot = 1134;
constexpr int txtOptionVerify = 1216;
constexpr int txtOptionStatus = 1217;
constexpr int txtOptionUndoRestore = 1316;

// The legacy switches are exactly two characters, so that a bare "/srv/a.stw" is a file, not /S.
bool isSwitch(const QString& argument, QChar letter) {
    return argument.size() == 2 && argument[0] == u'/' && argument[1].toUpper() == letter;
}

QString quoted(const QString& text) { return u'\'' + text + u'\''; }

} // namespace

CommandLineOptions parseCommandLine(const QStringList& arguments) {
    CommandLineOptions result;
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption schedule(QStringList{QStringLiteral("s"), QStringLiteral("schedule-now")});
    const QCommandLineOption restore(QStringList{QStringLiteral("r"), QStringLiteral("restore")}, QString(),
                                     QStringLiteral("FILE"));
    const QCommandLineOption winePrefix(QStringLiteral("wine-prefix"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption profile(QStringLiteral("profile"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption windowsRoot(QStringLiteral("windows-root"), QString(), QStringLiteral("MOUNT"));
    const QCommandLineOption verify(QStringList{QStringLiteral("V"), QStringLiteral("verify")}, QString(),
                                    QStringLiteral("FILE"));
    const QCommandLineOption status(QStringLiteral("status"));
    const QCommandLineOption undoRestore(QStringLiteral("undo-restore"));
    parser.addOptions(
        {help, version, schedule, restore, winePrefix, profile, windowsRoot, verify, status, undoRestore});

    auto fail = [&](const QString& error) {
        result.action = CommandLineOptions::Action::Error;
        result.error = error;
        return result;
    };
    if (!parser.parse(QStringList{QStringLiteral("stowline")} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().constFirst();
            return fail(Str(txtUnknownOption) + quoted((name.size() == 1 ? u"-" : u"--") + name));
        }
        const QString text = parser.errorText();
        for (const char* withValue : {"wine-prefix", "profile", "windows-root"})
            if (text.contains(QLatin1String(withValue)))
                return fail(Str(txtMissingValue) + quoted(QStringLiteral("--") + QLatin1String(withValue)));
        const bool verifyMissing =
            arguments.contains(QStringLiteral("--verify")) || arguments.contains(QStringLiteral("-V"));
        return fail(Str(txtMissingValue) +
                    quoted(verifyMissing ? QStringLiteral("--verify") : QStringLiteral("--restore")));
    }
    if (parser.isSet(help)) {
        result.action = CommandLineOptions::Action::Help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLineOptions::Action::Version;
        return result;
    }

    result.winePrefix = parser.value(winePrefix);
    result.profile = parser.value(profile);
    result.windowsRoot = parser.value(windowsRoot);
    if (!result.winePrefix.isEmpty() && (!result.profile.isEmpty() || !result.windowsRoot.isEmpty()))
        return fail(Str(txtSourceConflict));
    if (result.profile.isEmpty() != result.windowsRoot.isEmpty())
        return fail(Str(txtProfileNeedsRoot));
    if (parser.isSet(verify) || parser.isSet(status) || parser.isSet(undoRestore)) {
        if (int(parser.isSet(verify)) + int(parser.isSet(status)) + int(parser.isSet(undoRestore)) +
                int(parser.isSet(schedule)) + int(parser.isSet(restore)) +
                int(!parser.positionalArguments().isEmpty()) >
            1)
            return fail(Str(txtConflict));
        result.action = parser.isSet(verify)   ? CommandLineOptions::Action::Verify
                        : parser.isSet(status) ? CommandLineOptions::Action::Status
                                               : CommandLineOptions::Action::UndoRestore;
        result.verifyFile = parser.value(verify);
        return result;
    }

    const QStringList positional = parser.positionalArguments();
    const bool legacy =
        !positional.isEmpty() && (isSwitch(positional[0], u'S') || isSwitch(positional[0], u'R'));
    const int requests =
        int(parser.isSet(schedule)) + int(parser.isSet(restore)) + int(!positional.isEmpty());
    if (requests > 1)
        return fail(Str(txtConflict));
    if (parser.values(restore).size() > 1)
        return fail(Str(txtTooMany) + quoted(parser.values(restore).constLast()));
    if (legacy)
        result.switchArguments = positional; // what follows the switch is handled as it always was
    else if (positional.size() > 1)
        return fail(Str(txtTooMany) + quoted(positional[1]));
    else if (positional.size() == 1)
        result.switchArguments = {QStringLiteral("/R"), positional[0]};
    else if (parser.isSet(schedule))
        result.switchArguments = {QStringLiteral("/S")};
    else if (parser.isSet(restore))
        result.switchArguments = {QStringLiteral("/R"), parser.value(restore)};
    return result;
}

std::optional<int> answerCommandLine(const CommandLineOptions& options, QTextStream& out, QTextStream& err) {
    switch (options.action) {
    case CommandLineOptions::Action::Run:
    case CommandLineOptions::Action::Verify:
    case CommandLineOptions::Action::Status:
    case CommandLineOptions::Action::UndoRestore:
        return std::nullopt;
    case CommandLineOptions::Action::Help:
        out << Str(txtUsage) << '\n'
            << Str(txtAbout) << '\n'
            << Str(txtAboutFile) << "\n\n"
            << Str(txtOptionSchedule) << '\n'
            << Str(txtOptionRestore) << '\n'
            << Str(txtOptionWinePrefix) << '\n'
            << Str(txtOptionProfile) << '\n'
            << Str(txtOptionWindowsRoot) << '\n'
            << Str(txtOptionVerify) << '\n'
            << Str(txtOptionStatus) << '\n'
            << Str(txtOptionUndoRestore) << '\n'
            << Str(txtOptionHelp) << '\n'
            << Str(txtOptionVersion) << "\n\n"
            << Str(txtReportBugs) << STOWLINE_BUG_MAIL << '\n'
            << Str(txtHomePage) << '<' << STOWLINE_WEB_HOST << "/>\n";
        out.flush();
        return 0;
    case CommandLineOptions::Action::Version:
        out << "stowline (" << Str(101) << ") " << STOWLINE_VERSION_MAJOR << '.' << STOWLINE_VERSION_MINOR
            << '.' << STOWLINE_VERSION_REVISION << '\n';
        out.flush();
        return 0;
    case CommandLineOptions::Action::Error:
        err << "stowline: " << options.error << '\n' << Str(txtTryHelp) << '\n';
        err.flush();
        return ExitUsageError;
    }
    return std::nullopt;
}

} // namespace stowline
