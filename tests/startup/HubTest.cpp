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
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <optional>

using namespace stowline;
using namespace Qt::StringLiterals;
using platform::MsgAnswer;
using test::DialogCall;

namespace {

// The hub of a first start, its question about identities answered No.
frmMain& startHub(test::TestEnvironment& env) {
    env.dialogs.answerMessage(MsgAnswer::No);
    return frmMain::Load(QString());
}

void unloadHub() {
    frms_Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

LinkEntry* entry(frmMain& hub, const char* name) {
    return hub.findChild<LinkEntry*>(QString::fromLatin1(name));
}

QString setting(const char* name) {
    RegEdit reg;
    return ReadSetting(reg, QString::fromLatin1(name)).value_or(u"<absent>"_s);
}

} // namespace

class HubTest : public QObject {
    Q_OBJECT
    std::optional<test::TestEnvironment> env;

private slots:
    void init() { env.emplace(); }
    void cleanup() { env.reset(); } // the environment unloads the windows

    // The first start writes only the startup values; only it and the 26th ask anything.
    void startsWriteSettingsAndPromptTwice() {
        for (int start = 1; start <= 30; ++start) {
            if (start == 1 || start == 26)
                env->dialogs.answerMessage(MsgAnswer::Yes);
            frmMain::Load(QString());
            unloadHub();
            QVERIFY2(env->dialogs.allAnswersUsed(), qPrintable(QString::number(start)));
            if (start > 1)
                continue;
            RegEdit reg;
            reg.KeyPath = SettingsKey();
            QStringList names;
            for (const RegValue& value : reg.GetValues())
                names << value.name;
            names.sort();
            QCOMPARE(names.join(u' '),
                     u"CompressionLevel LaunchOE RememberLocations SchedulerDisable TimesRun"_s);
            QCOMPARE(setting("CompressionLevel") + setting("TimesRun"), u"11"_s);
            QCOMPARE(CompressionLevelSetting, qint16(1));
        }
        QCOMPARE(env->dialogs.calls.size(), 2);
        QCOMPARE(env->dialogs.calls[0].title, u"Stowline 1.0"_s);
        QCOMPARE(env->dialogs.calls[1].text,
                 u"Would you like to send your Stowline comments or feature requests\rto Velmora?"_s);
        QCOMPARE(env->shell.opened,
                 (QStringList{VendorWebHost() + u"/help_and_support/stowline10/identities/index.htm"_s,
                              u"mailto:Velmora Support<"_s + SupportMailAddress()}));
        QCOMPARE(setting("TimesRun"), u"50"_s);
    }

    // Shown while the last restore's journal is kept; it puts back what that restore added.
    void undoLastRestore() {
        const QString added = env->path(u"home/added.txt"_s);
        QVERIFY(restoreJournal().begin());
        restoreJournal().keepFiles(env->path(u"home"_s), {u"added.txt"_s});
        test::writeFile(added, "restored");
        restoreJournal().finish();
        frmMain& hub = startHub(*env);
        LinkEntry* undo = entry(hub, "lblUndoRestore");
        QVERIFY(undo->isVisibleTo(&hub));
        env->dialogs.answerMessage(MsgAnswer::Yes);
        env->dialogs.answerMessage(MsgAnswer::OK);
        undo->click();
        QVERIFY(!QFile::exists(added));
        QCOMPARE(env->dialogs.calls.last().text, Str(1315));
        QVERIFY(!undo->isVisibleTo(&hub));
    }

    // Tab walks the entries in reading order, each named as it reads; Return on a web entry opens its
    // page and turns it purple, and without a browser the address is shown instead.
    void entriesByKeyboard() {
        frmMain& hub = startHub(*env);
        const QStringList order = u"lblBackup lblRestore lblSchedule lblAdvanced "
                                  u"lblExportMail lblUploadMail lblBrowseArchive "
                                  u"lblWebsite lblHelp lblProgram"_s.split(u' ');
        QWidget* current = hub.findChild<QWidget*>(order.first());
        for (qsizetype i = 1; i < order.size(); ++i) {
            current = current->nextInFocusChain();
            // "Undo last restore" is hidden while there is no restore to undo.
            while (current->focusPolicy() == Qt::NoFocus || !current->isVisibleTo(&hub))
                current = current->nextInFocusChain();
            QCOMPARE(current->objectName(), order[i]);
            QCOMPARE(current->accessibleName(), qobject_cast<QPushButton*>(current)->text());
            if (i < order.indexOf(u"lblWebsite"_s))
                continue;
            QVERIFY(entry(hub, qPrintable(order[i]))->color() != frmMain::visitedColor());
            QTest::keyClick(current, Qt::Key_Return);
            QCOMPARE(entry(hub, qPrintable(order[i]))->color(), frmMain::visitedColor());
        }
        const QString host = VendorWebHost();
        QCOMPARE(env->shell.opened,
                 (QStringList{host + u"/index.htm"_s, host + u"/help_and_support/stowline10/index.htm"_s,
                              host + u"/updates/stowline/10375/index.htm"_s}));
        env->shell.handled = false;
        env->dialogs.answerMessage(MsgAnswer::OK);
        QTest::keyClick(entry(hub, "lblWebsite"), Qt::Key_Return);
        QVERIFY(env->dialogs.calls.last().text.endsWith(u"\r\r"_s + host + u"/index.htm"_s));
    }

