#include "archive/ArchiveLayout.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCheck.h"
#include "backup/modSaveArchive.h"
#include "backup/modWizardBackup.h"
#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "tests/backup/BackupTestSupport.h"
#include "tests/support/DrivesDouble.h"
#include "tests/support/RecordingProgress.h"

#include <QDir>
#include <QTest>
#include <functional>
#include <tuple>

using namespace stowline;
using namespace Qt::StringLiterals;
using namespace stowline::test;
using platform::DriveKind;

namespace {

// Chooses the identities with these display names, as the identity page does.
void selectIdentities(IdentityCatalog& catalog, const QStringList& names) {
    for (qsizetype i = 0; i < catalog.count(); ++i)
        catalog.setSelected(i, names.contains(catalog.at(i).name));
}

const QString mainName = u"Main Identity"_s;
const QString zoeName = u"Zoë Ångström"_s;
const QString workName = u"Work, Ltd."_s;

QString exportedKeyOf(const QString& id) {
    return QString::fromUtf8(readFile(TempDir() + u"stowline/"_s + id + u"/ident_key.reg"_s));
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

// Collects the identities with these names; `meanwhile` runs between their check and the collection.
bool collect(const QStringList& names, const std::function<void()>& meanwhile = {}) {
    RecordingProgress progress;
    IdentityCatalog catalog;
    if (!CreateTempFolder(progress.run().ask) || !Identity_Check(catalog))
        return false;
    selectIdentities(catalog, names);
    if (meanwhile)
        meanwhile();
    return Identity_Compress(catalog, progress.run());
}

constexpr int payloadSize = 1000;
// The workspace as CreateArchive measures it: the payload and the two version files
// ("1,0,375" and "4,10,1", each with CR LF).
constexpr double workspaceSize = payloadSize + 9 + 8;

// The destination's kind and free bytes, the temporary root's free bytes, the destination folder
// there, the statuses shown (%T: the temporary archive, kept when the message names it), the message
// ("": none, and the archive is at the destination).
using PlacementRow = std::tuple<int, double, double, bool, QStringList, QString>;

} // namespace

class BackupEngineTest : public QObject {
    Q_OBJECT
private slots:
    // A stale identity (store folder gone) is left out, one without a Username is listed by its ID, and
    // the three hidden lists stay aligned.
    void identityCheck() {
        TestEnvironment env;
        const fixtures::Profile profile = buildSampleProfile(env);
        const fixtures::IdentitySpec& main = identityNamed(profile, mainName);
        const fixtures::IdentitySpec& work = identityNamed(profile, workName);
        QVERIFY(QDir(profile.storeOf(identityNamed(profile, zoeName))).removeRecursively());
        setValue(u"Identities\\"_s + work.id, u"Username"_s, {});

        IdentityCatalog catalog;
        QVERIFY(Identity_Check(catalog));
        QStringList listed;
        for (const Identity& identity : catalog.all())
            listed << identity.name + u'|' + identity.id + u'|' + identity.storeFolder;
        QCOMPARE(listed, (QStringList{main.name + u'|' + main.id + u'|' + profile.storeOf(main),
                                      work.id + u'|' + work.id + u'|' + profile.storeOf(work)}));

        // An "Identities" key without values of its own counts as no identities at all.
        RegEdit identities;
        identities.KeyPath = u"Identities"_s;
        for (const RegValue& value : identities.GetValues())
            setValue(identities.KeyPath, value.name, {});
        QVERIFY(!Identity_Check(catalog));
    }

    void sharedAccounts_data() {
        QTest::addColumn<QString>("owner"); // "" = the "Accounts" key has no AssociatedID
        QTest::addColumn<QStringList>("selected");

        QTest::newRow("owner among others") << mainName << QStringList{mainName, zoeName, workName};
        QTest::newRow("owner has its own account key") << zoeName << QStringList{mainName, zoeName};
        QTest::newRow("owner not selected") << mainName << QStringList{workName};
        QTest::newRow("no AssociatedID") << QString() << QStringList{mainName, workName};
    }

    // The export of the owner carries the shared accounts, no other export does, and the registry is
    // left exactly as it was, an account key the owner already had included.
    void sharedAccounts() {
        QFETCH(QString, owner);
        QFETCH(QStringList, selected);
        TestEnvironment env;
        const fixtures::Profile profile = buildSampleProfile(env);
        setValue(u"Software\\Microsoft\\Internet Account Manager\\Accounts"_s, u"AssociatedID"_s,
                 owner.isEmpty() ? QVariant() : QVariant(fixtures::rawGuid(identityNamed(profile, owner).id)),
                 3);
        const QString before = exportWholeRegistry();

        QVERIFY(collect(selected));

        QCOMPARE(exportWholeRegistry(), before);
        for (const QString& name : selected) {
            const QString id = identityNamed(profile, name).id;
            const QString key = u"[HKEY_CURRENT_USER\\Identities\\"_s + id;
            const QString exported = exportedKeyOf(id);
            QVERIFY2(exported.contains(key + u']'), qPrintable(name));
            const bool isOwner = name == owner;
            QCOMPARE(exported.contains(u"smtp.home.example"_s), isOwner);
            QCOMPARE(exported.contains(u"news.home.example"_s), isOwner);
            QCOMPARE(exported.contains(
                         key + QStringLiteral(
                                   "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]")),
                     isOwner || name == zoeName);
        }
    }

