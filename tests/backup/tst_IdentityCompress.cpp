#include "archive/ZipText.h"
#include "archive/frmInterface.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKIdentityCompress.h"
#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"

#include <QDir>
#include <QListWidget>
#include <QTest>

using namespace stowline;
using namespace stowline::test;

namespace {

const QString mainName = QStringLiteral("Main Identity");
const QString zoeName = QStringLiteral("Zoë Ångström");
const QString workName = QStringLiteral("Work, Ltd.");
const QString sharedAccountsKey = QStringLiteral("Software\\Microsoft\\Internet Account Manager\\Accounts");

const fixtures::IdentitySpec& identityNamed(const fixtures::Profile& profile, const QString& name) {
    for (const fixtures::IdentitySpec& identity : profile.spec().identities)
        if (identity.name == name)
            return identity;
    qFatal("no identity %s in the sample profile", qPrintable(name));
}

void associateSharedAccounts(const QString& id) {
    RegEdit reg;
    reg.KeyPath = sharedAccountsKey;
    reg.ValueName = QStringLiteral("AssociatedID");
    if (id.isEmpty()) {
        reg.DeleteValue();
        return;
    }
    reg.ValueType = 3;
    reg.Value = fixtures::rawGuid(id);
    reg.WriteValue();
}

QString workspace() { return TempDir() + QStringLiteral("stowline"); }

QString exportedKeyOf(const QString& id) {
    return QString::fromUtf8(readFile(workspace() + u'/' + id + QStringLiteral("/ident_key.reg")));
}

void copyTree(const QString& from, const QString& to) {
    RegEdit source, target;
    source.KeyPath = from;
    target.KeyPath = to;
    target.CreateKey();
    target.PutValues(source.GetValues());
    for (const QString& name : source.GetSubKeys())
        copyTree(from + u'\\' + name, to + u'\\' + name);
}

void collect(const QStringList& names) {
    CreateTempFolder();
    QVERIFY(Identity_Check());
    selectIdentities(names);
    Identity_Compress();
}

} // namespace

class tst_IdentityCompress : public QObject {
    Q_OBJECT
private slots:
    void sharedAccounts_data();
    void sharedAccounts();
    void identitiesInListOrder();
    void interruptedCopyPutBack();
};

void tst_IdentityCompress::sharedAccounts_data() {
    QTest::addColumn<QString>("owner"); // "" = the "Accounts" key has no AssociatedID
    QTest::addColumn<QStringList>("selected");

    QTest::newRow("owner backed up alone") << mainName << QStringList{mainName};
    QTest::newRow("owner among others") << mainName << QStringList{mainName, zoeName, workName};
    QTest::newRow("owner has its own account key") << zoeName << QStringList{mainName, zoeName};
    QTest::newRow("owner not selected") << mainName << QStringList{workName};
    QTest::newRow("no AssociatedID") << QString() << QStringList{mainName, workName};
}

// The export of the owner carries the shared accounts, no other export does, and the registry is
// left exactly as it was, an account key the owner already had included.
void tst_IdentityCompress::sharedAccounts() {
    QFETCH(QString, owner);
    QFETCH(QStringList, selected);
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    associateSharedAccounts(owner.isEmpty() ? QString() : identityNamed(profile, owner).id);
    const QString before = exportWholeRegistry();
    QVERIFY(before.contains(QStringLiteral("Zo")));

    collect(selected);

    QCOMPARE(exportWholeRegistry(), before);
    for (const QString& name : selected) {
        const QString id = identityNamed(profile, name).id;
        const QString exported = exportedKeyOf(id);
        QVERIFY2(exported.contains(QStringLiteral("[HKEY_CURRENT_USER\\Identities\\") + id + u']'),
                 qPrintable(name));
        const QString copied =
            QStringLiteral("[HKEY_CURRENT_USER\\Identities\\") + id +
            QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]");
        const bool isOwner = name == owner;
        QCOMPARE(exported.contains(QStringLiteral("smtp.home.example")), isOwner);
        QCOMPARE(exported.contains(QStringLiteral("news.home.example")), isOwner);
        QCOMPARE(exported.contains(copied), isOwner || name == zoeName);
    }
    QVERIFY(env.dialogs.calls.isEmpty());
}

void tst_IdentityCompress::identitiesInListOrder() {
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    RecordingProgress& progress = RecordingProgress::load();

    collect({workName, mainName, zoeName});

    QStringList expectedRecords, expectedStatuses;
    for (int i = 0; i < Interface().lstIdentities().count(); ++i) {
        const QString name = Interface().lstIdentities().item(i)->text();
        const fixtures::IdentitySpec& identity = identityNamed(profile, name);
        expectedRecords << u'"' + name + QStringLiteral("\",\"") + identity.id + u'"';
        expectedStatuses << QStringLiteral("Compressing: Identity ") + name;
        QCOMPARE(QDir(workspace() + u'/' + identity.id).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("ident_data.zip"), QStringLiteral("ident_key.reg")}));
        QCOMPARE(readWithPython(workspace() + u'/' + identity.id + QStringLiteral("/ident_data.zip")).members,
                 hashesOfFolder(profile.storeOf(identity)));
    }
    const QByteArray index = readFile(workspace() + QStringLiteral("/ident.idx"));
    QVERIFY(index.endsWith("\r\n"));
    QCOMPARE(DecodeArchiveText(index).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts), expectedRecords);
    QCOMPARE(progress.statuses, expectedStatuses);
    QCOMPARE(CurrentIdentityName, Interface().lstIdentities().item(2)->text());
}

// A backup cut short after setting the owner's own account key aside: the next backup of that
// identity puts the key back before anything else.
void tst_IdentityCompress::interruptedCopyPutBack() {
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    const QString zoe = identityNamed(profile, zoeName).id;
    RegEdit settings;
    settings.KeyPath = SettingsKey();
    settings.CreateKey();
    const QString before = exportWholeRegistry();
    const QString own = QStringLiteral("Identities\\") + zoe +
                        QStringLiteral("\\Software\\Microsoft\\Internet Account Manager");
    copyTree(own, SavedAccountsKey(zoe));
    RegEdit reg;
    reg.KeyPath = own + QStringLiteral("\\Accounts\\00000001");
    reg.ValueName = QStringLiteral("Account Name");
    reg.Value = QStringLiteral("left over from the shared accounts");
    reg.WriteValue();
    reg.KeyPath = own + QStringLiteral("\\Accounts\\00000009");
    reg.CreateKey();

    collect({zoeName});

    QVERIFY(!exportedKeyOf(zoe).contains(QStringLiteral("left over")));
    QVERIFY(!exportedKeyOf(zoe).contains(QStringLiteral("00000009")));
    QCOMPARE(exportWholeRegistry(), before);
}

QTEST_MAIN(tst_IdentityCompress)
#include "tst_IdentityCompress.moc"
