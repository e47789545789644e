#pragma once

#include <ctime>
#include <optional>
#include <sys/types.h>
#include <utility>

// The plain file calls of the engines: open, read, look at, change and remove. Every descriptor is
// opened close-on-exec. Each call returns what the system call returns and sets errno the same way.
// None of them is counted by the planned failures of platform/FileCalls.h.
namespace stowline::platform {

// Owns one descriptor and closes it when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { close(); }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    // 0, or -1 with errno set; the descriptor is gone either way.
    int close();

private:
    int m_fd = -1;
};

int openToRead(const char* path);
// A link at the path is refused (ELOOP).
int openToReadNoLink(const char* path);
int openToReadNoLinkIn(int folderFd, const char* name);
int openToUpdate(const char* path);
int openFolderNoLink(const char* path);
int openFolderNoLinkIn(int folderFd, const char* name);
// A folder held only to open names below it (O_PATH): it needs no permission to read it.
int openFolderToLookUp(const char* path);
// Fails with EEXIST when something is already there.
int createNewFile(const char* path, mode_t mode);
// Replaces the XXXXXX before the last suffixLength characters of pattern; the file is 0600.
int createTemporaryFile(char* pattern, int suffixLength);
int closeFile(int fd);

ssize_t readAt(int fd, void* buffer, size_t size, off_t offset);
ssize_t writeAt(int fd, const void* data, size_t size, off_t offset);
ssize_t writeBytes(int fd, const void* data, size_t size);
// One write at the end of the file, created 0600 when missing: lines of several threads stay whole.
ssize_t appendToFile(const char* path, const void* data, size_t size);
int resizeFile(int fd, off_t size);
// The new position, or -1.
off_t seekTo(int fd, off_t position);
off_t seekToEnd(int fd);

// Hints to the kernel's read-ahead; a failure only means no hint was taken.
void adviseSequential(int fd);
void adviseWillNeed(int fd, off_t offset, off_t length);

int setPermissions(int fd, mode_t permissions);
int setPermissions(const char* path, mode_t permissions);
// Sets the modification time, the access time to now.
int setModified(int fd, time_t modified);

int renamePath(const char* from, const char* to);
int removeFile(const char* path);
int removeEmptyFolder(const char* path);

// What the system knows of a file, as far as the engines ask.
struct FileStatus {
    mode_t mode = 0; // type and permission bits
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    dev_t device = 0;
    ino_t inode = 0;

    bool isRegular() const;
    bool isFolder() const;
    bool isLink() const;
    bool ownerMayWrite() const;
    mode_t permissions() const { return mode & 07777; }
    bool sameFileAs(const FileStatus& other) const { return device == other.device && inode == other.inode; }
};

// None with errno set when it cannot be looked at. statusOf follows links, the others do not.
std::optional<FileStatus> statusOf(const char* path);
std::optional<FileStatus> statusOfEntry(const char* path);
std::optional<FileStatus> statusOfEntryIn(int folderFd, const char* name);
std::optional<FileStatus> statusOfOpen(int fd);

// The names in an open folder one by one, "." and ".." among them; owns the folder's descriptor.
class FolderListing {
public:
    // Takes the descriptor; when it cannot be listed it is closed, errno kept, and isOpen is false.
    explicit FolderListing(int folderFd);
    FolderListing(FolderListing&& other) noexcept : m_listing(std::exchange(other.m_listing, nullptr)) {}
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    ~FolderListing();

    bool isOpen() const { return m_listing != nullptr; }
    int folderFd() const;
    // The next name, or nullptr at the end or on an error (errno then set, else unchanged).
    const char* next();

private:
    void* m_listing = nullptr;
};

// The kernel's id of the calling thread, as top and perf show it.
long currentThreadId();

} // namespace stowline::platform