    // A backup cut short after setting the owner's own account key aside: the next backup of that
    // identity puts the key back before anything else.
    void interruptedCopyPutBack() {
        TestEnvironment env;
        const QString zoe = identityNamed(buildSampleProfile(env), zoeName).id;
        RegEdit settings;
        settings.KeyPath = SettingsKey();
        settings.CreateKey();
        const QString before = exportWholeRegistry();
        const QString own = u"Identities\\"_s + zoe + u"\\Software\\Microsoft\\Internet Account Manager"_s;
        copyTree(own, SavedAccountsKey(zoe));
        setValue(own + u"\\Accounts\\00000001"_s, u"Account Name"_s, u"left over from the shared accounts"_s);
        setValue(own + u"\\Accounts\\00000009"_s, u"Account Name"_s, u"new"_s);

        QVERIFY(collect({zoeName}));

        QVERIFY(!exportedKeyOf(zoe).contains(u"left over"_s));
        QVERIFY(!exportedKeyOf(zoe).contains(u"00000009"_s));
        QCOMPARE(exportWholeRegistry(), before);
    }

    // An identity whose key cannot be exported fails the collection, even though the next one exports
    // beside it: that one is told of once, and neither is listed for the archive.
    void failedExportStopsTheCollection() {
        TestEnvironment env;
        const fixtures::Profile profile = buildSampleProfile(env);
        RegEdit zoe;
        zoe.KeyPath = u"Identities\\"_s + identityNamed(profile, zoeName).id;
        env.dialogs.answerMessage(platform::MsgAnswer::OK);

        QVERIFY(!collect({zoeName, workName}, [&] { zoe.DeleteKey(); }));

        QCOMPARE(env.dialogs.calls.size(), 1);
        QVERIFY(env.dialogs.calls.value(0).text.contains(zoe.KeyPath));
        QVERIFY(!readFile(TempDir() + u"stowline/"_s + layout::IdentityIndexFile)
                     .contains(identityNamed(profile, workName).id.toUtf8()));
    }

    void placement_data() {
        QTest::addColumn<PlacementRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << PlacementRow{v...}; };
        const int fixed = int(DriveKind::Fixed);
        const QString saving = u"Saving backup: backup.stw"_s;
        const QString creating = u"Creating backup: backup.stw"_s;
        const QString checking = u"Checking the archive backup.stw"_s;
        row("fixed, free space equal to the workspace", fixed, workspaceSize, 1e12, true,
            QStringList{saving, checking, u"Saving backup: Done!"_s}, QString());
        // A member named as a zip that is none: the archive is placed but does not read back whole.
        const QString checkFailed = u"Check failed: %D: ief/ief_data.zip is not a sound zip archive."_s;
        row("fixed, placed but not sound", fixed, 1e9, 1e12, true, QStringList{saving, checking, checkFailed},
            checkFailed);
        // The older archive (15 bytes) will be replaced, so its room counts as free.
        row("fixed, one byte short", fixed, workspaceSize - 16, 1e12, true,
            QStringList{saving, u"Could not save backup!"_s},
            u"Stowline needs more free diskspace to save the backup on drive: DEST"_s);
        // Each kind of drive but a fixed one, in DriveKind order.
        const QStringList kinds =
            u"unknown media|removable drive||remote drive|CD drive|ramdisk"_s.split(u'|');
        for (int kind = 0; kind < kinds.size(); ++kind) {
            if (kind == fixed)
                continue;
            const QString prefix = u"Saving backup to "_s + kinds[kind];
            row(qPrintable(kinds[kind] + u", copied"_s), kind, 1e9, 1e12, true,
                QStringList{creating, prefix + u": Please wait..."_s, checking, prefix + u": Done!"_s},
                QString());
        }
        const QString removableWait = u"Saving backup to removable drive: Please wait..."_s;
        const int removable = int(DriveKind::Removable);
        row("removable, too small: the temporary archive stays", removable, 1.0, 1e12, true,
            QStringList{creating, removableWait, u"Backup saved as: %T"_s},
            u"There is not enough free space to save the backup on drive: DEST\r\r"
            u"The backup has been saved as: %T"_s);
        row("removable, copy fails: the temporary archive stays", removable, 1e9, 1e12, false,
            QStringList{creating, removableWait, u"Saving backup: Done!"_s},
            u"Stowline could not save the backup to the drive you selected.\r"
            u"Your backup has been saved as: %T"_s);
        row("removable, temporary root one byte short", removable, 1e9, workspaceSize - 1, true,
            QStringList{creating, u"Could not create backup!"_s},
            u"Stowline needs more free diskspace to create the backup on drive:  TEMP"_s);
    }

