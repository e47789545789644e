#include "backup/modCreateArchive.h"

#include "archive/ArchiveLayout.h"
#include "archive/PhaseLog.h"
#include "archive/cmpZIP.h"
#include "foundation/Questions.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modOSInfo.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace stowline {

namespace {

// The older archive stays until the new one replaces it whole, so a failed run loses nothing; its
// room counts as free. A read-only archive is not replaced: it fails the run.
double roomOfOldArchive(const QString& path) {
    if (!QFileInfo::exists(path))
        return 0;
    if (!(QFile::permissions(path) & QFileDevice::WriteOwner))
        Raise(Err::PermissionDenied);
    return static_cast<double>(QFileInfo(path).size());
}

double sizeOfFilesBelow(const QString& folder) {
    double total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += static_cast<double>(it.fileInfo().size());
    }
    return total;
}

void reportNoRoom(const QString& archivePath, Questions& ask) {
    platform::Drives& drives = platform::drives();
    const QString drive = drives.driveName(archivePath);
    const bool fixed = drives.kind(drive) == platform::DriveKind::Fixed;
    const QString text = Str(fixed ? txtNoRoomToSave : txtNoRoomToCreate) + u' ' + drive;
    ask.tell(Questions::Notice::BackupFailed, text);
}

void zipWorkspace(cmpZIP& zip, const QString& workspace, const QString& archivePath, const QString& itemFlags,
                  const std::function<void(const QString&)>& whileSyncing) {
    zip.Options = 1;
    zip.TempFolder = TempDir();
    zip.ArchiveFile = archivePath;
    zip.CompressionLevel = 1;
    zip.SourceFolder = workspace;
    zip.Comment = itemFlags;
    zip.Durable = true;
    zip.WhileSyncing = whileSyncing;
    const PhaseLog phase("write archive");
    zip.Compress();
    zip.Comment.clear();
    zip.Durable = false;
}

} // namespace

bool CreateArchive(const QString& archivePath, const QString& itemFlags, cmpZIP& zip, Questions& ask,
                   const std::function<void(const QString&)>& whileSyncing) {
    bool result = false;
    TRAP_BEGIN("modCreateArchive:CreateArchive")
        STEP(1) const QString workspace = TempDir() + QStringLiteral("stowline");
        STEP(2) layout::WriteStowlineVersion(workspace + u'/' + layout::StowlineVersionFile);
        STEP(3) const platform::OsVersion os = GetOSVersion();
        STEP(4)
        layout::WriteWindowsVersion(workspace + u'/' + layout::WindowsVersionFile, os.major, os.minor,
                                    os.platformId);
        STEP(5) const double replacedBytes = roomOfOldArchive(archivePath);
        STEP(6) const double freeBytes = GetFreeDiskSpace(archivePath) + replacedBytes;
        // The archives made on the fly may need as much as the files they hold.
        STEP(7)
        const double neededBytes = sizeOfFilesBelow(workspace) +
                                   static_cast<double>(ListNestedArchives(zip.NestedArchives, archivePath));
        STEP(8) if (freeBytes < neededBytes) {
            zip.NestedArchives.clear();
            STEP(9) reportNoRoom(archivePath, ask);
            STEP(10) return result;
        }
        STEP(11) zipWorkspace(zip, workspace, archivePath, itemFlags, whileSyncing);
        STEP(12) result = true;
    TRAP_END
    return result;
}

} // namespace stowline
