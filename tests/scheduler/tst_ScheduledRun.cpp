#include "archive/frmInterface.h"
#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modTempPath.h"
#include "platform/LinuxProcesses.h"
#include "platform/Platform.h"
#include "scheduler/modCommandLine.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "ui/frmProgress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace stowline;
using platform::MsgAnswer;
using platform::MsgIcon;
using stowline::test::DialogCall;
using stowline::test::TestEnvironment;

namespace {

// Real child processes (regedit), but the mail program is only recorded.
class MailerWatch : public platform::Processes {
public:
    MailerWatch() { platform::install(this); }
    ~MailerWatch() override { platform::install(static_cast<platform::Processes*>(nullptr)); }
    bool runAndWait(const QString& program, const QStringList& arguments) override {
        return m_real.runAndWait(program, arguments);
    }
    bool startDetached(const QString& program, const QStringList&) override {
        started << program;
        return true;
    }
    QStringList started;

private:
    platform::LinuxProcesses m_real;
};

void store(const QString& name, const QString& value) {
    WriteSetting(regAccess(), name, value);
}

void registerMailer() {
    RegEdit& reg = regAccess();
    reg.RootKey = RegEdit::HKEY_LOCAL_MACHINE;
    reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail\\TestMail\\Shell\\Open\\Command");
    reg.CreateKey();
    reg.ValueName = QString();
    reg.Value = QStringLiteral("testmail --inbox");
    reg.WriteValue();
    reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail");
    reg.Value = QStringLiteral("TestMail");
    reg.WriteValue();
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
}

void touch(const QString& path) {
    test::writeFile(path, QByteArrayLiteral("old archive"));
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

struct ControlsSeen {
    bool cancelVisible = false;
    bool cancelEnabled = false;
    bool closeVisible = true;
    QString title;
};

} // namespace

class tst_ScheduledRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void switchRecognition_data();
    void switchRecognition();
    void endings_data();
    void endings();
    void missingValueEndsSilently_data();
    void missingValueEndsSilently();
    void dueTest_data();
    void dueTest();
    void everyAvailabilityCheckRunsWithNothingSelected();
    void filesOfOtherNamesNeverCountOrGo();
    void deletionRunsOnARunThatIsNotDue();
    void deletionCutoffs_data();
    void deletionCutoffs();
    void undeletableArchiveIsLeft();
    void missingFolderIsCreatedByTheRun();
    void fullRunWritesDatedArchive();
    void archiveFlagsOnlyCollectedItems();
    void cancelDuringCollectionEndsWithoutArchive();
    void restoreOpensQuotedPath_data();
    void restoreOpensQuotedPath();
    void restoreMessages_data();
    void restoreMessages();

private:
    // Runs the command line and returns the exit status it ended the program with; -1 when it
    // returned instead.
    int run(const QString& commandLine = QStringLiteral("/S"));
    void schedule(const QString& code, const QString& deleteCode, const QString& items);
    QString folder() const { return env->path(QStringLiteral("My Backups")); }

    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<MailerWatch> mailer;
};

void tst_ScheduledRun::init() {
    env = std::make_unique<TestEnvironment>();
    mailer = std::make_unique<MailerWatch>();
    EnsureSettingsKey(regAccess());
    LoadStartupSettings(regAccess());
    registerMailer();
    QDir().mkpath(folder());
    env->system.date = QDate(2001, 3, 15);
    ArchivePath.clear();
    ArchiveItems.clear();
}

void tst_ScheduledRun::cleanup() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool answersUsed = env->dialogs.allAnswersUsed();
    mailer.reset();
    env.reset(); // first: a failed check must not leave the doubles behind
    QVERIFY(answersUsed);
}

int tst_ScheduledRun::run(const QString& commandLine) {
    try {
        Command_Input(commandLine);
    } catch (const platform::ProgramEnded& ended) {
        return ended.exitCode;
    }
    return -1;
}

void tst_ScheduledRun::schedule(const QString& code, const QString& deleteCode, const QString& items) {
    store(QStringLiteral("Schedule"), code);
    store(QStringLiteral("Delete"), deleteCode);
    store(QStringLiteral("Items"), items);
    store(QStringLiteral("Filename"), QStringLiteral("Mail"));
    store(QStringLiteral("Pathname"), folder());
}

