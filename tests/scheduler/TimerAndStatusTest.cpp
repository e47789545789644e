#include "foundation/RegEdit.h"
#include "foundation/modSettings.h"
#include "platform/InstanceLock.h"
#include "platform/RunLedger.h"
#include "platform/ScheduleTimer.h"
#include "scheduler/BackupHealth.h"
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::RunRecord;

namespace {

const QDate kToday(2026, 12, 6);

RunRecord record(RunRecord::Kind kind, QDate day, RunRecord::Outcome outcome) {
    const QDateTime noon(day, QTime(12, 0));
    return RunRecord{kind, noon, noon, outcome, u"/backups/Mail.stw"_s, 4096, u"111"_s, 0, {}};
}

} // namespace

// The ledger's records, the schedule code (0: none set; negative: set but disabled), a timer that
// starts it, the warnings shown.
using HealthRow = std::tuple<QList<RunRecord>, int, bool, QStringList>;

class TimerAndStatusTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestEnvironment> m_env;

private slots:
    void init() { m_env = std::make_unique<test::TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void health_data() {
        QTest::addColumn<HealthRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << HealthRow{v...}; };
        using K = RunRecord::Kind;
        using O = RunRecord::Outcome;
        const QList<RunRecord> weekOld{record(K::Backup, kToday.addDays(-7), O::Succeeded)};
        row("nothing yet", QList<RunRecord>(), 0, true, QStringList());
        row("weekly, due today", weekOld, 4, true, QStringList());
        row("daily, a week old", weekOld, 2, true,
            QStringList{u"Overdue: the last good backup is older than the schedule allows."_s});
        row("disabled: no schedule to miss", weekOld, -2, true, QStringList());
        // A restore is no backup; a later failed or unverified scheduled run is a warning.
        row("failed scheduled run after a good one",
            weekOld + QList{record(K::Restore, kToday, O::Succeeded),
                            record(K::Scheduled, kToday, O::VerifyFailed)},
            4, true, QStringList{u"The last scheduled backup failed."_s});
        // Neither a user systemd nor crontab: no date is promised, whatever the ledger says.
        row("set, but nothing starts it", weekOld, 4, false,
            QStringList{
                u"Not scheduled: no systemd user timer or crontab line starts the scheduled backup."_s});
    }
    void health() {
        QFETCH(HealthRow, row);
        const auto& [records, schedule, timer, warnings] = row;
        std::optional<ScheduleState> state;
        if (schedule)
            state = ScheduleState{std::abs(schedule), schedule < 0, timer};
        const BackupHealth health = AssessBackups(records, state, kToday);
        QCOMPARE(health.healthy, warnings.isEmpty());
        QCOMPARE(health.backedUp, !records.isEmpty());
        QCOMPARE(health.lines.first().startsWith(u"Last backup: "_s), !records.isEmpty());
        const bool promisesDate = schedule > 0 && timer;
        QCOMPARE(health.lines.mid(promisesDate ? 2 : 1), warnings);
        if (promisesDate)
            QVERIFY(health.lines[1].startsWith(u"Next scheduled backup: "_s));
    }

    // The ledger keeps its newest records; `stowline --status` reads it as the hub does. A second
    // Stowline on the same store says so and never writes; nobody else can hold the lock.
    void ledgerStatusAndLock() {
        // The program judges the ledger by its own day, which must be the records' day, not the clock's.
        m_env->setEnv("STOWLINE_TODAY", kToday.toString(Qt::ISODate));
        const test::ProgramRun none = test::runProgram(u"stowline"_s, {u"--status"_s});
        QCOMPARE(none.status, 0);
        QCOMPARE(none.out, u"No backup yet\n"_s);

        for (int i = 0; i <= 2 * platform::MaxLedgerRecords; ++i)
            platform::appendRunRecord(record(RunRecord::Kind::Backup,
                                             kToday.addDays(-2 * platform::MaxLedgerRecords + i),
                                             RunRecord::Outcome::Succeeded));
        platform::appendRunRecord(
            record(RunRecord::Kind::Scheduled, kToday, RunRecord::Outcome::Failed));
        const QList<RunRecord> kept = platform::readRunRecords();
        QVERIFY(kept.size() <= 2 * platform::MaxLedgerRecords && kept.size() >= platform::MaxLedgerRecords);
        QCOMPARE(kept.last().outcome, RunRecord::Outcome::Failed);
        QCOMPARE(QFile::permissions(platform::runLedgerPath()) & 0x0077, QFileDevice::Permissions());

        WriteSetting(regAccess(), u"Schedule"_s, u"2"_s);
        const test::ProgramRun failed = test::runProgram(u"stowline"_s, {u"--status"_s});
        QCOMPARE(failed.status, 1);
        // Dates in ISO 8601 whatever the locale; no timer is installed here, so no date is promised.
        QVERIFY2(failed.out.startsWith(u"Last backup: "_s + kToday.toString(Qt::ISODate) + u", "_s),
                 qPrintable(failed.out));
        QVERIFY2(failed.out.endsWith(u"\nNot scheduled: no systemd user timer or crontab line starts the "
                                     u"scheduled backup.\nThe last scheduled backup failed.\n"_s),
                 qPrintable(failed.out));

        const platform::RegistryStoreLock held = [&] {
            const test::UmaskForTest open(0);
            return platform::LockRegistryStore(m_env->registryFile());
        }();
        QVERIFY(held && !platform::LockRegistryStore(m_env->registryFile()));
        QCOMPARE(QFile::permissions(held->fileName()) & 0x0077, QFileDevice::Permissions());
        const test::ProgramRun second = test::runProgram(u"stowline"_s, {u"/S"_s});
        QCOMPARE(second.status, 5);
        QVERIFY2(second.err.contains(m_env->registryFile()), qPrintable(second.err));
    }

    void timerUnits_data() {
        QTest::addColumn<int>("schedule");
        QTest::addColumn<QString>("onCalendar");
        QTest::addColumn<QString>("cron");
        QTest::newRow("every run") << 1 << u"daily"_s << u"0 12 * * *"_s;
        QTest::newRow("every day") << 2 << u"daily"_s << u"0 12 * * *"_s;
        QTest::newRow("every three days") << 3 << u"*-*-1/3 12:00"_s << u"0 12 */3 * *"_s;
        QTest::newRow("every week") << 4 << u"weekly"_s << u"0 12 * * 1"_s;
        QTest::newRow("every month") << 5 << u"monthly"_s << u"0 12 1 * *"_s;
    }
    void timerUnits() {
        QFETCH(int, schedule);
        QFETCH(QString, onCalendar);
        QFETCH(QString, cron);
        QCOMPARE(platform::InstallScheduleTimer(schedule), platform::TimerMethod::SystemdUser);
        const QString units = m_env->path(u"xdg-config/systemd/user/"_s);
        const QString timer = QString::fromUtf8(test::readFile(units + u"stowline-backup.timer"_s));
        QVERIFY2(timer.contains(u"\nOnCalendar="_s + onCalendar + u"\nPersistent=true\n"_s),
                 qPrintable(timer));
        QVERIFY(timer.contains(u"WantedBy=timers.target"_s));
        const QString service = QString::fromUtf8(test::readFile(units + u"stowline-backup.service"_s));
        QVERIFY2(service.contains(u"\" /S\n"_s) && service.contains(u"Type=oneshot"_s), qPrintable(service));
        QCOMPARE(m_env->schedulerCalls(), u"systemctl --user daemon-reload\n"
                                          u"systemctl --user enable --now stowline-backup.timer\n"_s);
        QVERIFY(platform::ScheduleTimerInstalled());

        // Without a user systemd the crontab takes a line, and only one however often it is set.
        qputenv("FAKE_SYSTEMCTL_FAIL", "1");
        QCOMPARE(platform::InstallScheduleTimer(schedule), platform::TimerMethod::Crontab);
        QCOMPARE(platform::InstallScheduleTimer(schedule), platform::TimerMethod::Crontab);
        qunsetenv("FAKE_SYSTEMCTL_FAIL");
        const QString table = QString::fromUtf8(test::readFile(m_env->path(u"crontab.txt"_s)));
        QCOMPARE(table.count(u"# stowline-backup"_s), 1);
        QVERIFY2(table.startsWith(cron + u' ') && table.contains(u"' /S # stowline-backup\n"_s),
                 qPrintable(table));

        platform::DisableScheduleTimer();
        QVERIFY(m_env->schedulerCalls().endsWith(u"systemctl --user disable --now stowline-backup.timer\n"
                                                 u"crontab -l\ncrontab -l\ncrontab -\n"_s));
        QVERIFY(!test::readFile(m_env->path(u"crontab.txt"_s)).contains("stowline"));
        qputenv("FAKE_SYSTEMCTL_FAIL", "1"); // the unit files stay, but no user systemd enables them
        QVERIFY(!platform::ScheduleTimerInstalled());
        qunsetenv("FAKE_SYSTEMCTL_FAIL");
    }

    // Cron hands the command to sh after making every unescaped '%' a line break; systemd reads
    // ExecStart= with its own quotes, specifiers and variables. Neither may run anything but the
    // program at its exact path, however its folder is named.
    void pathsQuotedForCronAndSystemd() {
        const QString folder = m_env->path(u"it's $(touch pwned) `touch pwned` \\%d \"$HOME\" 100%"_s);
        const QString program = folder + u"/stowline"_s;
        const QString out = m_env->path(u"ran.txt"_s);
        test::writeFile(program,
                        u"#!/bin/sh\nprintf '%s|%s|%s' \"$0\" \"$STOWLINE_REGISTRY\" \"$1\" > '"_s.toUtf8() +
                            out.toUtf8() + "'\n");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString store = folder + u"/reg'%.db"_s;
        qputenv("STOWLINE_REGISTRY", store.toUtf8());

        // The command part as cron passes it: after the five time fields, up to an unescaped '%',
        // with "\%" read as '%'.
        QString command = platform::CrontabLine(program, 2).section(u' ', 5);
        command =
            command.left(command.indexOf(QRegularExpression(u"(?<!\\\\)%"_s))).replace(u"\\%"_s, u"%"_s);
        QProcess shell;
        shell.setWorkingDirectory(m_env->root());
        shell.start(u"sh"_s, {u"-c"_s, command});
        QVERIFY(shell.waitForFinished());
        QCOMPARE(QString::fromUtf8(test::readFile(out)), program + u'|' + store + u"|/S"_s);
        QVERIFY(!QFile::exists(m_env->path(u"pwned"_s)));

        // systemd takes the unit (it runs no executable whose path holds a quote) and reads back
        // the exact path: C escapes, "%%" for '%', "$$" for '$' in arguments.
        const QString unit = m_env->path(u"stowline-backup.service"_s);
        const QString text = platform::ServiceUnitText(program);
        test::writeFile(unit, text.toUtf8());
        const QString escaped =
            QString(folder).replace(u"\\"_s, u"\\\\"_s).replace(u"\""_s, u"\\\""_s).replace(u"%"_s, u"%%"_s);
        QVERIFY2(text.contains(u"\nExecStart=/bin/sh -c \"exec \\\"$$0\\\" /S\" \""_s +
                               QString(escaped).replace(u"$"_s, u"$$"_s) + u"/stowline\"\n"_s) &&
                     text.contains(u"\nEnvironment=\"STOWLINE_REGISTRY="_s + escaped + u"/reg'%%.db\"\n"_s),
                 qPrintable(text));
        if (!QStandardPaths::findExecutable(u"systemd-analyze"_s).isEmpty()) {
            QProcess analyze;
            analyze.setProcessChannelMode(QProcess::MergedChannels);
            analyze.start(u"systemd-analyze"_s, {u"verify"_s, unit});
            QVERIFY(analyze.waitForFinished());
            QVERIFY2(analyze.exitCode() == 0, analyze.readAll().constData());
        }

        qputenv("STOWLINE_REGISTRY", m_env->path(u"line\nbreak.db"_s).toUtf8());
        QCOMPARE(platform::InstallScheduleTimer(2), platform::TimerMethod::PathWithLineBreak);
        QCOMPARE(m_env->schedulerCalls(), QString());
    }
};

QTEST_MAIN(TimerAndStatusTest)
#include "TimerAndStatusTest.moc"
