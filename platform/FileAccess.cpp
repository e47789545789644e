#include "platform/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace stowline::platform {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.release();
    }
    return *this;
}

int Descriptor::close() { return m_fd < 0 ? 0 : ::close(release()); }

int openToRead(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC); }

int openToReadNoLink(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW); }

int openToReadNoLinkIn(int folderFd, const char* name) {
    return ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

int openToUpdate(const char* path) { return ::open(path, O_RDWR | O_CLOEXEC); }

int openFolderNoLink(const char* path) {
    return ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int openFolderNoLinkIn(int folderFd, const char* name) {
    return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int openFolderToLookUp(const char* path) { return ::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC); }

int createNewFile(const char* path, mode_t mode) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int createTemporaryFile(char* pattern, int suffixLength) {
    return ::mkostemps(pattern, suffixLength, O_CLOEXEC);
}

int closeFile(int fd) { return ::close(fd); }

ssize_t readAt(int fd, void* buffer, size_t size, off_t offset) { return ::pread(fd, buffer, size, offset); }

ssize_t writeAt(int fd, const void* data, size_t size, off_t offset) {
    return ::pwrite(fd, data, size, offset);
}

ssize_t writeBytes(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

ssize_t appendToFile(const char* path, const void* data, size_t size) {
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    ::close(fd);
    errno = error;
    return written;
}

int resizeFile(int fd, off_t size) { return ::ftruncate(fd, size); }

off_t seekTo(int fd, off_t position) { return ::lseek(fd, position, SEEK_SET); }

off_t seekToEnd(int fd) { return ::lseek(fd, 0, SEEK_END); }

void adviseSequential(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

void adviseWillNeed(int fd, off_t offset, off_t length) {
    ::posix_fadvise(fd, offset, length, POSIX_FADV_WILLNEED);
}

int setPermissions(int fd, mode_t permissions) { return ::fchmod(fd, permissions); }

int setPermissions(const char* path, mode_t permissions) { return ::chmod(path, permissions); }

int setModified(int fd, time_t modified) {
    const timespec times[2] = {{0, UTIME_NOW}, {modified, 0}};
    return ::futimens(fd, times);
}

int renamePath(const char* from, const char* to) { return ::rename(from, to); }

int removeFile(const char* path) { return ::unlink(path); }

int removeEmptyFolder(const char* path) { return ::rmdir(path); }

bool FileStatus::isRegular() const { return S_ISREG(mode); }
bool FileStatus::isFolder() const { return S_ISDIR(mode); }
bool FileStatus::isLink() const { return S_ISLNK(mode); }
bool FileStatus::ownerMayWrite() const { return (mode & S_IWUSR) != 0; }

namespace {

std::optional<FileStatus> statusFrom(int result, const struct stat& info) {
    if (result != 0)
        return std::nullopt;
    return FileStatus{info.st_mode, info.st_size, info.st_mtim, info.st_ctim, info.st_dev, info.st_ino};
}

} // namespace

std::optional<FileStatus> statusOf(const char* path) {
    struct stat info {};
    return statusFrom(::stat(path, &info), info);
}

std::optional<FileStatus> statusOfEntry(const char* path) {
    struct stat info {};
    return statusFrom(::lstat(path, &info), info);
}

std::optional<FileStatus> statusOfEntryIn(int folderFd, const char* name) {
    struct stat info {};
    return statusFrom(::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW), info);
}

std::optional<FileStatus> statusOfOpen(int fd) {
    struct stat info {};
    return statusFrom(::fstat(fd, &info), info);
}

FolderListing::FolderListing(int folderFd) : m_listing(::fdopendir(folderFd)) {
    if (!m_listing) {
        const int error = errno;
        ::close(folderFd);
        errno = error;
    }
}

FolderListing::~FolderListing() {
    if (m_listing)
        ::closedir(static_cast<DIR*>(m_listing));
}

int FolderListing::folderFd() const { return ::dirfd(static_cast<DIR*>(m_listing)); }

const char* FolderListing::next() {
    const dirent* entry = ::readdir(static_cast<DIR*>(m_listing));
    return entry ? entry->d_name : nullptr;
}

long currentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

} // namespace stowline::platform