void tst_ScheduledRun::switchRecognition_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("ends");
    QTest::newRow("/S") << "/S" << true;
    QTest::newRow("/s") << "/s" << true;
    QTest::newRow("/S and more") << "/S --quiet now" << true;
    QTest::newRow("/sx") << "/sx" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank first") << " /S" << false;
    QTest::newRow("other switch") << "/X" << false;
    QTest::newRow("slash only") << "/" << false;
    QTest::newRow("S alone") << "S" << false;
}

void tst_ScheduledRun::switchRecognition() {
    QFETCH(QString, commandLine);
    QFETCH(bool, ends);
    SchedulerDisableSetting = 1;
    QCOMPARE(run(commandLine), ends ? int(RunSucceeded) : -1);
    QVERIFY(env->dialogs.calls.isEmpty());
}

void tst_ScheduledRun::endings_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("mailerSet");
    QTest::addColumn<QString>("message"); // empty: none
    QTest::addColumn<bool>("mailerStarted");
    QTest::addColumn<int>("status");
    for (const bool set : {true, false}) {
        const char* m = set ? ", mailer on" : ", mailer off";
        QTest::addRow("disabled%s", m) << "disabled" << set << "" << set << int(RunSucceeded);
        QTest::addRow("key missing%s", m)
            << "key missing" << set << "Please run the Stowline 'Schedule Wizard' again." << false
            << int(ScheduleMissing);
        QTest::addRow("not due%s", m) << "not due" << set << "" << set << int(RunSucceeded);
        QTest::addRow("drive refused%s", m)
            << "drive refused" << set << "The drive does not exist: Q:\rWould you like to try again?" << set
            << int(ArchiveNotWritten);
        QTest::addRow("nothing selected%s", m)
            << "nothing selected" << set << "No items found to backup." << set << int(ArchiveNotWritten);
    }
}

void tst_ScheduledRun::endings() {
    QFETCH(QString, situation);
    QFETCH(bool, mailerSet);
    QFETCH(QString, message);
    QFETCH(bool, mailerStarted);
    QFETCH(int, status);
    LaunchOESetting = mailerSet ? 1 : 0;
    schedule(QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("000"));
    if (situation == u"disabled")
        SchedulerDisableSetting = 1;
    if (situation == u"key missing") {
        regAccess().KeyPath = SettingsKey();
        regAccess().DeleteKey();
        env->dialogs.answerMessage(MsgAnswer::OK);
    }
    if (situation == u"not due")
        touch(folder() + QStringLiteral("/Mail 2001-03-15.stw"));
    if (situation == u"drive refused") {
        store(QStringLiteral("Pathname"), QStringLiteral("Q:\\Backups"));
        env->dialogs.answerMessage(MsgAnswer::No);
    }
    if (situation == u"nothing selected")
        env->dialogs.answerMessage(MsgAnswer::OK);

    QCOMPARE(run(), status);
    if (message.isEmpty()) {
        QCOMPARE(env->dialogs.calls.size(), 0);
    } else {
        QCOMPARE(env->dialogs.calls.size(), 1);
        QCOMPARE(env->dialogs.calls[0].text, message);
    }
    if (situation == u"key missing") {
        QCOMPARE(env->dialogs.calls[0].title, QStringLiteral("Stowline Scheduler error"));
        QCOMPARE(env->dialogs.calls[0].icon, MsgIcon::Critical);
    }
    if (situation == u"nothing selected") {
        QCOMPARE(env->dialogs.calls[0].title, AppTitle());
        QCOMPARE(env->dialogs.calls[0].icon, MsgIcon::Critical);
        QVERIFY(!QDir(TempDir() + QStringLiteral("stowline")).exists());
    }
    QCOMPARE(mailer->started, mailerStarted ? QStringList{QStringLiteral("testmail")} : QStringList());
}

