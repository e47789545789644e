#include "startup/CommandLineOptions.h"
#include "startup/frmMain.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using Action = CommandLineOptions::Action;
// The program, its one argument, its exit status, the start of its stdout ("": nothing), its stderr.
using OutputRow = std::tuple<QString, QString, int, QString, QString>;

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

    // Help and version go to stdout with status 0; refusals are one line on stderr, with a hint where
    // the command line itself was wrong.
    void programOutput_data() {
        QTest::addColumn<OutputRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << OutputRow{v...}; };
        const QString version = u"stowline (Stowline) %1.%2.%3\n"_s.arg(STOWLINE_VERSION_MAJOR)
                                    .arg(STOWLINE_VERSION_MINOR)
                                    .arg(STOWLINE_VERSION_REVISION);
        row("help", u"stowline"_s, u"--help"_s, 0, u"Usage: stowline [OPTION]... [FILE]\n"_s, QString());
        row("version", u"stowline"_s, u"--version"_s, 0, version, QString());
        row("tool help", u"stowline-regedit"_s, u"--help"_s, 0,
            u"Usage: stowline-regedit /e [/a] FILE [KEY]\n"_s, QString());
        row("missing archive to verify", u"stowline"_s, u"--verify=/nonexistent/Mail.stw"_s, 1, QString(),
            u"stowline: Check failed: /nonexistent/Mail.stw does not exist.\n"_s);
        row("unknown option", u"stowline"_s, u"--bogus"_s, int(ExitUsageError), QString(),
            u"stowline: unrecognized option '--bogus'\nTry 'stowline --help' for more information.\n"_s);
    }
    void programOutput() {
        QFETCH(OutputRow, row);
        const auto& [program, argument, status, out, err] = row;
        const test::ProgramRun ran = test::runProgram(program, {argument});
        QCOMPARE(ran.status, status);
        QCOMPARE(out.isEmpty() ? ran.out : ran.out.left(out.size()), out);
        QCOMPARE(ran.err, err);
        if (qstrcmp(QTest::currentDataTag(), "help") != 0)
            return;
        QVERIFY(ran.out.contains(u"\nReport bugs to: "_s));
        // Every description starts in one column, the long Wine and profile options included.
        static const QRegularExpression option(u"^(\\s+-.*?\\s{2,})\\S"_s);
        QSet<qsizetype> columns;
        for (const QString& line : ran.out.split(u'\n'))
            if (const QRegularExpressionMatch match = option.match(line); match.hasMatch())
                columns << match.capturedLength(1);
        QCOMPARE(columns.size(), 1);
        // The README shows this very output.
        QFile readme(QStringLiteral(STOWLINE_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype begin = text.indexOf(u'\n', text.indexOf(u"$ stowline --help\n"_s)) + 1;
        QVERIFY(begin > 0);
        QCOMPARE(text.mid(begin, text.indexOf(u"```"_s, begin) - begin), ran.out);
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
