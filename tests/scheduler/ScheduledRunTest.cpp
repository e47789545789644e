#include "archive/ArchiveLayout.h"
#include "archive/ZipComment.h"
#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"
#include "platform/RegistryStore.h"
#include "platform/RunLedger.h"
#include "scheduler/modCommandLine.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <memory>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::MsgAnswer;

namespace {

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }

void registerMailer() {
    const auto setDefault = [](const QString& key, const QByteArray& text) {
        platform::registry().setValue(platform::Hive::LocalMachine, key,
                                      {QString(), platform::RegType::Sz, text});
    };
    setDefault(u"SOFTWARE\\Clients\\Mail"_s, "Test Mail");
    setDefault(u"SOFTWARE\\Clients\\Mail\\Test Mail\\Shell\\Open\\Command"_s,
               "\"/opt/test mail/mail\" --inbox");
}

// Command line, situation, message ("title / text"; empty: none), mail program started, exit status
// (-1: the command line returned).
using EndingRow = std::tuple<QString, QString, QString, bool, int>;
// "Schedule|Delete" codes, today, the archives ('|' between names; a date stands for
// "Mail <date>.stw"), a due run, the archives deleted, the first one read-only.
using ScanRow = std::tuple<QString, QDate, QString, bool, QString, bool>;
// The stored Items, the Favorites folder gone, Cancel clicked, the archive's comment ("": no archive).
using CollectingRow = std::tuple<QString, bool, bool, QString>;

} // namespace

class ScheduledRunTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TestEnvironment> env;
    std::unique_ptr<test::ProcessesDouble> mailer;

    // The exit status the command line ended the program with; -1 when it returned.
    int run(const QString& commandLine = u"/S"_s) {
        try {
            Command_Input(commandLine);
        } catch (const platform::ProgramEnded& ended) {
            return ended.exitCode;
        }
        return -1;
    }
    void schedule(const QString& code, const QString& deleteCode, const QString& items) {
        store(u"Schedule"_s, code);
        store(u"Delete"_s, deleteCode);
        store(u"Items"_s, items);
        store(u"Filename"_s, u"Mail"_s);
        store(u"Pathname"_s, folder());
    }
    QString folder() const { return env->path(u"My Backups"_s); }