    void placement() {
        QFETCH(PlacementRow, row);
        auto [destinationKind, destinationFree, tempFree, destinationFolderExists, statuses, message] = row;
        const bool temporaryKept = message.contains(u"%T"_s);
        // An archive that does not read back stays where it was placed, for the user to look at.
        const bool placedUnsound = message.startsWith(u"Check failed"_s);
        // The workspace file that makes up the archive.
        const QString payload = placedUnsound ? u"ief/ief_data.zip"_s : u"ief/payload.bin"_s;
        TestEnvironment env;
        DrivesDouble drives;
        // TMPDIR on a tmpfs, as on many Linux systems.
        drives.declare(u"TEMP"_s, {env.tempRoot()}, {DriveKind::RamDisk, true, true, tempFree, tempFree});
        drives.declare(u"DEST"_s, {env.path(u"dest"_s)},
                       {DriveKind(destinationKind), true, true, destinationFree, destinationFree});
        const QString destination =
            env.path(destinationFolderExists ? u"dest"_s : u"dest/missing"_s) + u"/backup.stw"_s;
        if (destinationFolderExists)
            writeFile(destination, "an older backup");
        RecordingProgress progress;
        CreateTempFolder(progress.run().ask);
        writeFile(TempDir() + u"stowline/"_s + payload, QByteArray(payloadSize, 'x'));
        statuses.replaceInStrings(u"%D"_s, destination);
        message.replace(u"%D"_s, destination);
        if (!message.isEmpty())
            env.dialogs.answerMessage(platform::MsgAnswer::OK);

        SaveArchive(destination, u"101"_s, progress.run());

        const QStringList leftInTemp = QDir(TempDir()).entryList({u"*.stw"_s}, QDir::Files);
        QCOMPARE(leftInTemp.size(), temporaryKept ? 1 : 0);
        const QString temporary = temporaryKept ? TempDir() + leftInTemp.first() : QString();
        QCOMPARE(progress.statuses, statuses.replaceInStrings(u"%T"_s, temporary));
        QCOMPARE(progress.fileLine(), u" "_s);
        if (!message.isEmpty())
            verifyErrorBox(env, message.replace(u"%T"_s, temporary));
        QVERIFY(!QFileInfo::exists(TempDir() + u"stowline"_s));
        // An older file is replaced by nothing less than a complete archive.
        const bool olderLeft = destinationFolderExists && !message.isEmpty() && !placedUnsound;
        QCOMPARE(readFile(destination) == "an older backup", olderLeft);
        QCOMPARE(QFileInfo::exists(destination), message.isEmpty() || olderLeft || placedUnsound);
        const QString archive = message.isEmpty() || placedUnsound ? destination : temporary;
        if (!archive.isEmpty()) {
            const ForeignZipView view = readWithPython(archive);
            QVERIFY(view.intact);
            QCOMPARE(view.comment, u"101"_s);
            QCOMPARE(view.members.keys(),
                     QString(payload + u"|stowline_version.txt|windows_version.txt"_s).split(u'|'));
        }
    }

    void refusedDestination_data() {
        QTest::addColumn<bool>("plantedTemp"); // else a drive that is not there
        QTest::newRow("drive not there") << false;
        QTest::newRow("temporary folder a link to the user's mail") << true;
    }

    // Nothing is collected: the temporary folder planted as a link is left as it was, and nothing is
    // written through it.
    void refusedDestination() {
        QFETCH(bool, plantedTemp);
        TestEnvironment env;
        const fixtures::Profile profile = buildSampleProfile(env);
        const QString mail = profile.storeOf(identityNamed(profile, mainName));
        const QMap<QString, QByteArray> before = hashesOfFolder(mail);
        DrivesDouble drives;
        drives.declare(u"Q:"_s, {u"Q:"_s}, {DriveKind::Removable, false});
        if (plantedTemp)
            QFile::link(mail, TempDir().chopped(1));
        env.dialogs.answerMessage(plantedTemp ? platform::MsgAnswer::OK : platform::MsgAnswer::No);
        RecordingProgress progress;
        const QString destination = plantedTemp ? env.path(u"Backup.stw"_s) : u"Q:\\Backup.stw"_s;

        WizardBackup({destination, {}, u"111"_s}, progress.run());

        QCOMPARE(env.dialogs.calls.size(), 1);
        QCOMPARE(env.dialogs.calls[0].text.contains(TempDir().chopped(1)), plantedTemp);
        QCOMPARE(hashesOfFolder(mail), before);
        QVERIFY(!QFileInfo::exists(env.path(u"Backup.stw"_s)));
        QCOMPARE(progress.statuses, QStringList{u"Could not create backup!"_s});
        QCOMPARE(progress.fileLine(), u" "_s);
        QVERIFY(progress.closeEnabled);
        QVERIFY(!QFileInfo::exists(TempDir() + u"stowline"_s));
    }
};

QTEST_MAIN(BackupEngineTest)
#include "BackupEngineTest.moc"
