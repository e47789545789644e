#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace stowline::platform {

// One run of the program as the ledger keeps it.
struct RunRecord {
    enum class Kind { Backup, Scheduled, Restore };
    enum class Outcome { Succeeded, Failed, VerifyFailed, NotWritten, Cancelled };
    Kind kind = Kind::Backup;
    QDateTime start;
    QDateTime end;
    Outcome outcome = Outcome::Failed;
    QString archive;
    qint64 size = -1; // bytes of the archive; -1 when none was written
    QString items;    // the item flags, "111"
    int exitStatus = 0;
    QString detail; // what went wrong, such as the failed member
    bool succeeded() const { return outcome == Outcome::Succeeded; }
};

// $XDG_STATE_HOME/stowline/runs.jsonl (else ~/.local/state/...): one JSON object a line.
QString runLedgerPath();

// Appends the record; the ledger keeps its newest MaxLedgerRecords, older lines are dropped. A
// ledger that cannot be written never fails the run it records.
void appendRunRecord(const RunRecord& record);
constexpr int MaxLedgerRecords = 200;

// The records in the order they were appended; lines that do not parse are left out.
QList<RunRecord> readRunRecords();

} // namespace stowline::platform
