#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "foundation/modSystemPath.h"
#include "scheduler/frmSchedule1.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/frmAdvancedOptions.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWindow>
#include <memory>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;

namespace {

const QStringList kNames = u"Schedule|Delete|Items|Filename|Pathname"_s.split(u'|');

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }
QString stored(const char* name) {
    return ReadSetting(regAccess(), QString::fromLatin1(name)).value_or(u"<none>"_s);
}
QString storedValues() {
    QStringList values;
    for (const QString& name : kNames)
        values << stored(qPrintable(name));
    return values.join(u'|');
}
QWidget* page(int n) { return forms::find(u"frmSchedule"_s + QString::number(n)); }
template <class T> T& child(int n, const char* name) {
    return *page(n)->findChild<T*>(QString::fromLatin1(name));
}
void click(int n, const char* button) { QTest::mouseClick(&child<QPushButton>(n, button), Qt::LeftButton); }
void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QWidget* hub() { return forms::find(u"frmMain"_s); }
QWidget* dialog() { return forms::find(u"frmAdvancedOptions"_s); }
template <class T> T& child(const char* name) { return *dialog()->findChild<T*>(QString::fromLatin1(name)); }

void openOptions() {
    frmMain_Disabled();
    ShowPage(forms::get<frmAdvancedOptions>(u"frmAdvancedOptions"_s));
}

void pressOK() {
    QTest::mouseClick(&child<QPushButton>("cmdOK"), Qt::LeftButton);
    settle();
}

void openToPage3() {
    ShowPage(forms::get<frmSchedule1>(u"frmSchedule1"_s));
    click(1, "cmdNext");
    click(2, "cmdNext");
}

// The stored values (as kNames; "" not stored, "-" stored empty); what the pages show (slider, slider,
// boxes, proposed name, initial folder); the file chosen ("": save dialog cancelled; "close": then the
// title bar); the values stored after (as kNames).
using PagesRow = std::tuple<QString, QString, QString, QString>;
// The stored level, the slider's position shown, where it is moved (0: left), OK (false: closed by the
// title bar), the level stored after.
using LevelRow = std::tuple<QString, int, int, bool, QString>;

} // namespace

// The Schedule Wizard and the Advanced Options dialog: what they show and what they store.
class SettingsFormsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TestEnvironment> env;

