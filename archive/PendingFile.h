#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace stowline {

// The folder a file's path names it in: "." for a bare name.
QByteArray ParentFolder(const QByteArray& path);

// A file written under a temporary name beside its target until commit renames it into place, so
// a crash or a failure never leaves a half file under the target's name; removed unless committed.
// Not QSaveFile: its writes, fsync and rename would bypass platform/FileCalls (where fault runs fail
// the Nth call), and it always syncs, where an unpacked file needs no fsync of its own.
class PendingFile {
public:
    // temporary: the temporary's full name, whose "XXXXXX" is made unique, followed by suffixLength
    // characters. Created exclusively, so a link planted at that name is never followed.
    PendingFile(const QByteArray& target, QByteArray temporary, int suffixLength = 0);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return m_fd; }
    // Synced to disk first when durable: the target's name then never holds a short file; the folder
    // is synced after the rename, so that the name survives a crash as well.
    // whileSyncing gets the complete file, still under its temporary name, while it syncs.
    void commit(bool durable, const std::function<void(const QString& written)>& whileSyncing = {});

private:
    void syncAlongside(const std::function<void(const QString&)>& whileSyncing);

    QByteArray m_target;
    QByteArray m_temporary;
    int m_fd = -1;
    bool m_committed = false;
};

} // namespace stowline
