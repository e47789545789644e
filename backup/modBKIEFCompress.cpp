#include "backup/modBKIEFCompress.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "backup/modBKWABCompress.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSystemPath.h"
#include "foundation/modTempPath.h"

namespace stowline {

ZipFolderWalk IEF_StartWalk(const QString& archivePath) {
    return StartWalkingFolder(SystemPath(CSIDL_FAVORITES), archivePath);
}

void IEF_Compress(RunContext& run, ZipFolderWalk walk) {
    TRAP_BEGIN("modBKIEFCompress:IEF_Compress")
        STEP(1) run.progress.setStatus(Str(txtCompressingFavorites));
        STEP(3) const QString folder = TempDir() + QStringLiteral("stowline/") + layout::IefFolder;
        STEP(4) CreateItemFolder(folder);
        // Zipped straight into the backup archive when that is written.
        STEP(5) {
            ZipNestedArchive favorites{QByteArray(layout::IefDataMember.data()), SystemPath(CSIDL_FAVORITES),
                                       CompressionLevelSetting};
            if (walk.folder == favorites.sourceFolder) {
                favorites.listing = std::move(walk.entries);
                favorites.listingSkips = walk.skips;
            }
            run.zip.NestedArchives.push_back(std::move(favorites));
        }
    TRAP_END
}

} // namespace stowline
