#include "archive/RunRecording.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"

#include <QFileInfo>
#include <QLocale>

namespace stowline {

namespace {

using platform::RunRecord;

RunRecord::Outcome outcomeOf(const SavedArchive& saved) {
    if (!saved.placed)
        return RunRecord::Outcome::NotWritten;
    return saved.verify.ok() ? RunRecord::Outcome::Succeeded : RunRecord::Outcome::VerifyFailed;
}

QStringList backupSummary(const FinishedBackup& backup) {
    QStringList lines{Str(txtSavedItems) + u' ' + layout::ItemNames(backup.items)};
    if (!backup.identities.isEmpty())
        lines << Str(txtTrustIdentities) + u' ' + backup.identities.join(QStringLiteral(", "));
    lines << Str(txtArchive) + u' ' + backup.archivePath
          << Str(txtSize) + u' ' + QLocale().formattedDataSize(backup.saved.size);
    if (backup.encrypted)
        lines << Str(txtEncryptedSummary);
    lines << (backup.saved.verify.ok() ? Str(txtSoundArchive)
                                       : VerifyFailureText(backup.archivePath, backup.saved.verify));
    return lines;
}

} // namespace

void RecordBackup(const FinishedBackup& backup, RunContext& run) {
    RunRecord record;
    record.kind = backup.kind;
    record.start = backup.start;
    record.end = QDateTime::currentDateTime();
    record.outcome = outcomeOf(backup.saved);
    record.archive = backup.archivePath;
    record.size = backup.saved.size;
    record.items = backup.items;
    record.exitStatus = backup.exitStatus;
    if (backup.saved.placed && !backup.saved.verify.ok())
        record.detail = VerifyFailureText(backup.archivePath, backup.saved.verify);
    platform::appendRunRecord(record);
    if (backup.saved.placed)
        run.progress.showSummary(backupSummary(backup), QFileInfo(backup.archivePath).absolutePath());
}

void RecordRestore(const QDateTime& start, const QString& archivePath, const QString& items, bool succeeded,
                   RunContext& run) {
    RunRecord record;
    record.kind = RunRecord::Kind::Restore;
    record.start = start;
    record.end = QDateTime::currentDateTime();
    record.outcome = succeeded ? RunRecord::Outcome::Succeeded : RunRecord::Outcome::Failed;
    record.archive = archivePath;
    record.size = QFileInfo(archivePath).size();
    record.items = items;
    record.exitStatus = succeeded ? 0 : 1;
    platform::appendRunRecord(record);
    if (succeeded && !run.notes.isEmpty())
        run.progress.showSummary(QStringList{Str(txtRestoredItems) + u' ' + layout::ItemNames(items)} +
                                     run.notes,
                                 run.notesFolder);
}

} // namespace stowline
