#pragma once

#include "restore/modWizardRestore.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace stowline {

// What a restore will do, worked out before anything is written.
struct PlannedIdentity {
    QString name;
    QString id;
    bool replacedInPlace = false; // an identity of the same ID is here and is replaced whole
    QString clashingName;         // another identity here already has this name: a new one is asked
    QString storeFolder;          // recorded in the archive; empty when none is
    bool folderAvailable = false; // else a new folder is asked for
};

struct RestorePlan {
    QDateTime archiveDate;
    QString items; // the flags chosen
    QList<PlannedIdentity> identities;
    bool replaceFavorites = true;
    QString favoritesFolder;
    QString addressBookFile; // recorded in the archive
    bool addressBookAvailable = false;

    // The plan as the plan page lists it, one line an entry.
    QStringList lines() const;
};

RestorePlan PlanRestore(const RestoreJob& job);

} // namespace stowline
