#pragma once

#include <QString>
#include <functional>

namespace stowline {

class cmpZIP;

// Writes the two version files and zips the whole workspace into archivePath, with the item flags
// as its comment, when its drive has room for the workspace's uncompressed size. False when it was
// not built. whileSyncing gets the complete archive, still under a temporary name, while it syncs.
bool CreateArchive(const QString& archivePath, const QString& itemFlags, cmpZIP& zip,
                   const std::function<void(const QString& written)>& whileSyncing = {});

} // namespace stowline
