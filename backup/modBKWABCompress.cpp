#include "backup/modBKWABCompress.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "backup/modBKWABCheck.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/PrivateFiles.h"

#include <QFileInfo>

namespace stowline {

namespace {

QString exportCommand(const QString& file) {
    return QStringLiteral("regedit /e /a \"") + file +
           QStringLiteral("\" HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4");
}
} // namespace

void CreateItemFolder(const QString& folder) {
    // The workspace starts empty, so a folder already there means something else wrote into it.
    if (QFileInfo::exists(folder))
        Raise(Err::FileExists);
    if (const int error = platform::makePrivateFolder(folder))
        RaiseOsError(error, true);
}

void WAB_Compress(RunContext& run) {
    TRAP_BEGIN("modBKWABCompress:WAB_Compress")
        STEP(1) run.progress.setStatus(Str(txtCompressingAddressBook));
        STEP(3) const QString folder = TempDir() + QStringLiteral("stowline/") + layout::WabFolder;
        STEP(4) CreateItemFolder(folder);
        STEP(5) ExecCmd(exportCommand(TempDir() + QStringLiteral("stowline/") + layout::WabKeyMember));
        STEP(6) cmpZIP& zip = run.zip;
        STEP(7) zip.Options = 1;
        STEP(8) zip.TempFolder = TempDir();
        STEP(9) zip.ArchiveFile = TempDir() + QStringLiteral("stowline/") + layout::WabDataMember;
        STEP(10) zip.CompressionLevel = CompressionLevelSetting;
        STEP(11) zip.SourceFolder = QFileInfo(AddressBookFile()).absolutePath();
        STEP(12) zip.Compress();
    TRAP_END
}

} // namespace stowline
