#include "platform/PrivateFiles.h"

#include "platform/FileCalls.h"

#include <QFile>
#include <QProcess>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace stowline::platform {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

QByteArray native(const QString& path) { return QFile::encodeName(path); }

int openFolderNoFollow(int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::vector<std::string> namesIn(int folderFd) {
    std::vector<std::string> names;
    DIR* dir = ::fdopendir(::dup(folderFd));
    if (!dir)
        return names;
    ::rewinddir(dir); // the duplicate shares the position of earlier listings
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// Root may delete a read-only file; a deletion that is not forced must not.
bool ownerMayDelete(const struct stat& info) { return S_ISLNK(info.st_mode) || (info.st_mode & S_IWUSR); }

int requireDeletable(int folderFd) {
    for (const std::string& name : namesIn(folderFd)) {
        struct stat info {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (!ownerMayDelete(info))
            return EACCES;
        if (!S_ISDIR(info.st_mode))
            continue;
        const Descriptor sub(openFolderNoFollow(folderFd, name.c_str()));
        if (!sub.valid())
            return errno;
        if (const int error = requireDeletable(sub.get()))
            return error;
    }
    return 0;
}

int removeEntries(int folderFd) {
    for (const std::string& name : namesIn(folderFd)) {
        struct stat info {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (S_ISDIR(info.st_mode)) {
            const Descriptor sub(openFolderNoFollow(folderFd, name.c_str()));
            if (!sub.valid())
                return errno;
            if (const int error = removeEntries(sub.get()))
                return error;
        }
        if (::unlinkat(folderFd, name.c_str(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) != 0)
            return errno;
    }
    return 0;
}

} // namespace

FolderPrivacy folderPrivacy(const QString& path) {
    struct stat info {};
    if (::lstat(native(path).constData(), &info) != 0)
        return errno == ENOENT ? FolderPrivacy::Missing : FolderPrivacy::NotAFolder;
    if (!S_ISDIR(info.st_mode))
        return FolderPrivacy::NotAFolder;
    if (info.st_uid != ::geteuid())
        return FolderPrivacy::OtherOwner;
    return (info.st_mode & 077) ? FolderPrivacy::OpenToOthers : FolderPrivacy::Private;
}

int makePrivateFolder(const QString& path) {
    const QByteArray name = native(path);
    if (makeFolder(name.constData(), 0700) != 0)
        return errno;
    const Descriptor folder(openFolderNoFollow(AT_FDCWD, name.constData()));
    if (!folder.valid() || ::fchmod(folder.get(), 0700) != 0)
        return errno;
    return 0;
}

int restrictFolder(const QString& path) {
    const Descriptor folder(openFolderNoFollow(AT_FDCWD, native(path).constData()));
    return folder.valid() && ::fchmod(folder.get(), 0700) == 0 ? 0 : errno;
}

int openPrivateFile(const QString& path, bool append) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(native(path).constData(), flags, 0600);
    if (fd >= 0 && ::fchmod(fd, 0600) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool ensurePrivateFile(const QString& path) {
    const int fd = openPrivateFile(path, true);
    return fd >= 0 && ::close(fd) == 0;
}

int removeFolderTree(const QString& path) {
    const QByteArray name = native(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (!ownerMayDelete(info))
        return EACCES;
    const Descriptor top(openFolderNoFollow(AT_FDCWD, name.constData()));
    if (!top.valid())
        return errno;
    if (const int error = requireDeletable(top.get()))
        return error;
    if (const int error = removeEntries(top.get()))
        return error;
    return ::rmdir(name.constData()) == 0 ? 0 : errno;
}

bool removeTreesInBackground(const QStringList& paths) {
    // At the lowest priority, so that a restore started beside it keeps both cores.
    const QStringList removal{QStringLiteral("-n19"), QStringLiteral("rm"), QStringLiteral("-rf"),
                              QStringLiteral("--")};
    QProcess remover;
    remover.setProgram(QStringLiteral("nice"));
    remover.setArguments(removal + paths);
    // Holds no pipe of ours open: whoever reads this program's output is not kept waiting.
    remover.setStandardInputFile(QProcess::nullDevice());
    remover.setStandardOutputFile(QProcess::nullDevice());
    remover.setStandardErrorFile(QProcess::nullDevice());
    return remover.startDetached();
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::stat(native(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

SecretFile readSecretFile(const QString& path) {
    constexpr qint64 LongestSecret = 64 * 1024;
    const Descriptor fd(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return {errno == ENOENT  ? SecretFileProblem::Missing
                : errno == ELOOP ? SecretFileProblem::NotAFile
                                 : SecretFileProblem::Unreadable,
                {}};
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > LongestSecret)
        return {SecretFileProblem::NotAFile, {}};
    if (info.st_uid != ::getuid())
        return {SecretFileProblem::OtherOwner, {}};
    if (info.st_mode & 0077)
        return {SecretFileProblem::OpenToOthers, {}};
    QByteArray secret(info.st_size, Qt::Uninitialized);
    const ssize_t got = ::read(fd.get(), secret.data(), secret.size());
    if (got != info.st_size)
        return {SecretFileProblem::Unreadable, {}};
    if (secret.endsWith('\n'))
        secret.chop(secret.endsWith("\r\n") ? 2 : 1);
    return {SecretFileProblem::None, secret};
}

mode_t currentUmask() {
    // Read rather than set and reset: umask() would change it for every thread for a moment.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) // proc files report size 0: read, do not ask atEnd()
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return static_cast<mode_t>(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 022;
}

} // namespace stowline::platform
