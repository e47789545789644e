#include "archive/frmInterface.h"
#include "foundation/RegEdit.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/backup/WizardDriver.h"
#include "ui/frmProgress.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

using namespace stowline;
using namespace stowline::test;

namespace {

enum Present { Identities = 1, Favorites = 2, AddressBook = 4, All = 7 };

void deleteKey(const QString& path) {
    RegEdit reg;
    reg.KeyPath = path;
    reg.DeleteKey();
}

fixtures::Profile profileWith(TestEnvironment& env, int present, int identities = 3) {
    fixtures::Profile profile = buildSampleProfile(env);
    if (!(present & Identities))
        deleteKey(QStringLiteral("Identities"));
    for (int i = identities; i < profile.spec().identities.size(); ++i)
        deleteKey(QStringLiteral("Identities\\") + profile.spec().identities[i].id);
    if (!(present & Favorites))
        QDir(profile.favoritesFolder()).removeRecursively();
    if (!(present & AddressBook))
        deleteKey(QStringLiteral("Software\\Microsoft\\WAB\\WAB4\\Wab File Name"));
    return profile;
}

// The widgets Tab reaches, starting at first, once round the window.
QList<QWidget*> tabOrder(QWidget* first) {
    QList<QWidget*> order{first};
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
    return order;
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

QString destinationIn(TestEnvironment& env) { return env.path(QStringLiteral("dest/backup.stw")); }

} // namespace

class tst_BackupWizard : public QObject {
    Q_OBJECT
private slots:
    void choicePageStates_data();
    void choicePageStates();
    void nextFollowsTheBoxes();
    void uncheckedWithDisabledBoxSavesNothing();
    void singleIdentityIsChecked();
    void backRebuildsTheIdentityList();
    void controlsNamedByTheirCaptions();
    void accessKeysWork();
};

void tst_BackupWizard::choicePageStates_data() {
    QTest::addColumn<int>("present");
    QTest::addColumn<QList<bool>>("enabled");
    QTest::addColumn<QString>("next"); // "" = the wizard ends at once

    QTest::newRow("all items") << int(All) << QList<bool>{true, true, true} << QStringLiteral("&Next >>");
    QTest::newRow("address book only")
        << int(AddressBook) << QList<bool>{false, false, true} << QStringLiteral("Ba&ckup");
    QTest::newRow("nothing") << 0 << QList<bool>{false, false, false} << QString();
}

void tst_BackupWizard::choicePageStates() {
    QFETCH(int, present);
    QFETCH(QList<bool>, enabled);
    QFETCH(QString, next);
    TestEnvironment env;
    profileWith(env, present);
    if (next.isEmpty())
        env.dialogs.answerMessage(platform::MsgAnswer::OK);

    frmBK_Choice& page = openBackupWizard(destinationIn(env));

    if (next.isEmpty()) {
        QCOMPARE(env.dialogs.calls.size(), 1);
        QCOMPARE(env.dialogs.calls[0].text, QStringLiteral("No items found to backup."));
        QCOMPARE(env.dialogs.calls[0].title, QStringLiteral("Stowline error"));
        QCOMPARE(env.dialogs.calls[0].icon, platform::MsgIcon::Critical);
        QVERIFY(!page.isVisible());
        QVERIFY(!choicePage());
        return;
    }
    QVERIFY(page.isVisible());
    QCOMPARE(control<QLabel>(&page, "lblTitle").text(), QStringLiteral("Backup Wizard"));
    QCOMPARE(control<QGroupBox>(&page, "frmItems").title(), QStringLiteral("Check items to backup"));
    for (int i = 0; i < 3; ++i) {
        QCheckBox& box = page.box(i);
        QCOMPARE(box.isEnabled(), enabled[i]);
        QVERIFY(box.isChecked());
    }
    QCOMPARE(control<QPushButton>(&page, "cmdNext").text(), next);
    QVERIFY(control<QPushButton>(&page, "cmdNext").isEnabled());
    QCOMPARE(control<QPushButton>(&page, "cmdBack").text(), QStringLiteral("<< &Back"));
    QVERIFY(env.dialogs.calls.isEmpty());
}

void tst_BackupWizard::nextFollowsTheBoxes() {
    TestEnvironment env;
    profileWith(env, All);
    frmBK_Choice& page = openBackupWizard(destinationIn(env));
    QPushButton& next = control<QPushButton>(&page, "cmdNext");

    page.box(0).click();
    QCOMPARE(next.text(), QStringLiteral("Ba&ckup"));
    page.box(0).click();
    QCOMPARE(next.text(), QStringLiteral("&Next >>"));
    for (int i = 0; i < 3; ++i)
        page.box(i).click();
    QVERIFY(!next.isEnabled());
    page.box(1).click();
    QVERIFY(next.isEnabled());
    QCOMPARE(next.text(), QStringLiteral("Ba&ckup"));

    control<QPushButton>(&page, "cmdBack").click();
    flushDeletes();
    QVERIFY(!choicePage());
}

// A box whose item is missing stays checked, so Next stays enabled with every enabled box cleared;
// the run then collects nothing and the archive says so.
void tst_BackupWizard::uncheckedWithDisabledBoxSavesNothing() {
    TestEnvironment env;
    profileWith(env, AddressBook);
    frmBK_Choice& page = openBackupWizard(destinationIn(env));
    page.box(2).click();
    QPushButton& next = control<QPushButton>(&page, "cmdNext");
    QVERIFY(next.isEnabled());

    next.click();

    const ForeignZipView view = readWithPython(destinationIn(env));
    QCOMPARE(view.comment, QStringLiteral("000"));
    QCOMPARE(view.members.keys(),
             (QStringList{QStringLiteral("stowline_version.txt"), QStringLiteral("windows_version.txt")}));
    QVERIFY(Progress().closeButton().isEnabled());
}

void tst_BackupWizard::singleIdentityIsChecked() {
    TestEnvironment env;
    const fixtures::Profile profile = profileWith(env, Identities, 1);
    frmBK_Choice& choice = openBackupWizard(destinationIn(env));
    control<QPushButton>(&choice, "cmdNext").click();

    frmBK_Identity* page = identityPage();
    QCOMPARE(checkedLines(page->list()), QStringList{QStringLiteral("Main Identity")});
    QVERIFY(control<QPushButton>(page, "cmdNext").isEnabled());
    control<QPushButton>(page, "cmdNext").click();

    const ForeignZipView view = readWithPython(destinationIn(env));
    QCOMPARE(view.comment, QStringLiteral("100"));
    QVERIFY(view.members.contains(profile.spec().identities[0].id + QStringLiteral("/ident_data.zip")));
}

// Check marks drive Next and the hidden marks; checks made before going Back must not count once
// the page is rebuilt without them.
void tst_BackupWizard::backRebuildsTheIdentityList() {
    TestEnvironment env;
    profileWith(env, Identities);
    frmBK_Choice& choice = openBackupWizard(destinationIn(env));
    control<QPushButton>(&choice, "cmdNext").click();
    QVERIFY(!choice.isVisible());
    QListWidget* list = &identityPage()->list();
    QPushButton* next = &control<QPushButton>(identityPage(), "cmdNext");
    QCOMPARE(control<QGroupBox>(identityPage(), "frmIdentities").title(),
             QStringLiteral("Outlook Express Identities"));
    QCOMPARE(
        control<QLabel>(identityPage(), "lblComment").text(),
        QStringLiteral("Stowline found identities on your system. Check the identities you want to backup:"));
    QCOMPARE(next->text(), QStringLiteral("Ba&ckup"));
    QCOMPARE(list->count(), 3);
    QVERIFY(checkedLines(*list).isEmpty() && !next->isEnabled());
    list->item(1)->setCheckState(Qt::Checked);
    QVERIFY(next->isEnabled() && Interface().lstIdentities().item(1)->isSelected());
    list->item(2)->setCheckState(Qt::Checked);
    list->item(2)->setCheckState(Qt::Unchecked);
    QVERIFY(!Interface().lstIdentities().item(2)->isSelected());
    control<QPushButton>(identityPage(), "cmdBack").click();
    flushDeletes();
    QVERIFY(!identityPage() && choice.isVisible());

    control<QPushButton>(&choice, "cmdNext").click();
    list = &identityPage()->list();
    QVERIFY(checkedLines(*list).isEmpty());
    list->item(0)->setCheckState(Qt::Checked);
    list->item(0)->setCheckState(Qt::Unchecked);
    QVERIFY(!control<QPushButton>(identityPage(), "cmdNext").isEnabled());
    list->item(0)->setCheckState(Qt::Checked);
    control<QPushButton>(identityPage(), "cmdNext").click();

    QStringList folders;
    for (const QString& member : readWithPython(destinationIn(env)).members.keys())
        if (member.endsWith(QStringLiteral("/ident_key.reg")))
            folders << member.section(u'/', 0, 0);
    QCOMPARE(folders, QStringList{Interface().lst1().item(0)->text()});
}

// Screen readers and keyboard users: every control is named by its caption without the access
// key marker, and Tab moves through the controls in the order they are laid out.
void tst_BackupWizard::controlsNamedByTheirCaptions() {
    TestEnvironment env;
    profileWith(env, All);
    frmBK_Choice& choice = openBackupWizard(destinationIn(env));
    const QList<QWidget*> choiceOrder{&choice.box(0), &choice.box(1), &choice.box(2),
                                      &control<QPushButton>(&choice, "cmdBack"),
                                      &control<QPushButton>(&choice, "cmdNext")};
    for (QWidget* w : choiceOrder) {
        auto* button = qobject_cast<QAbstractButton*>(w);
        QCOMPARE(w->accessibleName(), plainCaption(button->text()));
        QVERIFY(!w->accessibleName().contains(u'&'));
    }
    QCOMPARE(tabOrder(choiceOrder[0]), choiceOrder);

    control<QPushButton>(&choice, "cmdNext").click();
    frmBK_Identity* page = identityPage();
    QCOMPARE(page->list().accessibleName(), QStringLiteral("Outlook Express Identities"));
    QCOMPARE(control<QPushButton>(page, "cmdNext").accessibleName(), QStringLiteral("Backup"));
    QCOMPARE(control<QPushButton>(page, "cmdBack").accessibleName(), QStringLiteral("<< Back"));
    QCOMPARE(tabOrder(&page->list()), (QList<QWidget*>{&page->list(), &control<QPushButton>(page, "cmdBack"),
                                                       &control<QPushButton>(page, "cmdNext")}));
}

void tst_BackupWizard::accessKeysWork() {
    TestEnvironment env;
    profileWith(env, All);
    frmBK_Choice& choice = openBackupWizard(destinationIn(env));
    QVERIFY(QTest::qWaitForWindowActive(&choice));
    // Access keys click with a short animation, hence the waits.
    QTest::keyClick(&choice, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(!choice.box(1).isChecked());
    QTest::keyClick(&choice, Qt::Key_I, Qt::AltModifier);
    QTRY_VERIFY(!choice.box(0).isChecked());
    QTest::keyClick(&choice, Qt::Key_I, Qt::AltModifier);
    QTRY_VERIFY(choice.box(0).isChecked());
    QTest::keyClick(&choice, Qt::Key_N, Qt::AltModifier);

    QTRY_VERIFY(identityPage());
    frmBK_Identity* page = identityPage();
    QVERIFY(QTest::qWaitForWindowActive(page));
    QCOMPARE(QApplication::focusWidget(), &page->list());
    QTest::keyClick(&page->list(), Qt::Key_Space);
    QCOMPARE(checkedLines(page->list()).size(), 1);
    QTest::keyClick(page, Qt::Key_C, Qt::AltModifier);

    QTRY_VERIFY(QFileInfo::exists(destinationIn(env)));
    QCOMPARE(readWithPython(destinationIn(env)).comment, QStringLiteral("101"));
    frmProgress& progress = Progress();
    QTRY_VERIFY(progress.closeButton().isEnabled());
    QVERIFY(QTest::qWaitForWindowActive(&progress));
    QTest::keyClick(&progress, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(!forms::find(QStringLiteral("frmProgress")));
    QVERIFY(!choicePage());
}

QTEST_MAIN(tst_BackupWizard)
#include "tst_BackupWizard.moc"
