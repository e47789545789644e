#pragma once

#include "archive/ArchiveVerify.h"
#include "restore/modWizardRestore.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace stowline {

// What a restore will do, worked out before anything is written.
struct PlannedIdentity {
    QString name;
    QString id;
    bool replacedInPlace = false; // an identity of the same ID is here and is replaced whole
    QString clashingName;         // another identity here already has this name: a new one is asked
    QString storeFolder;          // recorded in the archive (as this machine reaches it); empty when none is
    bool folderAvailable = false; // else a new folder is asked for
};

struct RestorePlan {
    QDateTime archiveDate;
    QString items; // the flags chosen
    QList<PlannedIdentity> identities;
    bool replaceFavorites = true;
    QString favoritesFolder;
    QString addressBookFile;   // recorded in the archive, as this machine reaches it
    QString addressBookFolder; // receives every file of the address book's folder
    bool addressBookAvailable = false;
    int addressBookFilesReplaced = 0; // files already there that the restore replaces

    // The plan as the plan page lists it, one line an entry.
    QStringList lines() const;
};

RestorePlan PlanRestore(const RestoreJob& job);

// The members of the archive that the chosen items are restored from.
QStringList ChosenMembers(const RestoreJob& job);

// Without reading the members' data (a second pass over a big archive would cost the restore
// its speed): the archive's directory and the chosen inner zips' directories, every entry
// unpackable. Damaged data shows as it is unpacked.
VerifyResult CheckChosenMembers(const RestoreJob& job);

// A damaged chosen member found before anything is planned, and the restore of the chosen items
// that it leaves intact.
struct ArchiveDamage {
    QString text;      // the archive, the member and what is wrong with it
    RestoreJob intact; // the job without the items the member belongs to
    bool anythingIntact = false;
};
// Nothing when every member reads back whole.
std::optional<ArchiveDamage> CheckArchiveWhole(const RestoreJob& job);

} // namespace stowline
