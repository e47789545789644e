#include "restore/modWizardRestore.h"

#include "archive/ArchiveLayout.h"
#include "archive/frmInterface.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "restore/RestoreGuard.h"
#include "restore/RestoreSteps.h"
#include "restore/modRSIEF.h"
#include "restore/modRSIdentity.h"
#include "restore/modRSWAB.h"

namespace stowline {

namespace {

constexpr int txtOpeningBackup = 720;
constexpr int txtRestoringDone = 721;
constexpr int txtBackupNotRestored = 804;
constexpr int txtNothingRestored = 821;
constexpr qint32 kUnpackWholeArchive = 8;

void unpackWholeArchive(const QString& archivePath) {
    cmpZIP& zip = Zip();
    zip.Options = kUnpackWholeArchive;
    zip.FileSpec = QStringLiteral("*.*");
    zip.ExtractFolder = WorkspaceFolder();
    zip.ArchiveFile = archivePath;
    zip.Extract();
}

void finishRun(const QString& status) {
    if (!status.isNull()) {
        progress().setFileLine(QStringLiteral(" "));
        progress().setStatus(status);
    }
    DeleteTempFolder();
    StopIfFailureReported();
    progress().setCloseEnabled(true);
}

} // namespace

void WizardRestore(const RestoreJob& job) {
    TRAP_BEGIN("modWizardRestore:WizardRestore")
        STEP(1) DoEvents();
        STEP(2) CreateTempFolder();
        StopIfFailureReported();
        STEP(3) const QString archiveName = FileNamePart(job.archivePath);
        STEP(4) progress().setStatus(Str(txtOpeningBackup) + u' ' + archiveName);
        STEP(5) DoEvents();
        STEP(6) const Refusal refusal = CheckZipFile(job.archivePath);
        STEP(7) if (refusal.refused()) {
            ShowRefusal(Str(txtBackupNotRestored) + u' ' + archiveName, refusal, txtNothingRestored);
            STEP(8) finishRun(QString());
            return;
        }
        STEP(9) unpackWholeArchive(job.archivePath);
        using layout::ArchiveItem, layout::ItemPresent;
        STEP(11)
        if (ItemPresent(job.chosenItems, ArchiveItem::Identities) &&
            !Identity_Extract(job.identities)) return;
        STEP(12)
        if (ItemPresent(job.chosenItems, ArchiveItem::Favorites) &&
            !IEF_Extract(job.replaceFavorites)) return;
        STEP(13) if (ItemPresent(job.chosenItems, ArchiveItem::AddressBook) && !WAB_Extract()) return;
        STEP(14) finishRun(Str(txtRestoringDone));
    TRAP_END
}

} // namespace stowline
