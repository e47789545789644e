#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCheck.h"
#include "backup/modSaveArchive.h"
#include "backup/modWizardBackup.h"
#include "foundation/ProgressView.h"
#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/DrivesDouble.h"
#include "ui/frmInterface.h"

#include <QDir>
#include <QTest>

using namespace stowline;
using namespace stowline::test;
using platform::DriveKind;

namespace {

// The progress window as the engine sees it, keeping every status and file line it was given, with
// the host of a run that reports to it.
class RecordingProgress : public ProgressView {
public:
    void setStatus(const QString& text) override { statuses << text; }
    void setFileLine(const QString& text) override { fileLines << text; }
    void setBars(int, int) override {}
    void setCloseEnabled(bool enabled) override { closeEnabled = enabled; }
    QString status() const override { return statuses.value(statuses.size() - 1); }
    QString fileLine() const override { return fileLines.value(fileLines.size() - 1); }

    RunContext& run() { return m_host.run(); }

    QStringList statuses;
    QStringList fileLines;
    bool closeEnabled = false;

private:
    frmInterface m_host = frmInterface(*this);
};

// Chooses the identities with these display names, as the identity page does.
void selectIdentities(IdentityCatalog& catalog, const QStringList& names) {
    for (qsizetype i = 0; i < catalog.count(); ++i)
        catalog.setSelected(i, names.contains(catalog.at(i).name));
}

const QString mainName = QStringLiteral("Main Identity");
const QString zoeName = QStringLiteral("Zoë Ångström");
const QString workName = QStringLiteral("Work, Ltd.");

QString exportedKeyOf(const QString& id) {
    return QString::fromUtf8(
        readFile(TempDir() + QStringLiteral("stowline/") + id + QStringLiteral("/ident_key.reg")));
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
    RecordingProgress progress;
    CreateTempFolder(progress.run().ask);
    IdentityCatalog catalog;
    QVERIFY(Identity_Check(catalog));
    selectIdentities(catalog, names);
    Identity_Compress(catalog, progress.run());
}

constexpr int payloadSize = 1000;
// The workspace as CreateArchive measures it: the payload and the two version files
// ("1,0,375" and "4,10,1", each with CR LF).
constexpr double workspaceSize = payloadSize + 9 + 8;

} // namespace

class BackupEngineTest : public QObject {
    Q_OBJECT
private slots:
    void identityCheck();
    void sharedAccounts_data();
    void sharedAccounts();
    void interruptedCopyPutBack();
    void failedExportStopsTheCollection();
    void placement_data();
    void placement();
    void refusedDestination_data();
    void refusedDestination();
};

// A stale identity (store folder gone) is left out, one without a Username is listed by its ID, and
// the three hidden lists stay aligned.
void BackupEngineTest::identityCheck() {
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    const fixtures::IdentitySpec& main = identityNamed(profile, mainName);
    const fixtures::IdentitySpec& work = identityNamed(profile, workName);
    QVERIFY(QDir(profile.storeOf(identityNamed(profile, zoeName))).removeRecursively());
    setValue(QStringLiteral("Identities\\") + work.id, QStringLiteral("Username"), {});

    IdentityCatalog catalog;
    QVERIFY(Identity_Check(catalog));
    QStringList listed;
    for (const Identity& identity : catalog.all())
        listed << identity.name + u'|' + identity.id + u'|' + identity.storeFolder;
    QCOMPARE(listed, (QStringList{main.name + u'|' + main.id + u'|' + profile.storeOf(main),
                                  work.id + u'|' + work.id + u'|' + profile.storeOf(work)}));

    // An "Identities" key without values of its own counts as no identities at all.
    RegEdit identities;
    identities.KeyPath = QStringLiteral("Identities");
    for (const RegValue& value : identities.GetValues())
        setValue(identities.KeyPath, value.name, {});
    QVERIFY(!Identity_Check(catalog));
}

void BackupEngineTest::sharedAccounts_data() {
    QTest::addColumn<QString>("owner"); // "" = the "Accounts" key has no AssociatedID
    QTest::addColumn<QStringList>("selected");

    QTest::newRow("owner among others") << mainName << QStringList{mainName, zoeName, workName};
    QTest::newRow("owner has its own account key") << zoeName << QStringList{mainName, zoeName};
    QTest::newRow("owner not selected") << mainName << QStringList{workName};
    QTest::newRow("no AssociatedID") << QString() << QStringList{mainName, workName};
}

