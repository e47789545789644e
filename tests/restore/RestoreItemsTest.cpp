#include "foundation/RegEdit.h"
#include "foundation/modCLSID.h"
#include "foundation/modGlobal.h"
#include "platform/RegistryStore.h"
#include "tests/restore/RestoreTestSupport.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/TestEnvironment.h"
#include "ui/frmProgress.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
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
const QString kOutlook = u"\\Software\\Microsoft\\Outlook Express\\5.0"_s;

void setText(const QString& key, const QString& name, const QString& text) {
    RegEdit& reg = regAccess();
    reg.KeyPath = key;
    reg.ValueName = name;
    reg.ValueType = 1;
    reg.Value = text;
    reg.WriteValue();
}

void setBinary(const QString& key, const QString& name, const QString& hex) {
    RegEdit& reg = regAccess();
    reg.KeyPath = key;
    reg.ValueName = name;
    reg.ValueType = 3;
    reg.Value = hex;
    reg.WriteValue();
    reg.ValueType = 1;
}

} // namespace

class RestoreItemsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    QString path(const QString& relative) const { return m_env->path(relative); }
    QString favorites() const { return path(u"home/Favorites"_s); }
    const QList<DialogCall>& calls() const { return m_env->dialogs.calls; }

    QString identityArchive(const QString& storeRoot, const QString& extraReg = {}) {
        return ArchiveBuilder()
            .identity(kMain, u"Main Identity"_s, identityReg(kMain, u"Main Identity"_s, storeRoot) + extraReg)
            .write(path(u"identity.stw"_s));
    }

    QString store() const { return path(u"stores/deep/main"_s); }
    QString mainReg(const QString& extra = {}) const {
        return identityReg(kMain, u"Main Identity"_s, store()) + extra;
    }

    QString archiveFor(const QString& kind) {
        ArchiveBuilder archive;
        const QByteArray escapingZip = zipBytes({{u"ok.txt"_s, "ok"}, {u"../../x"_s, "x"}});
        if (kind == u"hklm")
            archive.identity(kMain, u"Main Identity"_s,
                             mainReg(u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"Evil\"\r\n"_s));
        else if (kind == u"other identity")
            archive.identity(kMain, u"Main Identity"_s,
                             mainReg(u"[HKEY_CURRENT_USER\\Identities\\"_s + kOther +
                                     u"]\r\n\"Username\"=\"Taken\"\r\n"_s));
        else if (kind == u"delete identities")
            archive.identity(kMain, u"Main Identity"_s, mainReg(u"[-HKEY_CURRENT_USER\\Identities]\r\n"_s));
        else if (kind == u"store escapes")
            archive.identity(kMain, u"Main Identity"_s, mainReg(), escapingZip);
        else if (kind == u"store damaged")
            archive.identity(kMain, u"Main Identity"_s, mainReg(), QByteArray(3000, 'z'));
        else if (kind == u"archive escapes")
            archive.identity(kMain, u"Main Identity"_s, mainReg()).member(u"../../x"_s, "x");
        else if (kind == u"archive damaged")
            archive.addressBook(addressBookReg(path(u"wab/Main.wab"_s)), {{u"Main.wab"_s, "wab"}});
        else if (kind == u"address book")
            archive.addressBook(addressBookReg(path(u"wab/Main.wab"_s)) +
                                    u"[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]\r\n\"x\"=\"y\"\r\n"_s,
                                {{u"Main.wab"_s, "wab"}});
        else if (kind == u"favorites escape")
            archive.favorites({{u"ok.url"_s, "ok"}, {u"Links/../../x"_s, "x"}});
        const QString file = archive.write(path(u"hostile.stw"_s));
        if (kind == u"archive damaged") {
            QFile damaged(file);
            damaged.open(QIODevice::ReadWrite);
            damaged.write("PK\7\7"); // the first member's header is no longer one
        }
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

    void nameClash_data() {
        QTest::addColumn<QString>("existingName");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("restoredName");
        QTest::newRow("no clash") << "Someone" << QStringList() << "Main Identity";
        QTest::newRow("trailing blank is another name")
            << "Main Identity " << QStringList() << "Main Identity";
        // Empty and the machine's own spelling are refused by the box; another spelling of the same
        // letters passes the box but clashes again.
        QTest::newRow("case only") << "MAIN identity"
                                   << QStringList{u""_s, u"MAIN identity"_s, u"main IDENTITY"_s, u"Main 2"_s}
                                   << "Main 2";
    }
    void nameClash() {
        QFETCH(QString, existingName);
        QFETCH(QStringList, answers);
        QFETCH(QString, restoredName);
        setText(u"Identities\\"_s + kOther, u"Username"_s, existingName);
        setText(u"Identities"_s, u"Last User ID"_s, kOther);
        for (const QString& answer : answers)
            m_env->dialogs.answerInput(answer);

        QVERIFY(walkRestoreWizard(identityArchive(path(u"stores/main"_s)), {{}, {0}}));

        QCOMPARE(calls().size(), answers.size());
        if (!answers.isEmpty()) {
            QCOMPARE(calls().first().title, u"Duplicate identity name"_s);
            QCOMPARE(
                calls().first().text,
                u"The following Outlook Express identity name is already in use on your system:\r\r\""_s +
                    existingName + u"\"\r\rPlease enter a different name for the identity:"_s);
        }
        QCOMPARE(readRegText(u"Identities\\"_s + kMain, u"Username"_s), restoredName);
        QCOMPARE(readRegText(u"Identities\\"_s + kOther, u"Username"_s), existingName);
        QCOMPARE(readRegText(u"Identities"_s, u"Last Username"_s), QString());
        QCOMPARE(readRegText(u"Identities"_s, u"Last User ID"_s), kNoIdentity);
        QCOMPARE(readRegText(u"Identities"_s, u"Start As"_s), kNoIdentity);
        QCOMPARE(readFile(path(u"stores/main/Inbox.dbx"_s)), QByteArray("mail"));
    }

    // A store folder that cannot be made is a failure: the crash window, and nothing more restored.
    void failureEndsTheRun() {
        writeFile(path(u"file"_s), "not a folder");
        const QString archive = ArchiveBuilder()
                                    .identity(kMain, u"Main Identity"_s,
                                              identityReg(kMain, u"Main Identity"_s, path(u"file/Mail"_s)))
                                    .favorites({{u"new.url"_s, "new"}})
                                    .write(path(u"failing.stw"_s));
        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));
        QVERIFY(forms::find(u"frmError"_s));
        QVERIFY(!QFile::exists(favorites() + u"/new.url"_s));
        QVERIFY(QFile::exists(path(u"tmp/stowline/ief/ief_data.zip"_s)));
    }

    void sameIdReplacedWithoutQuestion() {
        setText(u"Identities\\"_s + kMain, u"Username"_s, u"Old name"_s);
        setText(u"Identities\\"_s + kMain + u"\\Stale"_s, u"x"_s, u"y"_s);
        QVERIFY(walkRestoreWizard(identityArchive(path(u"stores/main"_s)), {{}, {0}}));
        QVERIFY(calls().isEmpty());
        QCOMPARE(readRegText(u"Identities\\"_s + kMain, u"Username"_s), u"Main Identity"_s);
        QVERIFY(!platform::registry().keyExists(platform::Hive::CurrentUser,
                                                u"Identities\\"_s + kMain + u"\\Stale"_s));
    }

    void storeLocation_data() {
        QTest::addColumn<QString>("storeRoot"); // "~" stands for the test's own folder
        QTest::addColumn<bool>("moved");
        QTest::newRow("drive that does not exist here") << "D:\\Mail" << true;
        // Under /proc nothing can be written, should the check ever let it through.
        QTest::newRow("system folder") << "/proc/stowline-mail" << true;
        QTest::newRow("drive not ready") << "~/removable/Mail" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("usable, created") << "~/stores/deep/main" << false;
    }
    void storeLocation() {
        QFETCH(QString, storeRoot);
        QFETCH(bool, moved);
        storeRoot.replace(u'~', m_env->root());
        DrivesDouble drives;
        drives.declare(u"/removable"_s, {path(u"removable"_s)}).ready = false;
        const QString picked = path(u"picked/Main"_s);
        if (moved) {
            m_env->dialogs.answerMessage(MsgAnswer::OK);
            m_env->dialogs.answerFolder(QString());
            m_env->dialogs.answerMessage(MsgAnswer::OK);
            m_env->dialogs.answerFolder(picked);
        }
        QVERIFY(walkRestoreWizard(identityArchive(storeRoot), {{}, {0}}));

        const QString target = moved ? picked : storeRoot;
        QCOMPARE(readRegText(u"Identities\\"_s + kMain + kOutlook, u"Store Root"_s), target);
        QCOMPARE(readFile(target + u"/Inbox.dbx"_s), QByteArray("mail"));
        if (!moved) {
            QVERIFY(calls().isEmpty());
            return;
        }
        QCOMPARE(calls().size(), 4);
        QCOMPARE(calls()[0].title, u"Outlook Express data storage location error"_s);
        QCOMPARE(calls()[0].icon, platform::MsgIcon::Information);
        QCOMPARE(calls()[0].text,
                 "Stowline cannot restore the Outlook Express identity: Main Identity\r\r"
                 u"The location is not available: "_s +
                     storeRoot +
                     u"\r\rIn the next dialog you can select the location where you want your "_s
                     "data restored.");
        QCOMPARE(calls()[2].text, u"You must select a location!"_s);
        QCOMPARE(calls()[2].icon, platform::MsgIcon::Exclamation);
        QCOMPARE(calls()[2].title, AppTitle());
    }

    void accounts_data() {
        QTest::addColumn<QString>("owner"); // "" no AssociatedID, "main", "other"
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("earlierKept");
        QTest::newRow("no owner: copied beside") << "" << true << true;
        QTest::newRow("owned by the restored identity: rebuilt") << "main" << true << false;
        QTest::newRow("owned by another identity: kept apart") << "other" << false << true;
    }
    void accounts() {
        QFETCH(QString, owner);
        QFETCH(bool, copied);
        QFETCH(bool, earlierKept);
        const QString accounts = kIam + u"\\Accounts"_s;
        setText(accounts + u"\\00000009"_s, u"Account Name"_s, u"Earlier"_s);
        if (!owner.isEmpty())
            setBinary(accounts, u"AssociatedID"_s, CLSID(owner == u"main" ? kMain : kOther));
        const QString ownAccounts =
            u"[HKEY_CURRENT_USER\\Identities\\"_s + kMain + u'\\' + accounts + u"\\00000001]\r\n"_s;
        QVERIFY(walkRestoreWizard(
            identityArchive(path(u"stores/main"_s), ownAccounts + u"\"Account Name\"=\"Restored\"\r\n"_s),
            {{}, {0}}));

        const auto has = [](const QString& key) {
            return platform::registry().keyExists(platform::Hive::CurrentUser, key);
        };
        QCOMPARE(has(accounts + u"\\00000001"_s), copied);
        QCOMPARE(has(u"Identities\\"_s + kMain + u'\\' + kIam), !copied);
        QCOMPARE(has(accounts + u"\\00000009"_s), earlierKept);
        RegEdit& reg = regAccess();
        reg.KeyPath = accounts;
        reg.ValueName = u"AssociatedID"_s;
        reg.ReadValue();
        QCOMPARE(GetCLSID(reg.Value.toString()), copied ? kMain : kOther);
    }

    void favoritesReplace_data() {
        QTest::addColumn<bool>("add");
        QTest::addColumn<int>("answer"); // -1 no question
        QTest::addColumn<QStringList>("after");
        const QStringList old{u"Links/x.url"_s, u"b.url"_s, u"c.url"_s};
        const QStringList backup{u"Links/y.url"_s, u"new.url"_s};
        QTest::newRow("replace, No") << false << int(MsgAnswer::No) << old;
        QTest::newRow("replace, Yes")
            << false << int(MsgAnswer::Yes)
            << QStringList{u"Links/x.url"_s, u"Links/y.url"_s, u"b.url"_s, u"c.url"_s, u"new.url"_s};
        QTest::newRow("add") << true << -1 << QStringList{u"Links/x.url"_s, u"Links/y.url"_s, u"a.url"_s,
                                                          u"b.url"_s,       u"c.url"_s,       u"new.url"_s};
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

        QVERIFY(walkRestoreWizard(archive, {{}, {}, add}));

        QCOMPARE(folderContents(favorites()).keys(), after);
        if (answer < 0)
            return;
        QCOMPARE(calls().size(), 1);
        QCOMPARE(
            calls()[0].text,
            QStringLiteral(
                "Stowline could not replace your current favorites, would you like to add them instead?"));
        QCOMPARE(calls()[0].title, u"Favorites restore problem"_s);
        QCOMPARE(calls()[0].buttons, platform::MsgButtons::YesNo);
        QCOMPARE(calls()[0].icon, platform::MsgIcon::Question);
    }

    void addressBookLocation_data() {
        QTest::addColumn<QString>("recorded");
        QTest::addColumn<QString>("picked"); // "" the recorded place is used
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing drive, folder picked") << "D:\\WAB\\Main.wab"
                                                      << "~/books"
                                                      << "~/books/Main.wab";
        QTest::newRow("picked folder ending in a slash") << "D:\\WAB\\Main.wab"
                                                         << "~/books/"
                                                         << "~/books/Main.wab";
        QTest::newRow("system folder") << "/proc/wab/Main.wab"
                                       << "~/books"
                                       << "~/books/Main.wab";
        QTest::newRow("usable, parents created") << "~/a/b/c/Main.wab"
                                                 << ""
                                                 << "~/a/b/c/Main.wab";
    }
    void addressBookLocation() {
        QFETCH(QString, recorded);
        QFETCH(QString, picked);
        QFETCH(QString, expected);
        for (QString* text : {&recorded, &picked, &expected})
            text->replace(u'~', m_env->root());
        if (!picked.isEmpty()) {
            m_env->dialogs.answerMessage(MsgAnswer::OK);
            m_env->dialogs.answerFolder(picked);
        }
        const QString archive =
            ArchiveBuilder()
                .addressBook(addressBookReg(recorded), {{u"Main.wab"_s, "wab"}, {u"Main.wa~"_s, "~"}})
                .write(path(u"wab.stw"_s));

        QVERIFY(walkRestoreWizard(archive, {}));

        QCOMPARE(readRegText(u"Software\\Microsoft\\WAB\\WAB4\\Wab File Name"_s, QString()), expected);
        QCOMPARE(WABFilePath, expected);
        QCOMPARE(readFile(expected), QByteArray("wab"));
        QVERIFY(QFile::exists(expected.chopped(1) + u'~'));
        if (!picked.isEmpty()) {
            QCOMPARE(calls()[0].title, u"Windows Address Book restore location error"_s);
            QCOMPARE(calls()[0].text,
                     u"Stowline cannot restore the Windows Address Book to the location:\r\r"_s + recorded +
                         u"\r\rIn the next dialog you can select the location where you want your "_s
                         "data restored.");
        }
    }

    void refusedWhole_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString identity = u"Stowline did not restore the Outlook Express identity: Main Identity"_s;
        const QString backup = u"Stowline did not restore the backup: hostile.stw"_s;
        const QString favorites = u"Stowline did not restore the Internet Explorer Favorites."_s;
        const QString addressBook = u"Stowline did not restore the Windows Address Book."_s;
        const QString key = u"Its registry file in the backup changes a key that does not belong to it:"_s;
        const QString file = u"The backup holds a file that would be written outside the restore folder:"_s;
        const QString damaged = u"A file of it is missing or damaged in the backup:"_s;
        const QString itemKept = u"Nothing of this item was changed."_s;
        const auto message = [](const QString& header, const QString& reason, const QString& detail,
                                const QString& outcome) {
            return QString(header + u"\r\r"_s + reason + u'\r' + detail + u"\r\r"_s + outcome);
        };
        QTest::newRow("identity writes HKLM")
            << u"hklm"_s
            << message(identity, key, u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail"_s, itemKept);
        QTest::newRow("identity writes another identity")
            << u"other identity"_s
            << message(identity, key, QString(u"HKEY_CURRENT_USER\\Identities\\"_s + kOther), itemKept);
        QTest::newRow("identity deletes every identity")
            << u"delete identities"_s
            << message(identity, key, u"-HKEY_CURRENT_USER\\Identities"_s, itemKept);
        QTest::newRow("store member escapes")
            << u"store escapes"_s << message(identity, file, u"../../x"_s, itemKept);
        QTest::newRow("store zip damaged")
            << u"store damaged"_s << message(identity, damaged, u"ident_data.zip"_s, itemKept);
        QTest::newRow("archive member escapes")
            << u"archive escapes"_s << message(backup, file, u"../../x"_s, u"Nothing was restored."_s);
        QTest::newRow("archive damaged")
            << u"archive damaged"_s << message(backup, damaged, u"hostile.stw"_s, u"Nothing was restored."_s);
        QTest::newRow("address book writes outside")
            << u"address book"_s
            << message(addressBook, key, u"HKEY_CURRENT_USER\\Software\\Microsoft\\WAB"_s, itemKept);
        QTest::newRow("favorites member escapes")
            << u"favorites escape"_s << message(favorites, file, u"Links/../../x"_s, itemKept);
    }
    // Archives written by someone else: whatever they hold, a restore changes nothing outside the
    // item it restores, and an item whose files reach further is refused whole.
    void refusedWhole() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        writeFile(path(u"home/Favorites/mine.url"_s), "mine");
        const QString archive = archiveFor(kind);
        const QByteArray before = exportKey(QString());
        m_env->dialogs.answerMessage(platform::MsgAnswer::OK);

        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));

        QCOMPARE(m_env->dialogs.calls.size(), 1);
        QCOMPARE(m_env->dialogs.calls[0].title, u"Restore refused"_s);
        QCOMPARE(m_env->dialogs.calls[0].text, message);
        QCOMPARE(exportKey(QString()), before);
        for (const char* outside : {"x", "stores/x", "home/x", "tmp/x"})
            QVERIFY2(!QFile::exists(path(QString::fromLatin1(outside))), outside);
        QVERIFY(!QFile::exists(store()));
        QCOMPARE(folderContents(path(u"home/Favorites"_s)).keys(), QStringList{u"mine.url"_s});
        QVERIFY(!QFile::exists(path(u"tmp/stowline"_s)));
        QVERIFY(!forms::find(u"frmProgress"_s) || Progress().closeButton().isEnabled());
    }

    void emptyIdentityIdRefusedBeforeAnyKey() {
        const QString archive = path(u"empty-id.stw"_s);
        writeZip(archive,
                 {{u"ident.idx"_s, "\"Evil\",\"\"\r\n"},
                  {u"ident_key.reg"_s, "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Identities]\r\n"}},
                 u"100"_s);
        regAccess().KeyPath = u"Identities\\"_s + kOther;
        regAccess().CreateKey();
        const QByteArray before = exportKey(QString());
        m_env->dialogs.answerMessage(platform::MsgAnswer::OK);

        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));

        QCOMPARE(m_env->dialogs.calls[0].text,
                 QStringLiteral("Stowline did not restore the Outlook Express identity: Evil\r\r"
                                "Its identity ID in the backup is not a valid identity ID:\r\"\"\r\r"
                                "Nothing of this item was changed."));
        QCOMPARE(exportKey(QString()), before);
    }

    void missingIndexEndsInTheErrorTrap() {
        const QString archive = path(u"no-index.stw"_s);
        writeZip(archive, {{u"stowline_version.txt"_s, "1,0,375\r\n"}}, u"100"_s);
        const QByteArray before = exportKey(QString());

        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));

        QVERIFY(forms::find(u"frmError"_s));
        QVERIFY(!forms::find(u"frmRS_Identity"_s) || !forms::find(u"frmRS_Identity"_s)->isVisible());
        QCOMPARE(exportKey(QString()), before);
    }
};

QTEST_MAIN(RestoreItemsTest)
#include "RestoreItemsTest.moc"