private slots:
    void init() {
        env = std::make_unique<test::TestEnvironment>();
        mailer = std::make_unique<test::ProcessesDouble>();
        EnsureSettingsKey(regAccess());
        LoadStartupSettings(regAccess());
        registerMailer();
        env->system.date = QDate(2001, 3, 15);
    }
    void cleanup() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool answersUsed = env->dialogs.allAnswersUsed();
        mailer.reset();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    void endings_data() {
        QTest::addColumn<EndingRow>("row");
        const auto row = [](const char* name, const EndingRow& ending) { QTest::newRow(name) << ending; };
        const QString noItems = u"Stowline 1.0 / No items found to backup."_s;
        row("other switch", {u"/X"_s, {}, {}, false, -1});
        row("blank first", {u" /S"_s, {}, {}, false, -1});
        row("disabled", {u"/s"_s, u"disabled"_s, {}, true, RunSucceeded});
        row("disabled, no mail program named", {u"/S"_s, u"disabled, no mailer"_s, {}, false, RunSucceeded});
        row("key missing", {u"/S"_s, u"key missing"_s,
                            u"Stowline Scheduler error / Please run the Stowline 'Schedule Wizard' again."_s,
                            false, ScheduleMissing});
        for (const char* value : {"Schedule", "Delete", "Items", "Filename", "Pathname"})
            QTest::addRow("%s missing", value)
                << EndingRow{u"/S"_s, QString::fromLatin1(value), {}, false, ScheduleMissing};
        row("not due", {u"/S anything"_s, u"not due"_s, {}, true, RunSucceeded});
        row("drive refused",
            {u"/Sx"_s, u"drive refused"_s,
             u"Stowline error / The drive does not exist: Q:\rWould you like to try again?"_s, true,
             ArchiveNotWritten});
        row("nothing selected", {u"/S"_s, {}, noItems, true, ArchiveNotWritten});
        row("selected, none found", {u"/S"_s, u"111"_s, noItems, true, ArchiveNotWritten});
        // "@" stands for the test's folder, where an archive of the named file is made.
        const QString notFound = u"Stowline 1.0 / Archive not found: "_s;
        const QString invalid =
            u"Stowline 1.0 / The file you selected does not seem to be a valid Stowline archive."_s;
        row("restore, spaces", {u"/R \"@My Backups/Mail 2001-03-15.stw\""_s, u"opens"_s, {}, false, -1});
        row("restore, lower case, quotes inside",
            {u"/r \"@It's \"mine\".stw\""_s, u"opens"_s, {}, false, -1});
        row("restore, missing",
            {u"/R \"/nowhere/My Mail.stw\""_s, {}, notFound + u"/nowhere/My Mail.stw"_s, false, -1});
        row("restore, switch alone", {u"/R"_s, {}, notFound, false, -1});
        row("restore, not a zip", {u"/R \"@notzip\""_s, {}, invalid, false, -1});
        row("restore, comment of 4", {u"/R \"@long.stw\""_s, {}, invalid, false, -1});
    }
    void endings() {
        QFETCH(EndingRow, row);
        auto [commandLine, situation, message, mailerStarted, status] = row;
        LaunchOESetting = 1;
        schedule(u"2"_s, u"2"_s, situation == u"111" ? situation : u"000"_s);
        test::writeFile(folder() +
                            (situation == u"not due" ? u"/Mail 2001-03-15.stw"_s : u"/Mail 2001-03-01.stw"_s),
                        "old");
        if (situation.endsWith(u"no mailer"))
            platform::registry().deleteValue(platform::Hive::LocalMachine, u"SOFTWARE\\Clients\\Mail"_s, {});
        if (situation.startsWith(u"disabled"))
            SchedulerDisableSetting = 1;
        if (situation == u"key missing")
            platform::registry().deleteKey(platform::Hive::CurrentUser, SettingsKey());
        if (!situation.isEmpty() && situation[0].isUpper())
            platform::registry().deleteValue(platform::Hive::CurrentUser, SettingsKey(), situation);
        if (situation == u"drive refused")
            store(u"Pathname"_s, u"Q:\\Backups"_s);
        commandLine.replace(u'@', env->root() + u'/');
        const QString archive = commandLine.mid(4, commandLine.size() - 5);
        test::writeFile(env->path(u"notzip"_s), "plain text");
        if (archive.endsWith(u".stw"_s) && archive.startsWith(env->root()))
            test::writeFile(archive, test::emptyArchive(archive.endsWith(u"long.stw"_s) ? "1011" : "001"));
        if (!message.isEmpty())
            env->dialogs.answerMessage(message.contains(u'?') ? MsgAnswer::No : MsgAnswer::OK);

        QCOMPARE(run(commandLine), status);
        const test::DialogCall shown = env->dialogs.calls.value(0); // more would have failed the test
        QCOMPARE(shown.title.isEmpty() ? QString() : shown.title + u" / "_s + shown.text, message);
        QCOMPARE(mailer->started,
                 mailerStarted ? QStringList{u"/opt/test mail/mail|--inbox"_s} : QStringList());
        QVERIFY(!QDir(TempDir() + u"stowline"_s).exists());
        const QWidget* restorePage = forms::find(u"frmRS_Choice"_s);
        QCOMPARE(restorePage && restorePage->isVisible(), situation == u"opens");
        if (situation == u"opens")
            QCOMPARE(RestoreChoicePage()->job().archivePath + u' ' + RestoreChoicePage()->job().archiveItems,
                     archive + u" 001"_s);
    }

    // Which files of the folder count as the newest archive and which go, on due and not-due runs.
    void folderScan_data() {
        QTest::addColumn<ScanRow>("row");
        const auto row = [](const char* name, const QString& codes, QDate today, const QString& archives,
                            bool due, const QString& deleted = {}, bool firstReadOnly = false) {
            QTest::newRow(name) << ScanRow{codes, today, archives, due, deleted, firstReadOnly};
        };
        const QDate ides(2001, 3, 15);
        row("daily, newest yesterday", u"2|1"_s, ides, u"2000-01-01|2001-03-14"_s, true);
        row("daily, newest today", u"2|1"_s, ides, u"2000-01-01|2001-03-15"_s, false);
        row("weekly, at equality", u"4|1"_s, ides, u"2001-03-08|2000-01-01"_s, true);
        row("weekly, one short", u"4|1"_s, ides, u"2001-03-09"_s, false);
        row("monthly from 31 Jan, 2 Mar", u"5|1"_s, QDate(2001, 3, 2), u"2001-01-31"_s, false);
        row("monthly, leap, 2 Mar", u"5|1"_s, QDate(2004, 3, 2), u"2004-01-31"_s, true);
        row("code not a number", u"daily|1"_s, ides, u"2001-03-15"_s, true);
        row("stem in another case", u"2|1"_s, ides, u"mail 2001-03-15.STW"_s, false);
        row("deletion never", u"1|1"_s, QDate(2001, 3, 1), u"2001-02-28"_s, true);
        row("one day, February's end", u"1|2"_s, QDate(2001, 3, 1), u"2001-02-27|2001-02-28|2001-03-01"_s,
            true, u"2001-02-27|2001-02-28"_s);
        row("one month from 31 March", u"1|5"_s, QDate(2001, 3, 31), u"2001-03-03|2001-03-04"_s, true,
            u"2001-03-03"_s);
        // Weekly backups, one-day deletion: two days later the last backup goes, still counts as the
        // newest, and no new one is due.
        row("deleted on a run that is not due", u"4|2"_s, ides, u"2001-03-13"_s, false, u"2001-03-13"_s);
        row("read-only kept", u"4|2"_s, ides, u"2001-03-13"_s, false, {}, true);
    }
    void folderScan() {
        QFETCH(ScanRow, row);
        const auto& [codes, today, archives, due, deleted, firstReadOnly] = row;
        env->system.date = today;
        schedule(codes.section(u'|', 0, 0), codes.section(u'|', 1, 1), u"000"_s);
        const auto fileName = [](const QString& entry) {
            return entry.contains(u' ') ? entry : u"Mail "_s + entry + u".stw"_s;
        };
        // Names that only look like archives of the stem, most of them dated today: never the newest,
        // never deleted.
        QStringList expected;
        for (const char* decoy : {"Mails @.stw", "Mail_@.stw", "Mail @.stw.bak", "Mall @.stw", "Mail @.zip",
                                  "Mail 1999-1-1.stw", "Mail 2001-02-29.stw", "Mail 2001-13-01.stw",
                                  "Mail +001-03-15.stw", "Mail 15-03-2001.stw", "Mail abcdefghij.stw"}) {
            expected << QString::fromLatin1(decoy).replace(u'@', today.toString(Qt::ISODate));
            test::writeFile(folder() + u'/' + expected.constLast(), "not ours");
        }
        for (const QString& entry : archives.split(u'|')) {
            test::writeFile(folder() + u'/' + fileName(entry), "old");
            expected << fileName(entry);
        }
        if (firstReadOnly)
            QFile::setPermissions(folder() + u'/' + fileName(archives.section(u'|', 0, 0)),
                                  QFileDevice::ReadOwner);
        for (const QString& entry : deleted.split(u'|', Qt::SkipEmptyParts))
            expected.removeOne(fileName(entry));
        if (due) // nothing selected: a due run ends in the no-items message
            env->dialogs.answerMessage(MsgAnswer::OK);

        QCOMPARE(run(), due ? int(ArchiveNotWritten) : int(RunSucceeded));
        expected.sort();
        QCOMPARE(QDir(folder()).entryList(QDir::Files, QDir::Name), expected);
    }

    // A due run over the sample profile: Cancel works while collecting, not while saving, and the
    // archive claims only the items it holds.
    void collectingRun_data() {
        QTest::addColumn<CollectingRow>("row");
        QTest::newRow("everything") << CollectingRow{u"111"_s, false, false, u"111"_s};
        QTest::newRow("favorites gone, address book not chosen")
            << CollectingRow{u"110"_s, true, false, u"100"_s};
        QTest::newRow("cancelled while collecting") << CollectingRow{u"111"_s, false, true, {}};
    }
    void collectingRun() {
        QFETCH(CollectingRow, row);
        const auto& [items, favoritesGone, cancel, comment] = row;
        const fixtures::Profile profile = test::buildSampleProfile(*env);
        if (favoritesGone)
            QVERIFY(QDir(profile.favoritesFolder()).removeRecursively());
        registerMailer(); // over the profile's own mail program
        LaunchOESetting = 1;
        schedule(u"2"_s, u"3"_s, items);
        const QString missing = env->path(u"not yet/there"_s);
        store(u"Pathname"_s, missing); // created by the run, not scanned
        QStringList seen;
        frmProgress& window = Progress();
        connect(&window, &frmProgress::statusChanged, this, [&] {
            QPushButton& cancelButton = window.cancelButton();
            const bool saving = !window.status().startsWith(u"Compressing"_s);
            seen
                << (saving ? u"saving cancel:%1"_s : u"collecting cancel:%1"_s).arg(cancelButton.isEnabled());
            if (cancel && cancelButton.isEnabled())
                QTest::mouseClick(&cancelButton, Qt::LeftButton);
        });

        const int status = run();

        QCOMPARE(mailer->started, QStringList{u"/opt/test mail/mail|--inbox"_s});
        QVERIFY(!QDir(TempDir() + u"stowline"_s).exists());
        if (cancel) {
            QVERIFY(status >= 0);
            QCOMPARE(QDir(missing).entryList(QDir::Files), QStringList());
            return;
        }
        QCOMPARE(status, int(RunSucceeded));
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({u"collecting cancel:1"_s, u"saving cancel:0"_s}));
        const QString written = missing + u"/Mail 2001-03-15.stw"_s;
        QCOMPARE(ReadArchiveComment(written), comment);
        const test::ForeignZipView view = test::readWithPython(written);
        QCOMPARE(layout::ReadIdentityIndex(view.file(u"ident.idx"_s)).size(), 3);
    }

    // An encrypted schedule gets its passphrase from the key file when no keyring answers (here no
    // session bus at all), and fails loudly, writing nothing, when the key file cannot give it.
    void encryptedRun_data() {
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("status");
        QTest::newRow("owner-only key file") << u"key"_s << 0600 << int(RunSucceeded);
        QTest::newRow("key file others may read") << u"key"_s << 0640 << int(RunFailed);
        QTest::newRow("no key file") << QString() << 0 << int(RunFailed);
        QTest::newRow("key file missing") << u"gone"_s << 0 << int(RunFailed);
    }
    void encryptedRun() {
        QFETCH(QString, keyFile);
        QFETCH(int, mode);
        QFETCH(int, status);
        const QByteArray busBefore = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        const auto restoreBus = qScopeGuard([&] { qputenv("DBUS_SESSION_BUS_ADDRESS", busBefore); });
        test::buildSampleProfile(*env);
        registerMailer();
        schedule(u"2"_s, u"3"_s, u"111"_s);
        const QString keyPath = keyFile.isEmpty() ? QString() : env->path(keyFile);
        if (mode != 0) {
            QFile key(keyPath);
            QVERIFY(key.open(QIODevice::WriteOnly));
            key.write("Tide-Lantern-Quartz-Meadow-42\n");
            key.close();
            QFile::setPermissions(keyPath, mode == 0600
                                               ? QFile::ReadOwner | QFile::WriteOwner
                                               : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        }
        store(u"Encrypt"_s, u"1"_s);
        store(u"KeyFile"_s, keyPath);

        QCOMPARE(run(), status);

        const QString written = folder() + u"/Mail 2001-03-15.stw"_s;
        const QList<platform::RunRecord> records = platform::readRunRecords();
        QVERIFY(!records.isEmpty());
        if (status != RunSucceeded) {
            QVERIFY(!QFile::exists(written));
            QCOMPARE(records.last().outcome, platform::RunRecord::Outcome::Failed);
            QVERIFY2(records.last().detail.contains(u"key file"_s, Qt::CaseInsensitive) ||
                         records.last().detail.contains(u"No key file"_s),
                     qPrintable(records.last().detail));
            return;
        }
        QCOMPARE(records.last().outcome, platform::RunRecord::Outcome::Succeeded);
        const QString out = env->path(u"extracted"_s);
        QProcess sevenZip;
        sevenZip.start(u"7zz"_s, {u"x"_s, u"-pTide-Lantern-Quartz-Meadow-42"_s, u"-o"_s + out, written});
        QVERIFY(sevenZip.waitForFinished(60000));
        QCOMPARE(sevenZip.exitCode(), 0);
        QCOMPARE(layout::ReadIdentityIndex(out + u"/ident.idx"_s).size(), 3);
        // Nothing of it reads in the clear.
        QProcess plain;
        plain.start(u"7zz"_s, {u"t"_s, u"-pwrong"_s, written});
        QVERIFY(plain.waitForFinished(60000));
        QVERIFY(plain.exitCode() != 0);
    }
};

QTEST_MAIN(ScheduledRunTest)
#include "ScheduledRunTest.moc"
