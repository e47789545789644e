#pragma once

#include <QString>

namespace stowline {

// True when the drive of path exists, is ready and has free space, and the file's folder exists
// (created if needed); false when the user gave up.
bool CheckWrite(const QString& path);

} // namespace stowline
