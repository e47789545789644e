#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "scheduler/frmSchedule1.h"
#include "scheduler/frmSchedule2.h"
#include "scheduler/frmSchedule3.h"
#include "tests/support/TestEnvironment.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWindow>
#include <memory>

using namespace stowline;
using stowline::test::TestEnvironment;

namespace {

const QStringList scheduleValues{QStringLiteral("Schedule"), QStringLiteral("Delete"),
                                 QStringLiteral("Items"), QStringLiteral("Filename"),
                                 QStringLiteral("Pathname")};

void store(const QString& name, const QString& value) {
    WriteSetting(regAccess(), name, value);
}
std::optional<QString> stored(const QString& name) {
    return ReadSetting(regAccess(), name);
}

QWidget* loaded(const char* name) {
    return forms::find(QString::fromLatin1(name));
}

template <class T> T& child(QWidget* window, const char* name) {
    T* found = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found)
        qFatal("no control %s", name);
    return *found;
}

void click(QWidget* window, const char* button) {
    QTest::mouseClick(&child<QPushButton>(window, button), Qt::LeftButton);
}

// Pending unloads are deferred deletes; let them happen.
void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QWidget* openWizard() {
    frmSchedule1& page = forms::get<frmSchedule1>(QStringLiteral("frmSchedule1"));
    ShowPage(page);
    return &page;
}

QWidget* goToPage3() {
    click(openWizard(), "cmdNext");
    click(loaded("frmSchedule2"), "cmdNext");
    return loaded("frmSchedule3");
}

QStringList storedScheduleValues() {
    QStringList found;
    for (const QString& name : scheduleValues)
        if (stored(name))
            found << name;
    return found;
}

} // namespace