void tst_ScheduledRun::missingValueEndsSilently_data() {
    QTest::addColumn<QString>("missing");
    for (const char* name : {"Schedule", "Delete", "Items", "Filename", "Pathname"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_ScheduledRun::missingValueEndsSilently() {
    QFETCH(QString, missing);
    LaunchOESetting = 1;
    schedule(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("111"));
    touch(folder() + QStringLiteral("/Mail 2001-01-01.stw"));
    RegEdit& reg = regAccess();
    reg.KeyPath = SettingsKey();
    reg.ValueName = missing;
    reg.DeleteValue();
    QCOMPARE(run(), int(ScheduleMissing));
    QVERIFY(env->dialogs.calls.isEmpty());
    QVERIFY(mailer->started.isEmpty());
    QCOMPARE(filesIn(folder()), QStringList{QStringLiteral("Mail 2001-01-01.stw")});
}

void tst_ScheduledRun::dueTest_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("newest");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("due");
    QTest::newRow("every run") << "1"
                               << "2001-03-15" << QDate(2001, 3, 15) << true;
    QTest::newRow("daily, newest yesterday") << "2"
                                             << "2001-03-14" << QDate(2001, 3, 15) << true;
    QTest::newRow("daily, newest today") << "2"
                                         << "2001-03-15" << QDate(2001, 3, 15) << false;
    QTest::newRow("three days, at equality") << "3"
                                             << "2001-02-26" << QDate(2001, 3, 1) << true;
    QTest::newRow("three days, one short") << "3"
                                           << "2001-02-27" << QDate(2001, 3, 1) << false;
    QTest::newRow("weekly, at equality") << "4"
                                         << "2001-03-08" << QDate(2001, 3, 15) << true;
    QTest::newRow("weekly, one short") << "4"
                                       << "2001-03-09" << QDate(2001, 3, 15) << false;
    QTest::newRow("monthly from 31 Jan, 2 Mar") << "5"
                                                << "2001-01-31" << QDate(2001, 3, 2) << false;
    QTest::newRow("monthly from 31 Jan, 3 Mar") << "5"
                                                << "2001-01-31" << QDate(2001, 3, 3) << true;
    QTest::newRow("monthly from 31 Jan leap, 1 Mar") << "5"
                                                     << "2004-01-31" << QDate(2004, 3, 1) << false;
    QTest::newRow("monthly from 31 Jan leap, 2 Mar") << "5"
                                                     << "2004-01-31" << QDate(2004, 3, 2) << true;
    QTest::newRow("monthly over the year") << "5"
                                           << "2001-12-15" << QDate(2002, 1, 14) << false;
    QTest::newRow("unknown code") << "7"
                                  << "2001-03-15" << QDate(2001, 3, 15) << true;
    QTest::newRow("code not a number") << "daily"
                                       << "2001-03-15" << QDate(2001, 3, 15) << true;
    QTest::newRow("newest in the future") << "2"
                                          << "2001-04-01" << QDate(2001, 3, 15) << false;
}

void tst_ScheduledRun::dueTest() {
    QFETCH(QString, code);
    QFETCH(QString, newest);
    QFETCH(QDate, today);
    QFETCH(bool, due);
    env->system.date = today;
    schedule(code, QStringLiteral("1"), QStringLiteral("000"));
    touch(folder() + QStringLiteral("/Mail ") + newest + QStringLiteral(".stw"));
    touch(folder() + QStringLiteral("/Mail 2000-01-01.stw"));
    // A due run with nothing selected ends in the no-items message; a run that is not due says nothing.
    if (due)
        env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), due ? int(ArchiveNotWritten) : int(RunSucceeded));
    QCOMPARE(env->dialogs.calls.size(), due ? 1 : 0);
}

void tst_ScheduledRun::everyAvailabilityCheckRunsWithNothingSelected() {
    const fixtures::Profile profile = test::buildSampleProfile(*env);
    schedule(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("000"));
    WABFilePath.clear();
    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), int(ArchiveNotWritten));
    QCOMPARE(env->dialogs.calls.size(), 1);
    QCOMPARE(Interface().lst1().count(), 3);
    QCOMPARE(Interface().lstIdentities().selectedItems().size(), 0);
    QCOMPARE(QFileInfo(WABFilePath).absolutePath(), profile.addressBookFolder());
    QCOMPARE(filesIn(folder()), QStringList());
}

