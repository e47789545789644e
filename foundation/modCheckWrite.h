#pragma once

#include <QString>

namespace stowline {

class Questions;

// True when the drive of path exists, is ready and has free space, and the file's folder exists
// (created if needed); false when the user, asked whether to try again, gave up.
bool CheckWrite(const QString& path, Questions& ask);

} // namespace stowline
