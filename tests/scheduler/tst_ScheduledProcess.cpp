#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "scheduler/modCommandLine.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <memory>

using namespace stowline;
using stowline::test::TestEnvironment;

namespace {

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }

struct Finished {
    int exitCode = -1;
    QString errors;
};

// `stowline /S` as cron or a systemd timer starts it: no display, the test's own profile.
Finished runScheduled() {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    child.setProcessEnvironment(environment);
    child.start(TestEnvironment::binary(QStringLiteral("stowline")), {QStringLiteral("/S")});
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    return {child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1,
            QString::fromUtf8(child.readAllStandardError())};
}

} // namespace

class tst_ScheduledProcess : public QObject {
    Q_OBJECT
private slots:
    void init() {
        env = std::make_unique<TestEnvironment>();
        test::buildSampleProfile(*env);
        EnsureSettingsKey(regAccess());
        store(QStringLiteral("TimesRun"), QStringLiteral("1"));
        store(QStringLiteral("Schedule"), QStringLiteral("2"));
        store(QStringLiteral("Delete"), QStringLiteral("3"));
        store(QStringLiteral("Items"), QStringLiteral("111"));
        store(QStringLiteral("Filename"), QStringLiteral("Mail"));
        store(QStringLiteral("Pathname"), folder());
    }
    void cleanup() { env.reset(); }

    void writesArchiveAForeignReaderAccepts();
    void failuresGiveNonZeroStatus_data();
    void failuresGiveNonZeroStatus();

private:
    QString folder() const { return env->path(QStringLiteral("Scheduled Backups")); }
    QStringList archives() const {
        return QDir(folder()).entryList({QStringLiteral("Mail *.stw")}, QDir::Files, QDir::Name);
    }

    std::unique_ptr<TestEnvironment> env;
};

void tst_ScheduledProcess::writesArchiveAForeignReaderAccepts() {
    const Finished first = runScheduled();
    QCOMPARE(first.exitCode, int(RunSucceeded));
    QCOMPARE(archives().size(), 1);
    const QString archive = QDir(folder()).filePath(archives().constFirst());

    const test::ForeignZipView view = test::readWithPython(archive);
    QVERIFY(view.intact);
    QCOMPARE(view.comment, QStringLiteral("111"));
    for (const char* member :
         {"ident.idx", "stowline_version.txt", "windows_version.txt", "ief/ief_data.zip", "wab/wab_data.zip",
          "wab/wab_key.reg", "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}/ident_data.zip",
          "{8C1D5E72-0A94-4F3B-B6E1-2D7C9A4F5E10}/ident_key.reg"})
        QVERIFY2(view.members.contains(QString::fromLatin1(member)), member);

    // The same day again: the daily schedule is not due, and nothing else happens.
    const Finished second = runScheduled();
    QCOMPARE(second.exitCode, int(RunSucceeded));
    QCOMPARE(archives().size(), 1);
}

void tst_ScheduledProcess::failuresGiveNonZeroStatus_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text"); // empty: remove the value
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reported");
    QTest::newRow("nothing to back up") << "Items"
                                        << "000" << int(ArchiveNotWritten) << "No items found to backup.";
    QTest::newRow("drive missing") << "Pathname"
                                   << "Q:\\Backups" << int(ArchiveNotWritten)
                                   << "The drive does not exist: Q:";
    QTest::newRow("no schedule") << "Filename"
                                 << "" << int(ScheduleMissing) << "";
}

void tst_ScheduledProcess::failuresGiveNonZeroStatus() {
    QFETCH(QString, value);
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(QString, reported);
    if (text.isEmpty()) {
        RegEdit& reg = regAccess();
        reg.KeyPath = SettingsKey();
        reg.ValueName = value;
        reg.DeleteValue();
    } else {
        store(value, text);
    }
    const Finished run = runScheduled();
    QCOMPARE(run.exitCode, status);
    QVERIFY2(run.errors.contains(reported), qPrintable(run.errors));
    QCOMPARE(archives(), QStringList());
}

QTEST_GUILESS_MAIN(tst_ScheduledProcess)
#include "tst_ScheduledProcess.moc"