void tst_ScheduledRun::filesOfOtherNamesNeverCountOrGo() {
    // Each decoy, if taken for an archive of today, would make the daily run "not due" and then be
    // deleted by the one-day rule tomorrow.
    const QStringList decoys{
        QStringLiteral("Mails 2001-03-15.stw"),    QStringLiteral("Mail 2001-3-15.stw"),
        QStringLiteral("Mail 2001-03-15.stw.bak"), QStringLiteral("Mail_2001-03-15.stw"),
        QStringLiteral("Mail abcdefghij.stw"),     QStringLiteral("Mail 2001-02-30.stw"),
        QStringLiteral("Other 2001-03-15.stw"),    QStringLiteral("Mail 2001-03-15.zip")};
    for (const QString& name : decoys)
        touch(folder() + u'/' + name);
    touch(folder() + QStringLiteral("/mail 2001-03-10.STW"));
    QDir().mkpath(folder() + QStringLiteral("/Mail 2001-03-15.stw")); // a folder, not an archive
    QCOMPARE(ScanArchiveFolder(folder(), QStringLiteral("Mail"), 2, QDate(2001, 3, 15)), QDate(2001, 3, 10));

    QStringList expected = decoys;
    expected << QStringLiteral("Mail 2001-03-15.stw");
    expected.sort();
    QStringList left = QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(left, expected);

    schedule(QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("000"));
    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), int(ArchiveNotWritten)); // due: only the deleted 10 March archive was ours
}

void tst_ScheduledRun::deletionRunsOnARunThatIsNotDue() {
    // Weekly backups, one-day deletion: two days after the last backup that backup goes, and as it still
    // counts as the newest, no new one is made.
    schedule(QStringLiteral("4"), QStringLiteral("2"), QStringLiteral("111"));
    touch(folder() + QStringLiteral("/Mail 2001-03-13.stw"));
    touch(folder() + QStringLiteral("/Mail 2001-03-01.stw"));
    QCOMPARE(run(), int(RunSucceeded));
    QCOMPARE(filesIn(folder()), QStringList());
    QVERIFY(env->dialogs.calls.isEmpty());
}

void tst_ScheduledRun::deletionCutoffs_data() {
    QTest::addColumn<QString>("deleteCode");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QStringList>("kept");
    const QStringList around{QStringLiteral("2001-02-27"), QStringLiteral("2001-02-28"),
                             QStringLiteral("2001-03-01")};
    QTest::newRow("never") << "1" << QDate(2001, 3, 1) << around << around;
    QTest::newRow("one day, over February's end")
        << "2" << QDate(2001, 3, 1) << around << QStringList{QStringLiteral("2001-03-01")};
    QTest::newRow("three days") << "3" << QDate(2001, 3, 3) << around
                                << QStringList{QStringLiteral("2001-03-01")};
    QTest::newRow("one week") << "4" << QDate(2001, 3, 7) << around
                              << QStringList{QStringLiteral("2001-03-01")};
    QTest::newRow("one month from 31 March")
        << "5" << QDate(2001, 3, 31)
        << QStringList{QStringLiteral("2001-03-03"), QStringLiteral("2001-03-04"),
                       QStringLiteral("2001-02-28")}
        << QStringList{QStringLiteral("2001-03-04")};
    QTest::newRow("one month from 15 January")
        << "5" << QDate(2001, 1, 15)
        << QStringList{QStringLiteral("2000-12-15"), QStringLiteral("2000-12-16")}
        << QStringList{QStringLiteral("2000-12-16")};
    QTest::newRow("unknown code") << "0" << QDate(2001, 3, 1) << around << around;
}

void tst_ScheduledRun::deletionCutoffs() {
    QFETCH(QString, deleteCode);
    QFETCH(QDate, today);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, kept);
    env->system.date = today;
    schedule(QStringLiteral("1"), deleteCode, QStringLiteral("000"));
    for (const QString& date : dates)
        touch(folder() + QStringLiteral("/Mail ") + date + QStringLiteral(".stw"));
    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), int(ArchiveNotWritten));
    QStringList expected;
    for (const QString& date : kept)
        expected << QStringLiteral("Mail ") + date + QStringLiteral(".stw");
    expected.sort();
    QCOMPARE(filesIn(folder()), expected);
}

void tst_ScheduledRun::undeletableArchiveIsLeft() {
    schedule(QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("000"));
    const QString kept = folder() + QStringLiteral("/Mail 2001-03-01.stw");
    touch(kept);
    touch(folder() + QStringLiteral("/Mail 2001-03-02.stw"));
    QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), int(ArchiveNotWritten));
    QCOMPARE(filesIn(folder()), QStringList{QStringLiteral("Mail 2001-03-01.stw")});
    QVERIFY(!forms::find(QStringLiteral("frmError")));
}

