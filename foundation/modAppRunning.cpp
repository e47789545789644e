#include "foundation/modAppRunning.h"

#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>

namespace stowline {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// The program name ends at the next quote when it starts with one, else at the first blank;
// backslashes in it are plain characters.
qsizetype takeProgramName(const QString& line, QString& name) {
    qsizetype i = 0;
    if (line.startsWith(u'"')) {
        const qsizetype close = line.indexOf(u'"', 1);
        name = line.mid(1, close < 0 ? -1 : close - 1);
        return close < 0 ? line.size() : close + 1;
    }
    while (i < line.size() && !line[i].isSpace())
        ++i;
    name = line.left(i);
    return i;
}

struct ArgumentScanner {
    QStringList arguments;
    QString current;
    bool started = false;
    int backslashes = 0;
    int quoteCount = 0; // 1 while inside quotes; a third quote in a row is a literal one

    void flushBackslashes(int count) { current += QString(count, u'\\'); }

    void quoteRun(const QString& line, qsizetype& i) {
        started = true;
        flushBackslashes(backslashes / 2);
        if (backslashes % 2 == 1) {
            current += u'"';
        } else {
            ++quoteCount;
        }
        backslashes = 0;
        for (++i; i < line.size() && line[i] == u'"'; ++i)
            if (++quoteCount == 3) {
                current += u'"';
                quoteCount = 0;
            }
        if (quoteCount == 2)
            quoteCount = 0;
    }

    void endArgument() {
        flushBackslashes(backslashes);
        backslashes = 0;
        if (started)
            arguments << current;
        current.clear();
        started = false;
    }

    void scan(const QString& line, qsizetype from) {
        qsizetype i = from;
        while (i < line.size()) {
            const QChar c = line[i];
            if (isBlank(c) && quoteCount == 0) {
                endArgument();
                ++i;
            } else if (c == u'\\') {
                ++backslashes;
                started = true;
                ++i;
            } else if (c == u'"') {
                quoteRun(line, i);
            } else {
                flushBackslashes(backslashes);
                backslashes = 0;
                current += c;
                started = true;
                ++i;
            }
        }
        endArgument();
    }
};

bool namesRegedit(const QString& program) {
    const QString base = program.section(u'\\', -1).section(u'/', -1);
    return base.compare(QStringLiteral("regedit"), Qt::CaseInsensitive) == 0 ||
           base.compare(QStringLiteral("regedit.exe"), Qt::CaseInsensitive) == 0;
}

QString regeditTool() {
    QString folder = qEnvironmentVariable("STOWLINE_BIN_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    return QDir(folder).filePath(QStringLiteral("stowline-regedit"));
}

// A registry whose changes stay in this process (an offline hive) cannot be handed to a child:
// the two regedit forms the engines use, "/e /a FILE KEY" and "/s FILE", run here instead, with
// stowline-regedit's messages. Returns nothing when the command is not one of them, else what went
// wrong (empty when nothing did).
std::optional<QString> runRegeditHere(const QStringList& arguments) {
    if (platform::registrySource().kind != platform::RegistrySource::Kind::Profile)
        return std::nullopt;
    platform::Registry& registry = platform::registry();
    const auto is = [&](qsizetype i, QChar letter) {
        return arguments.size() > i && arguments[i].size() == 2 && arguments[i][1].toLower() == letter;
    };
    try {
        if (arguments.size() == 4 && is(0, u'e') && is(1, u'a'))
            exportRegFile(registry, arguments[2], arguments[3], RegFileFormat::Regedit4);
        else if (arguments.size() == 2 && is(0, u's'))
            importRegFile(registry, arguments[1], [&](int line, const QString& reason) {
                qWarning("stowline-regedit: %s line %d skipped: %s", qPrintable(arguments[1]), line,
                         qPrintable(reason));
            });
        else
            return std::nullopt;
    } catch (const std::exception& error) {
        qWarning("stowline-regedit: %s", error.what());
        return QString::fromUtf8(error.what());
    }
    return QString();
}

QString childEndText(const QString& program, const platform::ChildEnd& end) {
    using How = platform::ChildEnd::How;
    const QString name = QFileInfo(program).fileName();
    switch (end.how) {
    case How::NotStarted:
        return name + u' ' + Str(txtCouldNotStart);
    case How::Signalled:
        return name + u' ' + Str(txtEndedBySignal) + u' ' + QString::number(end.code);
    case How::Exited:
        break;
    }
    return end.code == 0 ? QString()
                         : name + u' ' + Str(txtEndedWithStatus) + u' ' + QString::number(end.code);
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine) {
    QStringList result;
    TRAP_BEGIN("modAppRunning:SplitCommandLine")
        QString program;
        STEP(1) const qsizetype rest = takeProgramName(commandLine, program);
        STEP(2) if (program.isEmpty() && commandLine.trimmed().isEmpty()) return result;
        ArgumentScanner scanner;
        STEP(3) scanner.scan(commandLine, rest);
        STEP(4) result = QStringList{program} + scanner.arguments;
    TRAP_END
    return result;
}

QString ExecCmd(const QString& commandLine) {
    QString failure;
    TRAP_BEGIN("modAppRunning:ExecCmd")
        STEP(1) failure = StartedCommand(commandLine).finish();
    TRAP_END
    return failure;
}

StartedCommand::StartedCommand(const QString& commandLine) {
    QStringList arguments = SplitCommandLine(commandLine);
    if (arguments.isEmpty()) {
        m_failure = QString();
        return;
    }
    m_program = arguments.takeFirst();
    if (namesRegedit(m_program)) {
        if ((m_failure = runRegeditHere(arguments)))
            return;
        m_program = regeditTool();
    }
    m_end = std::async(std::launch::async, [program = m_program, arguments] {
        return platform::processes().runAndWait(program, arguments);
    });
}

QString StartedCommand::finish() { return m_failure ? *m_failure : childEndText(m_program, m_end.get()); }

void StartDetached(const QString& commandLine) {
    TRAP_BEGIN("modAppRunning:StartDetached")
        STEP(1) QStringList arguments = SplitCommandLine(commandLine);
        STEP(2) if (arguments.isEmpty()) return;
        STEP(3) const QString program = arguments.takeFirst();
        STEP(4) platform::processes().startDetached(program, arguments);
    TRAP_END
}

} // namespace stowline
