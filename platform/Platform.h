#pragma once

#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/Processes.h"
#include "platform/Shell.h"
#include "platform/System.h"

namespace stowline::platform {

// The one place production code reaches the operating system through. Tests re-point a service by
// installing their own object; passing nullptr restores the real one. The real dialogs answer
// unattended (platform/UnattendedDialogs.h); a program with windows installs its own.
Dialogs& dialogs();
// True while nobody can answer a dialog: no window dialogs (nor a test's) are installed.
bool runsUnattended();
Shell& shell();
Processes& processes();
Drives& drives();
System& system();

void install(Dialogs* replacement);
void install(Shell* replacement);
void install(Processes* replacement);
void install(Drives* replacement);
void install(System* replacement);

} // namespace stowline::platform
