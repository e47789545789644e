#include "startup/CommandLineOptions.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace stowline {

namespace {

// The legacy switches are exactly two characters, so that a bare "/srv/a.stw" is a file, not /S.
bool isSwitch(const QString& argument, QChar letter) {
    return argument.size() == 2 && argument[0] == u'/' && argument[1].toUpper() == letter;
}

QString quoted(const QString& text) { return u'\'' + text + u'\''; }

// The option lines with every description in one column, however long an option (or its translation) is.
QString alignedOptions(std::initializer_list<int> lines) {
    static const QRegularExpression optionAndText(QStringLiteral("^(\\s*\\S.*?)\\s{2,}(\\S.*)$"));
    QList<std::pair<QString, QString>> rows;
    qsizetype width = 0;
    for (const int line : lines) {
        const QRegularExpressionMatch match = optionAndText.match(Str(line));
        rows.append(match.hasMatch() ? std::pair{match.captured(1), match.captured(2)}
                                     : std::pair{Str(line), QString()});
        width = std::max(width, rows.constLast().first.size());
    }
    QString text;
    for (const auto& [option, description] : rows)
        text += (description.isEmpty() ? option : option.leftJustified(width + 2) + description) + u'\n';
    return text;
}
} // namespace

CommandLineOptions parseCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return parseCommandLine(arguments);
}

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
    const QCommandLineOption exportMail(QStringLiteral("export-mail"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption mailFormat(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption recoverMail(QStringLiteral("recover"));
    const QCommandLineOption findMail(QStringLiteral("find-mail"), QString(), QStringLiteral("QUERY"));
    const QCommandLineOption mailQuery(QStringLiteral("query"), QString(), QStringLiteral("QUERY"));
    const QCommandLineOption uploadMail(QStringLiteral("upload-mail"), QString(), QStringLiteral("URL"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, version, schedule, restore, winePrefix, profile, windowsRoot, verify, status,
                       undoRestore, exportMail, mailFormat, recoverMail, findMail, mailQuery, uploadMail,
                       passwordFile, caFile});

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
        for (const char* withValue : {"wine-prefix", "profile", "windows-root", "export-mail", "format",
                                      "find-mail", "query", "upload-mail", "password-file", "ca-file"})
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
    if (parser.isSet(uploadMail)) {
        const QStringList positional = parser.positionalArguments();
        if (parser.isSet(exportMail) || parser.isSet(findMail) || parser.isSet(mailFormat) ||
            parser.isSet(verify) || parser.isSet(status) || parser.isSet(undoRestore) ||
            parser.isSet(schedule) || parser.isSet(restore))
            return fail(Str(txtConflict));
        if (positional.size() > 1)
            return fail(Str(txtTooMany) + quoted(positional[1]));
        result.uploadAddress = parser.value(uploadMail);
        result.passwordFile = parser.value(passwordFile);
        result.caFile = parser.value(caFile);
        result.recoverMail = parser.isSet(recoverMail);
        result.mailArchive = positional.value(0);
        result.action = CommandLineOptions::Action::UploadMail;
        return result;
    }
    if (parser.isSet(passwordFile) || parser.isSet(caFile))
        return fail(Str(txtUploadOptionAlone));
    if (parser.isSet(exportMail) || parser.isSet(findMail)) {
        const QStringList positional = parser.positionalArguments();
        if (parser.isSet(verify) || parser.isSet(status) || parser.isSet(undoRestore) ||
            parser.isSet(schedule) || parser.isSet(restore) ||
            (parser.isSet(exportMail) && parser.isSet(findMail)))
            return fail(Str(txtConflict));
        if (positional.size() > 1)
            return fail(Str(txtTooMany) + quoted(positional[1]));
        result.mailArchive = positional.value(0);
        if (parser.isSet(findMail)) {
            if (parser.isSet(mailFormat) || parser.isSet(recoverMail) || parser.isSet(mailQuery))
                return fail(Str(txtMailOptionAlone));
            result.mailQuery = parser.value(findMail);
            result.action = CommandLineOptions::Action::FindMail;
            return result;
        }
        result.mailQuery = parser.value(mailQuery);
        result.mailFolder = parser.value(exportMail);
        if (parser.isSet(mailFormat))
            result.mailFormat = parser.value(mailFormat).toLower();
        if (!QStringList{QStringLiteral("mbox"), QStringLiteral("maildir"), QStringLiteral("eml")}.contains(
                result.mailFormat))
            return fail(Str(txtUnknownMailFormat) + quoted(parser.value(mailFormat)));
        result.recoverMail = parser.isSet(recoverMail);
        result.action = CommandLineOptions::Action::ExportMail;
        return result;
    }
    if (parser.isSet(mailFormat) || parser.isSet(recoverMail))
        return fail(Str(txtMailOptionAlone));
    if (parser.isSet(mailQuery))
        return fail(Str(txtQueryNeedsExport));
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
    case CommandLineOptions::Action::ExportMail:
    case CommandLineOptions::Action::FindMail:
    case CommandLineOptions::Action::UndoRestore:
    case CommandLineOptions::Action::UploadMail:
        return std::nullopt;
    case CommandLineOptions::Action::Help:
        out << Str(txtUsage) << '\n'
            << Str(txtAbout) << '\n'
            << Str(txtAboutFile) << "\n\n"
            << alignedOptions({txtOptionSchedule, txtOptionRestore, txtOptionWinePrefix, txtOptionProfile,
                               txtOptionWindowsRoot, txtOptionVerify, txtOptionStatus, txtOptionUndoRestore,
                               txtOptionExportMail, txtOptionFindMail, txtOptionUploadMail,
                               txtOptionPasswordFile, txtOptionCaFile, txtOptionHelp, txtOptionVersion})
            << '\n'
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

QString commandLineText(const QStringList& arguments) {
    // The switch stays bare; what follows it is a path, quoted as a Windows command line would hold it.
    QStringList parts;
    for (qsizetype i = 0; i < arguments.size(); ++i)
        parts << (i == 0 ? arguments[i] : u'"' + arguments[i] + u'"');
    return parts.join(u' ');
}

} // namespace stowline
