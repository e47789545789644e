#include "backup/modWizardBackup.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "backup/modBKIEFCompress.h"
#include "backup/modBKIdentityCompress.h"
#include "backup/modBKWABCompress.h"
#include "backup/modSaveArchive.h"
#include "foundation/ProgressView.h"
#include "foundation/Strings.h"
#include "foundation/modCheckWrite.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"

namespace stowline {

namespace {

constexpr int txtCouldNotCreate = 523;

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
    TRAP_BEGIN("modWizardBackup:WizardBackup")
        STEP(2) if (!CheckWrite(job.archivePath) || !CreateTempFolder()) {
            STEP(3) run.progress.setStatus(Str(txtCouldNotCreate));
            STEP(4) run.progress.setFileLine(QStringLiteral(" "));
        }
        else {
            using layout::ArchiveItem;
            STEP(7)
            const bool identities = collectIfChosen(job, ArchiveItem::Identities,
                                                    [&] { Identity_Compress(job.identities, run); });
            STEP(8)
            const bool favorites = collectIfChosen(job, ArchiveItem::Favorites, [&] { IEF_Compress(run); });
            STEP(9)
            const bool addressBook =
                collectIfChosen(job, ArchiveItem::AddressBook, [&] { WAB_Compress(run); });
            STEP(10) SaveArchive(job.archivePath, layout::ItemFlags(identities, favorites, addressBook), run);
        }
        STEP(11) run.progress.setCloseEnabled(true);
    TRAP_END
}

} // namespace stowline
