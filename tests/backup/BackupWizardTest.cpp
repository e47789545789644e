#include "archive/ZipText.h"
#include "foundation/RegEdit.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/ListLines.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/frmBK_Choice.h"
#include "ui/frmBK_Identity.h"
#include "ui/frmProgress.h"

#include <QCheckBox>
#include <QDir>
#include <QListView>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using namespace stowline::test;

namespace {

enum Present { Identities = 1, Favorites = 2, AddressBook = 4, All = 7, OneIdentity = 8 };

void profileWith(TestEnvironment& env, int present) {
    const fixtures::Profile profile = buildSampleProfile(env);
    RegEdit reg;
    if (present & OneIdentity)
        for (const fixtures::IdentitySpec& identity : profile.description().identities.mid(1)) {
            reg.KeyPath = u"Identities\\"_s + identity.id;
            reg.DeleteKey();
        }
    reg.KeyPath = u"Identities"_s;
    if (!(present & Identities))
        reg.DeleteKey();
    if (!(present & Favorites))
        QDir(profile.favoritesFolder()).removeRecursively();
    if (!(present & AddressBook))
        QDir(profile.addressBookFolder()).removeRecursively();
}

// Opens the Backup Wizard on an archive path as the hub does.
frmBK_Choice& openBackupWizard(const QString& archivePath) {
    auto job = std::make_shared<BackupJob>();
    job->archivePath = archivePath;
    frmMain_Disabled();
    frmBK_Choice& page = forms::get<frmBK_Choice>(u"frmBK_Choice"_s, std::move(job));
    ShowPage(page);
    return page;
}

QWidget* choicePage() { return forms::find(u"frmBK_Choice"_s); }
frmBK_Identity* identityPage() { return dynamic_cast<frmBK_Identity*>(forms::find(u"frmBK_Identity"_s)); }

QPushButton& button(QWidget* page, const char* name) {
    return *page->findChild<QPushButton*>(QString::fromLatin1(name));
}

// The widgets Tab reaches, starting at first, once round the window.
QList<QWidget*> tabOrder(QWidget* first) {
    QList<QWidget*> order{first};
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            order << w;
    return order;
}

// The items present, the boxes clicked in turn, the boxes enabled (empty: nothing found, the wizard
// ends at once), the Next button's caption ("": disabled).
using ChoiceRow = std::tuple<int, QList<int>, QList<bool>, QString>;

} // namespace

class BackupWizardTest : public QObject {
    Q_OBJECT
private slots:
    void choicePageFollowsTheBoxes_data() {
        QTest::addColumn<ChoiceRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << ChoiceRow{v...}; };

