#pragma once

#include "platform/PathMapper.h"
#include "platform/Registry.h"

namespace stowline::platform {

// Which registry this process works on, and so the programs it starts: chosen through the
// environment, which children inherit.
//   STOWLINE_WINEPREFIX=DIR                            a Wine prefix
//   STOWLINE_PROFILE=FILE STOWLINE_WINDOWS_ROOT=MOUNT  the NTUSER.DAT of an offline Windows profile
//   neither                                           the store file, registryFileName()
struct RegistrySource {
    enum class Kind { Store, WinePrefix, Profile };
    Kind kind = Kind::Store;
    QString location;    // the store file, the prefix folder or the NTUSER.DAT file
    QString windowsRoot; // Profile: the folder C:\ stands for
};

RegistrySource registrySource();
// Sets the environment for this process and its children; the next registry() opens the source.
void chooseRegistrySource(const RegistrySource& source);

// The registry of this process, opened on first use; throws RegistryError naming the file or
// folder when it cannot be used (nothing is written then).
Registry& registry();
// The paths the open registry records, as this machine reaches them.
const PathMapper& pathMapper();
// Closes the registry; the next registry() opens it anew from the environment (tests switch).
void reopenRegistry();
// The store file: $STOWLINE_REGISTRY, else $XDG_DATA_HOME/stowline/registry.db.
QString registryFileName();

// Builds the drive table and variables of a Wine prefix from its dosdevices links and registry.
// Throws RegistryError naming the link when a drive link leads nowhere (the folders recorded on
// it could not be told apart from missing ones).
PathMapper winePathMapper(const QString& prefix, Registry& registry);

} // namespace stowline::platform
