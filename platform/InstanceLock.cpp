#include "platform/InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

namespace stowline::platform {

namespace {

QLockFile* heldLock = nullptr;

} // namespace

void RegistryStoreLockDeleter::operator()(QLockFile* lock) const {
    if (heldLock == lock)
        heldLock = nullptr;
    delete lock;
}

RegistryStoreLock LockRegistryStore(const QString& storeFile) {
    QDir().mkpath(QFileInfo(storeFile).absolutePath());
    RegistryStoreLock lock(new QLockFile(storeFile + QStringLiteral(".lock")));
    // Never stale by age: a scheduled run may take hours. A dead holder is found by its process id.
    lock->setStaleLockTime(0);
    // Owner-only like the store: a lock file others may open, they could hold and stall every run.
    // QLockFile creates it 0666 less the umask; this runs at start-up, before other threads.
    const mode_t savedMask = ::umask(077);
    const bool locked = lock->tryLock(0);
    ::umask(savedMask);
    if (!locked)
        return nullptr;
    heldLock = lock.get();
    return lock;
}

void ReleaseHeldRegistryStoreLock() {
    if (heldLock)
        heldLock->unlock();
}

} // namespace stowline::platform