    void backupEntryAsksWhereToSave() {
        frmMain& hub = startHub(*env);
        env->dialogs.answerFile(QString()); // cancelled
        entry(hub, "lblBackup")->click();
        const DialogCall& save = env->dialogs.calls.last();
        QCOMPARE(save.kind, DialogCall::SaveFile);
        QCOMPARE(save.request.proposedName, u"Backup 2026-12-05"_s);
        QCOMPARE(save.request.initialFolder, env->path(u"home/Documents"_s));
        QVERIFY(hub.isEnabled());
        QCOMPARE(entry(hub, "lblBackup")->color(), frmMain::visitedColor());

        env->dialogs.answerFile(env->path(u"out/.stw"_s));
        env->dialogs.answerMessage(MsgAnswer::OK);
        entry(hub, "lblBackup")->click();
        QCOMPARE(env->dialogs.calls.last().title + u": "_s + env->dialogs.calls.last().text,
                 u"Stowline error: Please enter a valid filename!"_s);
        QVERIFY(hub.isEnabled());

        QDir().mkpath(env->path(u"home/Favorites"_s)); // something to back up
        env->dialogs.answerFile(env->path(u"out/Mine.stw"_s));
        entry(hub, "lblBackup")->click();
        QCOMPARE(qobject_cast<frmBK_Choice*>(forms::find(u"frmBK_Choice"_s))->job().archivePath,
                 env->path(u"out/Mine.stw"_s));
        QCOMPARE(setting("RememberLocationDir"), env->path(u"out"_s));
        QVERIFY(!hub.isEnabled() && forms::find(u"frmBK_Choice"_s)->isVisible());
    }

    void rememberedFolderIsStoredThenUsed() {
        frmMain& hub = startHub(*env);
        RememberLocationsSetting = 1;
        env->dialogs.answerFile(QString());
        entry(hub, "lblRestore")->click();
        QCOMPARE(env->dialogs.calls.last().request.initialFolder, QString());
        QCOMPARE(setting("RememberLocationDir"), env->path(u"home/Documents"_s));
        env->dialogs.answerFile(QString());
        entry(hub, "lblBackup")->click();
        QCOMPARE(env->dialogs.calls.last().request.initialFolder, env->path(u"home/Documents"_s));
    }

    void restoreEntryChecksTheArchive_data() {
        QTest::addColumn<QString>("comment"); // "-": no archive at all
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << u"-"_s << u"The archive you selected does not exist!"_s;
        QTest::newRow("four chars")
            << u"1111"_s << u"The file you selected does not seem to be a valid Stowline archive."_s;
        QTest::newRow("any three") << u"1x1"_s << QString();
    }
    void restoreEntryChecksTheArchive() {
        QFETCH(QString, comment);
        QFETCH(QString, message);
        frmMain& hub = startHub(*env);
        const QString archive = env->path(u"saved/My backup.stw"_s);
        QDir().mkpath(env->path(u"saved"_s));
        if (comment != u"-")
            test::writeFile(archive, test::emptyArchive(comment.toLatin1()));
        env->dialogs.answerFile(archive);
        if (!message.isEmpty())
            env->dialogs.answerMessage(MsgAnswer::OK);
        entry(hub, "lblRestore")->click();
        QCOMPARE(setting("RememberLocationDir"), env->path(u"saved"_s));
        QCOMPARE(hub.isEnabled(), !message.isEmpty());
        QCOMPARE(forms::find(u"frmRS_Choice"_s) != nullptr, message.isEmpty());
        if (message.isEmpty())
            QCOMPARE(RestoreChoicePage()->job().archiveItems, comment);
        else
            QCOMPARE(env->dialogs.calls.last().text, message);
    }

    void scheduleKeepsHubEnabledAdvancedDisablesIt() {
        frmMain& hub = startHub(*env);
        auto* status = hub.findChild<QLabel*>(u"lblStatus"_s);
        QCOMPARE(status->text(), u"No backup yet"_s);
        QVERIFY(!status->styleSheet().contains(u"#1d5e20"_s)); // nothing yet is no success
        entry(hub, "lblSchedule")->click();
        QWidget* schedulePage = forms::find(u"frmSchedule1"_s);
        QVERIFY(schedulePage->isVisible() && hub.isEnabled());
        // A schedule set while neither a user systemd nor crontab runs it: the line says so on close.
        WriteSetting(regAccess(), u"Schedule"_s, u"2"_s);
        schedulePage->close();
        QVERIFY2(status->text().contains(u"Not scheduled"_s), qPrintable(status->text()));
        QVERIFY(status->styleSheet().contains(u"#a11a1a"_s));
        frmMain_Enabled();
        entry(hub, "lblAdvanced")->click();
        QWidget* options = forms::find(u"frmAdvancedOptions"_s);
        QVERIFY(options->isVisible() && !hub.isEnabled());
        // Titled, wholly on the screen, and Escape leaves it as its title bar's close does.
        QVERIFY(!options->windowTitle().trimmed().isEmpty());
        QVERIFY(options->screen()->availableGeometry().contains(options->frameGeometry()));
        QTest::keyClick(options, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(hub.isEnabled() && !forms::find(u"frmAdvancedOptions"_s));
    }
};

QTEST_MAIN(HubTest)
#include "HubTest.moc"
