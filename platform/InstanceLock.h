#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace stowline::platform {

// The lock that makes Stowline the only writer of a registry store: "<store>.lock" beside it,
// held for the life of the program and released by the system when the holder dies. Null when
// another Stowline holds it.
std::unique_ptr<QLockFile> LockRegistryStore(const QString& storeFile);

} // namespace stowline::platform
