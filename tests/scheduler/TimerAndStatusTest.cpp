#include "foundation/RegEdit.h"
#include "foundation/modSettings.h"
#include "platform/InstanceLock.h"
#include "platform/RunLedger.h"
#include "platform/ScheduleTimer.h"
#include "scheduler/BackupHealth.h"
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QTest>
#include <memory>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::RunRecord;

namespace {

const QDate kToday(2026, 12, 6);

RunRecord record(RunRecord::Kind kind, QDate day, RunRecord::Outcome outcome) {
    RunRecord r;
    r.kind = kind;
    r.start = r.end = QDateTime(day, QTime(12, 0));
    r.outcome = outcome;
    r.archive = u"/backups/Mail.stw"_s;
    r.size = 4096;
    r.items = u"111"_s;
    return r;
}

struct Stowline {
    int exitCode = -1;
    QString out;
    QString err;
};

Stowline runStowline(const QStringList& arguments) {
    QProcess process;
    process.start(test::TestEnvironment::binary(u"stowline"_s), arguments);
    process.waitForFinished(120000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

Q_DECLARE_METATYPE(QList<RunRecord>)

class TimerAndStatusTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestEnvironment> m_env;

private slots:
    void init() { m_env = std::make_unique<test::TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void health_data() {
        QTest::addColumn<QList<RunRecord>>("records");
        QTest::addColumn<int>("schedule"); // 0: none set; negative: set but disabled
        QTest::addColumn<QStringList>("warnings");
        using K = RunRecord::Kind;
        using O = RunRecord::Outcome;
        const RunRecord weekOld = record(K::Backup, kToday.addDays(-7), O::Succeeded);
        QTest::newRow("nothing yet") << QList<RunRecord>() << 0 << QStringList();
        QTest::newRow("weekly, due today") << QList{weekOld} << 4 << QStringList();
        QTest::newRow("daily, a week old")
            << QList{weekOld} << 2
            << QStringList{u"Overdue: the last good backup is older than the schedule allows."_s};
        QTest::newRow("disabled: no schedule to miss") << QList{weekOld} << -2 << QStringList();
        // A restore is no backup; a later failed or unverified scheduled run is a warning.
        QTest::newRow("failed scheduled run after a good one")
            << QList{weekOld, record(K::Restore, kToday, O::Succeeded),
                     record(K::Scheduled, kToday, O::VerifyFailed)}
            << 4 << QStringList{u"The last scheduled backup failed."_s};
    }
    void health() {
        QFETCH(QList<RunRecord>, records);
        QFETCH(int, schedule);
        QFETCH(QStringList, warnings);
        std::optional<ScheduleState> state;
        if (schedule)
            state = ScheduleState{std::abs(schedule), schedule < 0};
        const BackupHealth health = AssessBackups(records, state, kToday);
        QCOMPARE(health.healthy, warnings.isEmpty());
        QCOMPARE(health.lines.first().startsWith(u"Last backup: "_s), !records.isEmpty());
        QCOMPARE(health.lines.mid(schedule > 0 ? 2 : 1), warnings);
        if (schedule > 0)
            QVERIFY(health.lines[1].startsWith(u"Next scheduled backup: "_s));
    }

    // The ledger keeps its newest records; `stowline --status` reads it as the hub does.
    void ledgerAndStatusCommand() {
        const Stowline none = runStowline({u"--status"_s});
        QCOMPARE(none.exitCode, 0);
        QCOMPARE(none.out, u"No backup yet\n"_s);

        for (int i = 0; i <= 2 * platform::MaxLedgerRecords; ++i)
            platform::appendRunRecord(record(RunRecord::Kind::Backup,
                                             kToday.addDays(-2 * platform::MaxLedgerRecords + i),
                                             RunRecord::Outcome::Succeeded));
        platform::appendRunRecord(
            record(RunRecord::Kind::Scheduled, QDate::currentDate(), RunRecord::Outcome::Failed));
        const QList<RunRecord> kept = platform::readRunRecords();
        QVERIFY(kept.size() <= 2 * platform::MaxLedgerRecords && kept.size() >= platform::MaxLedgerRecords);
        QCOMPARE(kept.last().outcome, RunRecord::Outcome::Failed);
        QCOMPARE(QFile::permissions(platform::runLedgerPath()) & 0x0077, QFileDevice::Permissions());

        WriteSetting(regAccess(), u"Schedule"_s, u"2"_s);
        const Stowline failed = runStowline({u"--status"_s});
        QCOMPARE(failed.exitCode, 1);
        QVERIFY2(failed.out.endsWith(u"The last scheduled backup failed.\n"_s), qPrintable(failed.out));
    }

    void timerUnits_data() {
        QTest::addColumn<int>("schedule");
        QTest::addColumn<QString>("onCalendar");
        QTest::addColumn<QString>("cron");
        QTest::newRow("every run") << 1 << "daily"
                                   << "0 12 * * *";
        QTest::newRow("every day") << 2 << "daily"
                                   << "0 12 * * *";
        QTest::newRow("every three days") << 3 << "*-*-1/3 12:00"
                                          << "0 12 */3 * *";
        QTest::newRow("every week") << 4 << "weekly"
                                    << "0 12 * * 1";
        QTest::newRow("every month") << 5 << "monthly"
                                     << "0 12 1 * *";
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
        QVERIFY(service.contains(u"STOWLINE_REGISTRY="_s + m_env->registryFile()));
        QCOMPARE(m_env->schedulerCalls(), u"systemctl --user daemon-reload\n"
                                          u"systemctl --user enable --now stowline-backup.timer\n"_s);

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
    }

    // A second Stowline on the same store says so and never writes.
    void oneInstancePerStore() {
        const std::unique_ptr<QLockFile> held = platform::LockRegistryStore(m_env->registryFile());
        QVERIFY(held);
        QVERIFY(!platform::LockRegistryStore(m_env->registryFile()));
        const Stowline second = runStowline({u"/S"_s});
        QCOMPARE(second.exitCode, 5);
        QVERIFY2(second.err.contains(m_env->registryFile()), qPrintable(second.err));
    }
};

QTEST_MAIN(TimerAndStatusTest)
#include "TimerAndStatusTest.moc"