class tst_ScheduleWizard : public QObject {
    Q_OBJECT
private slots:
    void init() {
        env = std::make_unique<TestEnvironment>();
        EnsureSettingsKey(regAccess());
    }
    void cleanup() {
        settle();
        const bool answersUsed = env->dialogs.allAnswersUsed();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    void cleanProfileStartsAtDefaults();
    void storedValuesAreShown();
    void unusableStoredCodesKeepDefault_data();
    void unusableStoredCodesKeepDefault();
    void cancelledSaveDialogWritesNothing();
    void finishStoresFiveValues_data();
    void finishStoresFiveValues();
    void noBoxCheckedDisablesNext();
    void backRereadsLeftPageButKeepsEarlierChoice();
    void backOnFirstPageEndsWithoutWriting();
    void titleBarCloseEndsOnlyTheScheduleWizard();

private:
    std::unique_ptr<TestEnvironment> env;
};

void tst_ScheduleWizard::cleanProfileStartsAtDefaults() {
    QWidget* page1 = openWizard();
    QCOMPARE(child<QLabel>(page1, "lblTitle").text(), QStringLiteral("Schedule Backup Wizard"));
    QCOMPARE(child<QGroupBox>(page1, "frmSchedule").title(), QStringLiteral("Create a new backup"));
    QCOMPARE(child<QSlider>(page1, "sldSchedule").value(), 2);
    QCOMPARE(child<QLabel>(page1, "lbl1").text(), QStringLiteral("Everytime I run the scheduler"));
    QCOMPARE(child<QLabel>(page1, "lbl5").text(), QStringLiteral("Every month"));
    QCOMPARE(child<QPushButton>(page1, "cmdBack").accessibleName(), QStringLiteral("<< Back"));

    click(page1, "cmdNext");
    QWidget* page2 = loaded("frmSchedule2");
    QVERIFY(page2 && page2->isVisible());
    QVERIFY(!page1->isVisible());
    QCOMPARE(child<QGroupBox>(page2, "frmDelete").title(), QStringLiteral("Delete existing backups"));
    QCOMPARE(child<QSlider>(page2, "sldDelete").value(), 3);
    QCOMPARE(child<QLabel>(page2, "lbl3").text(), QStringLiteral("Three days or older"));

    click(page2, "cmdNext");
    QWidget* page3 = loaded("frmSchedule3");
    QVERIFY(page3 && page3->isVisible());
    for (const char* box : {"chk0", "chk1", "chk2"})
        QVERIFY(child<QCheckBox>(page3, box).isChecked());
    QCOMPARE(child<QCheckBox>(page3, "chk2").accessibleName(), QStringLiteral("Windows Address Book"));
    QVERIFY(child<QPushButton>(page3, "cmdNext").isEnabled());

    env->dialogs.answerFile(QString());
    click(page3, "cmdNext");
    const platform::FileDialogRequest request = env->dialogs.calls.constLast().request;
    QCOMPARE(request.title, QStringLiteral("Save backup archive as:"));
    QCOMPARE(request.filter, QStringLiteral("Stowline archive|*.stw"));
    QCOMPARE(request.proposedName, QString());
    QCOMPARE(request.initialFolder, QString());
}

void tst_ScheduleWizard::storedValuesAreShown() {
    store(QStringLiteral("Schedule"), QStringLiteral("4"));
    store(QStringLiteral("Delete"), QStringLiteral("5"));
    store(QStringLiteral("Items"), QStringLiteral("010"));
    store(QStringLiteral("Filename"), QStringLiteral("Mail"));
    store(QStringLiteral("Pathname"), QStringLiteral("/srv/backups"));
    QWidget* page1 = openWizard();
    QCOMPARE(child<QSlider>(page1, "sldSchedule").value(), 4);
    click(page1, "cmdNext");
    QCOMPARE(child<QSlider>(loaded("frmSchedule2"), "sldDelete").value(), 5);
    click(loaded("frmSchedule2"), "cmdNext");
    QWidget* page3 = loaded("frmSchedule3");
    QVERIFY(!child<QCheckBox>(page3, "chk0").isChecked());
    QVERIFY(child<QCheckBox>(page3, "chk1").isChecked());
    QVERIFY(!child<QCheckBox>(page3, "chk2").isChecked());

    env->dialogs.answerFile(QString());
    click(page3, "cmdNext");
    QCOMPARE(env->dialogs.calls.constLast().request.proposedName, QStringLiteral("Mail"));
    QCOMPARE(env->dialogs.calls.constLast().request.initialFolder, QStringLiteral("/srv/backups"));
}

void tst_ScheduleWizard::unusableStoredCodesKeepDefault_data() {
    QTest::addColumn<QString>("code");
    QTest::newRow("zero") << "0";
    QTest::newRow("above range") << "6";
    QTest::newRow("negative") << "-1";
    QTest::newRow("not a number") << "weekly";
    QTest::newRow("empty") << "";
}

void tst_ScheduleWizard::unusableStoredCodesKeepDefault() {
    QFETCH(QString, code);
    store(QStringLiteral("Schedule"), code);
    QCOMPARE(child<QSlider>(openWizard(), "sldSchedule").value(), 2);
    QVERIFY(!loaded("frmError"));
}

void tst_ScheduleWizard::cancelledSaveDialogWritesNothing() {
    QWidget* page1 = openWizard();
    child<QSlider>(page1, "sldSchedule").setValue(5);
    click(page1, "cmdNext");
    child<QSlider>(loaded("frmSchedule2"), "sldDelete").setValue(1);
    click(loaded("frmSchedule2"), "cmdNext");
    QCOMPARE(storedScheduleValues(), QStringList());

    env->dialogs.answerFile(QString());
    click(loaded("frmSchedule3"), "cmdNext");
    settle();
    QCOMPARE(storedScheduleValues(), QStringList());
    QVERIFY(loaded("frmSchedule3") && loaded("frmSchedule3")->isVisible());
}

void tst_ScheduleWizard::finishStoresFiveValues_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "/srv/backups/Mail.stw"
                           << "Mail"
                           << "/srv/backups";
    QTest::newRow("dotted stem") << "/srv/backups/My.Mail.stw"
                                 << "My.Mail"
                                 << "/srv/backups";
    QTest::newRow("dated name") << "/srv/backups/Mail 2001-03-15.stw"
                                << "Mail 2001-03-15"
                                << "/srv/backups";
    QTest::newRow("other extension") << "/srv/backups/Mail.zip"
                                     << "Mail"
                                     << "/srv/backups";
    QTest::newRow("spaces in folder") << "/home/me/My Backups/Mail.stw"
                                      << "Mail"
                                      << "/home/me/My Backups";
    QTest::newRow("root folder") << "/Mail.stw"
                                 << "Mail"
                                 << "/";
}

