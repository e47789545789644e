#include "archive/ArchiveLayout.h"

#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QTest>

using namespace stowline;
using namespace stowline::layout;
using stowline::test::readFile;
using stowline::test::writeFile;

class ArchiveLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void identityNamesComeBackWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Main Identity");
        QTest::newRow("comma") << QStringLiteral("Smith, John");
        QTest::newRow("quotes") << QStringLiteral("Bob \"the\" Builder");
        QTest::newRow("quote comma quote") << QStringLiteral("a\",\"b");
        QTest::newRow("quote at both ends") << QStringLiteral("\"quoted\"");
        QTest::newRow("CJK") << QStringLiteral("山田 太郎, 経理");
        QTest::newRow("empty") << QString();
    }
    void identityNamesComeBackWhole() {
        QFETCH(QString, name);
        test::TestEnvironment env;
        const QString index = env.path(QStringLiteral("ident.idx"));
        const QString id = QStringLiteral("{3B2C1A00-1111-2222-3333-444455556666}");
        AppendIdentityRecord(index, QStringLiteral("First"), id);
        AppendIdentityRecord(index, name, id);
        QCOMPARE(ReadIdentityIndex(index),
                 (QList<IdentityRecord>{{QStringLiteral("First"), id}, {name, id}}));
        QVERIFY(readFile(index).startsWith(QByteArray("\"First\",\"" + id.toLatin1() + "\"\r\n")));
    }

    void olderIndexFilesAreRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::newRow("Windows-1252") << QByteArray("\"Ren\xe9 \x93"
                                                    "Boss\x94 \x80\",\"{ID}\"\r\n")
                                      << QStringLiteral("René “Boss” €");
        QTest::newRow("unescaped quotes")
            << QByteArray("\"Bob \"the\" Builder\",\"{ID}\"\r\n") << QStringLiteral("Bob \"the\" Builder");
        QTest::newRow("line feed only") << QByteArray("\"Main\",\"{ID}\"\n") << QStringLiteral("Main");
    }
    void olderIndexFilesAreRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        test::TestEnvironment env;
        const QString index = env.path(QStringLiteral("ident.idx"));
        writeFile(index, bytes + "\r\n" + bytes);
        const QList<IdentityRecord> expected{{name, QStringLiteral("{ID}")}, {name, QStringLiteral("{ID}")}};
        QCOMPARE(ReadIdentityIndex(index), expected);
    }

    void versionFilesHoldOneLine() {
        test::TestEnvironment env;
        WriteStowlineVersion(env.path(QStringLiteral("stowline_version.txt")));
        WriteWindowsVersion(env.path(QStringLiteral("windows_version.txt")), 5, 0, 2);
        WriteWindowsVersion(env.path(QStringLiteral("windows_version.txt")), 4, 10, 1);
        QCOMPARE(readFile(env.path(QStringLiteral("stowline_version.txt"))), QByteArray("1,0,375\r\n"));
        QCOMPARE(readFile(env.path(QStringLiteral("windows_version.txt"))), QByteArray("4,10,1\r\n"));
        try {
            WriteStowlineVersion(env.path(QStringLiteral("no/such/folder/v.txt")));
            QFAIL("wrote into a missing folder");
        } catch (const VbError& error) {
            QCOMPARE(error.number(), 76);
        }
    }

    void itemFlags_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<QString>("present"); // identities, favorites, address book
        QTest::newRow("address book only") << QStringLiteral("001") << true << QStringLiteral("001");
        QTest::newRow("1x1") << QStringLiteral("1x1") << true << QStringLiteral("101");
        QTest::newRow("no comment") << QString() << false << QStringLiteral("000");
        QTest::newRow("two") << QStringLiteral("11") << false << QStringLiteral("110");
        QTest::newRow("four") << QStringLiteral("1111") << false << QStringLiteral("111");
    }
    void itemFlags() {
        QFETCH(QString, comment);
        QFETCH(bool, archive);
        QFETCH(QString, present);
        QCOMPARE(IsBackupArchiveComment(comment), archive);
        const QString seen = ItemFlags(ItemPresent(comment, ArchiveItem::Identities),
                                       ItemPresent(comment, ArchiveItem::Favorites),
                                       ItemPresent(comment, ArchiveItem::AddressBook));
        QCOMPARE(seen, present);
    }

    void memberNames() {
        QCOMPARE(IdentityDataMember(QStringLiteral("{A}")), QStringLiteral("{A}/ident_data.zip"));
        QCOMPARE(IdentityKeyMember(QStringLiteral("{A}")), QStringLiteral("{A}/ident_key.reg"));
    }
};

QTEST_MAIN(ArchiveLayoutTest)
#include "ArchiveLayoutTest.moc"
