#pragma once

#include <QString>

namespace stowline {

// The restore run behind the Restore Wizard: unpacks the archive into the workspace, restores the
// chosen items (identities, favorites, address book, in that order) and removes the workspace.
void WizardRestore(const QString& archivePath);

} // namespace stowline