// The export of the owner carries the shared accounts, no other export does, and the registry is
// left exactly as it was, an account key the owner already had included.
void BackupEngineTest::sharedAccounts() {
    QFETCH(QString, owner);
    QFETCH(QStringList, selected);
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    setValue(QStringLiteral("Software\\Microsoft\\Internet Account Manager\\Accounts"),
             QStringLiteral("AssociatedID"),
             owner.isEmpty() ? QVariant() : QVariant(fixtures::rawGuid(identityNamed(profile, owner).id)), 3);
    const QString before = exportWholeRegistry();

    collect(selected);

    QCOMPARE(exportWholeRegistry(), before);
    for (const QString& name : selected) {
        const QString id = identityNamed(profile, name).id;
        const QString key = QStringLiteral("[HKEY_CURRENT_USER\\Identities\\") + id;
        const QString exported = exportedKeyOf(id);
        QVERIFY2(exported.contains(key + u']'), qPrintable(name));
        const bool isOwner = name == owner;
        QCOMPARE(exported.contains(QStringLiteral("smtp.home.example")), isOwner);
        QCOMPARE(exported.contains(QStringLiteral("news.home.example")), isOwner);
        QCOMPARE(
            exported.contains(
                key + QStringLiteral("\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]")),
            isOwner || name == zoeName);
    }
}

// A backup cut short after setting the owner's own account key aside: the next backup of that
// identity puts the key back before anything else.
void BackupEngineTest::interruptedCopyPutBack() {
    TestEnvironment env;
    const QString zoe = identityNamed(buildSampleProfile(env), zoeName).id;
    RegEdit settings;
    settings.KeyPath = SettingsKey();
    settings.CreateKey();
    const QString before = exportWholeRegistry();
    const QString own = QStringLiteral("Identities\\") + zoe +
                        QStringLiteral("\\Software\\Microsoft\\Internet Account Manager");
    copyTree(own, SavedAccountsKey(zoe));
    setValue(own + QStringLiteral("\\Accounts\\00000001"), QStringLiteral("Account Name"),
             QStringLiteral("left over from the shared accounts"));
    setValue(own + QStringLiteral("\\Accounts\\00000009"), QStringLiteral("Account Name"),
             QStringLiteral("new"));

    collect({zoeName});

    QVERIFY(!exportedKeyOf(zoe).contains(QStringLiteral("left over")));
    QVERIFY(!exportedKeyOf(zoe).contains(QStringLiteral("00000009")));
    QCOMPARE(exportWholeRegistry(), before);
}

// An identity whose key cannot be exported ends the collection there, even though the next one would
// export: no archive is made without it.
void BackupEngineTest::failedExportStopsTheCollection() {
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    CreateTempFolder(env.questions);
    IdentityCatalog catalog;
    QVERIFY(Identity_Check(catalog));
    selectIdentities(catalog, {zoeName, workName});
    RegEdit zoe;
    zoe.KeyPath = QStringLiteral("Identities\\") + identityNamed(profile, zoeName).id;
    zoe.DeleteKey();
    env.dialogs.answerMessage(platform::MsgAnswer::OK);
    RecordingProgress progress;

    QVERIFY(!Identity_Compress(catalog, progress.run()));

    QVERIFY(env.dialogs.calls.value(0).text.contains(zoe.KeyPath));
    QVERIFY(
        !QFileInfo::exists(TempDir() + QStringLiteral("stowline/") + identityNamed(profile, workName).id));
}

