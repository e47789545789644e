#include "restore/modWizardRestore.h"

#include "archive/ArchiveLayout.h"
#include "archive/PhaseLog.h"
#include "archive/RunContext.h"
#include "archive/RunRecording.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipLibzip.h"
#include "archive/cmpZIP.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/RegistrySource.h"
#include "restore/RestoreGuard.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreSteps.h"
#include "restore/RestoreUndo.h"
#include "restore/modRSIEF.h"
#include "restore/modRSIdentity.h"
#include "restore/modRSWAB.h"

#include <QLocale>
#include <algorithm>

namespace stowline {

namespace {

constexpr qint32 kUnpackWholeArchive = 8;

// False (the user told) when a member turns out damaged; nothing of the machine is changed yet.
bool unpackChosenMembers(cmpZIP& zip, Questions& ask, const RestorePlan& plan, const QString& archiveName) {
    const PhaseLog phase("unpack into the workspace");
    zip.Options = kUnpackWholeArchive;
    zip.ExtractFolder = WorkspaceFolder();
    zip.ArchiveFile = plan.archivePath;
    QStringList present;
    if (const auto entries = ZipMemberEntries(plan.archivePath))
        for (const ZipMemberEntry& entry : *entries)
            present << entry.name;
    try {
        // Only the chosen items' members: a damaged member of an item left out is never read. A
        // missing one is refused with its item; a stored zip is read where it lies instead.
        for (const QString& member : plan.members) {
            const bool readInPlace = member.endsWith(QStringLiteral(".zip")) &&
                                     !ItemZipOf(plan.archivePath, member).member.isEmpty();
            if (!present.contains(member) || readInPlace)
                continue;
            zip.FileSpec = member;
            zip.Extract();
        }
    } catch (const VbError& error) {
        if (error.alreadyReported())
            throw;
        StopRestore(ask, Str(txtBackupNotRestored) + u' ' + archiveName, error.description());
        return false;
    }
    return true;
}

// The unpacked archive holds account keys and mail: after a failure it does not wait for the next
// start to be removed.
struct WorkspaceGoesOnFailure {
    ~WorkspaceGoesOnFailure() {
        if (FailureShown())
            DeleteTempFolder();
    }
};

void finishRun(ProgressView& progress, const QString& status) {
    if (!status.isNull()) {
        progress.setFileLine(QStringLiteral(" "));
        progress.setStatus(status);
    }
    DeleteTempFolder();
    StopIfFailureReported();
    progress.setCloseEnabled(true);
}

// Before the first write: the keys the plan's items change, kept so that a failure or an undo can
// put them back. Their files are kept as each item comes to them.
bool beginJournal(const RestorePlan& plan) {
    const PhaseLog phase("undo journal");
    using layout::ArchiveItem, layout::ItemPresent;
    RestoreJournal& journal = restoreJournal();
    if (!journal.begin())
        return false;
    if (ItemPresent(plan.items, ArchiveItem::Identities)) {
        // An identity, an account: each put back or kept whole.
        journal.keepKey(QStringLiteral("Identities"), 1);
        journal.keepKey(QStringLiteral("Software\\Microsoft\\Internet Account Manager"), 2);
    }
    if (ItemPresent(plan.items, ArchiveItem::AddressBook))
        journal.keepKey(QStringLiteral("Software\\Microsoft\\WAB\\WAB4"));
    return true;
}

QString undoNote() {
    return Str(txtUndoKept) + u' ' + QLocale().formattedDataSize(std::max<qint64>(UndoDataSize(), 0));
}

} // namespace

void WizardRestore(const RestorePlan& plan, RunContext& run) {
    const QDateTime start = QDateTime::currentDateTime();
    run.notes.clear();
    run.notesFolder.clear();
    // Every way out of the run below ends in the ledger.
    bool succeeded = false;
    struct Recorder {
        const RestorePlan& plan;
        RunContext& run;
        const QDateTime& start;
        bool& succeeded;
        ~Recorder() { RecordRestore(start, plan.archivePath, plan.items, succeeded, run); }
    } recorder{plan, run, start, succeeded};
    const WorkspaceGoesOnFailure cleanup;
    // A failure that reached the crash window leaves nothing half restored either.
    struct RollBackUnlessDone {
        ~RollBackUnlessDone() { restoreJournal().rollBack(); }
    } rollBack;
    TRAP_BEGIN("modWizardRestore:WizardRestore")
        // An offline profile's hive is never written, so whatever a restore set would be lost.
        STEP(1) if (!platform::registry().persistent()) {
            run.ask.tell(Questions::Notice::ProfileReadOnly, Str(txtProfileReadOnly));
            finishRun(run.progress, Str(txtNothingRestored));
            return;
        }
        STEP(2) if (!CreateTempFolder(run.ask)) {
            StopIfFailureReported();
            finishRun(run.progress, Str(txtNothingRestored));
            return;
        }
        STEP(3) const QString archiveName = FileNamePart(plan.archivePath);
        STEP(4) run.progress.setStatus(Str(txtOpeningBackup) + u' ' + archiveName);
        STEP(6) const Refusal refusal = CheckZipFile(plan.archivePath);
        STEP(7) if (refusal.refused()) {
            ShowRefusal(run.ask, Str(txtBackupNotRestored) + u' ' + archiveName, refusal, txtNothingRestored);
            STEP(8) finishRun(run.progress, QString());
            return;
        }
        // Encrypted members are authenticated on the other cores while the run prepares and unpacks.
        STEP(9) const AuthenticationAhead ahead(plan.archivePath, plan.members);
        if (!unpackChosenMembers(run.zip, run.ask, plan, archiveName)) {
            finishRun(run.progress, Str(txtNothingRestored));
            return;
        }
        STEP(10)
        if (!beginJournal(plan))
            Raise(Err::PathFileAccess, Str(txtJournalNotMade) + u' ' + UndoFolder());
        using layout::ArchiveItem, layout::ItemPresent;
        // An item that stopped the restore has put everything back and said why.
        const auto stopped = [&] {
            if (!FailureShown())
                finishRun(run.progress, Str(txtNothingRestored));
        };
        STEP(11)
        if (ItemPresent(plan.items, ArchiveItem::Identities) && !Identity_Extract(plan, run))
            return stopped();
        STEP(12)
        if (ItemPresent(plan.items, ArchiveItem::Favorites) && !IEF_Extract(plan, run))
            return stopped();
        STEP(13)
        if (ItemPresent(plan.items, ArchiveItem::AddressBook) && !WAB_Extract(plan, run))
            return stopped();
        restoreJournal().finish();
        run.notes << undoNote();
        STEP(14) finishRun(run.progress, Str(txtRestoringDone));
        succeeded = true;
    TRAP_END
}

} // namespace stowline