void tst_ScheduleWizard::finishStoresFiveValues() {
    QFETCH(QString, chosen);
    QFETCH(QString, stem);
    QFETCH(QString, folder);
    QWidget* page1 = openWizard();
    child<QSlider>(page1, "sldSchedule").setValue(5);
    click(page1, "cmdNext");
    child<QSlider>(loaded("frmSchedule2"), "sldDelete").setValue(1);
    click(loaded("frmSchedule2"), "cmdNext");
    QWidget* page3 = loaded("frmSchedule3");
    child<QCheckBox>(page3, "chk1").click();

    env->dialogs.answerFile(chosen);
    click(page3, "cmdNext");
    settle();
    QCOMPARE(stored(QStringLiteral("Schedule")), QStringLiteral("5"));
    QCOMPARE(stored(QStringLiteral("Delete")), QStringLiteral("1"));
    QCOMPARE(stored(QStringLiteral("Items")), QStringLiteral("101"));
    QCOMPARE(stored(QStringLiteral("Filename")), stem);
    QCOMPARE(stored(QStringLiteral("Pathname")), folder);
    for (const char* page : {"frmSchedule1", "frmSchedule2", "frmSchedule3"})
        QVERIFY2(!loaded(page), page);
}

void tst_ScheduleWizard::noBoxCheckedDisablesNext() {
    QWidget* page3 = goToPage3();
    QPushButton& next = child<QPushButton>(page3, "cmdNext");
    for (const char* box : {"chk0", "chk1", "chk2"})
        child<QCheckBox>(page3, box).click();
    QVERIFY(!next.isEnabled());
    child<QCheckBox>(page3, "chk1").click();
    QVERIFY(next.isEnabled());

    click(page3, "cmdBack");
    settle();
    store(QStringLiteral("Items"), QStringLiteral("000"));
    click(loaded("frmSchedule2"), "cmdNext");
    QVERIFY(!child<QPushButton>(loaded("frmSchedule3"), "cmdNext").isEnabled());
}

void tst_ScheduleWizard::backRereadsLeftPageButKeepsEarlierChoice() {
    store(QStringLiteral("Items"), QStringLiteral("110"));
    store(QStringLiteral("Delete"), QStringLiteral("4"));
    QWidget* page1 = openWizard();
    child<QSlider>(page1, "sldSchedule").setValue(3);
    click(page1, "cmdNext");
    child<QSlider>(loaded("frmSchedule2"), "sldDelete").setValue(2);
    click(loaded("frmSchedule2"), "cmdNext");
    QWidget* page3 = loaded("frmSchedule3");
    child<QCheckBox>(page3, "chk0").click();

    click(page3, "cmdBack");
    settle();
    QVERIFY(!loaded("frmSchedule3"));
    QVERIFY(loaded("frmSchedule2")->isVisible());
    click(loaded("frmSchedule2"), "cmdNext");
    QVERIFY(child<QCheckBox>(loaded("frmSchedule3"), "chk0").isChecked());
    QVERIFY(!child<QCheckBox>(loaded("frmSchedule3"), "chk2").isChecked());

    click(loaded("frmSchedule3"), "cmdBack");
    click(loaded("frmSchedule2"), "cmdBack");
    settle();
    QVERIFY(!loaded("frmSchedule2"));
    QVERIFY(page1->isVisible());
    QCOMPARE(child<QSlider>(page1, "sldSchedule").value(), 3);
    click(page1, "cmdNext");
    QCOMPARE(child<QSlider>(loaded("frmSchedule2"), "sldDelete").value(), 4);
}

void tst_ScheduleWizard::backOnFirstPageEndsWithoutWriting() {
    QWidget* page1 = openWizard();
    child<QSlider>(page1, "sldSchedule").setValue(1);
    click(page1, "cmdBack");
    settle();
    QVERIFY(!loaded("frmSchedule1"));
    QCOMPARE(storedScheduleValues(), QStringList());
}

void tst_ScheduleWizard::titleBarCloseEndsOnlyTheScheduleWizard() {
    // A backup flow started from the hub while the schedule wizard stays open.
    auto* otherFlow = new QWidget;
    forms::add(QStringLiteral("frmBK_Choice"), otherFlow);
    otherFlow->show();
    QWidget* page1 = openWizard();
    click(page1, "cmdNext");
    QWidget* page2 = loaded("frmSchedule2");
    QVERIFY(page2->windowHandle());
    page2->windowHandle()->close();
    settle();
    QVERIFY(!loaded("frmSchedule1"));
    QVERIFY(!loaded("frmSchedule2"));
    QCOMPARE(loaded("frmBK_Choice"), otherFlow);
    QCOMPARE(storedScheduleValues(), QStringList());
}

QTEST_MAIN(tst_ScheduleWizard)
#include "tst_ScheduleWizard.moc"
