#include "archive/frmInterface.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "foundation/RegEdit.h"
#include "tests/backup/BackupTestSupport.h"

#include <QDir>
#include <QListWidget>
#include <QTest>

using namespace stowline;
using namespace stowline::test;

namespace {

QStringList entries(QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

QString idOf(int n) { return QStringLiteral("{0000000%1-1111-2222-3333-444455556666}").arg(n); }

void writeString(const QString& key, const QString& name, const QString& value) {
    RegEdit reg;
    reg.KeyPath = key;
    reg.CreateKey();
    reg.ValueName = name;
    reg.ValueType = 1;
    reg.Value = value;
    reg.WriteValue();
}

} // namespace

class tst_ItemDetection : public QObject {
    Q_OBJECT
private slots:
    void identityCheck_data();
    void identityCheck();
    void addressBookCheck_data();
    void addressBookCheck();
};

void tst_ItemDetection::identityCheck_data() {
    QTest::addColumn<QStringList>("names"); // "" = no Username value
    QTest::addColumn<QList<bool>>("storeExists");
    QTest::addColumn<bool>("identitiesKeyHasValues");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QList<int>>("listed"); // which identities, in list order

    QTest::newRow("no identities key") << QStringList{} << QList<bool>{} << false << false << QList<int>{};
    QTest::newRow("identities key without values")
        << QStringList{QStringLiteral("Main")} << QList<bool>{true} << false << false << QList<int>{};
    QTest::newRow("one store folder missing") << QStringList{QStringLiteral("Main"), QStringLiteral("Gone")}
                                              << QList<bool>{true, false} << true << true << QList<int>{0};
    QTest::newRow("no Username: listed by its ID, lists aligned")
        << QStringList{QStringLiteral("Main"), QString(), QStringLiteral("Zoë")}
        << QList<bool>{true, true, true} << true << true << QList<int>{0, 1, 2};
}

void tst_ItemDetection::identityCheck() {
    QFETCH(QStringList, names);
    QFETCH(QList<bool>, storeExists);
    QFETCH(bool, identitiesKeyHasValues);
    QFETCH(bool, expected);
    QFETCH(QList<int>, listed);
    TestEnvironment env;
    if (identitiesKeyHasValues)
        writeString(QStringLiteral("Identities"), QStringLiteral("Last Username"), names.value(0));
    for (int i = 0; i < names.size(); ++i) {
        const QString key = QStringLiteral("Identities\\") + idOf(i);
        const QString store = env.path(QStringLiteral("store%1").arg(i));
        if (storeExists[i])
            QVERIFY(QDir().mkpath(store));
        writeString(key + QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0"),
                    QStringLiteral("Store Root"), store);
        if (!names[i].isEmpty())
            writeString(key, QStringLiteral("Username"), names[i]);
    }

    QCOMPARE(Identity_Check(), expected);

    QStringList expectedNames, expectedIds, expectedStores;
    for (int i : listed) {
        expectedNames << (names[i].isEmpty() ? idOf(i) : names[i]);
        expectedIds << idOf(i);
        expectedStores << env.path(QStringLiteral("store%1").arg(i));
    }
    QCOMPARE(entries(Interface().lstIdentities()), expectedNames);
    QCOMPARE(entries(Interface().lst1()), expectedIds);
    QCOMPARE(entries(Interface().lst2()), expectedStores);
    QVERIFY(env.dialogs.calls.isEmpty());
}

void tst_ItemDetection::addressBookCheck_data() {
    QTest::addColumn<bool>("keyPresent");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("expected");

    QTest::newRow("key absent: path kept as it was") << false << false << false;
    QTest::newRow("file missing: path still read") << true << false << false;
    QTest::newRow("file present") << true << true << true;
}

void tst_ItemDetection::addressBookCheck() {
    QFETCH(bool, keyPresent);
    QFETCH(bool, fileExists);
    QFETCH(bool, expected);
    TestEnvironment env;
    const QString wab = env.path(QStringLiteral("Address Book/me.wab"));
    if (fileExists)
        writeFile(wab, "WAB");
    if (keyPresent)
        writeString(QStringLiteral("Software\\Microsoft\\WAB\\WAB4\\Wab File Name"), QString(), wab);
    WABFilePath = QStringLiteral("earlier");

    QCOMPARE(WAB_Check(), expected);
    QCOMPARE(WABFilePath, keyPresent ? wab : QStringLiteral("earlier"));
}

QTEST_MAIN(tst_ItemDetection)
#include "tst_ItemDetection.moc"
