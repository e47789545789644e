#include "archive/ArchiveLayout.h"

#include "foundation/modError.h"
#include "tests/support/TestEnvironment.h"

#include <QTest>

using namespace stowline;
using namespace Qt::StringLiterals;
using namespace stowline::layout;
using stowline::test::readFile;
using stowline::test::writeFile;

class ArchiveLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void identityNamesComeBackWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << u"Main Identity"_s;
        QTest::newRow("comma") << u"Smith, John"_s;
        QTest::newRow("quotes") << u"Bob \"the\" Builder"_s;
        QTest::newRow("quote comma quote") << u"a\",\"b"_s;
        QTest::newRow("quote at both ends") << u"\"quoted\""_s;
        QTest::newRow("CJK") << u"山田 太郎, 経理"_s;
        QTest::newRow("empty") << QString();
    }
    void identityNamesComeBackWhole() {
        QFETCH(QString, name);
        test::TestEnvironment env;
        const QString index = env.path(u"ident.idx"_s);
        const QString id = u"{3B2C1A00-1111-2222-3333-444455556666}"_s;
        AppendIdentityRecord(index, u"First"_s, id);
        AppendIdentityRecord(index, name, id);
        QCOMPARE(ReadIdentityIndex(index), (QList<IdentityRecord>{{u"First"_s, id}, {name, id}}));
        QVERIFY(readFile(index).startsWith(QByteArray("\"First\",\"" + id.toLatin1() + "\"\r\n")));
    }

    void olderIndexFilesAreRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::newRow("Windows-1252") << QByteArray("\"Ren\xe9 \x93"
                                                    "Boss\x94 \x80\",\"{ID}\"\r\n")
                                      << u"René “Boss” €"_s;
        QTest::newRow("unescaped quotes")
            << QByteArray("\"Bob \"the\" Builder\",\"{ID}\"\r\n") << u"Bob \"the\" Builder"_s;
        QTest::newRow("line feed only") << QByteArray("\"Main\",\"{ID}\"\n") << u"Main"_s;
    }
    void olderIndexFilesAreRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        test::TestEnvironment env;
        const QString index = env.path(u"ident.idx"_s);
        writeFile(index, bytes + "\r\n" + bytes);
        const QList<IdentityRecord> expected{{name, u"{ID}"_s}, {name, u"{ID}"_s}};
        QCOMPARE(ReadIdentityIndex(index), expected);
    }

    void versionFilesHoldOneLine() {
        test::TestEnvironment env;
        const QString windows = env.path(u"windows_version.txt"_s);
        WriteWindowsVersion(windows, 5, 0, 2);
        WriteWindowsVersion(windows, 4, 10, 1);
        QCOMPARE(readFile(windows), QByteArray("4,10,1\r\n"));
        WriteStowlineVersion(env.path(u"stowline_version.txt"_s));
        QCOMPARE(readFile(env.path(u"stowline_version.txt"_s)), QByteArray("1,0,375\r\n"));
        QVERIFY_THROWS_EXCEPTION(VbError, WriteStowlineVersion(env.path(u"no/such/folder/v.txt"_s)));
    }

    void itemFlags_data() {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<bool>("archive");
        QTest::addColumn<QString>("present"); // identities, favorites, address book
        QTest::newRow("address book only") << u"001"_s << true << u"001"_s;
        QTest::newRow("1x1") << u"1x1"_s << true << u"101"_s;
        QTest::newRow("no comment") << QString() << false << u"000"_s;
        QTest::newRow("two") << u"11"_s << false << u"110"_s;
        QTest::newRow("four") << u"1111"_s << false << u"111"_s;
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
};

QTEST_MAIN(ArchiveLayoutTest)
#include "ArchiveLayoutTest.moc"
