#include "restore/RestorePlan.h"

#include "archive/ArchiveLayout.h"
#include "archive/ArchiveVerify.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipLibzip.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSystemPath.h"
#include "restore/RestoreGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace stowline {

namespace {

const QString kOutlookKey = QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0");
const QString kWabFileNameKey = QStringLiteral("Software\\Microsoft\\WAB\\WAB4\\Wab File Name");

QString textOf(const platform::RegistryValue& value) {
    return platform::isTextType(value.type) ? QString::fromUtf8(value.data) : QString();
}

// The value valueName of exactly the key the run reads after the import (below HKEY_CURRENT_USER),
// as the archive's registry file sets it last.
QString recordedValue(const QString& archivePath, const QString& member, const QString& key,
                      const QString& valueName) {
    QString found;
    ParseRegMember(archivePath, member, [&](const RegFileOp& op) {
        if (op.kind == RegFileOp::SetValue && op.hive == platform::Hive::CurrentUser &&
            op.path.compare(key, Qt::CaseInsensitive) == 0 &&
            op.value.name.compare(valueName, Qt::CaseInsensitive) == 0)
            found = textOf(op.value);
    });
    return found;
}

// A recorded path as this machine reaches it; as recorded when it cannot be mapped.
QString localOrRecorded(const QString& recorded) {
    const QString local = LocalPath(recorded);
    return local.isEmpty() ? recorded : local;
}

QString folderOfFile(const QString& filePath) {
    const qsizetype cut = filePath.lastIndexOf(u'/');
    return cut < 0 ? QString() : cut == 0 ? QStringLiteral("/") : filePath.left(cut);
}

// Files of the address book that are already in the folder and will be replaced.
int filesReplaced(const QString& archivePath, const QString& folder) {
    int replaced = 0;
    if (const auto members = InnerZipMemberEntries(archivePath, layout::WabDataMember))
        for (const ZipMemberEntry& member : *members)
            replaced += QFileInfo(folder + u'/' + member.name).isFile() ? 1 : 0;
    return replaced;
}

// Another identity here with this name, ignoring case, as the restore will find it.
QString clashingName(const QString& id, const QString& name) {
    RegEdit reg;
    reg.KeyPath = QStringLiteral("Identities");
    for (const QString& other : reg.GetSubKeys()) {
        if (other.compare(id, Qt::CaseInsensitive) == 0)
            continue;
        reg.KeyPath = QStringLiteral("Identities\\") + other;
        reg.ValueName = QStringLiteral("Username");
        if (!reg.Exists(0))
            continue;
        reg.ReadValue();
        if (reg.Value.toString().toUpper() == name.toUpper())
            return reg.Value.toString();
    }
    return {};
}

QString addressBookHere() {
    RegEdit reg;
    reg.KeyPath = kWabFileNameKey;
    reg.ValueName = QString();
    if (!reg.Exists(1) || !reg.Exists(0))
        return {};
    reg.ReadValue();
    return reg.Value.toString();
}

bool identityHere(const QString& id) {
    RegEdit reg;
    reg.KeyPath = QStringLiteral("Identities\\") + id;
    return reg.Exists(1);
}

PlannedIdentity planIdentity(const QString& archivePath, const Identity& identity, QString& previousFolder,
                             QStringList& folders) {
    PlannedIdentity planned;
    planned.name = identity.name;
    planned.id = identity.id;
    planned.replacedInPlace = IsIdentityId(identity.id) && identityHere(identity.id);
    planned.clashingName = clashingName(identity.id, identity.name);
    const QString recorded = recordedValue(archivePath, layout::IdentityKeyMember(identity.id),
                                           QStringLiteral("Identities\\") + identity.id + kOutlookKey,
                                           QStringLiteral("Store Root"));
    // One without a folder of its own follows the one before.
    if (!recorded.isEmpty())
        previousFolder = recorded;
    planned.recordedFolder = previousFolder;
    planned.storeFolder = localOrRecorded(previousFolder);
    QStringList others = folders;
    others.removeAll(QDir::cleanPath(planned.storeFolder));
    planned.folderAvailable =
        RecordedLocationUsable(planned.storeFolder, others) && !RecordedPath(planned.storeFolder).isEmpty();
    if (planned.folderAvailable)
        folders << QDir::cleanPath(planned.storeFolder);
    return planned;
}

QString folderText(const QString& folder, bool available) {
    const QString shown = folder.isEmpty() ? Str(txtNoFolderRecorded) : folder;
    return available ? shown : shown + QStringLiteral(" (") + Str(txtAskedForFolder) + u')';
}

} // namespace

