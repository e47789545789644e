#include "restore/RestorePlan.h"

#include "archive/ArchiveLayout.h"
#include "archive/ArchiveVerify.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSystemPath.h"
#include "restore/RestoreGuard.h"

#include <QFileInfo>
#include <QLocale>

namespace stowline {

namespace {

const QString kOutlookTail = QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0");

QString textOf(const platform::RegistryValue& value) {
    return platform::isTextType(value.type) ? QString::fromUtf8(value.data) : QString();
}

// The value valueName of the key that ends in keyTail, as the archive's registry file sets it.
QString recordedValue(const QString& archivePath, const QString& member, const QString& keyTail,
                      const QString& valueName) {
    QString found;
    ParseRegMember(archivePath, member, [&](const RegFileOp& op) {
        if (op.kind == RegFileOp::SetValue && op.path.endsWith(keyTail, Qt::CaseInsensitive) &&
            op.value.name.compare(valueName, Qt::CaseInsensitive) == 0)
            found = textOf(op.value);
    });
    return found;
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

bool identityHere(const QString& id) {
    RegEdit reg;
    reg.KeyPath = QStringLiteral("Identities\\") + id;
    return reg.Exists(1);
}

PlannedIdentity planIdentity(const QString& archivePath, const Identity& identity, QString& previousFolder) {
    PlannedIdentity planned{identity.name, identity.id};
    planned.replacedInPlace = IsIdentityId(identity.id) && identityHere(identity.id);
    planned.clashingName = clashingName(identity.id, identity.name);
    const QString recorded = recordedValue(archivePath, layout::IdentityKeyMember(identity.id), kOutlookTail,
                                           QStringLiteral("Store Root"));
    // One without a folder of its own follows the one before, as the restore does.
    if (!recorded.isEmpty())
        previousFolder = recorded;
    planned.storeFolder = previousFolder;
    planned.folderAvailable = LocationUsable(planned.storeFolder);
    return planned;
}

QString folderText(const QString& folder, bool available) {
    const QString shown = folder.isEmpty() ? Str(txtNoFolderRecorded) : folder;
    return available ? shown : shown + QStringLiteral(" (") + Str(txtAskedForFolder) + u')';
}

} // namespace

RestorePlan PlanRestore(const RestoreJob& job) {
    RestorePlan plan;
    plan.archiveDate = QFileInfo(job.archivePath).lastModified();
    plan.items = job.chosenItems;
    using layout::ArchiveItem, layout::ItemPresent;
    if (ItemPresent(job.chosenItems, ArchiveItem::Identities)) {
        QString previousFolder;
        for (const Identity& identity : job.identities.selected())
            plan.identities << planIdentity(job.archivePath, identity, previousFolder);
    }
    plan.replaceFavorites = job.replaceFavorites;
    if (ItemPresent(job.chosenItems, ArchiveItem::Favorites))
        plan.favoritesFolder = SystemPath(CSIDL_FAVORITES);
    if (ItemPresent(job.chosenItems, ArchiveItem::AddressBook)) {
        plan.addressBookFile = recordedValue(job.archivePath, layout::WabKeyMember,
                                             QStringLiteral("\\Wab File Name"), QString());
        plan.addressBookAvailable =
            LocationUsable(QFileInfo(plan.addressBookFile).absolutePath()) && !plan.addressBookFile.isEmpty();
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
    if (layout::ItemPresent(items, layout::ArchiveItem::AddressBook))
        lines << Str(txtTrustAddressBook) + u' ' + folderText(addressBookFile, addressBookAvailable);
    return lines;
}

} // namespace stowline
