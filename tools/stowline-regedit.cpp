// stowline-regedit: exports and imports registry files, for the program and for people.
#include "tools/RegEditCli.h"

#include <QStringList>
#include <QTextStream>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const stowline::RegEditOptions options = stowline::parseRegEditArguments(arguments);
    if (options.help || options.version) {
        QTextStream(stdout) << (options.help ? stowline::regEditHelpText() : stowline::regEditVersionText());
        return stowline::ExitOk;
    }
    QTextStream err(stderr);
    return stowline::runRegEdit(options, err);
}