QStringList ChosenMembers(const RestoreJob& job) {
    using layout::ArchiveItem, layout::ItemPresent;
    QStringList members;
    if (ItemPresent(job.chosenItems, ArchiveItem::Identities))
        for (const Identity& identity : job.identities.selected())
            members << layout::IdentityKeyMember(identity.id) << layout::IdentityDataMember(identity.id);
    if (ItemPresent(job.chosenItems, ArchiveItem::Favorites))
        members << layout::IefDataMember;
    if (ItemPresent(job.chosenItems, ArchiveItem::AddressBook))
        members << layout::WabKeyMember << layout::WabDataMember;
    return members;
}

VerifyResult CheckChosenMembers(const RestoreJob& job, bool itemsSound) {
    const auto outer = ZipMemberEntries(job.archivePath);
    if (!outer)
        return {QString(), txtNotAZip, {}};
    QStringList present;
    for (const ZipMemberEntry& entry : *outer)
        present << entry.name;
    QStringList chosen;
    for (const QString& member : ChosenMembers(job))
        if (present.contains(member)) // a missing member is refused with its item when the run comes to it
            chosen << member;
    const AuthenticationAhead ahead(job.archivePath, chosen);
    for (const QString& member : chosen) {
        if (!member.endsWith(QStringLiteral(".zip")))
            continue;
        // From the directories first: an entry that cannot be unpacked at all is named as such.
        const auto entries = InnerZipMemberEntries(job.archivePath, member);
        if (!entries)
            return {member, txtInnerZipBroken, {}};
        for (const ZipMemberEntry& entry : *entries)
            if (!entry.unpackable)
                return {member + QStringLiteral(": ") + entry.name, txtCannotUnpack, {}};
    }
    return itemsSound ? VerifyResult{} : VerifyArchive(job.archivePath, VerifyDepth::Full, chosen);
}

// An item's zip or registry file lies in the item's folder; the archive's own files do not.
std::optional<QStringList> itemMembers(const QString& archivePath) {
    const auto entries = ZipMemberEntries(archivePath);
    if (!entries)
        return std::nullopt;
    QStringList items;
    for (const ZipMemberEntry& entry : *entries)
        if (entry.name.count(u'/') == 1 &&
            (entry.name.endsWith(QStringLiteral(".zip")) || entry.name.endsWith(QStringLiteral(".reg"))))
            items << entry.name;
    return items;
}

bool ItemMembersSound(const QString& archivePath) {
    const std::optional<QStringList> items = itemMembers(archivePath);
    return items && (items->isEmpty() || VerifyArchive(archivePath, VerifyDepth::Full, *items).ok());
}

RestorePlan PlanRestore(const RestoreJob& job) {
    RestorePlan plan;
    plan.archivePath = job.archivePath;
    plan.members = ChosenMembers(job);
    plan.archiveDate = QFileInfo(job.archivePath).lastModified();
    plan.items = job.chosenItems;
    using layout::ArchiveItem, layout::ItemPresent;
    plan.replaceFavorites = job.replaceFavorites;
    QStringList folders; // of the items settled so far, as the run keeps them
    if (ItemPresent(job.chosenItems, ArchiveItem::Favorites)) {
        plan.favoritesFolder = SystemPath(CSIDL_FAVORITES);
        folders << QDir::cleanPath(plan.favoritesFolder);
    }
    if (ItemPresent(job.chosenItems, ArchiveItem::Identities)) {
        QString previousFolder;
        for (const Identity& identity : job.identities.selected())
            plan.identities << planIdentity(job.archivePath, identity, previousFolder, folders);
    }
    if (ItemPresent(job.chosenItems, ArchiveItem::AddressBook)) {
        plan.addressBookRecorded =
            recordedValue(job.archivePath, layout::WabKeyMember, kWabFileNameKey, QString());
        // An archive that records none leaves the address book where it is on this machine.
        if (plan.addressBookRecorded.isEmpty())
            plan.addressBookRecorded = addressBookHere();
        plan.addressBookFile = localOrRecorded(plan.addressBookRecorded);
        plan.addressBookFolder = folderOfFile(plan.addressBookFile);
        plan.addressBookAvailable = !plan.addressBookFile.isEmpty() &&
                                    RecordedLocationUsable(plan.addressBookFolder, folders) &&
                                    !RecordedPath(plan.addressBookFile).isEmpty();
        if (plan.addressBookAvailable)
            plan.addressBookFilesReplaced = filesReplaced(job.archivePath, plan.addressBookFolder);
    }
    return plan;
}

