#include "archive/ZipComment.h"
#include "archive/ZipDecrypt.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/RegEdit.h"
#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modCLSID.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/RegistryStore.h"
#include "sample/SampleProfile.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/ListLines.h"
#include "tests/support/TestEnvironment.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"
#include "ui/frmRS_Plan.h"

#include <QBuffer>
#include <QCheckBox>
#include <QListView>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;
using platform::MsgAnswer;

namespace {

const QString kMain = u"{11111111-2222-3333-4444-555555555555}"_s;
const QString kOther = u"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}"_s;
const QString kNoIdentity = u"{00000000-0000-0000-0000-000000000000}"_s;
const QString kIam = u"Software\\Microsoft\\Internet Account Manager"_s;
const QString kWab = u"Software\\Microsoft\\WAB\\WAB4"_s;

QByteArray zipBytes(const ZipMembers& members) {
    QTemporaryFile file;
    return file.open() ? writeZip(file.fileName(), members) : QByteArray();
}

QString regString(const QString& text) {
    return u'"' + QString(text).replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s) + u'"';
}

// A REGEDIT4 body for an identity: its key with "Username" and its "Store Root".
QString identityReg(const QString& id, const QString& name, const QString& storeRoot) {
    const QString key = u"[HKEY_CURRENT_USER\\Identities\\"_s + id;
    return key + u"]\r\n\"Username\"="_s + regString(name) + u"\r\n\r\n"_s + key +
           u"\\Software\\Microsoft\\Outlook Express\\5.0]\r\n\"Store Root\"="_s + regString(storeRoot) +
           u"\r\n\r\n"_s;
}

QString addressBookReg(const QString& wabFile) {
    return u"[HKEY_CURRENT_USER\\"_s + kWab + u"]\r\n\r\n[HKEY_CURRENT_USER\\"_s + kWab +
           u"\\Wab File Name]\r\n@="_s + regString(wabFile) + u"\r\n\r\n"_s;
}

// A backup archive put together member by member, as a hostile or foreign writer could. Registry
// text is the body of a REGEDIT4 file; an identity's store holds Inbox.dbx.
class ArchiveBuilder {
public:
    ArchiveBuilder& identity(const QString& id, const QString& name, const QString& regBody) {
        m_flags[0] = u'1';
        m_index += (u'"' + name + u"\",\""_s + id + u"\"\r\n"_s).toUtf8();
        return member(id + u"/ident_key.reg"_s, (u"REGEDIT4\r\n\r\n"_s + regBody).toUtf8())
            .member(id + u"/ident_data.zip"_s, zipBytes({{u"Inbox.dbx"_s, "mail"}}));
    }
    ArchiveBuilder& favorites(const ZipMembers& files) {
        m_flags[1] = u'1';
        return member(u"ief/ief_data.zip"_s, zipBytes(files));
    }
    ArchiveBuilder& addressBook(const QString& regBody, const ZipMembers& files) {
        m_flags[2] = u'1';
        return member(u"wab/wab_key.reg"_s, (u"REGEDIT4\r\n\r\n"_s + regBody).toUtf8())
            .member(u"wab/wab_data.zip"_s, zipBytes(files));
    }
    ArchiveBuilder& member(const QString& name, const QByteArray& content) {
        m_members << qMakePair(name, content);
        return *this;
    }
    // Writes the archive with the item flags of what was added.
    QString write(const QString& path) const {
        ZipMembers all = m_members;
        all << qMakePair(u"stowline_version.txt"_s, QByteArray("1,0,375\r\n"));
        if (m_flags[0] == u'1')
            all << qMakePair(u"ident.idx"_s, m_index);
        writeZip(path, all, m_flags.toLatin1());
        return path;
    }

private:
    ZipMembers m_members;
    QByteArray m_index;
    QString m_flags = u"000"_s;
};

bool keyExists(const QString& key) {
    return platform::registry().keyExists(platform::Hive::CurrentUser, key);
}

QString readRegText(const QString& key, const QString& valueName) {
    const auto value = platform::registry().value(platform::Hive::CurrentUser, key, valueName);
    return value ? QString::fromUtf8(value->data) : QString();
}

QString accountsOwner() {
    RegEdit& reg = regAccess();
    reg.KeyPath = kIam + u"\\Accounts"_s;
    reg.ValueName = u"AssociatedID"_s;
    reg.ReadValue();
    return GetCLSID(reg.Value.toString());
}