        const QList<bool> all{true, true, true};
        const QString next = u"&Next >>"_s;
        const QString backup = u"Ba&ckup"_s;
        row("all items", int(All), QList<int>{}, all, next);
        row("one identity", int(All | OneIdentity), QList<int>{}, all, next);
        row("identities cleared", int(All), QList<int>{0}, all, backup);
        row("all cleared", int(All), QList<int>{0, 1, 2}, all, QString());
        row("favorites checked again", int(All), QList<int>{0, 1, 2, 1}, all, backup);
        row("address book only", int(AddressBook), QList<int>{}, QList<bool>{false, false, true}, backup);
        row("nothing", 0, QList<int>{}, QList<bool>{}, QString());
    }

    void choicePageFollowsTheBoxes() {
        QFETCH(ChoiceRow, row);
        const auto& [present, clicks, enabled, next] = row;
        TestEnvironment env;
        profileWith(env, present);
        if (enabled.isEmpty())
            env.dialogs.answerMessage(platform::MsgAnswer::OK);

        frmBK_Choice& page = openBackupWizard(env.path(u"dest/backup.stw"_s));

        if (enabled.isEmpty()) {
            verifyErrorBox(env, u"No items found to backup."_s);
            QVERIFY(!page.isVisible() && !choicePage());
            return;
        }
        QVERIFY(page.isVisible());
        for (int item : clicks)
            page.box(item).click();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(page.box(i).isEnabled(), enabled[i]);
            QCOMPARE(page.box(i).isChecked(), clicks.count(i) % 2 == 0);
        }
        QCOMPARE(button(&page, "cmdNext").isEnabled(), !next.isEmpty());
        if (!next.isEmpty())
            QCOMPARE(button(&page, "cmdNext").text(), next);
        if (present & OneIdentity) { // a lone identity comes ticked
            button(&page, "cmdNext").click();
            QCOMPARE(checkedLines(identityPage()->list()), QStringList{u"Main Identity"_s});
            return;
        }
        button(&page, "cmdBack").click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!choicePage());
    }

    // The keyboard alone drives the backup: every control is named by its caption without the access
    // key marker and Tab follows the layout. The run works beside the windows: the progress window hears
    // of every step in the order the run took them, and the window thread handles its events meanwhile.
    void backupThroughTheWindows() {
        TestEnvironment env;
        const fixtures::Profile profile = buildSampleProfile(env);
        const QString before = exportWholeRegistry();
        const QString destination = env.path(u"backups/Backup 2026-12-05.stw"_s);
        frmBK_Choice& choice = openBackupWizard(destination);
        const QList<QWidget*> choiceOrder{&choice.box(0),
                                          &choice.box(1),
                                          &choice.box(2),
                                          choice.findChild<QCheckBox*>(u"chkEncrypt"_s),
                                          &button(&choice, "cmdBack"),
                                          &button(&choice, "cmdNext")};
        for (QWidget* w : choiceOrder)
            QCOMPARE(w->accessibleName(), qobject_cast<QAbstractButton*>(w)->text().remove(u'&'));
        QCOMPARE(tabOrder(choiceOrder[0]), choiceOrder);
        QVERIFY(QTest::qWaitForWindowActive(&choice));
        // Access keys click with a short animation, hence the waits.
        QTest::keyClick(&choice, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(!choice.box(1).isChecked());
        QTest::keyClick(&choice, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(choice.box(1).isChecked());
        QTest::keyClick(&choice, Qt::Key_N, Qt::AltModifier);

        QTRY_VERIFY(identityPage());
        frmBK_Identity* page = identityPage();
        QListView& lines = page->list();
        QCOMPARE(lines.accessibleName(), u"Outlook Express Identities"_s);
        QCOMPARE(tabOrder(&lines),
                 (QList<QWidget*>{&lines, &button(page, "cmdBack"), &button(page, "cmdNext")}));
        QVERIFY(QTest::qWaitForWindowActive(page));
        QCOMPARE(QApplication::focusWidget(), &lines);
        QTest::keyClick(&lines, Qt::Key_Space); // the first line
        setLineChecked(lines, 1, true);         // the last one left out
        QList<fixtures::IdentitySpec> chosen;
        QStringList expected;
        for (const QString& name : checkedLines(lines)) {
            chosen << identityNamed(profile, name);
            expected << u"Compressing: Identity "_s + name;
        }
        QCOMPARE(chosen.size(), lines.model()->rowCount() - 1);
        expected << u"Compressing: Internet Explorer Favorites"_s << u"Compressing: Windows Address Book"_s;
        frmProgress& window = Progress();
        QStringList statuses;
        int updates = 0;
        int lastBar = -1; // the whole-run bar within one status: it only grows
        bool barsInOrder = true;
        int ticks = 0;
        QList<int> ticksAtStatus;
        connect(&window, &frmProgress::statusChanged, this, [&](const QString& text) {
            statuses << text;
            ticksAtStatus << ticks;
            lastBar = -1;
            ++updates;
        });
        connect(&window, &frmProgress::fileLineChanged, this, [&] { ++updates; });
        connect(window.findChild<QProgressBar*>(u"ProgressBar1"_s), &QProgressBar::valueChanged, this,
                [&](int value) {
                    barsInOrder = barsInOrder && value >= lastBar;
                    lastBar = value;
                    ++updates;
                });
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(1);

        QTest::keyClick(page, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!statuses.isEmpty());
        QVERIFY(waitForRunEnd());
        ticker.stop();

        QVERIFY2(updates >= 20, qPrintable(QString::number(updates)));
        QCOMPARE(statuses.mid(0, expected.size()), expected);
        QVERIFY(statuses.last().endsWith(u"Done!"_s));
        QVERIFY(barsInOrder);
        // Timer events were handled while the run went on, not only once it had ended; how fast the
        // window answers is measured in bench/, never asserted here.
        QVERIFY(ticksAtStatus.last() > ticksAtStatus.first());
        QVERIFY(window.closeButton().isEnabled());

        // The archive as a zip reader that is not ours sees it.
        const ForeignZipView view = readWithPython(destination);
        QVERIFY(view.intact);
        QCOMPARE(view.comment, u"111"_s);
        QStringList expectedMembers = {
            u"stowline_version.txt"_s, u"windows_version.txt"_s, u"ident.idx"_s,
            u"ief/ief_data.zip"_s,     u"wab/wab_key.reg"_s,     u"wab/wab_data.zip"_s};
        QString expectedIndex;
        for (const fixtures::IdentitySpec& identity : chosen) {
            expectedMembers << identity.id + u"/ident_key.reg"_s << identity.id + u"/ident_data.zip"_s;
            expectedIndex += u'"' + identity.name + u"\",\""_s + identity.id + u"\"\r\n"_s;
        }
        expectedMembers.sort();
        QCOMPARE(view.members.keys(), expectedMembers);
        QCOMPARE(readFile(view.file(u"windows_version.txt"_s)), QByteArray("4,10,1\r\n"));
        QCOMPARE(DecodeArchiveText(readFile(view.file(u"ident.idx"_s))), expectedIndex);

        // What the inner archives and registry files hold is checked by restoring them (restore-wizard).
        QCOMPARE(readWithPython(view.file(u"ief/ief_data.zip"_s)).members,
                 hashesOfFolder(profile.favoritesFolder()));

        // The registry is as it was.
        QCOMPARE(exportWholeRegistry(), before);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY(!forms::find(u"frmProgress"_s));
        QVERIFY(!choicePage() && !identityPage());
    }

    // "Encrypt the archive" ticked: the passphrase Stowline made is shown once (with no keyring here to
    // keep it, the person is told so), 7-Zip opens the archive with it and with nothing else, and the
    // summary says the archive is encrypted.
    void encryptedThroughTheWizard() {
        TestEnvironment env;
        buildSampleProfile(env);
        const QString destination = env.path(u"backups/Private.stw"_s);
        frmBK_Choice& choice = openBackupWizard(destination);
        choice.findChild<QCheckBox*>(u"chkEncrypt"_s)->setChecked(true);
        button(&choice, "cmdNext").click();
        QTRY_VERIFY(identityPage());
        setLineChecked(identityPage()->list(), 0, true);
        env.dialogs.answerMessage(platform::MsgAnswer::Yes);
        env.dialogs.answerMessage(platform::MsgAnswer::OK);
        button(identityPage(), "cmdNext").click();
        QVERIFY(waitForRunEnd());

        QCOMPARE(env.dialogs.calls.size(), 2);
        QCOMPARE(env.dialogs.calls[1].text,
                 u"The desktop keyring did not keep the passphrase. Scheduled "_s
                 u"backups need a key file instead: name it in Advanced options."_s);
        const QString passphrase = env.dialogs.calls[0].text.section(u'\r', 2, 2).trimmed();
        QCOMPARE(passphrase.size(), 29); // six groups of four
        const auto sevenZipTest = [&](const QString& tried) {
            return QProcess::execute(u"7zz"_s,
                                     {u"t"_s, u"-bso0"_s, u"-bse0"_s, u"-p"_s + tried, destination});
        };
        QCOMPARE(sevenZipTest(passphrase), 0);
        QVERIFY(sevenZipTest(passphrase.chopped(1) + u'X') != 0);
        QVERIFY2(Progress().summary().contains(u"Encrypted: AES-256; it opens only with its passphrase."_s),
                 qPrintable(Progress().summary()));
        forms::unload(u"frmProgress"_s);
    }
};

QTEST_MAIN(BackupWizardTest)
#include "BackupWizardTest.moc"
