#include "restore/modWizardRestore.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/RunRecording.h"
#include "archive/cmpZIP.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"
#include "restore/RestoreGuard.h"
#include "restore/RestoreSteps.h"
#include "restore/modRSIEF.h"
#include "restore/modRSIdentity.h"
#include "restore/modRSWAB.h"

namespace stowline {

namespace {

constexpr qint32 kUnpackWholeArchive = 8;

void unpackWholeArchive(cmpZIP& zip, const QString& archivePath) {
    zip.Options = kUnpackWholeArchive;
    zip.FileSpec = QStringLiteral("*.*");
    zip.ExtractFolder = WorkspaceFolder();
    zip.ArchiveFile = archivePath;
    zip.Extract();
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

} // namespace

void WizardRestore(const RestoreJob& job, RunContext& run) {
    const QDateTime start = QDateTime::currentDateTime();
    run.notes.clear();
    run.notesFolder.clear();
    // Every way out of the run below ends in the ledger.
    bool succeeded = false;
    struct Recorder {
        const RestoreJob& job;
        RunContext& run;
        const QDateTime& start;
        bool& succeeded;
        ~Recorder() { RecordRestore(start, job.archivePath, job.chosenItems, succeeded, run); }
    } recorder{job, run, start, succeeded};
    const WorkspaceGoesOnFailure cleanup;
    TRAP_BEGIN("modWizardRestore:WizardRestore")
        // An offline profile's hive is never written, so whatever a restore set would be lost.
        STEP(1) if (!platform::registry().persistent()) {
            platform::dialogs().messageBox(Str(txtProfileReadOnly), platform::MsgButtons::OK,
                                           platform::MsgIcon::Exclamation, AppTitle());
            finishRun(run.progress, Str(txtNothingRestored));
            return;
        }
        STEP(2) if (!CreateTempFolder()) {
            StopIfFailureReported();
            finishRun(run.progress, Str(txtNothingRestored));
            return;
        }
        STEP(3) const QString archiveName = FileNamePart(job.archivePath);
        STEP(4) run.progress.setStatus(Str(txtOpeningBackup) + u' ' + archiveName);
        STEP(6) const Refusal refusal = CheckZipFile(job.archivePath);
        STEP(7) if (refusal.refused()) {
            ShowRefusal(Str(txtBackupNotRestored) + u' ' + archiveName, refusal, txtNothingRestored);
            STEP(8) finishRun(run.progress, QString());
            return;
        }
        STEP(9) unpackWholeArchive(run.zip, job.archivePath);
        using layout::ArchiveItem, layout::ItemPresent;
        STEP(11)
        if (ItemPresent(job.chosenItems, ArchiveItem::Identities) && !Identity_Extract(job.identities, run))
            return;
        STEP(12)
        if (ItemPresent(job.chosenItems, ArchiveItem::Favorites) && !IEF_Extract(job.replaceFavorites, run))
            return;
        STEP(13) if (ItemPresent(job.chosenItems, ArchiveItem::AddressBook) && !WAB_Extract(run)) return;
        STEP(14) finishRun(run.progress, Str(txtRestoringDone));
        succeeded = true;
    TRAP_END
}

} // namespace stowline
