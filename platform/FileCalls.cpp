#include "platform/FileCalls.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline::platform {

namespace {

enum Kind { Write, Sync, Rename, Mkdir, DbWrite, WriteBack, FolderSync, KindCount };
const QList<QByteArray> kindNames{"write", "fsync", "rename", "mkdir", "dbwrite", "writeback", "foldersync"};

struct PlannedFault {
    int kind = -1;
    long long nth = 0;
    int error = 0;
};

// The optional fourth field names the one program the fault is for, so that a test can make a
// child fail while its parent runs on.
bool meantForThisProgram(const QList<QByteArray>& parts) {
    return parts.size() == 3 || (parts.size() == 4 && parts[3] == program_invocation_short_name);
}

constexpr int KillInstead = -1;

int errorNamed(const QByteArray& name) {
    if (name == "KILL")
        return KillInstead;
    static const QList<QPair<QByteArray, int>> known{{"ENOSPC", ENOSPC}, {"EIO", EIO},
                                                     {"EACCES", EACCES}, {"EROFS", EROFS},
                                                     {"EDQUOT", EDQUOT}, {"EINVAL", EINVAL}};
    for (const auto& [text, number] : known)
        if (name == text)
            return number;
    return EIO;
}

PlannedFault readPlan() {
    const QList<QByteArray> parts = qgetenv("STOWLINE_FAIL_FILE_CALL").split(':');
    if (!meantForThisProgram(parts))
        return {};
    return {static_cast<int>(kindNames.indexOf(parts[0])), parts[1].toLongLong(), errorNamed(parts[2])};
}

// True when this call is the one the plan makes fail; errno is then set.
bool plannedToFail(Kind kind) {
    static const PlannedFault plan = readPlan();
    static std::atomic<long long> calls[KindCount];
    if (plan.kind != kind || ++calls[kind] != plan.nth)
        return false;
    std::fprintf(stderr, "stowline: %s call %lld %s (STOWLINE_FAIL_FILE_CALL)\n", kindNames[kind].constData(),
                 plan.nth, plan.error == KillInstead ? "kills the process" : std::strerror(plan.error));
    if (plan.error == KillInstead)
        ::kill(::getpid(), SIGKILL);
    errno = plan.error;
    return true;
}

// With a dbwrite fault planned, SQLite's own file layer is wrapped, so that a full disk can be shown
// to hit the registry store.
sqlite3_io_methods wrappedMethods;
const sqlite3_io_methods* realMethods = nullptr;
sqlite3_vfs wrappingVfs;
sqlite3_vfs* realVfs = nullptr;

int faultyWrite(sqlite3_file* file, const void* data, int size, sqlite3_int64 offset) {
    if (plannedToFail(DbWrite))
        return errno == ENOSPC ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    return realMethods->xWrite(file, data, size, offset);
}

int wrappingOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    const int result = realVfs->xOpen(realVfs, name, file, flags, outFlags);
    if (result == SQLITE_OK && file->pMethods) {
        if (!realMethods) {
            realMethods = file->pMethods;
            wrappedMethods = *realMethods;
            wrappedMethods.xWrite = faultyWrite;
        }
        if (file->pMethods == realMethods)
            file->pMethods = &wrappedMethods;
    }
    return result;
}

bool wrapSqliteWhenFaultPlanned() {
    if (readPlan().kind != DbWrite || !(realVfs = sqlite3_vfs_find(nullptr)))
        return false;
    wrappingVfs = *realVfs;
    wrappingVfs.zName = "stowline-faults";
    wrappingVfs.xOpen = wrappingOpen;
    return sqlite3_vfs_register(&wrappingVfs, 1) == SQLITE_OK;
}

[[maybe_unused]] const bool sqliteWrapped = wrapSqliteWhenFaultPlanned();

} // namespace

ssize_t writeFile(int fd, const void* data, size_t size) {
    return plannedToFail(Write) ? -1 : ::write(fd, data, size);
}

ssize_t writeFilePieces(int fd, const iovec* pieces, int count) {
    return plannedToFail(Write) ? -1 : ::writev(fd, pieces, count);
}

int syncFile(int fd) { return plannedToFail(Sync) ? -1 : ::fsync(fd); }

int writeBack(int fd, off_t offset, off_t length, bool wait) {
    const unsigned waiting = wait ? SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WAIT_AFTER : 0;
    return plannedToFail(WriteBack) ? -1
                                    : ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE | waiting);
}

int renameFile(const char* from, const char* to) { return plannedToFail(Rename) ? -1 : ::rename(from, to); }

int syncFolder(const char* path) {
    // A folder it may not read, or a file system that syncs no folders (FUSE, some network ones),
    // has nothing more to give: only a failing disk fails the call.
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EPERM ? 0 : -1;
    int result = plannedToFail(FolderSync) ? -1 : ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0 && (error == EINVAL || error == EOPNOTSUPP || error == ENOSYS))
        result = 0;
    errno = error;
    return result;
}

void removeStaleTemporaries(const char* folder, const char* prefix, const char* suffix) {
    DIR* listing = ::opendir(folder);
    if (!listing)
        return;
    const size_t length = std::strlen(prefix) + 6 + std::strlen(suffix);
    while (const dirent* entry = ::readdir(listing)) {
        const char* name = entry->d_name;
        struct stat info {};
        if (std::strlen(name) == length && std::strncmp(name, prefix, std::strlen(prefix)) == 0 &&
            std::strcmp(name + length - std::strlen(suffix), suffix) == 0 &&
            ::fstatat(::dirfd(listing), name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(::dirfd(listing), name, 0);
    }
    ::closedir(listing);
}

int makeFolder(const char* path, mode_t mode) { return plannedToFail(Mkdir) ? -1 : ::mkdir(path, mode); }

} // namespace stowline::platform
