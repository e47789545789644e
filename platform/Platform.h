#pragma once

#include "platform/Drives.h"
#include "platform/Processes.h"
#include "platform/Shell.h"
#include "platform/System.h"

namespace stowline::platform {

// The one place production code reaches the operating system through. Tests re-point a service by
// installing their own object; passing nullptr restores the real one. The dialogs are declared
// with their interface (platform/Dialogs.h), which only the windows include.
Shell& shell();
Processes& processes();
Drives& drives();
System& system();

void install(Shell* replacement);
void install(Processes* replacement);
void install(Drives* replacement);
void install(System* replacement);

} // namespace stowline::platform
