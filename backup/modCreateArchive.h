#pragma once

#include <QString>
#include <functional>

namespace stowline {

class cmpZIP;
class Questions;

// Writes the two version files and zips the whole workspace into archivePath, with the item flags
// as its comment, when its drive has room for the workspace's uncompressed size. False when it was
// not built (a drive without room is told through ask). whileSyncing gets the complete archive,
// still under a temporary name, while it syncs.
bool CreateArchive(const QString& archivePath, const QString& itemFlags, cmpZIP& zip, Questions& ask,
                   const std::function<void(const QString& written)>& whileSyncing = {});

} // namespace stowline
