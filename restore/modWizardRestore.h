#pragma once

#include "archive/IdentityCatalog.h"

#include <QString>

namespace stowline {

struct RestorePlan;
struct RunContext;

// One restore as the wizard set it up: the archive and the item flags of its comment, the
// identities of its index with the user's choice among them, the item flags of the items chosen
// and whether the favorites replace the current ones or are added to them.
struct RestoreJob {
    QString archivePath;
    QString archiveItems;
    IdentityCatalog identities;
    QString chosenItems = QStringLiteral("000");
    bool replaceFavorites = true;
};

// The restore run behind the Restore Wizard: unpacks the plan's members into the workspace, carries
// out the plan (identities, favorites, address book, in that order) and removes the workspace.
void WizardRestore(const RestorePlan& plan, RunContext& run);

} // namespace stowline
