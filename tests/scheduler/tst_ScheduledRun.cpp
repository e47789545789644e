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
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace stowline;
using platform::MsgAnswer;

namespace {

// Real child processes (regedit); the mail program is only recorded.
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

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }

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

frmProgress* progressWindow() {
    return qobject_cast<frmProgress*>(forms::find(QStringLiteral("frmProgress")));
}

} // namespace

class tst_ScheduledRun : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void endings_data();
    void endings();
    void dueTest_data();
    void dueTest();
    void deletion_data();
    void deletion();
    void fullRunWritesDatedArchive();
    void archiveFlagsOnlyCollectedItems();
    void cancelDuringCollectionEndsWithoutArchive();
    void restore_data();
    void restore();

private:
    // The exit status the command line ended the program with; -1 when it returned.
    int run(const QString& commandLine = QStringLiteral("/S"));
    void schedule(const QString& code, const QString& deleteCode, const QString& items);
    QString folder() const { return env->path(QStringLiteral("My Backups")); }
    void touch(const QString& date) {
        test::writeFile(folder() + QStringLiteral("/Mail ") + date + QStringLiteral(".stw"), "old");
    }
    QString left() const { return QDir(folder()).entryList(QDir::Files, QDir::Name).join(u'|'); }

    std::unique_ptr<test::TestEnvironment> env;
    std::unique_ptr<MailerWatch> mailer;
};

void tst_ScheduledRun::init() {
    env = std::make_unique<test::TestEnvironment>();
    mailer = std::make_unique<MailerWatch>();
    EnsureSettingsKey(regAccess());
    LoadStartupSettings(regAccess());
    registerMailer();
    QDir().mkpath(folder());
    env->system.date = QDate(2001, 3, 15);
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

void tst_ScheduledRun::endings_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("message"); // title / text; empty: none
    QTest::addColumn<bool>("mailerStarted");
    QTest::addColumn<int>("status");
    const QString noItems = QStringLiteral("Stowline 1.0 / No items found to backup.");
    QTest::newRow("other switch") << "/X"
                                  << ""
                                  << "" << false << -1;
    QTest::newRow("blank first") << " /S"
                                 << ""
                                 << "" << false << -1;
    QTest::newRow("disabled") << "/s"
                              << "disabled"
                              << "" << true << int(RunSucceeded);
    QTest::newRow("key missing")
        << "/S"
        << "key missing"
        << "Stowline Scheduler error / Please run the Stowline 'Schedule Wizard' again." << false
        << int(ScheduleMissing);
    for (const char* value : {"Schedule", "Delete", "Items", "Filename", "Pathname"})
        QTest::addRow("%s missing", value) << "/S" << value << "" << false << int(ScheduleMissing);
    QTest::newRow("not due") << "/S anything"
                             << "not due"
                             << "" << true << int(RunSucceeded);
    QTest::newRow("drive refused")
        << "/Sx"
        << "drive refused"
        << "Stowline error / The drive does not exist: Q:\rWould you like to try again?" << true
        << int(ArchiveNotWritten);
    QTest::newRow("nothing selected") << "/S"
                                      << "" << noItems << true << int(ArchiveNotWritten);
    QTest::newRow("selected, none found") << "/S"
                                          << "111" << noItems << true << int(ArchiveNotWritten);
}

