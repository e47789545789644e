#include "archive/ZipText.h"
#include "archive/frmInterface.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/backup/WizardDriver.h"
#include "tests/support/DrivesDouble.h"
#include "ui/frmProgress.h"

#include <QDir>
#include <QLabel>
#include <QTest>

using namespace stowline;
using namespace stowline::test;

namespace {

const QString identityPrefix = QStringLiteral("HKEY_CURRENT_USER\\Identities\\");
const QString sharedAccounts =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager");

QString extracted(const QString& archive, const QString& member, TestEnvironment& env) {
    const QString target = env.path(QStringLiteral("extracted/") + member);
    QDir().mkpath(QFileInfo(target).absolutePath());
    extractWithPython(archive, member, target);
    return target;
}

// Imports a registry export into a store of its own and exports the key again from there.
QString reimported(const QString& regFile, const QString& key, TestEnvironment& env) {
    static int stores = 0;
    const QString store = env.path(QStringLiteral("fresh-%1.db").arg(++stores));
    importInto(store, regFile);
    return exportKey(key, store);
}

QStringList compressingStatuses(const QStringList& statuses) {
    return statuses.filter(QRegularExpression(QStringLiteral("^Compressing: ")));
}

} // namespace

class tst_BackupEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void backupThroughTheWindows();
    void chosenItemsInOrder_data();
    void chosenItemsInOrder();
    void refusedDestination();
};

void tst_BackupEndToEnd::backupThroughTheWindows() {
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    const QString before = exportWholeRegistry();
    const QString destination = env.path(QStringLiteral("backups/Backup 2026-12-05.stw"));
    frmBK_Choice& choice = openBackupWizard(destination);
    control<QPushButton>(&choice, "cmdNext").click();
    QListWidget& lines = identityPage()->list();
    QList<const fixtures::IdentitySpec*> chosen;
    for (int i = 0; i < lines.count(); ++i)
        for (const fixtures::IdentitySpec& identity : profile.spec().identities)
            if (identity.name == lines.item(i)->text() && identity.name != QStringLiteral("Zoë Ångström")) {
                lines.item(i)->setCheckState(Qt::Checked);
                chosen << &identity;
            }
    QCOMPARE(chosen.size(), 2);
    control<QPushButton>(identityPage(), "cmdNext").click();

    // The archive as a zip reader that is not ours sees it.
    const ForeignZipView view = readWithPython(destination);
    QVERIFY(view.intact);
    QCOMPARE(view.comment, QStringLiteral("111"));
    QStringList expectedMembers{QStringLiteral("stowline_version.txt"),
                                QStringLiteral("windows_version.txt"),
                                QStringLiteral("ident.idx"),
                                QStringLiteral("ief/ief_data.zip"),
                                QStringLiteral("wab/wab_key.reg"),
                                QStringLiteral("wab/wab_data.zip")};
    QString expectedIndex;
    for (const fixtures::IdentitySpec* identity : chosen) {
        expectedMembers << identity->id + QStringLiteral("/ident_key.reg")
                        << identity->id + QStringLiteral("/ident_data.zip");
        expectedIndex +=
            u'"' + identity->name + QStringLiteral("\",\"") + identity->id + QStringLiteral("\"\r\n");
    }
    expectedMembers.sort();
    QCOMPARE(view.members.keys(), expectedMembers);
    QCOMPARE(readFile(extracted(destination, QStringLiteral("stowline_version.txt"), env)),
             QByteArray("1,0,375\r\n"));
    QCOMPARE(readFile(extracted(destination, QStringLiteral("windows_version.txt"), env)),
             QByteArray("4,10,1\r\n"));
    QCOMPARE(DecodeArchiveText(readFile(extracted(destination, QStringLiteral("ident.idx"), env))),
             expectedIndex);

    // Inner archives hold the source folders byte for byte.
    QCOMPARE(readWithPython(extracted(destination, QStringLiteral("ief/ief_data.zip"), env)).members,
             hashesOfFolder(profile.favoritesFolder()));
    QCOMPARE(readWithPython(extracted(destination, QStringLiteral("wab/wab_data.zip"), env)).members,
             hashesOfFolder(profile.addressBookFolder()));
    for (const fixtures::IdentitySpec* identity : chosen)
        QCOMPARE(readWithPython(extracted(destination, identity->id + QStringLiteral("/ident_data.zip"), env))
                     .members,
                 hashesOfFolder(profile.storeOf(*identity)));

    // Registry exports import into a fresh store to the keys they came from; the owner of the
    // shared accounts carries them under its own key.
    const QString wabKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4");
    QCOMPARE(reimported(extracted(destination, QStringLiteral("wab/wab_key.reg"), env), wabKey, env),
             exportKey(wabKey));
    for (const fixtures::IdentitySpec* identity : chosen) {
        const QString regFile = extracted(destination, identity->id + QStringLiteral("/ident_key.reg"), env);
        const QString key = identityPrefix + identity->id;
        if (!identity->ownsSharedAccounts) {
            QCOMPARE(reimported(regFile, key, env), exportKey(key));
            continue;
        }
        const QString accounts = QStringLiteral("\\Accounts\\00000001");
        QString expected = exportKey(sharedAccounts + accounts);
        expected.replace(sharedAccounts,
                         key + QStringLiteral("\\Software\\Microsoft\\Internet Account Manager"));
        QCOMPARE(reimported(
                     regFile,
                     key + QStringLiteral("\\Software\\Microsoft\\Internet Account Manager") + accounts, env),
                 expected);
        QVERIFY(reimported(regFile, key, env).contains(QStringLiteral("\"Store Root\"")));
    }

    // Nothing of the run is left behind, and the registry is as it was.
    QCOMPARE(exportWholeRegistry(), before);
    QVERIFY(!QFileInfo::exists(TempDir() + QStringLiteral("stowline")));
    QVERIFY(QDir(env.tempRoot()).entryList({QStringLiteral("*.stw")}).isEmpty());
    frmProgress& progress = Progress();
    QVERIFY(progress.status().endsWith(QStringLiteral("Done!")));
    QVERIFY(progress.closeButton().isEnabled());
    QVERIFY(env.dialogs.calls.isEmpty());
    progress.closeButton().click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!choicePage() && !identityPage() && !forms::find(QStringLiteral("frmProgress")));
}

