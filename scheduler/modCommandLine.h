#pragma once

#include <QString>

namespace stowline {

// Handles the program's command line: "/S" runs the scheduled backup and ends the program,
// "/R "archive"" opens the Restore Wizard on the archive; anything else does nothing.
void Command_Input(const QString& commandLine);

} // namespace stowline
