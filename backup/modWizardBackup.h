#pragma once

#include "archive/IdentityCatalog.h"

#include <QString>

namespace stowline {

struct RunContext;

// One backup as the wizard set it up: where the archive goes, the identities found with the user's
// choice among them, and the item flags of the items chosen.
struct BackupJob {
    QString archivePath;
    IdentityCatalog identities;
    QString items = QStringLiteral("000");
    QByteArray passphrase; // when set, the archive is encrypted with it
};

// The interactive backup: checks the destination, collects the chosen items in the order
// identities, favorites, address book, saves the archive and enables the progress window's Close.
void WizardBackup(const BackupJob& job, RunContext& run);

} // namespace stowline