// A key below HKEY_CURRENT_USER as REGEDIT4 text; both hives when keyName is "".
QByteArray exportKey(const QString& keyName) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    exportRegistry(platform::registry(), out,
                   keyName.isEmpty() ? QString() : u"HKEY_CURRENT_USER\\"_s + keyName,
                   RegFileFormat::Regedit4);
    return out.data();
}

template <class Page> Page* shownPage() {
    const QString name = QString::fromLatin1(Page::staticMetaObject.className()).section(u"::"_s, -1);
    auto* page = qobject_cast<Page*>(forms::find(name));
    return page && page->isVisible() ? page : nullptr;
}
QPushButton& button(QWidget* page, const char* name) {
    return *page->findChild<QPushButton*>(QString::fromLatin1(name));
}

frmRS_Choice* openRestoreWizard(const QString& archive) {
    auto job = std::make_shared<RestoreJob>();
    job->archivePath = archive;
    job->archiveItems = ReadArchiveComment(archive);
    ShowPage(forms::get<frmRS_Choice>(u"frmRS_Choice"_s, std::move(job)));
    return shownPage<frmRS_Choice>();
}

// Walks the Restore Wizard through its real pages with every item: the identity lines to check,
// add instead of replace; opened as the hub opens it (the passphrase asked for an encrypted archive)
// or straight on its first page. Returns false when the first page did not show.
bool walkRestoreWizard(const QString& archive, const QList<int>& identityLines = {},
                       bool addFavorites = false, bool asTheHubOpensIt = false) {
    if (asTheHubOpensIt && !OpenRestoreWizard(archive, Str(txtArchiveMissing), txtCoreNotAnArchive))
        return false;
    frmRS_Choice* choice = asTheHubOpensIt ? shownPage<frmRS_Choice>() : openRestoreWizard(archive);
    if (!choice)
        return false;
    button(choice, "cmdNext").click();
    if (auto* identities = shownPage<frmRS_Identity>()) {
        for (int line : identityLines)
            setLineChecked(identities->list(), line, true);
        button(identities, "cmdNext").click();
    }
    if (auto* favorites = shownPage<frmRS_IEF>()) {
        if (addFavorites)
            favorites->addOption().click();
        button(favorites, "cmdNext").click();
    }
    if (auto* plan = shownPage<frmRS_Plan>())
        button(plan, "cmdNext").click();
    return waitForRunEnd();
}

// Qt's file dialog reads the first bytes of every file it lists to tell its type, and so opens
// and closes the registry store's files in this process.
void listLikeAFileDialog(const QString& folder) {
    const QMimeDatabase types;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        (void)types.mimeTypeForFile(entry, QMimeDatabase::MatchContent);
}

// REGEDIT4 text, one line a line, without the keys dropKey names (by their "[...]" line) and the
// values that start as one of dropValues does, with their continued lines.
QString exportWithout(const QByteArray& exported, const std::function<bool(const QString&)>& dropKey,
                      const QStringList& dropValues = {}) {
    QStringList kept;
    bool continuing = false;
    bool inDroppedKey = false;
    for (const QString& line : QString::fromUtf8(exported).split(u"\r\n"_s)) {
        if (line.startsWith(u'['))
            inDroppedKey = dropKey(line);
        if (continuing || std::any_of(dropValues.begin(), dropValues.end(),
                                      [&](const QString& start) { return line.startsWith(start); }))
            continuing = line.endsWith(u'\\');
        else if (!inDroppedKey)
            kept << line;
    }
    return kept.join(u'\n');
}

// An export without the values a restore rewrites by design and without the keys it does not copy
// (the third level below the accounts), so that what is left must match exactly.
QString withoutRewrites(const QByteArray& exported) {
    return exportWithout(exported, [](const QString& key) { return key.endsWith(u"\\Newsgroups]"_s); },
                         {u"\"Store Root\"="_s, u"\"AssociatedID\"="_s, u"@="_s});
}

// Both hives without the program's own settings key.
QString registryOutsideSettings() {
    const QString settings = u"[HKEY_CURRENT_USER\\"_s + SettingsKey();
    return exportWithout(exportKey(QString()), [&](const QString& key) {
        return settings.startsWith(key.chopped(1), Qt::CaseInsensitive) ||
               key.startsWith(settings, Qt::CaseInsensitive);
    });
}

} // namespace

class RestoreTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    QString path(const QString& relative) const { return m_env->path(relative); }
    QString favorites() const { return path(u"home/Favorites"_s); }
    QString store() const { return path(u"stores/deep/main"_s); }
    // Title and text of a dialog shown, "" when there was none.
    QString shown(int call) const {
        const QList<DialogCall>& calls = m_env->dialogs.calls;
        return calls.size() > call ? calls[call].title + u" / "_s + calls[call].text : QString();
    }
    // The message that a location cannot be used, answered with the folder picked next.
    void answerLocation(const QString& folder) {
        m_env->dialogs.answerMessage(MsgAnswer::OK);
        m_env->dialogs.answerFolder(folder);
    }
    QString mainReg(const QString& storeRoot, const QString& extra = {}) const {
        return identityReg(kMain, u"Main Identity"_s, storeRoot) + extra;
    }
    QString identityArchive(const QString& storeRoot, const QString& extraReg = {}) {
        return ArchiveBuilder()
            .identity(kMain, u"Main Identity"_s, mainReg(storeRoot, extraReg))
            .write(path(u"identity.stw"_s));
    }
    // Identities with their stores, favorites and an address book; any item flags as the comment.
    QString wizardArchive(int identities, const QString& flags) {
        ArchiveBuilder builder;
        for (int i = 0; i < identities; ++i) {
            const QString id = i ? kOther : kMain, name = u"Identity %1"_s.arg(i + 1);
            builder.identity(id, name, identityReg(id, name, path(u"stores/%1"_s.arg(i))));
        }
        const QString file = builder.favorites({{u"f.url"_s, "f"}})
                                 .addressBook(addressBookReg(path(u"wab/Main.wab"_s)), {{u"Main.wab"_s, "w"}})
                                 .write(path(u"a.stw"_s));
        WriteArchiveComment(file, flags.toUtf8());
        return file;
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        QDir().mkpath(favorites());
    }
    void cleanup() {
        QVERIFY(m_env->dialogs.allAnswersUsed());
        forms::unload(u"frmError"_s);
        m_env.reset();
    }

    void firstPage_data() {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<bool>("favoritesFolder");
        QTest::addColumn<QString>("enabledAndNext"); // one character per box, then Next's caption
        QTest::newRow("everything") << "111" << true << "111&Next >>";
        QTest::newRow("address book only") << "001" << true << "001&Restore";
        QTest::newRow("favorites folder missing") << "110" << false << "100&Next >>";
        QTest::newRow("only favorites, folder missing") << "010" << false << "";
    }
    void firstPage() {
        QFETCH(QString, flags);
        QFETCH(bool, favoritesFolder);
        QFETCH(QString, enabledAndNext);
        if (!favoritesFolder)
            QDir(favorites()).removeRecursively();
        if (enabledAndNext.isEmpty())
            m_env->dialogs.answerMessage(MsgAnswer::OK);

        frmRS_Choice* page = openRestoreWizard(wizardArchive(1, flags));

        QCOMPARE(!page, enabledAndNext.isEmpty());
        if (!page)
            return;
        for (int i = 0; i < 3; ++i)
            QVERIFY(page->box(i).isEnabled() == (enabledAndNext[i] == u'1') && page->box(i).isChecked());
        QCOMPARE(button(page, "cmdNext").text(), enabledAndNext.mid(3));
    }

    void navigation() {
        frmRS_Choice* first = openRestoreWizard(wizardArchive(2, u"111"_s));
        button(first, "cmdNext").click();
        auto* identities = shownPage<frmRS_Identity>();
        QVERIFY(identities && !first->isVisible());
        QVERIFY(!button(identities, "cmdNext").isEnabled());
        QVERIFY(!QFile::exists(TempDir() + u"stowline"_s));
        setLineChecked(identities->list(), 1, true);
        QVERIFY(button(identities, "cmdNext").isEnabled());
        button(identities, "cmdNext").click();

        auto* favoritesPage = shownPage<frmRS_IEF>();
        QVERIFY(favoritesPage && !identities->isVisible() && favoritesPage->replaceOption().isChecked());
        button(favoritesPage, "cmdBack").click();
        QVERIFY(shownPage<frmRS_Identity>() == identities && first->job().identities.at(1).selected);
        button(identities, "cmdBack").click();
        QVERIFY(shownPage<frmRS_Choice>() == first && !shownPage<frmRS_Identity>());
        button(first, "cmdNext").click(); // the index is read afresh
        identities = shownPage<frmRS_Identity>();
        QVERIFY(identities && !first->job().identities.at(1).selected);

        button(identities, "cmdBack").click();
        first->box(0).setChecked(false);
        button(first, "cmdNext").click();
        button(shownPage<frmRS_IEF>(), "cmdBack").click();
        QVERIFY(shownPage<frmRS_Choice>() == first && !shownPage<frmRS_IEF>());
        // Escape leaves as the title bar's close does: the wizard ends.
        QTest::keyClick(first, Qt::Key_Escape);
        QVERIFY(!forms::find(u"frmRS_Choice"_s));
    }

    // The pages only the restore has, driven by keys alone (the first two are the backup's).
    void keyboard() {
        frmRS_Choice* first = openRestoreWizard(wizardArchive(1, u"111"_s));
        first->box(2).setChecked(false);
        button(first, "cmdNext").click();
        button(shownPage<frmRS_Identity>(), "cmdNext").click(); // a lone identity comes checked
        QVERIFY(QTest::qWaitForWindowActive(shownPage<frmRS_IEF>()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(shownPage<frmRS_IEF>(), Qt::Key_R, Qt::AltModifier);
        // The plan comes first: Back returns to the last choice, Restore runs.
        QTRY_VERIFY(shownPage<frmRS_Plan>());
        QVERIFY(QTest::qWaitForWindowActive(shownPage<frmRS_Plan>()));
        QListWidget& plan = shownPage<frmRS_Plan>()->list();
        QCOMPARE(plan.item(plan.count() - 1)->text(), u"Favorites: add to the Favorites in "_s + favorites());
        QTest::keyClick(shownPage<frmRS_Plan>(), Qt::Key_B, Qt::AltModifier);
        QTRY_VERIFY(shownPage<frmRS_IEF>());
        QTest::keyClick(shownPage<frmRS_IEF>(), Qt::Key_R, Qt::AltModifier);
        QTRY_VERIFY(shownPage<frmRS_Plan>());
        QVERIFY(QTest::qWaitForWindowActive(shownPage<frmRS_Plan>()));
        QTest::keyClick(shownPage<frmRS_Plan>(), Qt::Key_R, Qt::AltModifier);
        QTRY_COMPARE(Progress().status(), u"Restoring: Done!"_s);
        QCOMPARE(readFile(favorites() + u"/f.url"_s), QByteArray("f"));
    }

    void nameClash_data() {
        QTest::addColumn<QString>("existingId");
        QTest::addColumn<QString>("existingName");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("restoredName");
        QTest::newRow("no clash") << kOther << "Someone" << QStringList() << "Main Identity";
        QTest::newRow("trailing blank is another name")
            << kOther << "Main Identity " << QStringList() << "Main Identity";
        // Empty and the machine's own spelling are refused by the box; another spelling of the same
        // letters passes the box but clashes again.
        QTest::newRow("case only") << kOther << "MAIN identity"
                                   << QStringList{u""_s, u"MAIN identity"_s, u"main IDENTITY"_s, u"Main 2"_s}
                                   << "Main 2";
        QTest::newRow("same id: replaced whole, no question")
            << kMain << "Old name" << QStringList() << "Main Identity";
    }
    void nameClash() {
        QFETCH(QString, existingId);
        QFETCH(QString, existingName);
        QFETCH(QStringList, answers);
        QFETCH(QString, restoredName);
        setValue(u"Identities\\"_s + existingId, u"Username"_s, existingName);
        setValue(u"Identities\\"_s + existingId + u"\\Below"_s, u"x"_s, u"y"_s);
        setValue(u"Identities"_s, u"Last User ID"_s, existingId);
        for (const QString& answer : answers)
            m_env->dialogs.answerInput(answer);

        QVERIFY(walkRestoreWizard(identityArchive(path(u"stores/main"_s)), {0}));

        if (!answers.isEmpty())
            QCOMPARE(shown(0), u"Duplicate identity name / The following Outlook Express identity name is "_s
                               u"already in use on your system:\r\r\""_s +
                                   existingName + u"\"\r\rPlease enter a different name for the identity:"_s);
        QCOMPARE(readRegText(u"Identities\\"_s + kMain, u"Username"_s), restoredName);
        if (existingId != kMain)
            QCOMPARE(readRegText(u"Identities\\"_s + kOther, u"Username"_s), existingName);
        QCOMPARE(keyExists(u"Identities\\"_s + existingId + u"\\Below"_s), existingId != kMain);
        QCOMPARE(readRegText(u"Identities"_s, u"Last Username"_s), QString());
        QCOMPARE(readRegText(u"Identities"_s, u"Last User ID"_s), kNoIdentity);
    }

    void storeLocation_data() {
        QTest::addColumn<QString>("storeRoot"); // "~" stands for the test's own folder
        QTest::addColumn<bool>("moved");
        QTest::newRow("drive that does not exist here") << "D:\\Mail" << true;
        // Under /proc nothing can be written, should the check ever let it through.
        QTest::newRow("system folder") << "/proc/stowline-mail" << true;
        QTest::newRow("system folder through a link") << "~/link/stowline" << true;
        QTest::newRow("drive not ready") << "~/removable/Mail" << true;
        QTest::newRow("empty") << "" << true;
        // Places an archive may name but a store never is: the person picks another.
        QTest::newRow("a file in the way") << "~/file/Mail" << true;
        QTest::newRow("hidden folder") << "~/home/.ssh" << true;
        QTest::newRow("hidden folder through a link") << "~/ssh-link" << true;
        QTest::newRow("the home folder itself") << "~/home/" << true;
        QTest::newRow("usable, created") << "~/stores/deep/main" << false;
    }
    void storeLocation() {
        QFETCH(QString, storeRoot);
        QFETCH(bool, moved);
        storeRoot.replace(u'~', m_env->root());
        QVERIFY(QFile::link(u"/etc"_s, path(u"link"_s)));
        QVERIFY(QDir().mkpath(path(u"home/.ssh"_s)) &&
                QFile::link(path(u"home/.ssh"_s), path(u"ssh-link"_s)));
        writeFile(path(u"file"_s), "not a folder");
        DrivesDouble drives;
        drives.declare(u"/removable"_s, {path(u"removable"_s)}).ready = false;
        const QString picked = path(u"picked/Main"_s);
        if (moved) {
            answerLocation(QString());
            answerLocation(picked);
        }
        QVERIFY(walkRestoreWizard(identityArchive(storeRoot), {0}));

        const QString target = moved ? picked : storeRoot;
        QCOMPARE(readRegText(u"Identities\\"_s + kMain + u"\\Software\\Microsoft\\Outlook Express\\5.0"_s,
                             u"Store Root"_s),
                 target);
        QCOMPARE(readFile(target + u"/Inbox.dbx"_s), QByteArray("mail"));
        if (!moved)
            return;
        QCOMPARE(shown(0), u"Outlook Express data storage location error / Stowline cannot restore the "_s
                           u"Outlook Express identity: Main Identity\r\rThe location is not available: "_s +
                               (storeRoot.isEmpty() ? u"(no folder recorded in the archive)"_s : storeRoot) +
                               u"\r\rIn the next dialog you can select the location where you want your "_s
                               u"data restored.");
    }

    // An identity whose registry file records no store folder is planned into the one before it,
    // where the run puts it.
    void identityWithoutFolderFollowsThePreviousOne() {
        const QString second =
            u"[HKEY_CURRENT_USER\\Identities\\"_s + kOther + u"]\r\n\"Username\"=\"Second\"\r\n"_s;
        const QString archive = ArchiveBuilder()
                                    .identity(kMain, u"Main Identity"_s, mainReg(store()))
                                    .identity(kOther, u"Second"_s, second)
                                    .write(path(u"two.stw"_s));
        button(openRestoreWizard(archive), "cmdNext").click();
        for (int line : {0, 1})
            setLineChecked(shownPage<frmRS_Identity>()->list(), line, true);
        button(shownPage<frmRS_Identity>(), "cmdNext").click();
        QVERIFY(shownPage<frmRS_Plan>());
        const QString folderLine = u"message store folder: "_s + store();
        QCOMPARE(shownPage<frmRS_Plan>()->list().item(3)->text(), folderLine);
        QVERIFY2(shownPage<frmRS_Plan>()->list().item(5)->text().startsWith(folderLine),
                 qPrintable(shownPage<frmRS_Plan>()->list().item(5)->text()));
    }

    void accounts_data() {
        QTest::addColumn<QString>("owner"); // "" no AssociatedID
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("earlierKept");
        QTest::newRow("no owner: copied beside") << "" << true << true;
        QTest::newRow("owned by the restored identity: rebuilt") << kMain << true << false;
        QTest::newRow("owned by another identity: kept apart") << kOther << false << true;
    }
    void accounts() {
        QFETCH(QString, owner);
        QFETCH(bool, copied);
        QFETCH(bool, earlierKept);
        const QString accounts = kIam + u"\\Accounts"_s;
        setValue(accounts + u"\\00000009"_s, u"Account Name"_s, u"Earlier"_s);
        if (!owner.isEmpty())
            setValue(accounts, u"AssociatedID"_s, CLSID(owner), 3);
        // The item's own key in another letter case is still its own.
        const QString ownAccounts = u"[hkey_current_user\\identities\\"_s + kMain + u'\\' + accounts +
                                    u"\\00000001]\r\n\"Account Name\"=\"Restored\"\r\n"_s;
        QVERIFY(walkRestoreWizard(identityArchive(path(u"stores/main"_s), ownAccounts), {0}));

        QCOMPARE(keyExists(accounts + u"\\00000001"_s), copied);
        QCOMPARE(keyExists(u"Identities\\"_s + kMain + u'\\' + kIam), !copied);
        QCOMPARE(keyExists(accounts + u"\\00000009"_s), earlierKept);
        QCOMPARE(accountsOwner(), copied ? kMain : kOther);
    }

    void favoritesReplace_data() {
        QTest::addColumn<bool>("add");
        QTest::addColumn<int>("answer"); // -1 no question
        QTest::addColumn<QStringList>("after");
        const QStringList old{u"Links/x.url"_s, u"b.url"_s, u"c.url"_s};
        QTest::newRow("replace, No") << false << int(MsgAnswer::No) << old;
        QTest::newRow("replace, Yes")
            << false << int(MsgAnswer::Yes) << old + QStringList{u"Links/y.url"_s, u"new.url"_s};
        QTest::newRow("add") << true << -1 << old + QStringList{u"Links/y.url"_s, u"a.url"_s, u"new.url"_s};
    }
    void favoritesReplace() {
        QFETCH(bool, add);
        QFETCH(int, answer);
        QFETCH(QStringList, after);
        for (const char* name : {"a.url", "b.url", "c.url", "Links/x.url"})
            writeFile(favorites() + u'/' + QString::fromLatin1(name), "old");
        QFile::setPermissions(favorites() + u"/b.url"_s, QFile::ReadOwner | QFile::ReadGroup);
        if (answer >= 0)
            m_env->dialogs.answerMessage(MsgAnswer(answer));
        const QString archive = ArchiveBuilder()
                                    .favorites({{u"new.url"_s, "new"}, {u"Links/y.url"_s, "y"}})
                                    .write(path(u"favorites.stw"_s));

        QVERIFY(walkRestoreWizard(archive, {}, add));

        after.sort();
        QCOMPARE(hashesOfFolder(favorites()).keys(), after);
    }

    void addressBookLocation_data() {
        QTest::addColumn<QString>("recorded"); // "~" stands for the test's own folder
        QTest::addColumn<QString>("picked");   // "" the recorded place is used
        QTest::newRow("missing drive, folder picked") << u"D:\\WAB\\Main.wab"_s << u"~/books"_s;
        QTest::newRow("picked folder ending in a slash") << u"D:\\WAB\\Main.wab"_s << u"~/books/"_s;
        QTest::newRow("the home folder itself") << u"~/home/Main.wab"_s << u"~/books"_s;
        QTest::newRow("usable, parents created") << u"~/a/b/c/Main.wab"_s << QString();
    }
    void addressBookLocation() {
        QFETCH(QString, recorded);
        QFETCH(QString, picked);
        recorded.replace(u'~', m_env->root());
        picked.replace(u'~', m_env->root());
        const QString expected = picked.isEmpty() ? recorded : QDir::cleanPath(picked) + u"/Main.wab"_s;
        if (!picked.isEmpty())
            answerLocation(picked);
        // Dots inside a member name do not make it reach out.
        const QString archive =
            ArchiveBuilder()
                .addressBook(addressBookReg(recorded),
                             {{u"Main.wab"_s, "wab"}, {u"Main.wa~"_s, "~"}, {u"a..b/c.txt"_s, "c"}})
                .write(path(u"wab.stw"_s));

        QVERIFY(walkRestoreWizard(archive));

        QCOMPARE(readRegText(kWab + u"\\Wab File Name"_s, QString()), expected);
        QCOMPARE(readFile(expected), QByteArray("wab"));
        QVERIFY(QFile::exists(expected.chopped(1) + u'~'));
        if (!picked.isEmpty())
            QCOMPARE(shown(0),
                     u"Windows Address Book restore location error / Stowline cannot restore the "_s
                     u"Windows Address Book to the location:\r\r"_s +
                         recorded +
                         u"\r\rIn the next dialog you can select the location where you want your "_s
                         u"data restored.");
    }

    void plantedTemporaryFolderStopsTheRestore_data() {
        QTest::addColumn<bool>("withIdentity"); // refused on the identity page, else when the run starts
        QTest::newRow("identity page") << true;
        QTest::newRow("run") << false;
    }
    void plantedTemporaryFolderStopsTheRestore() {
        QFETCH(bool, withIdentity);
        writeFile(favorites() + u"/mine.url"_s, "mine");
        ArchiveBuilder builder;
        if (withIdentity)
            builder.identity(kMain, u"Main Identity"_s, mainReg(store()));
        const QString archive = builder.favorites({{u"new.url"_s, "new"}}).write(path(u"a.stw"_s));
        const QString root = TempDir().chopped(1);
        QFile::link(favorites(), root);
        const QByteArray before = exportKey(QString());
        m_env->dialogs.answerMessage(MsgAnswer::OK);

        QVERIFY(walkRestoreWizard(archive, {0}));

        QVERIFY2(shown(0).contains(u'\r' + root + u'\r'), qPrintable(shown(0)));
        QCOMPARE(hashesOfFolder(favorites()).keys(), QStringList{u"mine.url"_s});
        QCOMPARE(exportKey(QString()), before);
        QVERIFY(QFileInfo(root).isSymLink());
        if (!withIdentity)
            QCOMPARE(Progress().status(), u"Nothing was restored."_s);
    }

    void backupRestoredOntoAnotherProfile_data() {
        QTest::addColumn<QByteArray>("passphrase");
        QTest::newRow("clear") << QByteArray();
        QTest::newRow("encrypted, a wrong passphrase tried first")
            << QByteArray("Tide-Lantern-Quartz-Meadow-42");
    }
    // A backup of the sample profile restored through the wizard onto another profile whose folders
    // live elsewhere: the old profile's drive is gone, so every location is picked anew. Under an
    // umask that opens everything, nobody else can look into the workspace at any point, and nothing
    // restored is more open than it was. Both runs start after a file dialog has listed the folder of
    // the registry store, and every registry step goes through the real regedit tool. Encrypted, the
    // wizard asks for the passphrase until it fits, once.
    void backupRestoredOntoAnotherProfile() {
        QFETCH(QByteArray, passphrase);
        const fixtures::Profile old = fixtures::buildProfile(path(u"old"_s), fixtures::sampleProfileSpec());
        QMap<QString, QByteArray> exports;
        QMap<QString, QMap<QString, QByteArray>> stores; // identity name -> files
        for (const fixtures::IdentitySpec& identity : old.description().identities) {
            exports[identity.id] = exportKey(u"Identities\\"_s + identity.id);
            stores[identity.name] = hashesOfFolder(old.storeOf(identity));
        }
        exports[kIam] = exportKey(kIam);
        exports[kWab] = exportKey(kWab);

        const QString archive = path(u"archives/Backup.stw"_s);
        const UmaskForTest openUmask(0);
        QStringList open;
        int looks = 0;
        QTimer watch; // looks into the workspace every millisecond while a run goes on in the worker
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!QFileInfo::exists(TempDir() + u"stowline"_s))
                return;
            ++looks;
            open << openToOthers(TempDir() + u"stowline"_s);
        });
        watch.start(1);
        const QString registryBefore = registryOutsideSettings();
        listLikeAFileDialog(QFileInfo(m_env->registryFile()).path());
        BackupJob job{archive, {}, u"111"_s, passphrase}; // every identity and item, as the wizard does
        QVERIFY(Identity_Check(job.identities) && IEF_Check() && WAB_Check());
        job.identities.selectAll(true);
        RunAndWait(Progress(), [&](RunContext& run) { WizardBackup(job, run); });
        frmMain_Enabled();
        QCOMPARE(registryOutsideSettings(), registryBefore);
        const int backupLooks = std::exchange(looks, 0);

        const QString fresh = path(u"new"_s);
        QDir().mkpath(fresh + u"/Favorites"_s);
        qputenv("STOWLINE_REGISTRY", (fresh + u"/registry.db"_s).toUtf8());
        platform::reopenRegistry();
        setValue(u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"_s, u"Favorites"_s,
                 QString(fresh + u"/Favorites"_s));
        listLikeAFileDialog(fresh);
        ForgetArchivePassphrases(); // as in a later session
        if (!passphrase.isEmpty()) {
            m_env->dialogs.answerInput(u"Tide-Lantern-Quartz-Meadow-43"_s);
            m_env->dialogs.answerMessage(MsgAnswer::OK); // wrong passphrase
            m_env->dialogs.answerInput(QString::fromUtf8(passphrase));
        }
        DrivesDouble drives;
        drives.declare(u"OLD:"_s, {old.root()}).exists = false;
        for (const QString& folder : {u"Mail/1"_s, u"Mail/2"_s, u"Mail/3"_s, u"Address Book"_s})
            answerLocation(fresh + u'/' + folder);

        QVERIFY(walkRestoreWizard(archive, {0, 1, 2}, false, true));
        if (!passphrase.isEmpty())
            QCOMPARE(shown(1), u"Stowline 1.0 / "_s + archive + u" cannot be opened: wrong passphrase."_s);

        QCOMPARE(Progress().status(), u"Restoring: Done!"_s);
        for (const fixtures::IdentitySpec& identity : old.description().identities) {
            const QString key = u"Identities\\"_s + identity.id;
            QCOMPARE(withoutRewrites(exportKey(key)), withoutRewrites(exports[identity.id]));
            const QString storeRoot =
                readRegText(key + u"\\Software\\Microsoft\\Outlook Express\\5.0"_s, u"Store Root"_s);
            QVERIFY2(storeRoot.startsWith(fresh + u"/Mail/"_s), qPrintable(storeRoot));
            QCOMPARE(hashesOfFolder(storeRoot), stores[identity.name]);
            QCOMPARE(openToOthers(storeRoot, old.storeOf(identity)), QStringList());
        }
        QCOMPARE(withoutRewrites(exportKey(kIam)), withoutRewrites(exports[kIam]));
        QCOMPARE(accountsOwner(), old.description().identities[0].id);
        QCOMPARE(withoutRewrites(exportKey(kWab)), withoutRewrites(exports[kWab]));
        QCOMPARE(readRegText(kWab + u"\\Wab File Name"_s, QString()),
                 fresh + u"/Address Book/Main Identity.wab"_s);
        QCOMPARE(hashesOfFolder(fresh + u"/Address Book"_s), hashesOfFolder(old.addressBookFolder()));
        QCOMPARE(hashesOfFolder(fresh + u"/Favorites"_s), hashesOfFolder(old.favoritesFolder()));
        QCOMPARE(readRegText(u"Identities"_s, u"Start As"_s), kNoIdentity);

        // How often the timer gets its turn depends on the machine's load; one look makes the check count.
        QVERIFY2(backupLooks > 0 && looks > 0, qPrintable(u"%1 %2"_s.arg(backupLooks).arg(looks)));
        open.removeDuplicates();
        QCOMPARE(open, QStringList());
        QCOMPARE(openToOthers(fresh + u"/Address Book"_s, old.addressBookFolder()), QStringList());
        QCOMPARE(openToOthers(fresh + u"/Favorites"_s, old.favoritesFolder()), QStringList());
        for (const QString& store : {m_env->registryFile(), path(u"new/registry.db"_s)})
            QCOMPARE(QFile::permissions(store) & 0x0077, QFileDevice::Permissions());
    }
};

QTEST_MAIN(RestoreTest)
#include "RestoreTest.moc"
