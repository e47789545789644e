#include "restore/RestoreGuard.h"

#include "tests/restore/RestoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace stowline;
using namespace stowline::test;

class RestoreGuardTest : public QObject {
    Q_OBJECT
private slots:
    void identityIds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("upper case") << "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}" << true;
        QTest::newRow("lower case") << "{3f2a9c41-7b6e-4d21-9a0c-5e8f1b2d3c4a}" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no braces") << "3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A" << false;
        QTest::newRow("trailing space") << "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A} " << false;
        QTest::newRow("path inside") << "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}\\.." << false;
        QTest::newRow("not hex") << "{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4G}" << false;
    }
    void identityIds() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(IsIdentityId(text), accepted);
    }

    void systemFolders_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("system");
        QTest::newRow("root") << "/" << true;
        QTest::newRow("etc below") << "/etc/mail" << true;
        QTest::newRow("lib64") << "/lib64" << true;
        QTest::newRow("usr local") << "/usr/local/share/mail" << true;
        QTest::newRow("var") << "/var/mail" << true;
        QTest::newRow("run media") << "/run/media/user/stick" << true;
        QTest::newRow("dot-dot into etc") << "/home/../etc/x" << true;
        QTest::newRow("home") << "/home/user/Mail" << false;
        QTest::newRow("tmp") << "/tmp/mail" << false;
        QTest::newRow("name starting like usr") << "/usrdata/mail" << false;
        QTest::newRow("windows path") << "D:\\Mail" << false;
    }
    void systemFolders() {
        QFETCH(QString, folder);
        QFETCH(bool, system);
        QCOMPARE(IsSystemFolder(folder), system);
    }

    void systemFolderThroughALink() {
        TestEnvironment env;
        QVERIFY(QFile::link(QStringLiteral("/usr"), env.path(QStringLiteral("link"))));
        QVERIFY(IsSystemFolder(env.path(QStringLiteral("link/share/not-yet"))));
        QVERIFY(!IsSystemFolder(env.path(QStringLiteral("plain/not-yet"))));
    }

    void regFileKeys_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("refusedKey");
        const QString own = u"HKEY_CURRENT_USER\\Identities\\{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"_s;
        // A deletion header carries no values.
        const auto keyLine = [](const QString& key) {
            return QString(u'[' + key + u"]\r\n"_s +
                           (key.startsWith(u'-') ? QString() : u"\"x\"=\"y\"\r\n"_s));
        };
        QTest::newRow("own key and below, any case")
            << QString(keyLine(own) + keyLine(own.toLower() + u"\\Software"_s) +
                       keyLine(u'-' + own + u"\\Old"_s))
            << QString();
        for (const QString& foreign :
             {u"HKEY_CURRENT_USER\\Identities"_s, QString(own + u'x'), QString(own + u"\\..\\Other"_s),
              u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail"_s,
              QString(u"HKEY_LOCAL_MACHINE"_s + own.mid(17)), u"-HKEY_CURRENT_USER\\Identities"_s})
            QTest::newRow(qPrintable(foreign)) << QString(keyLine(own) + keyLine(foreign)) << foreign;
    }
    void regFileKeys() {
        QFETCH(QString, body);
        QFETCH(QString, refusedKey);
        TestEnvironment env;
        const QString file = env.path(QStringLiteral("ident_key.reg"));
        writeFile(file, (QStringLiteral("REGEDIT4\r\n\r\n") + body).toUtf8());
        const Refusal refusal = CheckRegFile(
            file, QStringLiteral("HKEY_CURRENT_USER\\Identities\\{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"));
        QCOMPARE(refusal.refused(), !refusedKey.isEmpty());
        QCOMPARE(refusal.detail, refusedKey);
    }

    void zipMembers_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << "Links/Debian.url" << false;
        QTest::newRow("dots in a name") << "a..b/c.url" << false;
        QTest::newRow("parent") << "../../x" << true;
        QTest::newRow("parent with backslash") << "Links\\..\\..\\x" << true;
        QTest::newRow("absolute") << "/tmp/x" << true;
        QTest::newRow("drive") << "C:x" << true;
    }
    void zipMembers() {
        QFETCH(QString, member);
        QFETCH(bool, refused);
        TestEnvironment env;
        const QString file = env.path(QStringLiteral("data.zip"));
        writeZip(file, {{QStringLiteral("ok.txt"), "ok"}, {member, "x"}});
        QCOMPARE(CheckZipFile(file).refused(), refused);
    }

    void damagedZips() {
        TestEnvironment env;
        QVERIFY(CheckZipFile(env.path(QStringLiteral("missing.zip"))).refused());
        writeFile(env.path(QStringLiteral("garbage.zip")), QByteArray(4096, 'x'));
        QVERIFY(CheckZipFile(env.path(QStringLiteral("garbage.zip"))).refused());
        QByteArray whole = zipBytes({{QStringLiteral("a.txt"), QByteArray(5000, 'a')}});
        writeFile(env.path(QStringLiteral("cut.zip")), whole.left(whole.size() / 2));
        QVERIFY(CheckZipFile(env.path(QStringLiteral("cut.zip"))).refused());
    }
};

QTEST_MAIN(RestoreGuardTest)
#include "RestoreGuardTest.moc"
