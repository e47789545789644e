#include "archive/ZipSourceTree.h"

#include "foundation/modError.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

class TreeWalker {
public:
    TreeWalker(std::vector<ZipSourceEntry>& out, dev_t skipDevice, ino_t skipInode,
               const std::function<void()>& betweenFolders)
        : m_out(out), m_skipDevice(skipDevice), m_skipInode(skipInode), m_betweenFolders(betweenFolders) {}

    // Returns whether anything below the folder was stored.
    bool walk(const QByteArray& folder, const QByteArray& prefix) {
        if (m_betweenFolders)
            m_betweenFolders();
        const QByteArray openPath = folder.isEmpty() ? QByteArrayLiteral("/") : folder;
        const int fd = ::open(openPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            RaiseOsError(errno, true);
        DirHandle dir(fdopendir(fd));
        if (!dir) {
            const int error = errno;
            ::close(fd);
            RaiseOsError(error, true);
        }
        bool storedAny = false;
        for (const QByteArray& name : sortedNames(dir.get())) {
            struct stat info {};
            if (fstatat(dirfd(dir.get()), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue; // removed while we looked
                RaiseOsError(errno);
            }
            const QByteArray path = folder + '/' + name;
            if (S_ISDIR(info.st_mode)) {
                if (!walk(path, prefix + name + '/'))
                    m_out.push_back({path, prefix + name + '/', 0, info.st_mtime, info.st_mode});
                storedAny = true;
            } else if (S_ISREG(info.st_mode) &&
                       !(info.st_dev == m_skipDevice && info.st_ino == m_skipInode)) {
                m_out.push_back(
                    {path, prefix + name, static_cast<quint64>(info.st_size), info.st_mtime, info.st_mode});
                storedAny = true;
            }
        }
        return storedAny;
    }

private:
    static std::vector<QByteArray> sortedNames(DIR* dir) {
        std::vector<QByteArray> names;
        errno = 0;
        while (const dirent* entry = readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(name);
        }
        if (errno != 0)
            RaiseOsError(errno, true);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<ZipSourceEntry>& m_out;
    dev_t m_skipDevice;
    ino_t m_skipInode;
    const std::function<void()>& m_betweenFolders;
};

} // namespace

std::vector<ZipSourceEntry> ListSourceFolder(const QString& folder, const QString& skipPath,
                                             const std::function<void()>& betweenFolders) {
    QByteArray root = QFile::encodeName(folder);
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root.isEmpty())
        RaiseOsError(ENOENT, true);
    struct stat skip {};
    if (skipPath.isEmpty() || ::stat(QFile::encodeName(skipPath).constData(), &skip) != 0)
        skip = {};
    std::vector<ZipSourceEntry> entries;
    TreeWalker(entries, skip.st_dev, skip.st_ino, betweenFolders).walk(root == "/" ? QByteArray() : root, {});
    return entries;
}

} // namespace stowline
