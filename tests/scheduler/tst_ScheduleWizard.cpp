#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "scheduler/frmSchedule1.h"
#include "tests/support/TestEnvironment.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWindow>
#include <memory>

using namespace stowline;

namespace {

void store(const QString& name, const QString& value) { WriteSetting(regAccess(), name, value); }
QString stored(const QString& name) {
    return ReadSetting(regAccess(), name).value_or(QStringLiteral("<none>"));
}
QWidget* page(int n) { return forms::find(QStringLiteral("frmSchedule") + QString::number(n)); }
template <class T> T& child(int n, const char* name) {
    return *page(n)->findChild<T*>(QString::fromLatin1(name));
}
void click(int n, const char* button) { QTest::mouseClick(&child<QPushButton>(n, button), Qt::LeftButton); }
void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void openToPage3() {
    ShowPage(forms::get<frmSchedule1>(QStringLiteral("frmSchedule1")));
    click(1, "cmdNext");
    click(2, "cmdNext");
}

QString storedValues() {
    QStringList values;
    for (const char* name : {"Schedule", "Delete", "Items", "Filename", "Pathname"})
        values << stored(QString::fromLatin1(name));
    return values.join(u'|');
}
const QString nothingStored = QStringLiteral("<none>|<none>|<none>|<none>|<none>");

} // namespace

class tst_ScheduleWizard : public QObject {
    Q_OBJECT
private slots:
    void init() {
        env = std::make_unique<test::TestEnvironment>();
        EnsureSettingsKey(regAccess());
    }
    void cleanup() {
        settle();
        const bool answersUsed = env->dialogs.allAnswersUsed();
        env.reset(); // first: a failed check must not leave the doubles behind
        QVERIFY(answersUsed);
    }

    void pagesStartFromDefaultsOrStoredValues_data();
    void pagesStartFromDefaultsOrStoredValues();
    void nothingWrittenBeforeFinishOrAfterCancel();
    void finishStoresFiveValues_data();
    void finishStoresFiveValues();
    void backRereadsLeftPageButKeepsEarlierChoice();
    void titleBarCloseEndsOnlyTheScheduleWizard();

private:
    std::unique_ptr<test::TestEnvironment> env;
};

void tst_ScheduleWizard::pagesStartFromDefaultsOrStoredValues_data() {
    QTest::addColumn<QString>("stored"); // Schedule|Delete|Items|Filename|Pathname; "" not stored
    QTest::addColumn<QString>("shown");  // slider, slider, boxes, proposed name, initial folder
    QTest::addColumn<bool>("nextEnabled");
    QTest::newRow("clean profile") << "||||"
                                   << "2 3 111  " << true;
    QTest::newRow("stored") << "4|5|010|Mail|/srv"
                            << "4 5 010 Mail /srv" << true;
    QTest::newRow("unusable codes, empty items") << "9|x|||"
                                                 << "2 3 111  " << true;
    QTest::newRow("short items") << "1|1|1||"
                                 << "1 1 100  " << true;
    QTest::newRow("no item") << "2|3|000||"
                             << "2 3 000  " << false;
}

void tst_ScheduleWizard::pagesStartFromDefaultsOrStoredValues() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(bool, nextEnabled);
    const QStringList names = QStringLiteral("Schedule|Delete|Items|Filename|Pathname").split(u'|');
    const QStringList values = stored.split(u'|');
    for (int i = 0; i < names.size(); ++i)
        if (!values[i].isEmpty())
            store(names[i], values[i]);
    openToPage3();
    QString boxes;
    for (const char* box : {"chk0", "chk1", "chk2"})
        boxes += child<QCheckBox>(3, box).isChecked() ? u'1' : u'0';
    QCOMPARE(child<QPushButton>(3, "cmdNext").isEnabled(), nextEnabled);
    if (!nextEnabled)
        child<QCheckBox>(3, "chk1").click();
    env->dialogs.answerFile(QString());
    click(3, "cmdNext");
    const platform::FileDialogRequest request = env->dialogs.calls.constLast().request;
    QCOMPARE(QStringList({QString::number(child<QSlider>(1, "sldSchedule").value()),
                          QString::number(child<QSlider>(2, "sldDelete").value()), boxes,
                          request.proposedName, request.initialFolder})
                 .join(u' '),
             shown);
    QCOMPARE(request.title, QStringLiteral("Save backup archive as:"));
    QCOMPARE(request.filter, QStringLiteral("Stowline archive|*.stw"));
}

void tst_ScheduleWizard::nothingWrittenBeforeFinishOrAfterCancel() {
    ShowPage(forms::get<frmSchedule1>(QStringLiteral("frmSchedule1")));
    child<QSlider>(1, "sldSchedule").setValue(5);
    click(1, "cmdNext");
    click(2, "cmdNext");
    child<QCheckBox>(3, "chk0").click();
    QCOMPARE(storedValues(), nothingStored);
    env->dialogs.answerFile(QString());
    click(3, "cmdNext");
    settle();
    QCOMPARE(storedValues(), nothingStored);
    QVERIFY(page(3)->isVisible());
}

void tst_ScheduleWizard::finishStoresFiveValues_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stemAndFolder");
    QTest::newRow("plain") << "/srv/b/Mail.stw"
                           << "Mail|/srv/b";
    QTest::newRow("dotted stem") << "/srv/b/My.Mail.stw"
                                 << "My.Mail|/srv/b";
    QTest::newRow("dated name") << "/srv/b/Mail 2001-03-15.stw"
                                << "Mail 2001-03-15|/srv/b";
    QTest::newRow("other extension") << "/srv/b/Mail.zip"
                                     << "Mail|/srv/b";
    QTest::newRow("spaces, root") << "/My Mail.stw"
                                  << "My Mail|/";
}

void tst_ScheduleWizard::finishStoresFiveValues() {
    QFETCH(QString, chosen);
    QFETCH(QString, stemAndFolder);
    ShowPage(forms::get<frmSchedule1>(QStringLiteral("frmSchedule1")));
    child<QSlider>(1, "sldSchedule").setValue(5);
    click(1, "cmdNext");
    child<QSlider>(2, "sldDelete").setValue(1);
    click(2, "cmdNext");
    child<QCheckBox>(3, "chk1").click();
    env->dialogs.answerFile(chosen);
    click(3, "cmdNext");
    settle();
    QCOMPARE(storedValues(), QStringLiteral("5|1|101|") + stemAndFolder);
    QVERIFY(!page(1) && !page(2) && !page(3));
}

void tst_ScheduleWizard::backRereadsLeftPageButKeepsEarlierChoice() {
    store(QStringLiteral("Items"), QStringLiteral("110"));
    store(QStringLiteral("Delete"), QStringLiteral("4"));
    openToPage3();
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
    QCOMPARE(storedValues(), QStringLiteral("<none>|4|110|<none>|<none>"));
}

void tst_ScheduleWizard::titleBarCloseEndsOnlyTheScheduleWizard() {
    auto* otherFlow = new QWidget; // a backup flow started from the hub meanwhile
    forms::add(QStringLiteral("frmBK_Choice"), otherFlow);
    openToPage3();
    page(3)->windowHandle()->close();
    settle();
    QVERIFY(!page(1) && !page(2) && !page(3));
    QCOMPARE(forms::find(QStringLiteral("frmBK_Choice")), otherFlow);
    QCOMPARE(storedValues(), nothingStored);
}

QTEST_MAIN(tst_ScheduleWizard)
#include "tst_ScheduleWizard.moc"
