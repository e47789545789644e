#pragma once

#include <QString>

namespace stowline {

class cmpZIP;

// Writes the two version files and zips the whole workspace into archivePath, with the item flags
// as its comment, when its drive has room for the workspace's uncompressed size. False when it was
// not built.
bool CreateArchive(const QString& archivePath, const QString& itemFlags, cmpZIP& zip);

} // namespace stowline
