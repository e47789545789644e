#include "backup/modBKWABCompress.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "backup/modBKWABCheck.h"
#include "foundation/ProgressView.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/Dialogs.h"
#include "platform/PrivateFiles.h"

#include <QFileInfo>

namespace stowline {

namespace {
constexpr int txtCompressingAddressBook = 501;
constexpr int txtBackupTitle = 1303;
constexpr int txtKeyNotExported = 1304;
constexpr int txtOlderArchiveKept = 1305;
} // namespace

bool ExportKey(const QString& file, const QString& key, platform::Dialogs& ask) {
    const QString failure = ExecCmd(QStringLiteral("regedit /e /a \"") + file + QStringLiteral("\" ") + key);
    if (failure.isEmpty())
        return true;
    ask.messageBox(Str(txtKeyNotExported) + QStringLiteral("\r\r") + key + QStringLiteral("\r\r") + failure +
                       QStringLiteral("\r\r") + Str(txtOlderArchiveKept),
                   platform::MsgButtons::OK, platform::MsgIcon::Critical, Str(txtBackupTitle));
    return false;
}

void CreateItemFolder(const QString& folder) {
    // The workspace starts empty, so a folder already there means something else wrote into it.
    if (QFileInfo::exists(folder))
        Raise(58, QStringLiteral("File already exists"));
    if (const int error = platform::makePrivateFolder(folder))
        RaiseOsError(error, true);
}

bool WAB_Compress(RunContext& run) {
    bool exported = false;
    TRAP_BEGIN("modBKWABCompress:WAB_Compress")
        STEP(1) run.progress.setStatus(Str(txtCompressingAddressBook));
        STEP(3) const QString folder = TempDir() + QStringLiteral("stowline/") + layout::WabFolder;
        STEP(4) CreateItemFolder(folder);
        STEP(5)
        if (!ExportKey(TempDir() + QStringLiteral("stowline/") + layout::WabKeyMember,
                       QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4"),
                       run.ask)) return false;
        exported = true;
        STEP(6) cmpZIP& zip = run.zip;
        STEP(7) zip.Options = 1;
        STEP(8) zip.TempFolder = TempDir();
        STEP(9) zip.ArchiveFile = TempDir() + QStringLiteral("stowline/") + layout::WabDataMember;
        STEP(10) zip.CompressionLevel = CompressionLevelSetting;
        STEP(11) zip.SourceFolder = QFileInfo(AddressBookFile()).absolutePath();
        STEP(12) zip.Compress();
    TRAP_END
    return exported;
}

} // namespace stowline