void BackupEngineTest::placement_data() {
    QTest::addColumn<int>("destinationKind");
    QTest::addColumn<double>("destinationFree");
    QTest::addColumn<double>("tempFree");
    QTest::addColumn<bool>("destinationFolderExists");
    QTest::addColumn<QStringList>("statuses"); // %T: the temporary archive, kept when the message names it
    QTest::addColumn<QString>("message");      // "" = none, and the archive is at the destination
    QTest::addColumn<QString>("payload");      // the workspace file that makes up the archive

    const int fixed = int(DriveKind::Fixed);
    const QString saving = QStringLiteral("Saving backup: backup.stw");
    const QString creating = QStringLiteral("Creating backup: backup.stw");
    const QString checking = QStringLiteral("Checking the archive backup.stw");
    const QString payload = QStringLiteral("ief/payload.bin");
    QTest::newRow("fixed, free space equal to the workspace")
        << fixed << workspaceSize << 1e12 << true
        << QStringList{saving, checking, QStringLiteral("Saving backup: Done!")} << QString() << payload;
    // A member named as a zip that is none: the archive is placed but does not read back whole.
    const QString checkFailed =
        QStringLiteral("Check failed: %D: ief/ief_data.zip is not a sound zip archive.");
    QTest::newRow("fixed, placed but not sound")
        << fixed << 1e9 << 1e12 << true << QStringList{saving, checking, checkFailed} << checkFailed
        << QStringLiteral("ief/ief_data.zip");
    // The older archive (15 bytes) will be replaced, so its room counts as free.
    QTest::newRow("fixed, one byte short")
        << fixed << workspaceSize - 16 << 1e12 << true
        << QStringList{saving, QStringLiteral("Could not save backup!")}
        << QStringLiteral("Stowline needs more free diskspace to save the backup on drive: DEST") << payload;
    // Each kind of drive but a fixed one, in DriveKind order.
    const QStringList kinds =
        QStringLiteral("unknown media|removable drive||remote drive|CD drive|ramdisk").split(u'|');
    for (int kind = 0; kind < kinds.size(); ++kind) {
        if (kind == fixed)
            continue;
        const QString prefix = QStringLiteral("Saving backup to ") + kinds[kind];
        QTest::newRow(qPrintable(kinds[kind] + QStringLiteral(", copied")))
            << kind << 1e9 << 1e12 << true
            << QStringList{creating, prefix + QStringLiteral(": Please wait..."), checking,
                           prefix + QStringLiteral(": Done!")}
            << QString() << payload;
    }
    const QString removableWait = QStringLiteral("Saving backup to removable drive: Please wait...");
    const int removable = int(DriveKind::Removable);
    QTest::newRow("removable, too small: the temporary archive stays")
        << removable << 1.0 << 1e12 << true
        << QStringList{creating, removableWait, QStringLiteral("Backup saved as: %T")}
        << QStringLiteral("There is not enough free space to save the backup on drive: DEST\r\r"
                          "The backup has been saved as: %T")
        << payload;
    QTest::newRow("removable, copy fails: the temporary archive stays")
        << removable << 1e9 << 1e12 << false
        << QStringList{creating, removableWait, QStringLiteral("Saving backup: Done!")}
        << QStringLiteral("Stowline could not save the backup to the drive you selected.\r"
                          "Your backup has been saved as: %T")
        << payload;
    QTest::newRow("removable, temporary root one byte short")
        << removable << 1e9 << workspaceSize - 1 << true
        << QStringList{creating, QStringLiteral("Could not create backup!")}
        << QStringLiteral("Stowline needs more free diskspace to create the backup on drive:  TEMP")
        << payload;
}