void tst_ScheduledRun::endings() {
    QFETCH(QString, commandLine);
    QFETCH(QString, situation);
    QFETCH(QString, message);
    QFETCH(bool, mailerStarted);
    QFETCH(int, status);
    LaunchOESetting = 1;
    schedule(QStringLiteral("2"), QStringLiteral("2"),
             situation == u"111" ? situation : QStringLiteral("000"));
    touch(situation == u"not due" ? QStringLiteral("2001-03-15") : QStringLiteral("2001-03-01"));
    if (situation == u"disabled")
        SchedulerDisableSetting = 1;
    if (situation == u"key missing") {
        regAccess().KeyPath = SettingsKey();
        regAccess().DeleteKey();
    }
    if (QStringLiteral("Schedule|Delete|Items|Filename|Pathname").split(u'|').contains(situation)) {
        regAccess().KeyPath = SettingsKey();
        regAccess().ValueName = situation;
        regAccess().DeleteValue();
    }
    if (situation == u"drive refused")
        store(QStringLiteral("Pathname"), QStringLiteral("Q:\\Backups"));
    if (!message.isEmpty())
        env->dialogs.answerMessage(message.contains(u'?') ? MsgAnswer::No : MsgAnswer::OK);

    QCOMPARE(run(commandLine), status);
    QStringList shown;
    for (const test::DialogCall& call : env->dialogs.calls)
        shown << call.title + QStringLiteral(" / ") + call.text;
    QCOMPARE(shown.join(u'\n'), message);
    QCOMPARE(mailer->started, mailerStarted ? QStringList{QStringLiteral("testmail")} : QStringList());
    QVERIFY(!QDir(TempDir() + QStringLiteral("stowline")).exists());
}

void tst_ScheduledRun::dueTest_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("newest");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("due");
    QTest::newRow("daily, newest yesterday") << "2"
                                             << "2001-03-14" << QDate(2001, 3, 15) << true;
    QTest::newRow("daily, newest today") << "2"
                                         << "2001-03-15" << QDate(2001, 3, 15) << false;
    QTest::newRow("weekly, at equality") << "4"
                                         << "2001-03-08" << QDate(2001, 3, 15) << true;
    QTest::newRow("weekly, one short") << "4"
                                       << "2001-03-09" << QDate(2001, 3, 15) << false;
    QTest::newRow("monthly from 31 Jan, 2 Mar") << "5"
                                                << "2001-01-31" << QDate(2001, 3, 2) << false;
    QTest::newRow("monthly from 31 Jan, 3 Mar") << "5"
                                                << "2001-01-31" << QDate(2001, 3, 3) << true;
    QTest::newRow("monthly, leap, 2 Mar") << "5"
                                          << "2004-01-31" << QDate(2004, 3, 2) << true;
    QTest::newRow("code not a number") << "daily"
                                       << "2001-03-15" << QDate(2001, 3, 15) << true;
    // Names that only look like archives of the stem: a daily run stays due.
    for (const char* decoy : {"Mails 2001-03-15", "Mail_2001-03-15", "Mail 2001-3-15", "Mail 2001-02-30"})
        QTest::newRow(decoy) << "2" << QString::fromLatin1(decoy).mid(5) << QDate(2001, 3, 15) << true;
}

void tst_ScheduledRun::dueTest() {
    QFETCH(QString, code);
    QFETCH(QString, newest);
    QFETCH(QDate, today);
    QFETCH(bool, due);
    env->system.date = today;
    schedule(code, QStringLiteral("1"), QStringLiteral("000"));
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    test::writeFile(folder() + u'/' + (tag.startsWith(u"Mail") ? tag : QStringLiteral("Mail ") + newest) +
                        QStringLiteral(".stw"),
                    "old");
    touch(QStringLiteral("2000-01-01"));
    if (due) // a due run with nothing selected ends in the no-items message
        env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), due ? int(ArchiveNotWritten) : int(RunSucceeded));
    QCOMPARE(env->dialogs.calls.size(), due ? 1 : 0);
}

void tst_ScheduledRun::deletion_data() {
    QTest::addColumn<QString>("codes"); // Schedule|Delete
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("dates"); // archives of the schedule; the first may be read-only
    QTest::addColumn<bool>("firstReadOnly");
    QTest::addColumn<QString>("kept");
    QTest::newRow("never") << "1|1" << QDate(2001, 3, 1) << "2001-02-28" << false << "2001-02-28";
    QTest::newRow("one day, February's end")
        << "1|2" << QDate(2001, 3, 1) << "2001-02-27 2001-02-28 2001-03-01" << false << "2001-03-01";
    QTest::newRow("one month from 31 March")
        << "1|5" << QDate(2001, 3, 31) << "2001-03-03 2001-03-04" << false << "2001-03-04";
    // Weekly backups, one-day deletion: two days later the last backup goes, still counts as the
    // newest, and no new one is due.
    QTest::newRow("on a run that is not due") << "4|2" << QDate(2001, 3, 15) << "2001-03-13" << false << "";
    QTest::newRow("read-only kept") << "4|2" << QDate(2001, 3, 15) << "2001-03-13" << true << "2001-03-13";
}

