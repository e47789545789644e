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

void IEF_Compress(RunContext& run) {
    TRAP_BEGIN("modBKIEFCompress:IEF_Compress")
        STEP(1) run.progress.setStatus(Str(txtCompressingFavorites));
        STEP(3) const QString folder = TempDir() + QStringLiteral("stowline/") + layout::IefFolder;
        STEP(4) CreateItemFolder(folder);
        STEP(5) cmpZIP& zip = run.zip;
        STEP(6) zip.Options = 1;
        STEP(7) zip.TempFolder = TempDir();
        STEP(8) zip.ArchiveFile = TempDir() + QStringLiteral("stowline/") + layout::IefDataMember;
        STEP(9) zip.CompressionLevel = CompressionLevelSetting;
        STEP(10) zip.SourceFolder = SystemPath(CSIDL_FAVORITES);
        STEP(11) zip.Compress();
    TRAP_END
}

} // namespace stowline