void BackupEngineTest::placement() {
    QFETCH(int, destinationKind);
    QFETCH(double, destinationFree);
    QFETCH(double, tempFree);
    QFETCH(bool, destinationFolderExists);
    QFETCH(QStringList, statuses);
    QFETCH(QString, message);
    QFETCH(QString, payload);
    const bool temporaryKept = message.contains(QStringLiteral("%T"));
    TestEnvironment env;
    DrivesDouble drives;
    // TMPDIR on a tmpfs, as on many Linux systems.
    drives.declare(QStringLiteral("TEMP"), {env.tempRoot()},
                   {DriveKind::RamDisk, true, true, tempFree, tempFree});
    drives.declare(QStringLiteral("DEST"), {env.path(QStringLiteral("dest"))},
                   {DriveKind(destinationKind), true, true, destinationFree, destinationFree});
    const QString destination =
        env.path(destinationFolderExists ? QStringLiteral("dest") : QStringLiteral("dest/missing")) +
        QStringLiteral("/backup.stw");
    if (destinationFolderExists)
        writeFile(destination, "an older backup");
    RecordingProgress progress;
    CreateTempFolder(progress.run().ask);
    writeFile(TempDir() + QStringLiteral("stowline/") + payload, QByteArray(payloadSize, 'x'));
    statuses.replaceInStrings(QStringLiteral("%D"), destination);
    message.replace(QStringLiteral("%D"), destination);
    if (!message.isEmpty())
        env.dialogs.answerMessage(platform::MsgAnswer::OK);

    SaveArchive(destination, QStringLiteral("101"), progress.run());

    const QStringList leftInTemp = QDir(TempDir()).entryList({QStringLiteral("*.stw")}, QDir::Files);
    QCOMPARE(leftInTemp.size(), temporaryKept ? 1 : 0);
    const QString temporary = temporaryKept ? TempDir() + leftInTemp.first() : QString();
    QCOMPARE(progress.statuses, statuses.replaceInStrings(QStringLiteral("%T"), temporary));
    QCOMPARE(progress.fileLine(), QStringLiteral(" "));
    if (!message.isEmpty())
        verifyErrorBox(env, message.replace(QStringLiteral("%T"), temporary));
    QVERIFY(!QFileInfo::exists(TempDir() + QStringLiteral("stowline")));
    // An archive that does not read back stays where it was placed, for the user to look at; an older
    // file is replaced by nothing less than a complete archive.
    const bool placedUnsound = message.startsWith(QStringLiteral("Check failed"));
    const bool olderLeft = destinationFolderExists && !message.isEmpty() && !placedUnsound;
    QCOMPARE(readFile(destination) == "an older backup", olderLeft);
    QCOMPARE(QFileInfo::exists(destination), message.isEmpty() || olderLeft || placedUnsound);
    const QString archive = message.isEmpty() || placedUnsound ? destination : temporary;
    if (!archive.isEmpty()) {
        const ForeignZipView view = readWithPython(archive);
        QVERIFY(view.intact);
        QCOMPARE(view.comment, QStringLiteral("101"));
        QCOMPARE(view.members.keys(),
                 QString(payload + QStringLiteral("|stowline_version.txt|windows_version.txt")).split(u'|'));
    }
}

void BackupEngineTest::refusedDestination_data() {
    QTest::addColumn<bool>("plantedTemp"); // else a drive that is not there
    QTest::newRow("drive not there") << false;
    QTest::newRow("temporary folder a link to the user's mail") << true;
}

// Nothing is collected: the temporary folder planted as a link is left as it was, and nothing is
// written through it.
void BackupEngineTest::refusedDestination() {
    QFETCH(bool, plantedTemp);
    TestEnvironment env;
    const fixtures::Profile profile = buildSampleProfile(env);
    const QString mail = profile.storeOf(identityNamed(profile, mainName));
    const QMap<QString, QByteArray> before = hashesOfFolder(mail);
    DrivesDouble drives;
    drives.declare(QStringLiteral("Q:"), {QStringLiteral("Q:")}, {DriveKind::Removable, false});
    if (plantedTemp)
        QFile::link(mail, TempDir().chopped(1));
    env.dialogs.answerMessage(plantedTemp ? platform::MsgAnswer::OK : platform::MsgAnswer::No);
    RecordingProgress progress;
    const QString destination =
        plantedTemp ? env.path(QStringLiteral("Backup.stw")) : QStringLiteral("Q:\\Backup.stw");

    WizardBackup({destination, {}, QStringLiteral("111")}, progress.run());

    QCOMPARE(env.dialogs.calls.size(), 1);
    QCOMPARE(env.dialogs.calls[0].text.contains(TempDir().chopped(1)), plantedTemp);
    QCOMPARE(hashesOfFolder(mail), before);
    QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("Backup.stw"))));
    QCOMPARE(progress.statuses, QStringList{QStringLiteral("Could not create backup!")});
    QCOMPARE(progress.fileLine(), QStringLiteral(" "));
    QVERIFY(progress.closeEnabled);
    QVERIFY(!QFileInfo::exists(TempDir() + QStringLiteral("stowline")));
}

QTEST_MAIN(BackupEngineTest)
#include "BackupEngineTest.moc"