void tst_ScheduledRun::deletion() {
    QFETCH(QString, codes);
    QFETCH(QDate, today);
    QFETCH(QString, dates);
    QFETCH(bool, firstReadOnly);
    QFETCH(QString, kept);
    env->system.date = today;
    schedule(codes.section(u'|', 0, 0), codes.section(u'|', 1, 1), QStringLiteral("000"));
    for (const QString& date : dates.split(u' '))
        touch(date);
    if (firstReadOnly)
        QFile::setPermissions(folder() + QStringLiteral("/Mail ") + dates.left(10) + QStringLiteral(".stw"),
                              QFileDevice::ReadOwner);
    const QStringList others{QStringLiteral("Mail 1999-1-1.stw"), QStringLiteral("Mailbox 1999-01-01.stw")};
    for (const QString& name : others)
        test::writeFile(folder() + u'/' + name, "not ours");
    const bool due = codes.startsWith(u'1');
    if (due) // nothing selected: a due run ends in the no-items message
        env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(), due ? int(ArchiveNotWritten) : int(RunSucceeded));
    QStringList expected = others;
    if (!kept.isEmpty())
        expected << QStringLiteral("Mail ") + kept + QStringLiteral(".stw");
    expected.sort();
    QCOMPARE(left(), expected.join(u'|'));
}

void tst_ScheduledRun::fullRunWritesDatedArchive() {
    test::buildSampleProfile(*env);
    registerMailer();
    LaunchOESetting = 1;
    const QString missing = env->path(QStringLiteral("not yet/there"));
    schedule(QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("111"));
    store(QStringLiteral("Pathname"), missing); // created by the run, not scanned
    QStringList seen;
    connect(&Zip(), &cmpZIP::FileStartedCompressing, this, [&] {
        frmProgress* window = progressWindow();
        const bool saving = Zip().ArchiveFile.endsWith(QStringLiteral(".stw"));
        seen << QStringLiteral("%1 %2 cancel:%3%4 close:%5")
                    .arg(saving ? QStringLiteral("saving") : QStringLiteral("collecting"),
                         window->findChild<QLabel*>(QStringLiteral("lblTitle"))->text())
                    .arg(window->cancelButton().isVisible())
                    .arg(window->cancelButton().isEnabled())
                    .arg(window->closeButton().isVisible());
    });
    QCOMPARE(run(), int(RunSucceeded));
    seen.removeDuplicates();
    QCOMPARE(seen, QStringList({QStringLiteral("collecting Scheduled Backup cancel:11 close:0"),
                                QStringLiteral("saving Scheduled Backup cancel:10 close:0")}));
    QCOMPARE(ArchivePath, missing + QStringLiteral("/Mail 2001-03-15.stw"));
    const test::ForeignZipView view = test::readWithPython(ArchivePath);
    QVERIFY(view.intact);
    QCOMPARE(view.comment, QStringLiteral("111"));
    for (const char* member : {"ident.idx", "ief/ief_data.zip", "wab/wab_data.zip",
                               "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}/ident_data.zip",
                               "{E4B7A219-C35D-4E8F-8D21-7F6A0B9C1D33}/ident_key.reg"})
        QVERIFY2(view.members.contains(QString::fromLatin1(member)), member);
    QCOMPARE(Interface().lstIdentities().selectedItems().size(), 3);
    QCOMPARE(mailer->started, QStringList{QStringLiteral("testmail")});
    QVERIFY(env->dialogs.calls.isEmpty());
}