void tst_BackupEndToEnd::chosenItemsInOrder_data() {
    QTest::addColumn<QList<bool>>("chosen");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QStringList>("collected");

    const QString identity = QStringLiteral("Compressing: Identity Main Identity");
    const QString favorites = QStringLiteral("Compressing: Internet Explorer Favorites");
    const QString addressBook = QStringLiteral("Compressing: Windows Address Book");
    QTest::newRow("all") << QList<bool>{true, true, true} << QStringLiteral("111")
                         << QStringList{identity, favorites, addressBook};
    QTest::newRow("address book only")
        << QList<bool>{false, false, true} << QStringLiteral("001") << QStringList{addressBook};
    QTest::newRow("identities and address book")
        << QList<bool>{true, false, true} << QStringLiteral("101") << QStringList{identity, addressBook};
    QTest::newRow("favorites only") << QList<bool>{false, true, false} << QStringLiteral("010")
                                    << QStringList{favorites};
}

void tst_BackupEndToEnd::chosenItemsInOrder() {
    QFETCH(QList<bool>, chosen);
    QFETCH(QString, flags);
    QFETCH(QStringList, collected);
    TestEnvironment env;
    buildSampleProfile(env);
    QVERIFY(Identity_Check() && IEF_Check() && WAB_Check());
    selectIdentities({QStringLiteral("Main Identity")});
    RecordingProgress& progress = RecordingProgress::load();
    ChoiceDouble choice;
    std::copy(chosen.begin(), chosen.end(), choice.chosen.begin());
    const QString destination = env.path(QStringLiteral("backup.stw"));

    WizardBackup(destination, choice);

    QCOMPARE(compressingStatuses(progress.statuses), collected);
    const ForeignZipView view = readWithPython(destination);
    QCOMPARE(view.comment, flags);
    QCOMPARE(view.members.contains(QStringLiteral("ident.idx")), chosen[0]);
    QCOMPARE(view.members.contains(QStringLiteral("ief/ief_data.zip")), chosen[1]);
    QCOMPARE(view.members.contains(QStringLiteral("wab/wab_data.zip")), chosen[2]);
    QCOMPARE(view.members.contains(QStringLiteral("wab/wab_key.reg")), chosen[2]);
    QVERIFY(progress.closeEnabled);
}

void tst_BackupEndToEnd::refusedDestination() {
    TestEnvironment env;
    buildSampleProfile(env);
    DrivesDouble drives;
    drives.declare(QStringLiteral("Q:"), {QStringLiteral("Q:")}, {platform::DriveKind::Removable, false});
    env.dialogs.answerMessage(platform::MsgAnswer::No);
    RecordingProgress& progress = RecordingProgress::load();
    ChoiceDouble choice;

    WizardBackup(QStringLiteral("Q:\\Backup.stw"), choice);

    QCOMPARE(env.dialogs.calls.size(), 1);
    QCOMPARE(progress.statuses, QStringList{QStringLiteral("Could not create backup!")});
    QCOMPARE(progress.fileLine(), QStringLiteral(" "));
    QVERIFY(progress.closeEnabled);
    QVERIFY(!QFileInfo::exists(TempDir() + QStringLiteral("stowline")));
}

QTEST_MAIN(tst_BackupEndToEnd)
#include "tst_BackupEndToEnd.moc"
