#pragma once

#include <QByteArray>
#include <QString>
#include <ctime>
#include <functional>
#include <sys/types.h>
#include <vector>

namespace stowline {

struct ZipSourceEntry {
    QByteArray path;       // native path of the file or folder
    QByteArray memberName; // relative to the source folder, '/'-separated; folders end in '/'
    quint64 size = 0;
    time_t modified = 0;
    mode_t mode = 0;
    bool isDirectory() const { return memberName.endsWith('/'); }
};

// The regular files below a folder, depth first, each folder's names sorted; symbolic links,
// devices, pipes and sockets are left out, and a link is never followed. Folders get an entry of
// their own only when they hold nothing that is stored, so that empty folders come back on
// extraction. The file at skipPath (the archive being written) is left out. The folders of the top
// level are walked on two threads. Throws VbError.
std::vector<ZipSourceEntry> ListSourceFolder(const QString& folder, const QString& skipPath = {});

} // namespace stowline