void tst_ScheduledRun::archiveFlagsOnlyCollectedItems() {
    const fixtures::Profile profile = test::buildSampleProfile(*env);
    QVERIFY(QDir(profile.favoritesFolder()).removeRecursively());
    schedule(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("110"));
    QCOMPARE(run(), int(RunSucceeded));
    const test::ForeignZipView view = test::readWithPython(ArchivePath);
    QCOMPARE(view.comment, QStringLiteral("100"));
    QVERIFY(!view.members.contains(QStringLiteral("wab/wab_data.zip")));
    QVERIFY(!WABFilePath.isEmpty()); // checked although not selected
}

void tst_ScheduledRun::cancelDuringCollectionEndsWithoutArchive() {
    test::buildSampleProfile(*env);
    registerMailer();
    LaunchOESetting = 1;
    schedule(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("111"));
    connect(&Zip(), &cmpZIP::FileStartedCompressing, this, [] {
        if (progressWindow()->cancelButton().isEnabled())
            QTest::mouseClick(&progressWindow()->cancelButton(), Qt::LeftButton);
    });
    QVERIFY(run() >= 0);
    QCOMPARE(left(), QString());
    QVERIFY(!QDir(TempDir() + QStringLiteral("stowline")).exists());
    QCOMPARE(mailer->started, QStringList{QStringLiteral("testmail")});
}

void tst_ScheduledRun::restore_data() {
    QTest::addColumn<QString>("commandLine"); // @ stands for the test's folder
    QTest::addColumn<QString>("message");     // empty: the Restore Wizard opens on @archive
    const QString notFound = QStringLiteral("Archive not found: ");
    const QString invalid =
        QStringLiteral("The file you selected does not seem to be a valid Stowline archive.");
    QTest::newRow("spaces") << "/R \"@My Backups/Mail 2001-03-15.stw\""
                            << "";
    QTest::newRow("lower case, quotes inside") << "/r \"@It's \"mine\".stw\""
                                               << "";
    QTest::newRow("missing") << "/R \"/nowhere/My Mail.stw\""
                             << notFound + QStringLiteral("/nowhere/My Mail.stw");
    QTest::newRow("switch alone") << "/R" << notFound;
    QTest::newRow("empty quotes") << "/R \"\"" << notFound;
    QTest::newRow("not a zip") << "/R \"@notzip\"" << invalid;
    QTest::newRow("comment of 4") << "/R \"@long.stw\"" << invalid;
}

void tst_ScheduledRun::restore() {
    QFETCH(QString, commandLine);
    QFETCH(QString, message);
    commandLine.replace(u'@', env->root() + u'/');
    const QString archive = commandLine.mid(4, commandLine.size() - 5);
    test::writeFile(env->path(QStringLiteral("notzip")), "plain text");
    test::writeFile(env->path(QStringLiteral("content/file.txt")), "x");
    cmpZIP& zip = Zip();
    zip.SourceFolder = env->path(QStringLiteral("content"));
    zip.TempFolder = TempDir();
    if (archive.endsWith(QStringLiteral(".stw")) && archive.startsWith(env->root())) {
        zip.ArchiveFile = archive;
        zip.Compress();
        zip.SetComment(archive, archive.endsWith(QStringLiteral("long.stw")) ? QStringLiteral("1011")
                                                                             : QStringLiteral("001"));
    }
    if (!message.isEmpty())
        env->dialogs.answerMessage(MsgAnswer::OK);
    QCOMPARE(run(commandLine), -1);
    const QWidget* page = forms::find(QStringLiteral("frmRS_Choice"));
    if (message.isEmpty()) {
        QCOMPARE(ArchivePath, archive);
        QCOMPARE(ArchiveItems, QStringLiteral("001"));
        QVERIFY(page && page->isVisible());
    } else {
        QVERIFY(!page);
        QCOMPARE(env->dialogs.calls.size(), 1);
        QCOMPARE(env->dialogs.calls[0].text, message);
        QCOMPARE(env->dialogs.calls[0].title, AppTitle());
    }
}

QTEST_MAIN(tst_ScheduledRun)
#include "tst_ScheduledRun.moc"
