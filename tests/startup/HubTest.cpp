#include "foundation/RegEdit.h"
#include "foundation/Strings.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "platform/Platform.h"
#include "restore/RestoreUndo.h"
#include "startup/LinkEntry.h"
#include "startup/frmMain.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmBK_Choice.h"
#include "ui/frmRS_Choice.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace stowline;
using platform::MsgAnswer;
using test::DialogCall;

namespace {

class RecordingProcesses : public platform::Processes {
public:
    QStringList started;
    platform::ChildEnd runAndWait(const QString&, const QStringList&) override {
        return {platform::ChildEnd::How::Exited, 0};
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started << (QStringList{program} + arguments).join(u'|');
        return true;
    }
};

frmMain& startHub() {
    frmMain& hub = frmMain::Load(QString());
    return hub;
}

void unloadHub() {
    frms_Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

LinkEntry* entry(frmMain& hub, const char* name) {
    return hub.findChild<LinkEntry*>(QString::fromLatin1(name));
}

QStringList settingNames() {
    RegEdit reg;
    reg.KeyPath = SettingsKey();
    QStringList names;
    for (const RegValue& value : reg.GetValues())
        names << value.name;
    names.sort();
    return names;
}

QString setting(const char* name) {
    RegEdit reg;
    return ReadSetting(reg, QString::fromLatin1(name)).value_or(QStringLiteral("<absent>"));
}

void makeZip(const QString& path, const QString& comment) {
    const QString script = QStringLiteral("import sys,zipfile\n"
                                          "z=zipfile.ZipFile(sys.argv[1],'w')\n"
                                          "z.writestr('a.txt','x')\n"
                                          "z.comment=sys.argv[2].encode()\n"
                                          "z.close()\n");
    QCOMPARE(QProcess::execute(QStringLiteral("python3"), {QStringLiteral("-c"), script, path, comment}), 0);
}

} // namespace

class HubTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesOnlyTheStartupValues() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        QCOMPARE(settingNames(),
                 (QStringList{QStringLiteral("CompressionLevel"), QStringLiteral("LaunchOE"),
                              QStringLiteral("RememberLocations"), QStringLiteral("SchedulerDisable"),
                              QStringLiteral("TimesRun")}));
        QCOMPARE(setting("CompressionLevel"), QStringLiteral("1"));
        QCOMPARE(setting("TimesRun"), QStringLiteral("1"));
        QCOMPARE(CompressionLevelSetting, qint16(1));
        QCOMPARE(env.dialogs.calls.size(), 1);
        QCOMPARE(env.dialogs.calls[0].text,
                 QStringLiteral("Stowline allows you to backup your Outlook Express "
                                "identities.\rWould you like to see more information "
                                "about identities?"));
        QCOMPARE(env.dialogs.calls[0].title, QStringLiteral("Stowline 1.0"));
        QCOMPARE(hub.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("Version 1.0"));
        QCOMPARE(hub.findChild<QLabel*>(QStringLiteral("lblComment"))->text(),
                 QStringLiteral("Build 375 Release candidate 3"));
        unloadHub();
    }

    void promptsOnlyOnFirstAndTwentySixthStart() {
        test::TestEnvironment env;
        for (int start = 1; start <= 30; ++start) {
            if (start == 1 || start == 26)
                env.dialogs.answerMessage(MsgAnswer::Yes);
            startHub();
            unloadHub();
            QVERIFY2(env.dialogs.allAnswersUsed(), qPrintable(QString::number(start)));
        }
        QCOMPARE(env.dialogs.calls.size(), 2);
        QCOMPARE(
            env.dialogs.calls[1].text,
            QStringLiteral("Would you like to send your Stowline comments or feature requests\rto Velmora?"));
        QCOMPARE(env.shell.opened,
                 (QStringList{VendorWebHost() + QStringLiteral("/help_and_support/stowline10/"
                                                               "identities/index.htm"),
                              QStringLiteral("mailto:Velmora Support<") + SupportMailAddress()}));
        QCOMPARE(setting("TimesRun"), QStringLiteral("50"));
    }

    void webEntriesOpenTheirPagesAndTurnPurple() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        for (const char* name : {"lblWebsite", "lblHelp", "lblProgram"}) {
            QVERIFY(entry(hub, name)->color() != frmMain::visitedColor());
            QTest::keyClick(entry(hub, name), Qt::Key_Return);
            QCOMPARE(entry(hub, name)->color(), frmMain::visitedColor());
        }
        const QString host = VendorWebHost();
        QCOMPARE(env.shell.opened,
                 (QStringList{host + QStringLiteral("/index.htm"),
                              host + QStringLiteral("/help_and_support/stowline10/index.htm"),
                              host + QStringLiteral("/updates/stowline/10375/index.htm")}));
        // Without a browser the address is shown instead.
        env.shell.handled = false;
        env.dialogs.answerMessage(MsgAnswer::OK);
        QTest::keyClick(entry(hub, "lblWebsite"), Qt::Key_Return);
        QVERIFY(env.dialogs.calls.last().text.endsWith(QStringLiteral("\r\r") + host +
                                                       QStringLiteral("/index.htm")));
        unloadHub();
    }

    // Shown while the last restore's journal is kept; it puts back what that restore added.
    void undoLastRestore() {
        test::TestEnvironment env;
        const QString added = env.path(QStringLiteral("home/added.txt"));
        QVERIFY(restoreJournal().begin());
        restoreJournal().keepFiles(env.path(QStringLiteral("home")), {QStringLiteral("added.txt")});
        restoreJournal().finish();
        test::writeFile(added, "restored");
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        LinkEntry* undo = entry(hub, "lblUndoRestore");
        QVERIFY(undo->isVisibleTo(&hub));
        env.dialogs.answerMessage(MsgAnswer::Yes);
        env.dialogs.answerMessage(MsgAnswer::OK);
        undo->click();
        QVERIFY(!QFile::exists(added));
        QCOMPARE(env.dialogs.calls.last().text, Str(1315));
        QVERIFY(!undo->isVisibleTo(&hub));
        unloadHub();
    }

    void entriesAreInTabOrderWithAccessibleNames() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        const QStringList order{QStringLiteral("lblBackup"),     QStringLiteral("lblRestore"),
                                QStringLiteral("lblSchedule"),   QStringLiteral("lblAdvanced"),
                                QStringLiteral("lblExportMail"), QStringLiteral("lblBrowseArchive"),
                                QStringLiteral("lblWebsite"),    QStringLiteral("lblHelp"),
                                QStringLiteral("lblProgram")};
        QWidget* current = hub.findChild<QWidget*>(order.first());
        for (qsizetype i = 1; i < order.size(); ++i) {
            current = current->nextInFocusChain();
            // "Undo last restore" is hidden while there is no restore to undo.
            while (current->focusPolicy() == Qt::NoFocus || !current->isVisibleTo(&hub))
                current = current->nextInFocusChain();
            QCOMPARE(current->objectName(), order[i]);
            QCOMPARE(current->accessibleName(), qobject_cast<QPushButton*>(current)->text());
        }
        unloadHub();
    }

    void backupEntryAsksWhereToSave() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        env.dialogs.answerFile(QString()); // cancelled
        entry(hub, "lblBackup")->click();
        const DialogCall& save = env.dialogs.calls.last();
        QCOMPARE(save.kind, DialogCall::SaveFile);
        QCOMPARE(save.request.title, QStringLiteral("Save backup archive as:"));
        QCOMPARE(save.request.filter, QStringLiteral("Stowline archive|*.stw"));
        QCOMPARE(save.request.proposedName, QStringLiteral("Backup 2026-12-05"));
        QCOMPARE(save.request.initialFolder, env.path(QStringLiteral("home/Documents")));
        QVERIFY(hub.isEnabled());
        QCOMPARE(entry(hub, "lblBackup")->color(), frmMain::visitedColor());

        env.dialogs.answerFile(env.path(QStringLiteral("out/.stw")));
        env.dialogs.answerMessage(MsgAnswer::OK);
        entry(hub, "lblBackup")->click();
        QCOMPARE(env.dialogs.calls.last().text, QStringLiteral("Please enter a valid filename!"));
        QCOMPARE(env.dialogs.calls.last().title, QStringLiteral("Stowline error"));
        QVERIFY(hub.isEnabled());

        QDir().mkpath(env.path(QStringLiteral("home/Favorites"))); // something to back up
        env.dialogs.answerFile(env.path(QStringLiteral("out/Mine.stw")));
        entry(hub, "lblBackup")->click();
        QCOMPARE(qobject_cast<frmBK_Choice*>(forms::find(QStringLiteral("frmBK_Choice")))->job().archivePath,
                 env.path(QStringLiteral("out/Mine.stw")));
        QCOMPARE(setting("RememberLocationDir"), env.path(QStringLiteral("out")));
        QVERIFY(!hub.isEnabled());
        QVERIFY(forms::find(QStringLiteral("frmBK_Choice"))->isVisible());
        unloadHub();
    }

    void rememberedFolderIsStoredThenUsed() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        RememberLocationsSetting = 1;
        env.dialogs.answerFile(QString());
        entry(hub, "lblRestore")->click();
        QCOMPARE(env.dialogs.calls.last().request.initialFolder, QString());
        QCOMPARE(setting("RememberLocationDir"), env.path(QStringLiteral("home/Documents")));
        env.dialogs.answerFile(QString());
        entry(hub, "lblBackup")->click();
        QCOMPARE(env.dialogs.calls.last().request.initialFolder, env.path(QStringLiteral("home/Documents")));
        unloadHub();
    }

    void restoreEntryChecksTheArchive_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QString() << false
                                 << QStringLiteral("The archive you selected does not exist!");
        QTest::newRow("two chars") << QStringLiteral("11") << true
                                   << QStringLiteral(
                                          "The file you selected does not seem to be a valid Stowline "
                                          "archive.");
        QTest::newRow("four chars") << QStringLiteral("1111") << true
                                    << QStringLiteral(
                                           "The file you selected does not seem to be a valid Stowline "
                                           "archive.");
        QTest::newRow("any three") << QStringLiteral("1x1") << true << QString();
    }

    void restoreEntryChecksTheArchive() {
        QFETCH(QString, comment);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        const QString archive = env.path(QStringLiteral("saved/My backup.stw"));
        QDir().mkpath(env.path(QStringLiteral("saved")));
        if (exists)
            makeZip(archive, comment);
        env.dialogs.answerFile(archive);
        if (!message.isEmpty())
            env.dialogs.answerMessage(MsgAnswer::OK);
        entry(hub, "lblRestore")->click();
        QCOMPARE(setting("RememberLocationDir"), env.path(QStringLiteral("saved")));
        if (message.isEmpty()) {
            QCOMPARE(RestoreChoicePage()->job().archiveItems, comment);
            QVERIFY(forms::find(QStringLiteral("frmRS_Choice")));
            QVERIFY(!hub.isEnabled());
        } else {
            QCOMPARE(env.dialogs.calls.last().text, message);
            QVERIFY(hub.isEnabled());
            QVERIFY(!forms::find(QStringLiteral("frmRS_Choice")));
        }
        unloadHub();
    }

    void scheduleKeepsHubEnabledAdvancedDisablesIt() {
        test::TestEnvironment env;
        env.dialogs.answerMessage(MsgAnswer::No);
        frmMain& hub = startHub();
        auto* status = hub.findChild<QLabel*>(QStringLiteral("lblStatus"));
        QCOMPARE(status->text(), QStringLiteral("No backup yet"));
        QVERIFY(!status->styleSheet().contains(QStringLiteral("#1d5e20"))); // nothing yet is no success
        entry(hub, "lblSchedule")->click();
        QWidget* schedulePage = forms::find(QStringLiteral("frmSchedule1"));
        QVERIFY(schedulePage->isVisible());
        QVERIFY(hub.isEnabled());
        // A schedule set while neither a user systemd nor crontab runs it: the line says so on close.
        WriteSetting(regAccess(), QStringLiteral("Schedule"), QStringLiteral("2"));
        schedulePage->close();
        QVERIFY2(status->text().contains(QStringLiteral("Not scheduled")), qPrintable(status->text()));
        QVERIFY(status->styleSheet().contains(QStringLiteral("#a11a1a")));
        frmMain_Enabled();
        entry(hub, "lblAdvanced")->click();
        QWidget* options = forms::find(QStringLiteral("frmAdvancedOptions"));
        QVERIFY(options->isVisible());
        QVERIFY(!hub.isEnabled());
        // Titled, wholly on the screen, and Escape leaves it as its title bar's close does.
        QVERIFY(!options->windowTitle().trimmed().isEmpty());
        QVERIFY(options->screen()->availableGeometry().contains(options->frameGeometry()));
        QTest::keyClick(options, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(hub.isEnabled());
        QVERIFY(!forms::find(QStringLiteral("frmAdvancedOptions")));
        unloadHub();
    }

    void launchMailerOnlyWhenOneIsRegistered() {
        test::TestEnvironment env;
        RecordingProcesses processes;
        platform::install(&processes);
        Launch_OE();
        QCOMPARE(processes.started, QStringList());

        RegEdit reg;
        reg.RootKey = RegEdit::HKEY_LOCAL_MACHINE;
        reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail\\Demo Mail\\Shell\\Open\\Command");
        reg.CreateKey();
        reg.Value = QStringLiteral("\"/opt/demo mail/bin/mail\" -compose");
        reg.WriteValue();
        Launch_OE(); // no default client named yet
        QCOMPARE(processes.started, QStringList());

        reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail");
        reg.Value = QStringLiteral("Demo Mail");
        reg.WriteValue();
        Launch_OE();
        QCOMPARE(processes.started, QStringList{QStringLiteral("/opt/demo mail/bin/mail|-compose")});
        platform::install(static_cast<platform::Processes*>(nullptr));
    }

    void commandLineIsRejoinedWithQuotes() {
        QCOMPARE(commandLineText({QStringLiteral("/R"), QStringLiteral("/home/me/My backup.stw")}),
                 QStringLiteral("/R \"/home/me/My backup.stw\""));
        QCOMPARE(commandLineText({QStringLiteral("/R"), QStringLiteral("/tmp/a.stw")}),
                 QStringLiteral("/R \"/tmp/a.stw\""));
        QCOMPARE(commandLineText({QStringLiteral("/s")}), QStringLiteral("/s"));
    }
};

QTEST_MAIN(HubTest)
#include "HubTest.moc"
