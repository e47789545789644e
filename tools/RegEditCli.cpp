#include "tools/RegEditCli.h"

#include "foundation/RegFile.h"
#include "foundation/Strings.h"
#include "platform/RegistryStore.h"

namespace stowline {

namespace {

bool isSwitch(const QString& argument) {
    return argument.size() == 2 && (argument[0] == u'/' || argument[0] == u'-') && argument[1].isLetter();
}

// "--name=VALUE" or "--name VALUE"; false when argument is not one of the registry options.
bool takeSourceOption(const QStringList& arguments, qsizetype& i, RegEditOptions& options) {
    const QString& argument = arguments[i];
    for (const auto& [name, target] :
         {std::pair{u"--wine-prefix", &options.winePrefix}, std::pair{u"--profile", &options.profile},
          std::pair{u"--windows-root", &options.windowsRoot}}) {
        const QString option = QString::fromUtf16(name);
        if (argument == option) {
            if (i + 1 >= arguments.size())
                options.error = QStringLiteral("option requires an argument: ") + option;
            else
                *target = arguments[++i];
            return true;
        }
        if (argument.startsWith(option + u'=')) {
            *target = argument.mid(option.size() + 1);
            return true;
        }
    }
    return false;
}

} // namespace

RegEditOptions parseRegEditArguments(const QStringList& arguments) {
    RegEditOptions options;
    QStringList names;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (takeSourceOption(arguments, i, options)) {
            if (!options.error.isEmpty())
                return options;
            continue;
        }
        if (argument == u"--help" || argument == u"/?") {
            options.help = true;
            return options;
        }
        if (argument == u"--version") {
            options.version = true;
            return options;
        }
        if (argument.startsWith(u"--")) {
            options.error = QStringLiteral("unrecognized option ") + argument;
            return options;
        }
        if (!isSwitch(argument)) {
            names << argument;
            continue;
        }
        switch (argument[1].toLower().unicode()) {
        case u'e':
            options.action = RegEditOptions::Action::Export;
            break;
        case u'a':
            options.ansi = true;
            break;
        case u's':
            break;
        case u'h':
            options.help = true;
            return options;
        default:
            options.error = QStringLiteral("unknown switch ") + argument;
            return options;
        }
    }
    const qsizetype allowed = options.action == RegEditOptions::Action::Export ? 2 : 1;
    if (names.isEmpty() || names.first().isEmpty())
        options.error = QStringLiteral("no file named");
    else if (names.size() > allowed)
        options.error = QStringLiteral("unexpected argument ") + names[allowed];
    else if (options.ansi && options.action != RegEditOptions::Action::Export)
        options.error = QStringLiteral("/a is only for /e");
    else if (!options.winePrefix.isEmpty() && (!options.profile.isEmpty() || !options.windowsRoot.isEmpty()))
        options.error = Str(1133);
    else if (options.profile.isEmpty() != options.windowsRoot.isEmpty())
        options.error = Str(1134);
    if (!options.error.isEmpty())
        return options;
    options.file = names.value(0);
    options.key = names.value(1);
    return options;
}

QString regEditHelpText() {
    return Str(1120) + u'\n' + Str(1121) + u'\n' + Str(1122) + u"\n\n" + Str(1123) + u'\n' + Str(1124) +
           u'\n' + Str(1125) + u'\n' + Str(1135) + u'\n' + Str(1136) + u'\n' + Str(1126) + u'\n' + Str(1127) +
           u"\n\n" + Str(1128) + u"\n\n" + Str(1107) + QStringLiteral(STOWLINE_BUG_MAIL) + u'\n';
}

QString regEditVersionText() {
    return QStringLiteral("stowline-regedit (") + Str(101) +
           QStringLiteral(") %1.%2.%3\n")
               .arg(STOWLINE_VERSION_MAJOR)
               .arg(STOWLINE_VERSION_MINOR)
               .arg(STOWLINE_VERSION_REVISION);
}

int runRegEdit(const RegEditOptions& options, QTextStream& err) {
    const QString tool = QStringLiteral("stowline-regedit: ");
    if (!options.error.isEmpty()) {
        err << tool << options.error
            << "\nusage: stowline-regedit /e [/a] FILE [KEY] | stowline-regedit /s FILE\n";
        err.flush();
        return ExitUsage;
    }
    try {
        if (!options.winePrefix.isEmpty())
            platform::chooseRegistrySource(
                {platform::RegistrySource::Kind::WinePrefix, options.winePrefix, {}});
        else if (!options.profile.isEmpty())
            platform::chooseRegistrySource(
                {platform::RegistrySource::Kind::Profile, options.profile, options.windowsRoot});
        platform::Registry& store = platform::registry();
        if (options.action == RegEditOptions::Action::Import && !store.persistent()) {
            err << tool << store.description() << ": " << Str(1143) << '\n';
            err.flush();
            return ExitFailed;
        }
        if (options.action == RegEditOptions::Action::Export) {
            exportRegFile(store, options.file, options.key,
                          options.ansi ? RegFileFormat::Regedit4 : RegFileFormat::Version5);
            return ExitOk;
        }
        const RegFileSummary summary =
            importRegFile(store, options.file, [&](int line, const QString& reason) {
                err << tool << options.file << " line " << line << " skipped: " << reason << '\n';
            });
        err.flush();
        return summary.skippedLines > 0 ? ExitSkippedLines : ExitOk;
    } catch (const RegFileError& error) {
        err << tool << error.message()
            << (options.action == RegEditOptions::Action::Import ? "; nothing was imported\n" : "\n");
    } catch (const platform::RegistryError& error) {
        err << tool << error.message() << '\n';
    }
    err.flush();
    return ExitFailed;
}

} // namespace stowline
