#include "startup/CommandLineOptions.h"
#include "startup/frmMain.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace stowline;
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
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
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
    void argumentsBecomeTheSwitchesStartUpTakes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("commandLine");
        QTest::newRow("nothing") << QStringList{} << QString();
        QTest::newRow("bare archive") << QStringList{QStringLiteral("/home/me/My backup.stw")}
                                      << QStringLiteral("/R \"/home/me/My backup.stw\"");
        // A path that starts with "/s" or "/r" is still a file, never the scheduler switch.
        QTest::newRow("path like a switch")
            << QStringList{QStringLiteral("/srv/a.stw")} << QStringLiteral("/R \"/srv/a.stw\"");
        QTest::newRow("relative archive")
            << QStringList{QStringLiteral("a.stw")} << QStringLiteral("/R \"a.stw\"");
        QTest::newRow("/S") << QStringList{QStringLiteral("/S")} << QStringLiteral("/S");
        QTest::newRow("/s") << QStringList{QStringLiteral("/s")} << QStringLiteral("/s");
        QTest::newRow("/R FILE") << QStringList{QStringLiteral("/R"), QStringLiteral("/tmp/a.stw")}
                                 << QStringLiteral("/R \"/tmp/a.stw\"");
        QTest::newRow("--schedule-now")
            << QStringList{QStringLiteral("--schedule-now")} << QStringLiteral("/S");
        QTest::newRow("-s") << QStringList{QStringLiteral("-s")} << QStringLiteral("/S");
        QTest::newRow("--restore FILE")
            << QStringList{QStringLiteral("--restore"), QStringLiteral("/tmp/a b.stw")}
            << QStringLiteral("/R \"/tmp/a b.stw\"");
        QTest::newRow("--restore=FILE")
            << QStringList{QStringLiteral("--restore=/tmp/a.stw")} << QStringLiteral("/R \"/tmp/a.stw\"");
        QTest::newRow("-- then a dash file")
            << QStringList{QStringLiteral("--"), QStringLiteral("-a.stw")} << QStringLiteral("/R \"-a.stw\"");
    }
    void argumentsBecomeTheSwitchesStartUpTakes() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, commandLine);
        const CommandLineOptions options = parseCommandLine(arguments);
        QCOMPARE(options.action, Action::Run);
        QCOMPARE(commandLineText(options.switchArguments), commandLine);
    }

    void unusableCommandLinesAreRefused_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown long")
            << QStringList{QStringLiteral("--bogus")} << QStringLiteral("unrecognized option '--bogus'");
        QTest::newRow("unknown short")
            << QStringList{QStringLiteral("-x")} << QStringLiteral("unrecognized option '-x'");
        QTest::newRow("restore without file") << QStringList{QStringLiteral("--restore")}
                                              << QStringLiteral("option requires an argument: '--restore'");
        QTest::newRow("two archives") << QStringList{QStringLiteral("a.stw"), QStringLiteral("b.stw")}
                                      << QStringLiteral("too many arguments: 'b.stw'");
        QTest::newRow("schedule and archive")
            << QStringList{QStringLiteral("--schedule-now"), QStringLiteral("a.stw")}
            << QStringLiteral("only one of --schedule-now, --restore and FILE may be given");
        QTest::newRow("schedule and restore")
            << QStringList{QStringLiteral("-s"), QStringLiteral("-r"), QStringLiteral("a.stw")}
            << QStringLiteral("only one of --schedule-now, --restore and FILE may be given");
    }
    void unusableCommandLinesAreRefused() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CommandLineOptions options = parseCommandLine(arguments);
        QCOMPARE(options.action, Action::Error);
        QCOMPARE(options.error, error);
        QVERIFY(options.switchArguments.isEmpty());
    }

    void helpAndVersionWinOverEverythingElse() {
        QCOMPARE(parseCommandLine({QStringLiteral("/S"), QStringLiteral("--help")}).action, Action::Help);
        QCOMPARE(parseCommandLine({QStringLiteral("-h")}).action, Action::Help);
        QCOMPARE(parseCommandLine({QStringLiteral("--version"), QStringLiteral("a.stw")}).action,
                 Action::Version);
    }

    void helpAndVersionGoToStdoutAndExitZero() {
        const Run help = run(QStringLiteral("stowline"), {QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith(QStringLiteral("Usage: stowline [OPTION]... [FILE]\n")),
                 qPrintable(help.out));
        QVERIFY(help.out.contains(QStringLiteral("\nReport bugs to: ")));
        QCOMPARE(help.err, QString());
        // Every description starts in one column, the long Wine and profile options included.
        static const QRegularExpression option(QStringLiteral("^(\\s+-.*?\\s{2,})\\S"));
        QSet<qsizetype> columns;
        for (const QString& line : help.out.split(u'\n'))
            if (const QRegularExpressionMatch match = option.match(line); match.hasMatch())
                columns << match.capturedLength(1);
        QCOMPARE(columns.size(), 1);
        // The README shows this very output.
        QFile readme(QStringLiteral(STOWLINE_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const qsizetype start = text.indexOf(QStringLiteral("$ stowline --help\n"));
        QVERIFY(start >= 0);
        const qsizetype begin = text.indexOf(u'\n', start) + 1;
        QCOMPARE(text.mid(begin, text.indexOf(QStringLiteral("```"), begin) - begin), help.out);

        const Run version = run(QStringLiteral("stowline"), {QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("stowline (Stowline) %1.%2.%3\n")
                                  .arg(STOWLINE_VERSION_MAJOR)
                                  .arg(STOWLINE_VERSION_MINOR)
                                  .arg(STOWLINE_VERSION_REVISION));

        const Run tool = run(QStringLiteral("stowline-regedit"), {QStringLiteral("--help")});
        QCOMPARE(tool.status, 0);
        QVERIFY2(tool.out.startsWith(QStringLiteral("Usage: stowline-regedit /e [/a] FILE [KEY]\n")),
                 qPrintable(tool.out));
        QCOMPARE(tool.err, QString());
    }

    void verifyNamesAMissingFileAsMissing() {
        const Run missing =
            run(QStringLiteral("stowline"), {QStringLiteral("--verify=/nonexistent/Mail.stw")});
        QCOMPARE(missing.status, 1);
        QCOMPARE(missing.err,
                 QStringLiteral("stowline: Check failed: /nonexistent/Mail.stw does not exist.\n"));
    }

    void unknownOptionIsOneLineAndAHintOnStderr() {
        const Run bad = run(QStringLiteral("stowline"), {QStringLiteral("--bogus")});
        QCOMPARE(bad.status, ExitUsageError);
        QCOMPARE(bad.out, QString());
        QCOMPARE(bad.err, QStringLiteral("stowline: unrecognized option '--bogus'\n"
                                         "Try 'stowline --help' for more information.\n"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
