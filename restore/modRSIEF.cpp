#include "restore/modRSIEF.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "restore/RestoreGuard.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreSteps.h"
#include "restore/RestoreUndo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace stowline {

namespace {

platform::FileStatus statOf(const QString& path) {
    const auto info = platform::statusOfEntry(QFile::encodeName(path).constData());
    if (!info)
        RaiseOsError(errno);
    return *info;
}

// Real folders apart from everything else (files, links), each in listing order.
struct FolderEntries {
    QStringList files;
    QStringList folders;
};

FolderEntries entriesOf(const QString& folder) {
    FolderEntries entries;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        (statOf(path).isFolder() ? entries.folders : entries.files) << path;
    }
    return entries;
}

// Not forced: a read-only file (owner may not write) is not deleted, even by root. Moved aside into
// the journal, so that an undo can bring it back.
void deleteFileNotForced(const QString& path) {
    const platform::FileStatus info = statOf(path);
    if (!info.isLink() && !info.ownerMayWrite())
        RaiseOsError(EACCES);
    restoreJournal().moveAside(path);
}

void deleteFolderNotForced(const QString& folder);

// Files first, then folders; a failure stops where it happens.
void emptyFolderNotForced(const QString& folder) {
    const FolderEntries entries = entriesOf(folder);
    for (const QString& file : entries.files)
        deleteFileNotForced(file);
    for (const QString& sub : entries.folders)
        deleteFolderNotForced(sub);
}

void deleteFolderNotForced(const QString& folder) {
    emptyFolderNotForced(folder);
    restoreJournal().keepEmptiedFolder(folder);
    if (platform::removeEmptyFolder(QFile::encodeName(folder).constData()) != 0)
        RaiseOsError(errno, true);
}

// One folder level, as the Favorites folder itself may have gone since the wizard started.
void ensureFolder(const QString& folder) {
    if (folder.isEmpty())
        Raise(Err::PathNotFound);
    if (!QFileInfo(folder).isDir() && platform::makeFolder(QFile::encodeName(folder).constData(), 0777) != 0)
        RaiseOsError(errno, true);
}

// True when emptying the folder file by file would go through to the end. One stat per entry,
// relative to its folder: a Favorites folder may hold tens of thousands.
bool emptiesWithoutForce(int folderFd) {
    platform::FolderListing listing(folderFd);
    if (!listing.isOpen())
        return true; // as an unreadable folder lists: nothing in it stops the rename
    bool empties = true;
    while (const char* name = empties ? listing.next() : nullptr) {
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const auto info = platform::statusOfEntryIn(listing.folderFd(), name);
        if (!info)
            RaiseOsError(errno);
        empties = info->isLink() || info->ownerMayWrite();
        if (empties && info->isFolder()) {
            const int sub = platform::openFolderNoLinkIn(listing.folderFd(), name);
            empties = sub < 0 || emptiesWithoutForce(sub);
        }
    }
    return empties;
}

bool emptiesWithoutForce(const QString& folder) {
    const int fd = platform::openFolderNoLink(QFile::encodeName(folder).constData());
    return fd < 0 || emptiesWithoutForce(fd);
}

// One rename instead of one per file; the folder is made again, empty, with its mode. False when it
// is a link or holds something a delete would refuse: that is then met file by file.
bool movedAsideWhole(const QString& folder) {
    const platform::FileStatus info = statOf(folder);
    if (!info.isFolder() || !emptiesWithoutForce(folder))
        return false;
    restoreJournal().moveAside(folder);
    const QByteArray path = QFile::encodeName(folder);
    if (platform::makeFolder(path.constData(), 0700) != 0 ||
        platform::setPermissions(path.constData(), info.permissions()) != 0)
        RaiseOsError(errno, true);
    return true;
}

// Replace mode; false when the user would rather not add to what is left after a failed delete.
bool replaceOrAddInstead(Questions& ask, const QString& favorites) {
    try {
        if (!movedAsideWhole(favorites))
            emptyFolderNotForced(favorites);
        return true;
    } catch (const std::exception&) {
        return ask.addInstead();
    }
}

} // namespace

bool IEF_Extract(const RestorePlan& plan, RunContext& run) {
    const QString& favorites = plan.favoritesFolder;
    const bool replaceFavorites = plan.replaceFavorites;
    bool completed = false;
    TRAP_BEGIN("modRSIEF:IEF_Extract")
        STEP(1) run.progress.setStatus(Str(txtRestoringFavorites));
        STEP(2) ItemZip backup = ItemZipOf(plan.archivePath, layout::IefDataMember);
        STEP(3) const Refusal refusal = CheckZipFile(backup);
        STEP(4) if (refusal.refused()) {
            ShowRefusal(run.ask, Str(txtFavoritesNotRestored), refusal, txtNothingOfItemChanged);
            return true;
        }
        STEP(5) restoreJournal().keepFiles(favorites, {});
        STEP(6) ensureFolder(favorites);
        STEP(7) if (replaceFavorites && !replaceOrAddInstead(run.ask, favorites)) {
            completed = true;
            return true;
        }
        STEP(8) if (!UnpackKept(run, backup, favorites, Str(txtFavoritesNotRestored))) return false;
        run.notes << Str(replaceFavorites ? txtFavoritesReplacedIn : txtFavoritesAddedTo) + u' ' + favorites;
        if (run.notesFolder.isEmpty())
            run.notesFolder = favorites;
        STEP(9) completed = true;
    TRAP_END
    return completed;
}

} // namespace stowline
