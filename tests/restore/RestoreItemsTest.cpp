#include "foundation/RegEdit.h"
#include "foundation/modCLSID.h"
#include "foundation/modGlobal.h"
#include "platform/RegistryStore.h"
#include "tests/restore/RestoreTestSupport.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;
using platform::MsgAnswer;

namespace {

const QString kMain = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString kOther = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
const QString kNoIdentity = QStringLiteral("{00000000-0000-0000-0000-000000000000}");
const QString kIam = QStringLiteral("Software\\Microsoft\\Internet Account Manager");
const QString kOutlook = QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0");

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
    QString favorites() const { return path(QStringLiteral("home/Favorites")); }
    const QList<DialogCall>& calls() const { return m_env->dialogs.calls; }

    QString identityArchive(const QString& storeRoot, const QString& extraReg = {}) {
        return ArchiveBuilder()
            .identity(kMain, QStringLiteral("Main Identity"),
                      identityReg(kMain, QStringLiteral("Main Identity"), storeRoot) + extraReg)
            .write(path(QStringLiteral("identity.stw")));
    }

private slots:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        QDir().mkpath(favorites());
    }
    void cleanup() {
        QVERIFY(m_env->dialogs.allAnswersUsed());
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
        setText(QStringLiteral("Identities\\") + kOther, QStringLiteral("Username"), existingName);
        setText(QStringLiteral("Identities"), QStringLiteral("Last User ID"), kOther);
        for (const QString& answer : answers)
            m_env->dialogs.answerInput(answer);

        QVERIFY(walkRestoreWizard(identityArchive(path(QStringLiteral("stores/main"))), {{}, {0}}));

        QCOMPARE(calls().size(), answers.size());
        if (!answers.isEmpty()) {
            QCOMPARE(calls().first().title, QStringLiteral("Duplicate identity name"));
            QCOMPARE(
                calls().first().text,
                u"The following Outlook Express identity name is already in use on your system:\r\r\""_s +
                    existingName + u"\"\r\rPlease enter a different name for the identity:"_s);
        }
        QCOMPARE(readRegText(QStringLiteral("Identities\\") + kMain, QStringLiteral("Username")),
                 restoredName);
        QCOMPARE(readRegText(QStringLiteral("Identities\\") + kOther, QStringLiteral("Username")),
                 existingName);
        QCOMPARE(readRegText(QStringLiteral("Identities"), QStringLiteral("Last Username")), QString());
        QCOMPARE(readRegText(QStringLiteral("Identities"), QStringLiteral("Last User ID")), kNoIdentity);
        QCOMPARE(readRegText(QStringLiteral("Identities"), QStringLiteral("Start As")), kNoIdentity);
        QCOMPARE(readFile(path(QStringLiteral("stores/main/Inbox.dbx"))), QByteArray("mail"));
    }

    void sameIdReplacedWithoutQuestion() {
        setText(QStringLiteral("Identities\\") + kMain, QStringLiteral("Username"),
                QStringLiteral("Old name"));
        setText(QStringLiteral("Identities\\") + kMain + QStringLiteral("\\Stale"), QStringLiteral("x"),
                QStringLiteral("y"));
        QVERIFY(walkRestoreWizard(identityArchive(path(QStringLiteral("stores/main"))), {{}, {0}}));
        QVERIFY(calls().isEmpty());
        QCOMPARE(readRegText(QStringLiteral("Identities\\") + kMain, QStringLiteral("Username")),
                 QStringLiteral("Main Identity"));
        QVERIFY(!platform::registry().keyExists(
            platform::Hive::CurrentUser, QStringLiteral("Identities\\") + kMain + QStringLiteral("\\Stale")));
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
        drives.declare(QStringLiteral("/removable"), {path(QStringLiteral("removable"))}).ready = false;
        const QString picked = path(QStringLiteral("picked/Main"));
        if (moved) {
            m_env->dialogs.answerMessage(MsgAnswer::OK);
            m_env->dialogs.answerFolder(QString());
            m_env->dialogs.answerMessage(MsgAnswer::OK);
            m_env->dialogs.answerFolder(picked);
        }
        QVERIFY(walkRestoreWizard(identityArchive(storeRoot), {{}, {0}}));

        const QString target = moved ? picked : storeRoot;
        QCOMPARE(readRegText(QStringLiteral("Identities\\") + kMain + kOutlook, QStringLiteral("Store Root")),
                 target);
        QCOMPARE(readFile(target + QStringLiteral("/Inbox.dbx")), QByteArray("mail"));
        if (!moved) {
            QVERIFY(calls().isEmpty());
            return;
        }
        QCOMPARE(calls().size(), 4);
        QCOMPARE(calls()[0].title, QStringLiteral("Outlook Express data storage location error"));
        QCOMPARE(calls()[0].icon, platform::MsgIcon::Information);
        QCOMPARE(calls()[0].text,
                 "Stowline cannot restore the Outlook Express identity: Main Identity\r\r"
                 u"The location is not available: "_s +
                     storeRoot +
                     u"\r\rIn the next dialog you can select the location where you want your "_s
                     "data restored.");
        QCOMPARE(calls()[2].text, QStringLiteral("You must select a location!"));
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
        const QString accounts = kIam + QStringLiteral("\\Accounts");
        setText(accounts + QStringLiteral("\\00000009"), QStringLiteral("Account Name"),
                QStringLiteral("Earlier"));
        if (!owner.isEmpty())
            setBinary(accounts, QStringLiteral("AssociatedID"), CLSID(owner == u"main" ? kMain : kOther));
        const QString ownAccounts = QStringLiteral("[HKEY_CURRENT_USER\\Identities\\") + kMain + u'\\' +
                                    accounts + QStringLiteral("\\00000001]\r\n");
        QVERIFY(walkRestoreWizard(identityArchive(path(QStringLiteral("stores/main")),
                                                  ownAccounts + u"\"Account Name\"=\"Restored\"\r\n"_s),
                                  {{}, {0}}));

        const auto has = [](const QString& key) {
            return platform::registry().keyExists(platform::Hive::CurrentUser, key);
        };
        QCOMPARE(has(accounts + QStringLiteral("\\00000001")), copied);
        QCOMPARE(has(QStringLiteral("Identities\\") + kMain + u'\\' + kIam), !copied);
        QCOMPARE(has(accounts + QStringLiteral("\\00000009")), earlierKept);
        RegEdit& reg = regAccess();
        reg.KeyPath = accounts;
        reg.ValueName = QStringLiteral("AssociatedID");
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
        QFile::setPermissions(favorites() + QStringLiteral("/b.url"), QFile::ReadOwner | QFile::ReadGroup);
        if (answer >= 0)
            m_env->dialogs.answerMessage(MsgAnswer(answer));
        const QString archive =
            ArchiveBuilder()
                .favorites({{QStringLiteral("new.url"), "new"}, {QStringLiteral("Links/y.url"), "y"}})
                .write(path(QStringLiteral("favorites.stw")));

        QVERIFY(walkRestoreWizard(archive, {{}, {}, add}));

        QCOMPARE(folderContents(favorites()).keys(), after);
        if (answer < 0)
            return;
        QCOMPARE(calls().size(), 1);
        QCOMPARE(
            calls()[0].text,
            QStringLiteral(
                "Stowline could not replace your current favorites, would you like to add them instead?"));
        QCOMPARE(calls()[0].title, QStringLiteral("Favorites restore problem"));
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
                .addressBook(addressBookReg(recorded),
                             {{QStringLiteral("Main.wab"), "wab"}, {QStringLiteral("Main.wa~"), "~"}})
                .write(path(QStringLiteral("wab.stw")));

        QVERIFY(walkRestoreWizard(archive, {}));

        QCOMPARE(readRegText(QStringLiteral("Software\\Microsoft\\WAB\\WAB4\\Wab File Name"), QString()),
                 expected);
        QCOMPARE(WABFilePath, expected);
        QCOMPARE(readFile(expected), QByteArray("wab"));
        QVERIFY(QFile::exists(expected.chopped(1) + u'~'));
        if (!picked.isEmpty()) {
            QCOMPARE(calls()[0].title, QStringLiteral("Windows Address Book restore location error"));
            QCOMPARE(calls()[0].text,
                     u"Stowline cannot restore the Windows Address Book to the location:\r\r"_s + recorded +
                         u"\r\rIn the next dialog you can select the location where you want your "_s
                         "data restored.");
        }
    }
};

QTEST_MAIN(RestoreItemsTest)
#include "RestoreItemsTest.moc"