void tst_ScheduledRun::missingFolderIsCreatedByTheRun() {
    schedule(QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("000"));
    const QString missing = env->path(QStringLiteral("not yet/there"));
    store(QStringLiteral("Pathname"), missing);
    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), int(ArchiveNotWritten));
    QVERIFY(QFileInfo(missing).isDir());
    QCOMPARE(env->dialogs.calls.size(), 1);
}

void tst_ScheduledRun::fullRunWritesDatedArchive() {
    test::buildSampleProfile(*env);
    registerMailer();
    LaunchOESetting = 1;
    schedule(QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("111"));
    touch(folder() + QStringLiteral("/Mail 2001-03-11.stw"));
    touch(folder() + QStringLiteral("/Mail 2001-03-14.stw"));

    QList<ControlsSeen> collecting, saving;
    connect(&Zip(), &cmpZIP::FileStartedCompressing, this, [&](const QString& path) {
        auto* window = qobject_cast<frmProgress*>(forms::find(QStringLiteral("frmProgress")));
        QVERIFY(window);
        ControlsSeen seen{window->cancelButton().isVisible(), window->cancelButton().isEnabled(),
                          window->closeButton().isVisible(),
                          window->findChild<QLabel*>(QStringLiteral("lblTitle"))->text()};
        Q_UNUSED(path);
        (Zip().ArchiveFile.endsWith(QStringLiteral(".stw")) ? saving : collecting) << seen;
    });
    QCOMPARE(run(), int(RunSucceeded));

    const QString archive = folder() + QStringLiteral("/Mail 2001-03-15.stw");
    QCOMPARE(ArchivePath, archive);
    QCOMPARE(filesIn(folder()),
             (QStringList{QStringLiteral("Mail 2001-03-14.stw"), QStringLiteral("Mail 2001-03-15.stw")}));
    QVERIFY(!collecting.isEmpty());
    QVERIFY(!saving.isEmpty());
    for (const ControlsSeen& seen : collecting) {
        QCOMPARE(seen.title, QStringLiteral("Scheduled Backup"));
        QVERIFY(seen.cancelVisible && seen.cancelEnabled && !seen.closeVisible);
    }
    for (const ControlsSeen& seen : saving)
        QVERIFY(seen.cancelVisible && !seen.cancelEnabled && !seen.closeVisible);

    const test::ForeignZipView view = test::readWithPython(archive);
    QVERIFY(view.intact);
    QCOMPARE(view.comment, QStringLiteral("111"));
    QVERIFY(view.members.contains(QStringLiteral("ident.idx")));
    QVERIFY(view.members.contains(QStringLiteral("ief/ief_data.zip")));
    QVERIFY(view.members.contains(QStringLiteral("wab/wab_data.zip")));
    QVERIFY(view.members.contains(QStringLiteral("{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}/ident_data.zip")));
    QVERIFY(view.members.contains(QStringLiteral("{E4B7A219-C35D-4E8F-8D21-7F6A0B9C1D33}/ident_key.reg")));
    QCOMPARE(mailer->started, QStringList{QStringLiteral("testmail")});
    QVERIFY(env->dialogs.calls.isEmpty());
}

void tst_ScheduledRun::archiveFlagsOnlyCollectedItems() {
    const fixtures::Profile profile = test::buildSampleProfile(*env);
    QVERIFY(QDir(profile.favoritesFolder()).removeRecursively());
    schedule(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("111"));
    QCOMPARE(run(), int(RunSucceeded));
    const test::ForeignZipView view = test::readWithPython(ArchivePath);
    QCOMPARE(view.comment, QStringLiteral("101"));
    QVERIFY(!view.members.contains(QStringLiteral("ief/ief_data.zip")));
}

