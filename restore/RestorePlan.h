#pragma once

#include "archive/ArchiveVerify.h"
#include "restore/modWizardRestore.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace stowline {

// What a restore will do, worked out once before anything is written: the plan page shows it and
// the run carries it out as it stands, reading no location again.
struct PlannedIdentity {
    QString name;
    QString id;
    bool replacedInPlace = false; // an identity of the same ID is here and is replaced whole
    QString clashingName;         // another identity here already has this name: a new one is asked
    QString recordedFolder;       // "Store Root" as the archive records it, for messages
    QString storeFolder;          // the same as this machine reaches it; empty when none is recorded
    bool folderAvailable = false; // else a new folder is asked for
};

struct RestorePlan {
    QString archivePath;
    QStringList members; // of the archive, that the chosen items are restored from
    QDateTime archiveDate;
    QString items; // the flags chosen
    QList<PlannedIdentity> identities;
    bool replaceFavorites = true;
    QString favoritesFolder;
    QString addressBookRecorded; // "Wab File Name" as the archive records it
    QString addressBookFile;     // the same as this machine reaches it
    QString addressBookFolder;   // receives every file of the address book's folder
    bool addressBookAvailable = false;
    int addressBookFilesReplaced = 0; // files already there that the restore replaces

    // The plan as the plan page lists it, one line an entry.
    QStringList lines() const;
};

RestorePlan PlanRestore(const RestoreJob& job);

// The members of the archive that the chosen items are restored from.
QStringList ChosenMembers(const RestoreJob& job);

// The chosen items' members read whole, streaming, CRCs and registry files included, nothing
// written: what would stop the run part-way is found before anything is changed. itemsSound: every
// item's member was already read whole and found sound, so only the directories are looked at.
VerifyResult CheckChosenMembers(const RestoreJob& job, bool itemsSound = false);

// Reads every item's member of the archive whole; true when all are sound. Slow for a big archive:
// the wizard has it done while the person chooses.
bool ItemMembersSound(const QString& archivePath);

// A damaged chosen member found before anything is planned, and the restore of the chosen items
// that it leaves intact.
struct ArchiveDamage {
    QString text;      // the archive, the member and what is wrong with it
    RestoreJob intact; // the job without the items the member belongs to
    bool anythingIntact = false;
};
// Nothing when every member reads back whole; itemsSound as for CheckChosenMembers.
std::optional<ArchiveDamage> CheckArchiveWhole(const RestoreJob& job, bool itemsSound = false);

} // namespace stowline
