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
    void identityIds() {
        QVERIFY(IsIdentityId(u"{3f2a9c41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"_s));
        for (const QString& bad :
             {u""_s, u"3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A"_s, u"{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A} "_s,
              u"{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4G}"_s})
            QVERIFY2(!IsIdentityId(bad), qPrintable(bad));
    }

    void systemFolders_data() {
        QTest::addColumn<QString>("folder"); // "~" is a link to /usr in the test's folder
        QTest::addColumn<bool>("system");
        QTest::newRow("root") << "/" << true;
        QTest::newRow("below etc") << "/etc/mail" << true;
        QTest::newRow("lib64") << "/lib64" << true;
        QTest::newRow("dot-dot into etc") << "/home/../etc/x" << true;
        QTest::newRow("through a link") << "~/share/not-yet" << true;
        QTest::newRow("home") << "/home/user/Mail" << false;
        QTest::newRow("name starting like usr") << "/usrdata/mail" << false;
    }
    void systemFolders() {
        QFETCH(QString, folder);
        QFETCH(bool, system);
        TestEnvironment env;
        QVERIFY(QFile::link(u"/usr"_s, env.path(u"link"_s)));
        QCOMPARE(IsSystemFolder(folder.replace(u'~', env.path(u"link"_s))), system);
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
        const QString file = env.path(u"ident_key.reg"_s);
        writeFile(file, (u"REGEDIT4\r\n\r\n"_s + body).toUtf8());
        const Refusal refusal =
            CheckRegFile(file, u"HKEY_CURRENT_USER\\Identities\\{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}"_s);
        QCOMPARE(refusal.refused(), !refusedKey.isEmpty());
        QCOMPARE(refusal.detail, refusedKey);
    }

    void zipMembers_data() {
        QTest::addColumn<QString>("member");
        QTest::addColumn<bool>("refused");
        QTest::newRow("dots in a name") << "a..b/c.url" << false;
        QTest::newRow("parent with backslash") << "Links\\..\\..\\x" << true;
        QTest::newRow("absolute") << "/tmp/x" << true;
        QTest::newRow("drive") << "C:x" << true;
    }
    void zipMembers() {
        QFETCH(QString, member);
        QFETCH(bool, refused);
        TestEnvironment env;
        const QString file = env.path(u"data.zip"_s);
        writeZip(file, {{u"ok.txt"_s, "ok"}, {member, "x"}});
        QCOMPARE(CheckZipFile(file).refused(), refused);
    }
};

QTEST_MAIN(RestoreGuardTest)
#include "RestoreGuardTest.moc"
