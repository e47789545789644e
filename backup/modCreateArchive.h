#pragma once

#include <QString>

namespace stowline {

class cmpZIP;
class Questions;

// Writes the two version files and zips the whole workspace into archivePath, with the item flags
// as its comment, when its drive has room for the workspace's uncompressed size. False when it was
// not built (a drive without room is told through ask).
bool CreateArchive(const QString& archivePath, const QString& itemFlags, cmpZIP& zip, Questions& ask);

} // namespace stowline
