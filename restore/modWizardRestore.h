#pragma once

#include "archive/IdentityCatalog.h"

#include <QString>

namespace stowline {

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

// The restore run behind the Restore Wizard: unpacks the archive into the workspace, restores the
// chosen items (identities, favorites, address book, in that order) and removes the workspace.
void WizardRestore(const RestoreJob& job, RunContext& run);

} // namespace stowline
