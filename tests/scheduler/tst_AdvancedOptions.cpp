#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "tests/support/TestEnvironment.h"
#include "ui/WizardPage.h"
#include "ui/frmAdvancedOptions.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWindow>
#include <memory>

using namespace stowline;
using stowline::test::DialogCall;
using stowline::test::TestEnvironment;

namespace {

void store(const QString& name, const QString& value) {
    WriteSetting(regAccess(), name, value);
}
std::optional<QString> stored(const QString& name) {
    return ReadSetting(regAccess(), name);
}
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <class T> T& child(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return *found;
}

// The hub stands in as a plain window so that the dialog's way back can be seen.
QWidget& loadHub() {
    auto* hub = new QWidget;
    forms::add(QStringLiteral("frmMain"), hub);
    return *hub;
}

frmAdvancedOptions& openOptions() {
    frmMain_Disabled();
    auto& dialog = forms::get<frmAdvancedOptions>(QStringLiteral("frmAdvancedOptions"));
    ShowPage(dialog);
    return dialog;
}

void pressOK(frmAdvancedOptions& dialog) {
    QTest::mouseClick(&child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    settle();
}

} // namespace

class tst_AdvancedOptions : public QObject {
    Q_OBJECT
private slots:
    void init() {
        env = std::make_unique<TestEnvironment>();
        EnsureSettingsKey(regAccess());
        LoadStartupSettings(regAccess());
        loadHub();
    }
    void cleanup() {
        settle();
        const bool answersUsed = env->dialogs.allAnswersUsed();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    void startupDefaultsShowAndStoreUnchanged();
    void storedLevelMovesSlider_data();
    void storedLevelMovesSlider();
    void everyPositionStoresAKnownLevel_data();
    void everyPositionStoresAKnownLevel();
    void storedBoxesAreShownWithoutAskingForAFolder();
    void customTempAsksUntilAFolderIsChosen();
    void clearingCustomTempKeepsTheFolder();
    void titleBarCloseReturnsToHubWithoutStoring();
    void controlsCarryTextsAndAccessibleNames();

private:
    std::unique_ptr<TestEnvironment> env;
};

void tst_AdvancedOptions::startupDefaultsShowAndStoreUnchanged() {
    frmAdvancedOptions& dialog = openOptions();
    QCOMPARE(child<QSlider>(dialog, "sldCompression").value(), 2);
    for (const char* box : {"chkOE", "chkLoc", "chkScheduler", "chkTemp"})
        QVERIFY2(!child<QCheckBox>(dialog, box).isChecked(), box);
    pressOK(dialog);
    QCOMPARE(stored(QStringLiteral("CompressionLevel")), QStringLiteral("1"));
    for (const char* name : {"LaunchOE", "RememberLocations", "SchedulerDisable", "CustomTemp"})
        QCOMPARE(stored(QString::fromLatin1(name)), QStringLiteral("0"));
    QVERIFY(!forms::find(QStringLiteral("frmAdvancedOptions")));
    QVERIFY(forms::find(QStringLiteral("frmMain"))->isEnabled());
}

void tst_AdvancedOptions::storedLevelMovesSlider_data() {
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("position");
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("1") << "1" << 2;
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("6") << "6" << 4;
    QTest::newRow("9") << "9" << 5;
    QTest::newRow("2 is not shown") << "2" << 2;
    QTest::newRow("5 is not shown") << "5" << 2;
    QTest::newRow("10 is not shown") << "10" << 2;
    QTest::newRow("not a number") << "best" << 2;
}

void tst_AdvancedOptions::storedLevelMovesSlider() {
    QFETCH(QString, level);
    QFETCH(int, position);
    store(QStringLiteral("CompressionLevel"), level);
    frmAdvancedOptions& dialog = openOptions();
    QCOMPARE(child<QSlider>(dialog, "sldCompression").value(), position);
    QVERIFY(!forms::find(QStringLiteral("frmError")));
}

void tst_AdvancedOptions::everyPositionStoresAKnownLevel_data() {
    QTest::addColumn<QString>("storedBefore");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("level");
    QTest::newRow("1") << "9" << 1 << "0";
    QTest::newRow("2") << "9" << 2 << "1";
    QTest::newRow("3") << "9" << 3 << "3";
    QTest::newRow("4") << "0" << 4 << "6";
    QTest::newRow("5") << "0" << 5 << "9";
    QTest::newRow("unknown level left as shown") << "4" << 0 << "1";
}

void tst_AdvancedOptions::everyPositionStoresAKnownLevel() {
    QFETCH(QString, storedBefore);
    QFETCH(int, position);
    QFETCH(QString, level);
    store(QStringLiteral("CompressionLevel"), storedBefore);
    RememberLocationsSetting = 0;
    frmAdvancedOptions& dialog = openOptions();
    if (position != 0)
        child<QSlider>(dialog, "sldCompression").setValue(position);
    child<QCheckBox>(dialog, "chkLoc").click();
    pressOK(dialog);
    QCOMPARE(stored(QStringLiteral("CompressionLevel")), level);
    QCOMPARE(CompressionLevelSetting, qint16(level.toInt()));
    QCOMPARE(RememberLocationsSetting, qint16(1));
}

void tst_AdvancedOptions::storedBoxesAreShownWithoutAskingForAFolder() {
    store(QStringLiteral("LaunchOE"), QStringLiteral("1"));
    store(QStringLiteral("SchedulerDisable"), QStringLiteral("1"));
    store(QStringLiteral("CustomTemp"), QStringLiteral("1"));
    frmAdvancedOptions& dialog = openOptions();
    QVERIFY(child<QCheckBox>(dialog, "chkOE").isChecked());
    QVERIFY(!child<QCheckBox>(dialog, "chkLoc").isChecked());
    QVERIFY(child<QCheckBox>(dialog, "chkScheduler").isChecked());
    QVERIFY(child<QCheckBox>(dialog, "chkTemp").isChecked());
    QVERIFY(env->dialogs.calls.isEmpty());
    const qint16 launchBefore = LaunchOESetting;
    pressOK(dialog);
    QCOMPARE(stored(QStringLiteral("LaunchOE")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("SchedulerDisable")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("CustomTemp")), QStringLiteral("1"));
    QCOMPARE(LaunchOESetting, launchBefore); // read again only by the next start
}

void tst_AdvancedOptions::customTempAsksUntilAFolderIsChosen() {
    frmAdvancedOptions& dialog = openOptions();
    const QString folder = env->path(QStringLiteral("scratch"));
    env->dialogs.answerFolder(QString());
    env->dialogs.answerFolder(QString());
    env->dialogs.answerFolder(folder);
    child<QCheckBox>(dialog, "chkTemp").click();
    QCOMPARE(env->dialogs.calls.size(), 3);
    for (const DialogCall& call : env->dialogs.calls)
        QCOMPARE(call.kind, DialogCall::Folder);
    QCOMPARE(stored(QStringLiteral("CustomTempFolder")), folder);
    QVERIFY(!stored(QStringLiteral("CustomTemp"))); // only OK stores the box
}

void tst_AdvancedOptions::clearingCustomTempKeepsTheFolder() {
    frmAdvancedOptions& dialog = openOptions();
    const QString folder = env->path(QStringLiteral("scratch"));
    env->dialogs.answerFolder(folder);
    QCheckBox& box = child<QCheckBox>(dialog, "chkTemp");
    box.click();
    box.click();
    pressOK(dialog);
    QCOMPARE(stored(QStringLiteral("CustomTemp")), QStringLiteral("0"));
    QCOMPARE(stored(QStringLiteral("CustomTempFolder")), folder);
}

void tst_AdvancedOptions::titleBarCloseReturnsToHubWithoutStoring() {
    frmAdvancedOptions& dialog = openOptions();
    QVERIFY(!forms::find(QStringLiteral("frmMain"))->isEnabled());
    child<QSlider>(dialog, "sldCompression").setValue(5);
    QVERIFY(dialog.windowHandle());
    dialog.windowHandle()->close();
    settle();
    QVERIFY(forms::find(QStringLiteral("frmMain"))->isEnabled());
    QVERIFY(!forms::find(QStringLiteral("frmAdvancedOptions")));
    QCOMPARE(stored(QStringLiteral("CompressionLevel")), QStringLiteral("1"));
}

void tst_AdvancedOptions::controlsCarryTextsAndAccessibleNames() {
    frmAdvancedOptions& dialog = openOptions();
    QCOMPARE(child<QLabel>(dialog, "lbl1").text(), QStringLiteral("Advanced configuration options"));
    QCOMPARE(child<QLabel>(dialog, "lbl3").text(), QStringLiteral("Fastest compression (default)"));
    QCOMPARE(child<QLabel>(dialog, "lbl6").text(), QStringLiteral("Best compression"));
    const QList<QPair<const char*, const char*>> boxes{
        {"chkOE", "Launch default mailer after the scheduler has finished"},
        {"chkLoc", "Remember locations in the file open/save dialogs"},
        {"chkScheduler", "Disable the Stowline Scheduler"},
        {"chkTemp", "Use a custom temp folder"}};
    QSet<QChar> accessKeys;
    for (const auto& [name, text] : boxes) {
        QCheckBox& box = child<QCheckBox>(dialog, name);
        QCOMPARE(box.accessibleName(), QString::fromUtf8(text));
        QCOMPARE(plainCaption(box.text()), QString::fromUtf8(text));
        const qsizetype marker = box.text().indexOf(u'&');
        QVERIFY2(marker >= 0, name);
        accessKeys.insert(box.text().at(marker + 1).toLower());
    }
    QCOMPARE(accessKeys.size(), boxes.size());
    QVERIFY(dialog.windowTitle().trimmed().isEmpty());
}

QTEST_MAIN(tst_AdvancedOptions)
#include "tst_AdvancedOptions.moc"
