#include "archive/PendingFile.h"

#include "foundation/modError.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"

#include <QFile>
#include <cerrno>
#include <thread>
#include <utility>

namespace stowline {

QByteArray ParentFolder(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArrayLiteral(".") : slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

PendingFile::PendingFile(const QByteArray& target, QByteArray temporary, int suffixLength)
    : m_target(target), m_temporary(std::move(temporary)) {
    m_fd = platform::createTemporaryFile(m_temporary.data(), suffixLength);
    if (m_fd < 0)
        RaiseOsError(errno, true);
}

PendingFile::~PendingFile() {
    if (m_fd >= 0)
        platform::closeFile(m_fd);
    if (!m_committed)
        platform::removeFile(m_temporary.constData());
}

void PendingFile::commit(bool durable, const std::function<void(const QString&)>& whileSyncing) {
    if (durable)
        syncAlongside(whileSyncing);
    else if (whileSyncing)
        whileSyncing(QFile::decodeName(m_temporary));
    if (platform::closeFile(std::exchange(m_fd, -1)) != 0)
        RaiseOsError(errno);
    if (platform::renameFile(m_temporary.constData(), m_target.constData()) != 0)
        RaiseOsError(errno);
    m_committed = true;
    if (durable && platform::syncFolder(ParentFolder(m_target).constData()) != 0)
        RaiseOsError(errno);
}

// The sync mostly waits for the disk, so the other work runs meanwhile on this thread.
void PendingFile::syncAlongside(const std::function<void(const QString&)>& whileSyncing) {
    int syncError = 0;
    {
        std::jthread syncer([&] { syncError = platform::syncFile(m_fd) == 0 ? 0 : errno; });
        if (whileSyncing)
            whileSyncing(QFile::decodeName(m_temporary));
    }
    if (syncError != 0)
        RaiseOsError(syncError);
}

} // namespace stowline
