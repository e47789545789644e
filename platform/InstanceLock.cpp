#include "platform/InstanceLock.h"

#include <QDir>
#include <QFileInfo>

namespace stowline::platform {

std::unique_ptr<QLockFile> LockRegistryStore(const QString& storeFile) {
    QDir().mkpath(QFileInfo(storeFile).absolutePath());
    auto lock = std::make_unique<QLockFile>(storeFile + QStringLiteral(".lock"));
    // Never stale by age: a scheduled run may take hours. A dead holder is found by its process id.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

} // namespace stowline::platform
