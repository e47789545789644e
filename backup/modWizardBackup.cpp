#include "backup/modWizardBackup.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/RunRecording.h"
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

// Calls collect when the item is chosen; the flag records the call, not its success.
template <class Collect>
bool collectIfChosen(const BackupJob& job, layout::ArchiveItem item, Collect collect) {
    if (!layout::ItemPresent(job.items, item))
        return false;
    collect();
    return true;
}

} // namespace

void WizardBackup(const BackupJob& job, RunContext& run) {
    FinishedBackup finished{platform::RunRecord::Kind::Backup, QDateTime::currentDateTime(), job.archivePath};
    TRAP_BEGIN("modWizardBackup:WizardBackup")
        STEP(2) if (!CheckWrite(job.archivePath) || !CreateTempFolder()) {
            STEP(3) run.progress.setStatus(Str(txtCouldNotCreate));
            STEP(4) run.progress.setFileLine(QStringLiteral(" "));
        }
        else {
            using layout::ArchiveItem;
            run.zip.NestedArchives.clear();
            STEP(7)
            const bool identities = collectIfChosen(job, ArchiveItem::Identities,
                                                    [&] { Identity_Compress(job.identities, run); });
            STEP(8)
            const bool favorites = collectIfChosen(job, ArchiveItem::Favorites, [&] { IEF_Compress(run); });
            STEP(9)
            const bool addressBook =
                collectIfChosen(job, ArchiveItem::AddressBook, [&] { WAB_Compress(run); });
            finished.items = layout::ItemFlags(identities, favorites, addressBook);
            if (identities)
                for (const Identity& identity : job.identities.selected())
                    finished.identities << identity.name;
            STEP(10) finished.saved = SaveArchive(job.archivePath, finished.items, run);
        }
        finished.exitStatus = finished.saved.ok() ? 0 : 1;
        RecordBackup(finished, run);
        STEP(11) run.progress.setCloseEnabled(true);
    TRAP_END
}

} // namespace stowline
