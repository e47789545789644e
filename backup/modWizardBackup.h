#pragma once

#include "backup/BackupChoice.h"

#include <QString>

namespace stowline {

// The interactive backup: checks the destination, collects the chosen items in the order
// identities, favorites, address book, saves the archive and enables the progress window's Close.
void WizardBackup(const QString& destination, const BackupChoice& choice);

} // namespace stowline
