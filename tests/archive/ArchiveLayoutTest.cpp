#include "archive/ArchiveLayout.h"

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
    // Names written by us come back whole; index files of older versions are read too.
    void identityIndex_data() {
        QTest::addColumn<QByteArray>("older"); // empty: written by AppendIdentityRecord
        QTest::addColumn<QString>("name");
        for (const QString& name : {u"Main Identity"_s, u"Smith, John"_s, u"Bob \"the\" Builder"_s,
                                    u"a\",\"b"_s, u"\"quoted\""_s, u"山田 太郎, 経理"_s, QString()})
            QTest::addRow("%s", qPrintable(name.isEmpty() ? u"empty"_s : name)) << QByteArray() << name;
        QTest::newRow("Windows-1252") << QByteArray("\"Ren\xe9 \x93"
                                                    "Boss\x94 \x80\",\"{ID}\"\r\n")
                                      << u"René “Boss” €"_s;
        QTest::newRow("unescaped quotes")
            << QByteArray("\"Bob \"the\" Builder\",\"{ID}\"\r\n") << u"Bob \"the\" Builder"_s;
        QTest::newRow("line feed only") << QByteArray("\"Main\",\"{ID}\"\n") << u"Main"_s;
    }
    void identityIndex() {
        QFETCH(QByteArray, older);
        QFETCH(QString, name);
        test::TestEnvironment env;
        const QString index = env.path(u"ident.idx"_s);
        const QString id = older.isEmpty() ? u"{3B2C1A00-1111-2222-3333-444455556666}"_s : u"{ID}"_s;
        if (older.isEmpty()) {
            AppendIdentityRecord(index, u"First"_s, id);
            AppendIdentityRecord(index, name, id);
            QVERIFY(readFile(index).startsWith(QByteArray("\"First\",\"" + id.toLatin1() + "\"\r\n")));
        } else {
            writeFile(index, older + "\r\n" + older);
        }
        const QString first = older.isEmpty() ? u"First"_s : name;
        QCOMPARE(ReadIdentityIndex(index), (QList<IdentityRecord>{{first, id}, {name, id}}));
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
        QCOMPARE(ItemFlags(ItemPresent(comment, ArchiveItem::Identities),
                           ItemPresent(comment, ArchiveItem::Favorites),
                           ItemPresent(comment, ArchiveItem::AddressBook)),
                 present);
    }
};

QTEST_MAIN(ArchiveLayoutTest)
#include "ArchiveLayoutTest.moc"
