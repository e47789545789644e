#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "tests/support/TestEnvironment.h"
#include "ui/WizardPage.h"
#include "ui/frmAdvancedOptions.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWindow>
#include <memory>

using namespace stowline;

namespace {

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }
QString stored(const char* name) {
    return ReadSetting(regAccess(), QString::fromLatin1(name)).value_or(QStringLiteral("<none>"));
}
void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
QWidget* hub() { return forms::find(QStringLiteral("frmMain")); }
QWidget* dialog() { return forms::find(QStringLiteral("frmAdvancedOptions")); }
template <class T> T& child(const char* name) { return *dialog()->findChild<T*>(QString::fromLatin1(name)); }

void openOptions() {
    frmMain_Disabled();
    ShowPage(forms::get<frmAdvancedOptions>(QStringLiteral("frmAdvancedOptions")));
}

void pressOK() {
    QTest::mouseClick(&child<QPushButton>("cmdOK"), Qt::LeftButton);
    settle();
}

} // namespace

class tst_AdvancedOptions : public QObject {
    Q_OBJECT
    std::unique_ptr<test::TestEnvironment> env;

private slots:
    void init() {
        env = std::make_unique<test::TestEnvironment>();
        EnsureSettingsKey(regAccess());
        LoadStartupSettings(regAccess());
        forms::add(QStringLiteral("frmMain"), new QWidget); // the hub, to see the way back
    }
    void cleanup() {
        settle();
        const bool answersUsed = env->dialogs.allAnswersUsed();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    void levelShownAndStored_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("moveTo"); // 0: leave the slider
        QTest::addColumn<bool>("ok");    // false: closed by the title bar
        QTest::addColumn<QString>("after");
        QTest::newRow("default") << "1" << 2 << 0 << true << "1";
        QTest::newRow("9 to none") << "9" << 5 << 1 << true << "0";
        QTest::newRow("0 to fast") << "0" << 1 << 3 << true << "3";
        QTest::newRow("3 to normal") << "3" << 3 << 4 << true << "6";
        QTest::newRow("6 to best") << "6" << 4 << 5 << true << "9";
        QTest::newRow("6 to fastest") << "6" << 4 << 2 << true << "1";
        QTest::newRow("title bar close stores nothing") << "1" << 2 << 5 << false << "1";
        for (const char* level : {"2", "5", "10", "-1", "best"})
            QTest::addRow("%s is not shown", level) << QString::fromLatin1(level) << 2 << 0 << true << "1";
    }
    void levelShownAndStored() {
        QFETCH(QString, before);
        QFETCH(int, shown);
        QFETCH(int, moveTo);
        QFETCH(bool, ok);
        QFETCH(QString, after);
        store(QStringLiteral("CompressionLevel"), before);
        openOptions();
        QVERIFY(!hub()->isEnabled());
        QCOMPARE(child<QSlider>("sldCompression").value(), shown);
        if (moveTo)
            child<QSlider>("sldCompression").setValue(moveTo);
        if (ok) {
            pressOK();
        } else {
            dialog()->windowHandle()->close();
            settle();
        }
        QCOMPARE(stored("CompressionLevel"), after);
        QCOMPARE(CompressionLevelSetting, qint16(after.toInt()));
        QVERIFY(!dialog() && hub()->isEnabled());
    }

    void boxesShownAndStored() {
        store(QStringLiteral("LaunchOE"), QStringLiteral("1"));
        store(QStringLiteral("CustomTemp"), QStringLiteral("1"));
        openOptions();
        QString shown;
        for (const char* box : {"chkOE", "chkLoc", "chkScheduler", "chkTemp"})
            shown += child<QCheckBox>(box).isChecked() ? u'1' : u'0';
        QCOMPARE(shown, QStringLiteral("1001")); // a stored tick asks for no folder
        const qint16 launchBefore = LaunchOESetting;
        child<QCheckBox>("chkLoc").click();
        child<QCheckBox>("chkTemp").click();
        pressOK();
        QCOMPARE(stored("LaunchOE") + stored("RememberLocations") + stored("SchedulerDisable") +
                     stored("CustomTemp"),
                 QStringLiteral("1100"));
        QCOMPARE(RememberLocationsSetting, qint16(1));
        QCOMPARE(LaunchOESetting, launchBefore); // read again at the next start
    }

    void customTempAsksUntilAFolderIsChosen() {
        openOptions();
        const QString folder = env->path(QStringLiteral("scratch"));
        for (const QString& answer : {QString(), QString(), folder})
            env->dialogs.answerFolder(answer);
        child<QCheckBox>("chkTemp").click();
        QCOMPARE(stored("CustomTempFolder"), folder);
        QCOMPARE(stored("CustomTemp"), QStringLiteral("<none>")); // only OK stores the box
        child<QCheckBox>("chkTemp").click();
        pressOK();
        QCOMPARE(stored("CustomTemp") + stored("CustomTempFolder"), QStringLiteral("0") + folder);
    }
};

QTEST_MAIN(tst_AdvancedOptions)
#include "tst_AdvancedOptions.moc"
