#include "platform/ProgramFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace stowline::platform {

namespace {

constexpr char StartedProgramVariable[] = "STOWLINE_PROGRAM";

QString executableFile() { return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(); }

QByteArray programBeside(const QString& folder, const QString& name) {
    const QStringList candidates{folder + u'/' + name,
                                 folder + QStringLiteral("/../libexec/stowline/") + name};
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isExecutable())
            return QFile::encodeName(candidate);
    return {};
}

} // namespace

QString StartedProgramFile() {
    const QString started = qEnvironmentVariable(StartedProgramVariable);
    return started.isEmpty() ? QCoreApplication::applicationFilePath() : started;
}

int HandOverTo(const char* programName, char* argv[]) {
    const QString self = executableFile();
    const QString folder = QFileInfo(self).absolutePath();
    const QByteArray program = programBeside(folder, QString::fromLatin1(programName));
    if (program.isEmpty())
        return ENOENT;
    ::setenv(StartedProgramVariable, QFile::encodeName(self).constData(), 1);
    // stowline-regedit lies beside this program, not beside the one handed over to.
    ::setenv("STOWLINE_BIN_DIR", QFile::encodeName(folder).constData(), 0);
    ::execv(program.constData(), argv);
    return errno;
}

} // namespace stowline::platform
