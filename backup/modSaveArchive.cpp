#include "backup/modSaveArchive.h"

#include "archive/PhaseLog.h"
#include "archive/RunContext.h"
#include "archive/ZipFormat.h"
#include "backup/modCreateArchive.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "platform/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <optional>

namespace stowline {

namespace {

const QString blankLine = QStringLiteral(" ");

platform::DriveKind kindOfDriveOf(const QString& path) {
    platform::Drives& drives = platform::drives();
    return drives.kind(drives.driveName(path));
}

QString byKind(int firstId, platform::DriveKind kind) {
    const int k = static_cast<int>(kind);
    return Str(firstId + (k >= 0 && k <= static_cast<int>(platform::DriveKind::RamDisk) ? k : 0));
}

void clearFileLine(ProgressView& progress) { progress.setFileLine(blankLine); }

void showError(Questions& ask, const QString& text) { ask.tell(Questions::Notice::BackupFailed, text); }

// A name in the temporary root, beside the workspace, that nothing uses yet.
QString newTemporaryArchivePath() {
    const QString root = TempDir();
    QString path;
    do {
        path = root + QStringLiteral("stw") + QString::number(QRandomGenerator::global()->generate(), 16) +
               QStringLiteral(".stw");
    } while (QFileInfo::exists(path));
    return path;
}

// Streams the archive to a temporary name beside its destination, syncs and renames it: the old
// file there is replaced only by a complete copy, which keeps that file's mode.
bool copyArchive(const QString& from, const QString& to) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray target = QFile::encodeName(to);
    const QByteArray folder = QFile::encodeName(QFileInfo(to).absolutePath());
    platform::removeStaleTemporaries(
        folder.constData(), QByteArray(QFile::encodeName(QFileInfo(to).fileName()) + '.').constData(),
        ".part");
    QByteArray temp = target + ".XXXXXX.part";
    const int fd = platform::createTemporaryFile(temp.data(), 5);
    if (fd < 0)
        return false;
    const auto replaced = platform::statusOf(target.constData());
    bool copied = !replaced || platform::setPermissions(fd, replaced->permissions()) == 0;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (qint64 n = 0; copied && (n = in.read(buffer.data(), buffer.size())) != 0;) {
        try {
            copied = n > 0;
            if (copied)
                zipformat::writeFully(fd, buffer.constData(), static_cast<size_t>(n));
        } catch (const VbError&) {
            copied = false;
        }
    }
    copied = copied && platform::syncFile(fd) == 0;
    copied = platform::closeFile(fd) == 0 && copied;
    copied = copied && platform::renameFile(temp.constData(), target.constData()) == 0;
    if (!copied)
        platform::removeFile(temp.constData());
    return copied;
}

bool removeForced(const QString& path) {
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    return QFile::remove(path);
}

VerifyResult readBack(const QString& destination, const QString& archive, RunContext& run) {
    run.progress.setStatus(Str(txtCheckingArchive) + u' ' + QFileInfo(destination).fileName());
    const PhaseLog phase("read-back");
    return VerifyArchive(archive, VerifyDepth::Placed);
}

// Reads the placed archive back, unless that was done while it synced; a failure is shown with its
// member and ends the run unfinished.
bool verifyPlaced(const QString& destination, RunContext& run, SavedArchive& saved,
                  std::optional<VerifyResult> readWhileSyncing = std::nullopt) {
    saved.placed = true;
    saved.size = QFileInfo(destination).size();
    saved.verify = readWhileSyncing ? *readWhileSyncing : readBack(destination, destination, run);
    if (saved.verify.ok())
        return true;
    const QString failure = VerifyFailureText(destination, saved.verify);
    showError(run.ask, failure);
    run.progress.setStatus(failure);
    clearFileLine(run.progress);
    DeleteTempFolder();
    return false;
}

// Both return false when they have already ended the run (the workspace is then gone).
bool saveOnFixedDrive(const QString& destination, const QString& itemFlags, RunContext& run,
                      SavedArchive& saved) {
    ProgressView& progress = run.progress;
    progress.setStatus(Str(txtSavingBackup) + u' ' + QFileInfo(destination).fileName());
    std::optional<VerifyResult> verified;
    const auto readBackWhileSyncing = [&](const QString& written) {
        verified = readBack(destination, written, run);
    };
    if (!CreateArchive(destination, itemFlags, run.zip, run.ask, readBackWhileSyncing)) {
        progress.setStatus(Str(txtCouldNotSave));
        clearFileLine(progress);
        DeleteTempFolder();
        return false;
    }
    if (!verifyPlaced(destination, run, saved, verified))
        return false;
    progress.setStatus(Str(txtSavingDone));
    clearFileLine(progress);
    return true;
}

bool saveThroughTemporaryArchive(const QString& destination, const QString& itemFlags, RunContext& run,
                                 SavedArchive& saved) {
    ProgressView& progress = run.progress;
    progress.setStatus(Str(txtCreatingBackup) + u' ' + QFileInfo(destination).fileName());
    const QString temporary = newTemporaryArchivePath();
    if (!CreateArchive(temporary, itemFlags, run.zip, run.ask)) {
        progress.setStatus(Str(txtCouldNotCreate));
        clearFileLine(progress);
        DeleteTempFolder();
        return false;
    }
    const platform::DriveKind kind = kindOfDriveOf(destination);
    progress.setStatus(byKind(txtPleaseWaitByKind, kind));
    clearFileLine(progress);
    if (GetFreeDiskSpace(destination) < static_cast<double>(QFileInfo(temporary).size())) {
        showError(run.ask, Str(txtNoRoomAtDestination) + u' ' + platform::drives().driveName(destination) +
                               QStringLiteral("\r\r") + Str(txtSavedAs) + temporary);
        progress.setStatus(Str(txtBackupSavedAs) + u' ' + temporary);
        DeleteTempFolder();
        return false;
    }
    if (!copyArchive(temporary, destination) || !removeForced(temporary)) {
        showError(run.ask, Str(txtCopyFailed) + u'\r' + Str(txtYourBackupSavedAs) + temporary);
        progress.setStatus(Str(txtSavingDone));
        clearFileLine(progress);
        DeleteTempFolder();
        return false;
    }
    if (!verifyPlaced(destination, run, saved))
        return false;
    progress.setStatus(byKind(txtDoneByKind, kind));
    return true;
}

} // namespace

SavedArchive SaveArchive(const QString& destination, const QString& itemFlags, RunContext& run) {
    SavedArchive result;
    TRAP_BEGIN("modSaveArchive:SaveArchive")
        STEP(1) const bool fixed = kindOfDriveOf(destination) == platform::DriveKind::Fixed;
        STEP(2)
        const bool saved = fixed ? saveOnFixedDrive(destination, itemFlags, run, result)
                                 : saveThroughTemporaryArchive(destination, itemFlags, run, result);
        STEP(3) if (!saved) return result;
        STEP(5) DeleteTempFolder();
    TRAP_END
    return result;
}

} // namespace stowline
