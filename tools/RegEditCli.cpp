#include "tools/RegEditCli.h"

#include "foundation/RegFile.h"
#include "platform/RegistryStore.h"

namespace stowline {

namespace {

bool isSwitch(const QString& argument) {
    return argument.size() == 2 && (argument[0] == u'/' || argument[0] == u'-') && argument[1].isLetter();
}

} // namespace

RegEditOptions parseRegEditArguments(const QStringList& arguments) {
    RegEditOptions options;
    QStringList names;
    for (const QString& argument : arguments) {
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
    if (!options.error.isEmpty())
        return options;
    options.file = names.value(0);
    options.key = names.value(1);
    return options;
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
        platform::RegistryStore& store = platform::registry();
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
