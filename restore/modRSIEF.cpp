#include "restore/modRSIEF.h"

#include "archive/ArchiveLayout.h"
#include "archive/RunContext.h"
#include "foundation/ProgressView.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
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
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline {

namespace {

struct stat statOf(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        RaiseOsError(errno);
    return info;
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
        (S_ISDIR(statOf(path).st_mode) ? entries.folders : entries.files) << path;
    }
    return entries;
}

// Not forced: a read-only file (owner may not write) is not deleted, even by root. Moved aside into
// the journal, so that an undo can bring it back.
void deleteFileNotForced(const QString& path) {
    const struct stat info = statOf(path);
    if (!S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0)
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
    if (rmdir(QFile::encodeName(folder).constData()) != 0)
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
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(folderFd), ::closedir);
    if (!listing) {
        ::close(folderFd);
        return true; // as an unreadable folder lists: nothing in it stops the rename
    }
    bool empties = true;
    while (const dirent* entry = empties ? ::readdir(listing.get()) : nullptr) {
        const char* name = entry->d_name;
        struct stat info {};
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (::fstatat(::dirfd(listing.get()), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            RaiseOsError(errno);
        empties = S_ISLNK(info.st_mode) || (info.st_mode & S_IWUSR) != 0;
        if (empties && S_ISDIR(info.st_mode)) {
            const int sub =
                ::openat(::dirfd(listing.get()), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            empties = sub < 0 || emptiesWithoutForce(sub);
        }
    }
    return empties;
}

bool emptiesWithoutForce(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 || emptiesWithoutForce(fd);
}

// One rename instead of one per file; the folder is made again, empty, with its mode. False when it
// is a link or holds something a delete would refuse: that is then met file by file.
bool movedAsideWhole(const QString& folder) {
    const struct stat info = statOf(folder);
    if (!S_ISDIR(info.st_mode) || !emptiesWithoutForce(folder))
        return false;
    restoreJournal().moveAside(folder);
    const QByteArray path = QFile::encodeName(folder);
    if (platform::makeFolder(path.constData(), 0700) != 0 ||
        ::chmod(path.constData(), info.st_mode & 07777) != 0)
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