private slots:
    void init() {
        env = std::make_unique<test::TestEnvironment>();
        EnsureSettingsKey(regAccess());
        LoadStartupSettings(regAccess());
        forms::add(u"frmMain"_s, new QWidget); // the hub, to see the way back
    }
    void cleanup() {
        settle();
        const bool answersUsed = env->dialogs.allAnswersUsed();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    // The pages start from the stored values or the defaults; only a name chosen in the save dialog
    // stores the schedule (the first page's slider moved to 5), and the rest of the program is left alone.
    void pagesShowAndStoreTheSchedule_data() {
        QTest::addColumn<PagesRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << PagesRow{v...}; };
        row("clean profile, cancelled", u"||||"_s, u"2 3 111  "_s, u""_s,
            u"<none>|<none>|<none>|<none>|<none>"_s);
        row("stored, closed", u"4|5|010|Mail|/srv"_s, u"4 5 010 Mail /srv"_s, u"close"_s,
            u"4|5|010|Mail|/srv"_s);
        row("unusable codes, empty items, dotted stem", u"9|x|-||"_s, u"2 3 111  "_s, u"/srv/b/My.Mail.stw"_s,
            u"5|3|111|My.Mail|/srv/b"_s);
        row("short items, dated name", u"1|1|1||"_s, u"1 1 100  "_s, u"/srv/b/Mail 2001-03-15.stw"_s,
            u"5|1|100|Mail 2001-03-15|/srv/b"_s);
        row("no item: Next off; other extension", u"2|3|000||"_s, u"2 3 000  "_s, u"/srv/b/Mail.zip"_s,
            u"5|3|010|Mail|/srv/b"_s);
        row("spaces, root", u"||||"_s, u"2 3 111  "_s, u"/My Mail.stw"_s, u"5|3|111|My Mail|/"_s);
    }
    void pagesShowAndStoreTheSchedule() {
        QFETCH(PagesRow, row);
        const auto& [stored, shown, chosen, after] = row;
        const QStringList values = stored.split(u'|');
        for (int i = 0; i < kNames.size(); ++i)
            if (!values[i].isEmpty())
                store(kNames[i], values[i] == u"-" ? QString() : values[i]);
        auto* otherFlow = new QWidget; // a backup flow started from the hub meanwhile
        forms::add(u"frmBK_Choice"_s, otherFlow);
        openToPage3();
        QString boxes;
        for (const char* box : {"chk0", "chk1", "chk2"})
            boxes += child<QCheckBox>(3, box).isChecked() ? u'1' : u'0';
        QCOMPARE(child<QPushButton>(3, "cmdNext").isEnabled(), boxes != u"000");
        if (boxes == u"000")
            child<QCheckBox>(3, "chk1").click();
        const QString sliders = u"%1 %2 "_s.arg(child<QSlider>(1, "sldSchedule").value())
                                    .arg(child<QSlider>(2, "sldDelete").value());
        child<QSlider>(1, "sldSchedule").setValue(5);
        const bool saved = chosen.startsWith(u'/');
        env->dialogs.answerFile(saved ? chosen : QString());
        if (saved)
            env->dialogs.answerMessage(platform::MsgAnswer::OK);
        click(3, "cmdNext");
        const platform::FileDialogRequest request = env->dialogs.calls.value(0).request;
        QCOMPARE(request.defaultFolder, SystemPath(CSIDL_PERSONAL)); // never the working directory
        QCOMPARE(sliders + QStringList({boxes, request.proposedName, request.initialFolder}).join(u' '),
                 shown);
        if (chosen == u"close")
            page(3)->windowHandle()->close();
        settle();
        QCOMPARE(storedValues(), after);
        // A stored schedule is put in place as a monthly user timer, and the user is told so.
        QCOMPARE(env->schedulerCalls().contains(u"enable --now stowline-backup.timer"_s), saved);
        if (saved) {
            QVERIFY(test::readFile(env->path(u"xdg-config/systemd/user/stowline-backup.timer"_s))
                        .contains("OnCalendar=monthly"));
            QVERIFY(env->dialogs.calls.last().text.contains(u"stowline-backup.timer"_s));
        }
        if (chosen.isEmpty())
            QVERIFY(page(3)->isVisible());
        else
            QVERIFY(!page(1) && !page(2) && !page(3));
        QCOMPARE(forms::find(u"frmBK_Choice"_s), otherFlow);
    }

    void backRereadsLeftPageButKeepsEarlierChoice() {
        store(u"Items"_s, u"110"_s);
        store(u"Delete"_s, u"4"_s);
        openToPage3();
        // The wizard stays put: each page takes the place and size of the one before.
        QCOMPARE(page(2)->geometry(), page(1)->geometry());
        QCOMPARE(page(3)->geometry(), page(1)->geometry());
        child<QSlider>(1, "sldSchedule").setValue(3);
        child<QSlider>(2, "sldDelete").setValue(2);
        child<QCheckBox>(3, "chk0").click();
        click(3, "cmdBack");
        settle();
        QVERIFY(!page(3) && page(2)->isVisible());
        click(2, "cmdNext");
        QVERIFY(child<QCheckBox>(3, "chk0").isChecked());
        QCOMPARE(child<QSlider>(2, "sldDelete").value(), 2); // hidden, not unloaded
        click(3, "cmdBack");
        click(2, "cmdBack");
        settle();
        QVERIFY(!page(2) && page(1)->isVisible());
        click(1, "cmdNext");
        QCOMPARE(child<QSlider>(1, "sldSchedule").value(), 3);
        QCOMPARE(child<QSlider>(2, "sldDelete").value(), 4);
        click(2, "cmdBack");
        click(1, "cmdBack");
        settle();
        QVERIFY(!page(1) && !page(2));
        QCOMPARE(storedValues(), u"<none>|4|110|<none>|<none>"_s);
    }

    void levelShownAndStored_data() {
        QTest::addColumn<LevelRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << LevelRow{v...}; };
        row("default", u"1"_s, 2, 0, true, u"1"_s);
        row("9 to none", u"9"_s, 5, 1, true, u"0"_s);
        row("0 to fast", u"0"_s, 1, 3, true, u"3"_s);
        row("3 to normal", u"3"_s, 3, 4, true, u"6"_s);
        row("6 to best", u"6"_s, 4, 5, true, u"9"_s);
        row("title bar close stores nothing", u"1"_s, 2, 5, false, u"1"_s);
        for (const char* level : {"2", "5", "10", "-1", "best"})
            QTest::addRow("%s is not shown", level)
                << LevelRow{QString::fromLatin1(level), 2, 0, true, u"1"_s};
    }
    void levelShownAndStored() {
        QFETCH(LevelRow, row);
        const auto& [before, shown, moveTo, ok, after] = row;
        store(u"CompressionLevel"_s, before);
        openOptions();
        QCOMPARE(child<QSlider>("sldCompression").value(), shown);
        if (moveTo)
            child<QSlider>("sldCompression").setValue(moveTo);
        if (ok)
            pressOK();
        else
            dialog()->windowHandle()->close();
        settle();
        QCOMPARE(stored("CompressionLevel"), after);
        QCOMPARE(CompressionLevelSetting, qint16(after.toInt()));
        QVERIFY(!dialog() && hub()->isEnabled());
    }

    // Only OK stores the boxes; the scheduler's box switches the timer of a stored schedule off and on.
    void boxesShownAndStored() {
        store(u"LaunchOE"_s, u"1"_s);
        store(u"CustomTemp"_s, u"1"_s);
        store(u"Schedule"_s, u"4"_s);
        test::writeFile(env->path(u"xdg-config/systemd/user/stowline-backup.timer"_s), "set before");
        openOptions(); // a stored tick asks for no folder
        QString shown;
        for (const char* box : {"chkOE", "chkLoc", "chkScheduler", "chkTemp"})
            shown += child<QCheckBox>(box).isChecked() ? u'1' : u'0';
        QCOMPARE(shown, u"1001"_s);
        const qint16 launchBefore = LaunchOESetting;
        const QString folder = env->path(u"scratch"_s);
        for (const QString& answer : {QString(), QString(), folder})
            env->dialogs.answerFolder(answer);
        child<QCheckBox>("chkTemp").click();
        child<QCheckBox>("chkTemp").click(); // ticked anew: asks until a folder is chosen
        QCOMPARE(stored("CustomTempFolder"), folder);
        child<QCheckBox>("chkTemp").click();
        child<QCheckBox>("chkLoc").click();
        child<QCheckBox>("chkScheduler").click();
        QCOMPARE(stored("CustomTemp") + stored("SchedulerDisable"), u"10"_s);
        pressOK();
        QCOMPARE(stored("LaunchOE") + stored("RememberLocations") + stored("SchedulerDisable") +
                     stored("CustomTemp") + stored("CustomTempFolder"),
                 u"1110"_s + folder);
        QCOMPARE(RememberLocationsSetting, qint16(1));
        QCOMPARE(LaunchOESetting, launchBefore); // read again at the next start
        QVERIFY(env->schedulerCalls().contains(u"systemctl --user disable --now stowline-backup.timer\n"_s));
        openOptions();
        child<QCheckBox>("chkScheduler").click();
        env->dialogs.answerMessage(platform::MsgAnswer::OK);
        pressOK();
        QVERIFY(env->schedulerCalls().contains(u"systemctl --user enable --now stowline-backup.timer\n"_s));
    }
};

QTEST_MAIN(SettingsFormsTest)
#include "SettingsFormsTest.moc"
