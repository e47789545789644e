#pragma once

#include "archive/ArchiveVerify.h"
#include "platform/RunLedger.h"

#include <QDateTime>
#include <QStringList>

namespace stowline {

struct RunContext;

// A backup run as it ended, for the ledger and the summary.
struct FinishedBackup {
    platform::RunRecord::Kind kind = platform::RunRecord::Kind::Backup;
    QDateTime start;
    QString archivePath;
    QString items;          // the flags of the items collected
    QStringList identities; // names of the identities saved
    SavedArchive saved;
    int exitStatus = 0;
    bool encrypted = false;
};

// Appends the run to the ledger and shows its summary after the last status.
void RecordBackup(const FinishedBackup& backup, RunContext& run);

// The summary lines of a restore, from the notes its restorers left.
void RecordRestore(const QDateTime& start, const QString& archivePath, const QString& items, bool succeeded,
                   RunContext& run);

} // namespace stowline
