#pragma once

#include <QString>

namespace stowline::platform {

// The program the user starts, "stowline": the one a timer unit or crontab line names. The programs
// it hands over to are told its path; any other program names itself.
QString StartedProgramFile();

// Replaces this process by one of the programs `stowline` hands over to ("stowline-gui",
// "stowline-scheduled": beside this program, or in ../libexec/stowline as installed), handing it the
// same arguments and telling it where this program and its helpers lie. Returns only when that
// failed, with the reason as errno tells it.
int HandOverTo(const char* programName, char* argv[]);

// The program with windows.
inline int HandOverToWindows(char* argv[]) { return HandOverTo("stowline-gui", argv); }
// The scheduled run nobody watches.
inline int HandOverToScheduledRun(char* argv[]) { return HandOverTo("stowline-scheduled", argv); }

} // namespace stowline::platform
