#include "archive/ZipSourceTree.h"

#include "foundation/modError.h"
#include "platform/FileAccess.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <optional>
#include <thread>

namespace stowline {

namespace {

platform::FolderListing openFolder(const QByteArray& folder) {
    const QByteArray openPath = folder.isEmpty() ? QByteArrayLiteral("/") : folder;
    const int fd = platform::openFolderNoLink(openPath.constData());
    if (fd < 0)
        RaiseOsError(errno, true);
    platform::FolderListing dir(fd);
    if (!dir.isOpen())
        RaiseOsError(errno, true);
    return dir;
}

std::vector<QByteArray> sortedNames(platform::FolderListing& dir) {
    std::vector<QByteArray> names;
    errno = 0;
    while (const char* entry = dir.next()) {
        const QByteArray name(entry);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    if (errno != 0)
        RaiseOsError(errno, true);
    std::sort(names.begin(), names.end());
    return names;
}

// The file the listing leaves out: the archive being written.
struct Skipped {
    dev_t device = 0;
    ino_t inode = 0;
};

// A folder's or regular file's entry; none for anything else, the skipped file or one removed meanwhile.
std::optional<ZipSourceEntry> entryOf(const platform::FolderListing& dir, const QByteArray& folder,
                                      const QByteArray& prefix, const QByteArray& name, Skipped skipped) {
    const auto info = platform::statusOfEntryIn(dir.folderFd(), name.constData());
    if (!info) {
        if (errno == ENOENT)
            return std::nullopt;
        RaiseOsError(errno);
    }
    const QByteArray path = folder + '/' + name;
    if (info->isFolder())
        return ZipSourceEntry{path, prefix + name + '/', 0, info->modified.tv_sec, info->mode};
    if (info->isRegular() && !(info->device == skipped.device && info->inode == skipped.inode))
        return ZipSourceEntry{path, prefix + name, static_cast<quint64>(info->size), info->modified.tv_sec,
                              info->mode};
    return std::nullopt;
}

class TreeWalker {
public:
    TreeWalker(std::vector<ZipSourceEntry>& out, Skipped skipped) : m_out(out), m_skipped(skipped) {}

    // Returns whether anything below the folder was stored.
    bool walk(const QByteArray& folder, const QByteArray& prefix) {
        platform::FolderListing dir = openFolder(folder);
        bool storedAny = false;
        for (const QByteArray& name : sortedNames(dir)) {
            if (const std::optional<ZipSourceEntry> entry = entryOf(dir, folder, prefix, name, m_skipped)) {
                add(*entry);
                storedAny = true;
            }
        }
        return storedAny;
    }

    // Keeps a file's entry, or walks a folder's (kept only when nothing below it is stored).
    void add(const ZipSourceEntry& entry) {
        if (!entry.isDirectory() || !walk(entry.path, entry.memberName))
            m_out.push_back(entry);
    }

private:
    std::vector<ZipSourceEntry>& m_out;
    Skipped m_skipped;
};

// The top level's entries, each folder's walked on one of two threads, joined in name order: on
// 20,000 Favorites the walk was the last thing the archive's writing waited for.
std::vector<ZipSourceEntry> walkTopLevel(const QByteArray& root, Skipped skipped) {
    platform::FolderListing dir = openFolder(root);
    std::vector<ZipSourceEntry> top;
    for (const QByteArray& name : sortedNames(dir))
        if (std::optional<ZipSourceEntry> entry = entryOf(dir, root, {}, name, skipped))
            top.push_back(std::move(*entry));
    std::vector<std::vector<ZipSourceEntry>> below(top.size());
    std::vector<std::exception_ptr> failures(top.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < top.size(); i = next++) {
            try {
                TreeWalker(below[i], skipped).add(top[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    {
        std::jthread helper(work);
        work();
    }
    std::vector<ZipSourceEntry> entries;
    for (size_t i = 0; i < top.size(); ++i) {
        if (failures[i])
            std::rethrow_exception(failures[i]);
        entries.insert(entries.end(), std::make_move_iterator(below[i].begin()),
                       std::make_move_iterator(below[i].end()));
    }
    return entries;
}

} // namespace

std::vector<ZipSourceEntry> ListSourceFolder(const QString& folder, const QString& skipPath) {
    QByteArray root = QFile::encodeName(folder);
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root.isEmpty())
        RaiseOsError(ENOENT, true);
    const auto skip =
        skipPath.isEmpty() ? std::nullopt : platform::statusOf(QFile::encodeName(skipPath).constData());
    return walkTopLevel(root == "/" ? QByteArray() : root,
                        skip ? Skipped{skip->device, skip->inode} : Skipped{});
}

} // namespace stowline
