#pragma once

#include <QString>

#include <stdexcept>

namespace stowline::platform {

// The registry store: hives HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in one SQLite file,
// $STOWLINE_REGISTRY when set, else $XDG_DATA_HOME/stowline/registry.db.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegistryStore;

// The store of this process, opened on first use; throws RegistryError naming the file when it is
// not a readable registry store (the file is then left untouched).
RegistryStore& registry();
// Closes the store; the next registry() opens it anew from the environment (tests switch files).
void reopenRegistry();

} // namespace stowline::platform
