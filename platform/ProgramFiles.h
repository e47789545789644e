#pragma once

#include <QString>

namespace stowline::platform {

// The program the user starts, "stowline": the one a timer unit or crontab line names. The program
// with windows is started by it and told its path; any other program names itself.
QString StartedProgramFile();

// Replaces this process by the program with windows ("stowline-gui": beside this program, or in
// ../libexec/stowline as installed), handing it the same arguments and telling it where this program
// and its helpers lie. Returns only when that failed, with the reason as errno tells it.
int HandOverToWindows(char* argv[]);

} // namespace stowline::platform
