#include "startup/CommandLineOptions.h"
#include "startup/frmMain.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace stowline;
using namespace Qt::StringLiterals;
using Action = CommandLineOptions::Action;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments) {
    // As on a desktop session: without it the toolkit says so on stderr.
    const QTemporaryDir runtimeDir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("STOWLINE_BIN_DIR") + u'/' + program, arguments);
    if (!process.waitForFinished(30000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    // What start-up is handed ("=" then the switches), or the refusal, or help / version.
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("result");
        const QString conflict = u"only one of --schedule-now, --restore and FILE may be given"_s;
        const auto row = [](const char* name, const QStringList& arguments, const QString& result) {
            QTest::newRow(name) << arguments << result;
        };
        row("nothing", {}, u"="_s);
        row("bare archive", {u"/home/me/My backup.stw"_s}, u"=/R \"/home/me/My backup.stw\""_s);
        // A path that starts with "/s" or "/r" is still a file, never the scheduler switch.
        row("path like a switch", {u"/srv/a.stw"_s}, u"=/R \"/srv/a.stw\""_s);
        row("/s", {u"/s"_s}, u"=/s"_s);
        row("/R FILE", {u"/R"_s, u"/tmp/a.stw"_s}, u"=/R \"/tmp/a.stw\""_s);
        row("-s", {u"-s"_s}, u"=/S"_s);
        row("--restore FILE", {u"--restore"_s, u"/tmp/a b.stw"_s}, u"=/R \"/tmp/a b.stw\""_s);
        row("--restore=FILE", {u"--restore=/tmp/a.stw"_s}, u"=/R \"/tmp/a.stw\""_s);
        row("-- then a dash file", {u"--"_s, u"-a.stw"_s}, u"=/R \"-a.stw\""_s);
        row("unknown long", {u"--bogus"_s}, u"unrecognized option '--bogus'"_s);
        row("unknown short", {u"-x"_s}, u"unrecognized option '-x'"_s);
        row("restore without file", {u"--restore"_s}, u"option requires an argument: '--restore'"_s);
        row("two archives", {u"a.stw"_s, u"b.stw"_s}, u"too many arguments: 'b.stw'"_s);
        row("schedule and archive", {u"--schedule-now"_s, u"a.stw"_s}, conflict);
        row("schedule and restore", {u"-s"_s, u"-r"_s, u"a.stw"_s}, conflict);
        row("help wins", {u"/S"_s, u"--help"_s}, u"help"_s);
        row("version wins", {u"--version"_s, u"a.stw"_s}, u"version"_s);
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, result);
        const CommandLineOptions options = parseCommandLine(arguments);
        switch (options.action) {
        case Action::Run:
            QCOMPARE(u'=' + commandLineText(options.switchArguments), result);
            break;
        case Action::Error:
            QCOMPARE(options.error, result);
            QVERIFY(options.switchArguments.isEmpty());
            break;
        default:
            QCOMPARE(options.action, result == u"help" ? Action::Help : Action::Version);
        }
    }

    void helpAndVersionGoToStdoutAndExitZero() {
        const Run help = run(u"stowline"_s, {u"--help"_s});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith(u"Usage: stowline [OPTION]... [FILE]\n"_s), qPrintable(help.out));
        QVERIFY(help.out.contains(u"\nReport bugs to: "_s));
        QCOMPARE(help.err, QString());
        // Every description starts in one column, the long Wine and profile options included.
        static const QRegularExpression option(u"^(\\s+-.*?\\s{2,})\\S"_s);
        QSet<qsizetype> columns;
        for (const QString& line : help.out.split(u'\n'))
            if (const QRegularExpressionMatch match = option.match(line); match.hasMatch())
                columns << match.capturedLength(1);
        QCOMPARE(columns.size(), 1);
        // The README shows this very output.
        QFile readme(QStringLiteral(STOWLINE_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype begin = text.indexOf(u'\n', text.indexOf(u"$ stowline --help\n"_s)) + 1;
        QVERIFY(begin > 0);
        QCOMPARE(text.mid(begin, text.indexOf(u"```"_s, begin) - begin), help.out);

        const Run version = run(u"stowline"_s, {u"--version"_s});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, u"stowline (Stowline) %1.%2.%3\n"_s.arg(STOWLINE_VERSION_MAJOR)
                                  .arg(STOWLINE_VERSION_MINOR)
                                  .arg(STOWLINE_VERSION_REVISION));
        const Run tool = run(u"stowline-regedit"_s, {u"--help"_s});
        QCOMPARE(tool.status, 0);
        QVERIFY2(tool.out.startsWith(u"Usage: stowline-regedit /e [/a] FILE [KEY]\n"_s),
                 qPrintable(tool.out));
        QCOMPARE(tool.err, QString());
    }

    // Refusals are one line on stderr, with a hint where the command line itself was wrong.
    void refusalsGoToStderr_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("missing archive to verify")
            << u"--verify=/nonexistent/Mail.stw"_s << 1
            << u"stowline: Check failed: /nonexistent/Mail.stw does not exist.\n"_s;
        QTest::newRow("unknown option") << u"--bogus"_s << int(ExitUsageError)
                                        << u"stowline: unrecognized option '--bogus'\n"
                                           u"Try 'stowline --help' for more information.\n"_s;
    }
    void refusalsGoToStderr() {
        QFETCH(QString, argument);
        QFETCH(int, status);
        QFETCH(QString, err);
        const Run refused = run(u"stowline"_s, {argument});
        QCOMPARE(refused.status, status);
        QCOMPARE(refused.out, QString());
        QCOMPARE(refused.err, err);
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