QStringList RestorePlan::lines() const {
    QStringList lines{Str(txtArchiveMade) + u' ' + QLocale().toString(archiveDate, QLocale::ShortFormat),
                      Str(txtItems) + u' ' + layout::ItemNames(items)};
    for (const PlannedIdentity& identity : identities) {
        QString line = Str(txtIdentity) + QStringLiteral(" \u201C") + identity.name +
                       QStringLiteral("\u201D: ") +
                       Str(identity.replacedInPlace ? txtReplacedInPlace : txtAddedAsNew);
        if (!identity.clashingName.isEmpty())
            line += QStringLiteral("; ") + Str(txtNameTaken) + QStringLiteral(" (\u201C") +
                    identity.clashingName + QStringLiteral("\u201D)");
        lines << line
              << QStringLiteral("    ") + Str(txtStoreFolder) + u' ' +
                     folderText(identity.storeFolder, identity.folderAvailable);
    }
    if (!favoritesFolder.isEmpty())
        lines << Str(replaceFavorites ? txtFavoritesReplace : txtFavoritesAdd) + u' ' + favoritesFolder;
    if (layout::ItemPresent(items, layout::ArchiveItem::AddressBook)) {
        lines << Str(txtTrustAddressBook) + u' ' + folderText(addressBookFile, addressBookAvailable);
        if (addressBookAvailable)
            lines << QStringLiteral("    ") + Str(txtReceivingFolder) + u' ' + addressBookFolder
                  << QStringLiteral("    ") + Str(txtFilesReplaced) + u' ' +
                         QString::number(addressBookFilesReplaced);
    }
    return lines;
}

std::optional<ArchiveDamage> CheckArchiveWhole(const RestoreJob& job, bool itemsSound) {
    const VerifyResult result = CheckChosenMembers(job, itemsSound);
    if (result.ok())
        return std::nullopt;
    ArchiveDamage damage{VerifyFailureText(job.archivePath, result), job};
    const QString folder = result.member.section(u'/', 0, 0);
    using layout::ArchiveItem;
    bool identities = layout::ItemPresent(job.chosenItems, ArchiveItem::Identities);
    bool favorites = layout::ItemPresent(job.chosenItems, ArchiveItem::Favorites);
    bool addressBook = layout::ItemPresent(job.chosenItems, ArchiveItem::AddressBook);
    if (!result.member.contains(u'/')) {
        identities = favorites = addressBook = false; // the archive's own files, or its directory
    } else if (folder.compare(layout::IefFolder, Qt::CaseInsensitive) == 0) {
        favorites = false;
    } else if (folder.compare(layout::WabFolder, Qt::CaseInsensitive) == 0) {
        addressBook = false;
    } else {
        for (qsizetype i = 0; i < job.identities.count(); ++i)
            if (job.identities.at(i).id.compare(folder, Qt::CaseInsensitive) == 0)
                damage.intact.identities.setSelected(i, false);
        identities = identities && damage.intact.identities.anySelected();
    }
    damage.intact.chosenItems = layout::ItemFlags(identities, favorites, addressBook);
    damage.anythingIntact = identities || favorites || addressBook;
    return damage;
}

} // namespace stowline
