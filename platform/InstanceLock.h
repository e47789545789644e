#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace stowline::platform {

// Deletes the lock, which releases it, and forgets it as the held one.
struct RegistryStoreLockDeleter {
    void operator()(QLockFile* lock) const;
};
using RegistryStoreLock = std::unique_ptr<QLockFile, RegistryStoreLockDeleter>;

// The lock that makes Stowline the only writer of a registry store: "<store>.lock" beside it,
// held for the life of the program and released by the system when the holder dies. Null when
// another Stowline holds it.
RegistryStoreLock LockRegistryStore(const QString& storeFile);

// Removes the lock file of the store this program holds, if any: a program that ends without
// unwinding (endProgram) would leave it for the next start to find stale.
void ReleaseHeldRegistryStoreLock();

} // namespace stowline::platform
