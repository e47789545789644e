#pragma once

#include <QByteArray>
#include <QString>

namespace stowline {

// The SHA-256 of a zip's central directory, read with the file's own reads (no zip library): it
// changes with any member's name, size, checksum or time. Empty when the file has no end record or
// its directory lies outside the file.
QByteArray ZipDirectoryDigest(const QString& path);

} // namespace stowline
