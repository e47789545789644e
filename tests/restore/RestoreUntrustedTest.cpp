#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "tests/restore/RestoreTestSupport.h"
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

namespace {

const QString kMain = QStringLiteral("{11111111-2222-3333-4444-555555555555}");
const QString kOther = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

} // namespace

// Archives written by someone else: whatever they hold, a restore changes nothing outside the item
// it restores, and an item whose files reach further is refused whole.
class RestoreUntrustedTest : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnvironment> m_env;

    QString path(const QString& relative) const { return m_env->path(relative); }
    QString store() const { return path(QStringLiteral("stores/deep/main")); }
    QString mainReg(const QString& extra = {}) const {
        return identityReg(kMain, QStringLiteral("Main Identity"), store()) + extra;
    }

    QString archiveFor(const QString& kind) {
        ArchiveBuilder archive;
        const QByteArray escapingZip =
            zipBytes({{QStringLiteral("ok.txt"), "ok"}, {QStringLiteral("../../x"), "x"}});
        if (kind == u"hklm")
            archive.identity(
                kMain, QStringLiteral("Main Identity"),
                mainReg(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"Evil\"\r\n")));
        else if (kind == u"other identity")
            archive.identity(kMain, QStringLiteral("Main Identity"),
                             mainReg(u"[HKEY_CURRENT_USER\\Identities\\"_s + kOther +
                                     u"]\r\n\"Username\"=\"Taken\"\r\n"_s));
        else if (kind == u"delete identities")
            archive.identity(kMain, QStringLiteral("Main Identity"),
                             mainReg(QStringLiteral("[-HKEY_CURRENT_USER\\Identities]\r\n")));
        else if (kind == u"store escapes")
            archive.identity(kMain, QStringLiteral("Main Identity"), mainReg(), escapingZip);
        else if (kind == u"store damaged")
            archive.identity(kMain, QStringLiteral("Main Identity"), mainReg(), QByteArray(3000, 'z'));
        else if (kind == u"archive escapes")
            archive.identity(kMain, QStringLiteral("Main Identity"), mainReg())
                .member(QStringLiteral("../../x"), "x");
        else if (kind == u"archive damaged")
            archive.addressBook(addressBookReg(path(QStringLiteral("wab/Main.wab"))),
                                {{QStringLiteral("Main.wab"), "wab"}});
        else if (kind == u"address book")
            archive.addressBook(
                addressBookReg(path(QStringLiteral("wab/Main.wab"))) +
                    QStringLiteral("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]\r\n\"x\"=\"y\"\r\n"),
                {{QStringLiteral("Main.wab"), "wab"}});
        else if (kind == u"favorites escape")
            archive.favorites({{QStringLiteral("ok.url"), "ok"}, {QStringLiteral("Links/../../x"), "x"}});
        const QString file = archive.write(path(QStringLiteral("hostile.stw")));
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
        QDir().mkpath(path(QStringLiteral("home/Favorites")));
        writeFile(path(QStringLiteral("home/Favorites/mine.url")), "mine");
    }
    void cleanup() {
        QVERIFY(m_env->dialogs.allAnswersUsed());
        forms::unload(QStringLiteral("frmError"));
        m_env.reset();
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
    void refusedWhole() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString archive = archiveFor(kind);
        const QByteArray before = exportKey(QString());
        m_env->dialogs.answerMessage(platform::MsgAnswer::OK);

        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));

        QCOMPARE(m_env->dialogs.calls.size(), 1);
        QCOMPARE(m_env->dialogs.calls[0].title, QStringLiteral("Restore refused"));
        QCOMPARE(m_env->dialogs.calls[0].text, message);
        QCOMPARE(exportKey(QString()), before);
        for (const char* outside : {"x", "stores/x", "home/x", "tmp/x"})
            QVERIFY2(!QFile::exists(path(QString::fromLatin1(outside))), outside);
        QVERIFY(!QFile::exists(store()));
        QCOMPARE(folderContents(path(QStringLiteral("home/Favorites"))).keys(), QStringList{u"mine.url"_s});
        QVERIFY(!QFile::exists(path(QStringLiteral("tmp/stowline"))));
        QVERIFY(!forms::find(QStringLiteral("frmProgress")) || Progress().closeButton().isEnabled());
    }

    void emptyIdentityIdRefusedBeforeAnyKey() {
        const QString archive = path(QStringLiteral("empty-id.stw"));
        writeZip(archive,
                 {{QStringLiteral("ident.idx"), "\"Evil\",\"\"\r\n"},
                  {QStringLiteral("ident_key.reg"), "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Identities]\r\n"}},
                 QStringLiteral("100"));
        regAccess().KeyPath = QStringLiteral("Identities\\") + kOther;
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
        const QString archive = path(QStringLiteral("no-index.stw"));
        writeZip(archive, {{QStringLiteral("stowline_version.txt"), "1,0,375\r\n"}}, QStringLiteral("100"));
        const QByteArray before = exportKey(QString());

        QVERIFY(walkRestoreWizard(archive, {{}, {0}}));

        QVERIFY(forms::find(QStringLiteral("frmError")));
        QVERIFY(!forms::find(QStringLiteral("frmRS_Identity")) ||
                !forms::find(QStringLiteral("frmRS_Identity"))->isVisible());
        QCOMPARE(exportKey(QString()), before);
    }
};

QTEST_MAIN(RestoreUntrustedTest)
#include "RestoreUntrustedTest.moc"
