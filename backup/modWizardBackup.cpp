#include "backup/modWizardBackup.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/RunRecording.h"
#include "archive/ZipCompressor.h"
#include "archive/ZipDecrypt.h"
#include "archive/cmpZIP.h"
#include "backup/modBKIEFCompress.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCompress.h"
#include "backup/modSaveArchive.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modCheckWrite.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"

namespace stowline {

namespace {

// Calls collect when the item is chosen; the flag records the call, not its success. A collector
// that could not export its key clears exported.
template <class Collect>
bool collectIfChosen(const BackupJob& job, layout::ArchiveItem item, bool& exported, Collect collect) {
    if (!layout::ItemPresent(job.items, item) || !exported)
        return false;
    exported = collect();
    return true;
}

} // namespace

void WizardBackup(const BackupJob& job, RunContext& run) {
    FinishedBackup finished;
    finished.start = QDateTime::currentDateTime();
    finished.archivePath = job.archivePath;
    finished.encrypted = !job.passphrase.isEmpty();
    TRAP_BEGIN("modWizardBackup:WizardBackup")
        STEP(2) if (!CheckWrite(job.archivePath, run.ask) || !CreateTempFolder(run.ask)) {
            STEP(3) run.progress.setStatus(Str(txtCouldNotCreate));
            STEP(4) run.progress.setFileLine(QStringLiteral(" "));
        }
        else {
            using layout::ArchiveItem;
            run.zip.NestedArchives.clear();
            run.zip.Passphrase = job.passphrase;
            AddArchivePassphrase(job.passphrase); // the read-back after writing needs it
            bool exported = true;
            // The address book's key is exported and the Favorites are walked while the identities'
            // keys are exported.
            std::optional<KeyExport> addressBookExport;
            if (layout::ItemPresent(job.items, ArchiveItem::AddressBook))
                addressBookExport = WAB_StartExport();
            ZipFolderWalk favoritesWalk = layout::ItemPresent(job.items, ArchiveItem::Favorites)
                                              ? IEF_StartWalk(job.archivePath)
                                              : ZipFolderWalk{};
            STEP(7)
            const bool identities = collectIfChosen(job, ArchiveItem::Identities, exported,
                                                    [&] { return Identity_Compress(job.identities, run); });
            STEP(8)
            const bool favorites = collectIfChosen(job, ArchiveItem::Favorites, exported, [&] {
                IEF_Compress(run, std::move(favoritesWalk));
                return true;
            });
            // The other folders are walked while the address book is exported.
            StartListingNestedArchives(run.zip.NestedArchives, job.archivePath);
            STEP(9)
            const bool addressBook = collectIfChosen(job, ArchiveItem::AddressBook, exported,
                                                     [&] { return WAB_Compress(run, addressBookExport); });
            finished.items = layout::ItemFlags(identities, favorites, addressBook);
            if (identities)
                for (const Identity& identity : job.identities.selected())
                    finished.identities << identity.name;
            // A key that could not be exported leaves any older archive where it is.
            STEP(10) if (exported) finished.saved = SaveArchive(job.archivePath, finished.items, run);
            else run.progress.setStatus(Str(txtCouldNotCreate));
        }
        finished.exitStatus = finished.saved.ok() ? 0 : 1;
        RecordBackup(finished, run);
        STEP(11) run.progress.setCloseEnabled(true);
    TRAP_END
}

} // namespace stowline