void tst_ScheduledRun::cancelDuringCollectionEndsWithoutArchive() {
    test::buildSampleProfile(*env);
    registerMailer();
    LaunchOESetting = 1;
    schedule(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("111"));
    connect(&Zip(), &cmpZIP::FileStartedCompressing, this, [] {
        auto* window = qobject_cast<frmProgress*>(forms::find(QStringLiteral("frmProgress")));
        if (window && window->cancelButton().isEnabled())
            QTest::mouseClick(&window->cancelButton(), Qt::LeftButton);
    });
    QVERIFY(run() >= 0);
    QVERIFY(CancelFlag);
    QCOMPARE(filesIn(folder()), QStringList());
    QVERIFY(!QDir(TempDir() + QStringLiteral("stowline")).exists());
    QCOMPARE(mailer->started, QStringList{QStringLiteral("testmail")});
}

void tst_ScheduledRun::restoreOpensQuotedPath_data() {
    QTest::addColumn<QString>("switchText");
    QTest::addColumn<QString>("relative");
    QTest::newRow("plain") << "/R"
                           << "a.stw";
    QTest::newRow("spaces") << "/R"
                            << "My Backups/Mail 2001-03-15.stw";
    QTest::newRow("lower case switch") << "/r"
                                       << "My Backups/x y z.stw";
    QTest::newRow("quote inside") << "/R"
                                  << "It's \"mine\".stw";
}

void tst_ScheduledRun::restoreOpensQuotedPath() {
    QFETCH(QString, switchText);
    QFETCH(QString, relative);
    const QString archive = env->path(relative);
    test::writeFile(env->path(QStringLiteral("content/file.txt")), QByteArrayLiteral("x"));
    cmpZIP& zip = Zip();
    zip.SourceFolder = env->path(QStringLiteral("content"));
    zip.ArchiveFile = archive;
    zip.TempFolder = TempDir();
    zip.Compress();
    zip.SetComment(archive, QStringLiteral("001"));

    QCOMPARE(run(switchText + QStringLiteral(" \"") + archive + u'"'), -1);
    QCOMPARE(ArchivePath, archive);
    QCOMPARE(ArchiveItems, QStringLiteral("001"));
    QWidget* page = forms::find(QStringLiteral("frmRS_Choice"));
    QVERIFY(page && page->isVisible());
    QVERIFY(env->dialogs.calls.isEmpty());
}

void tst_ScheduledRun::restoreMessages_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("message");
    QTest::addColumn<MsgIcon>("icon");
    const QString notFound = QStringLiteral("Archive not found: ");
    QTest::newRow("missing") << "/R \"/nowhere/Mail 2001-03-15.stw\""
                             << notFound + QStringLiteral("/nowhere/Mail 2001-03-15.stw")
                             << MsgIcon::Critical;
    QTest::newRow("switch alone") << "/R" << notFound << MsgIcon::Critical;
    QTest::newRow("switch and blank") << "/R " << notFound << MsgIcon::Critical;
    QTest::newRow("empty quotes") << "/R \"\"" << notFound << MsgIcon::Critical;
    QTest::newRow("not a zip") << "/R \"@notzip\""
                               << "The file you selected does not seem to be a valid Stowline archive."
                               << MsgIcon::Information;
    QTest::newRow("comment too long")
        << "/R \"@long\""
        << "The file you selected does not seem to be a valid Stowline archive." << MsgIcon::Information;
}

void tst_ScheduledRun::restoreMessages() {
    QFETCH(QString, commandLine);
    QFETCH(QString, message);
    QFETCH(MsgIcon, icon);
    test::writeFile(env->path(QStringLiteral("notzip")), QByteArrayLiteral("plain text, not an archive"));
    test::writeFile(env->path(QStringLiteral("content/file.txt")), QByteArrayLiteral("x"));
    cmpZIP& zip = Zip();
    zip.SourceFolder = env->path(QStringLiteral("content"));
    zip.ArchiveFile = env->path(QStringLiteral("long"));
    zip.TempFolder = TempDir();
    zip.Compress();
    zip.SetComment(zip.ArchiveFile, QStringLiteral("1011"));
    commandLine.replace(u'@', env->root() + u'/');

    env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(commandLine), -1);
    QCOMPARE(env->dialogs.calls.size(), 1);
    QCOMPARE(env->dialogs.calls[0].text, message);
    QCOMPARE(env->dialogs.calls[0].icon, icon);
    QCOMPARE(env->dialogs.calls[0].title, AppTitle());
    QVERIFY(!forms::find(QStringLiteral("frmRS_Choice")));
}

QTEST_MAIN(tst_ScheduledRun)
#include "tst_ScheduledRun.moc"
