#pragma once

#include "scheduler/modScheduledRun.h"

#include <QString>

namespace stowline {

// The program's command line: "/S" (any case, anything after it) runs the scheduled backup and
// ends the program; "/R" then a blank and a quoted archive path opens the Restore Wizard on that
// archive; anything else returns at once.
void Command_Input(const QString& commandLine);
// After a failure at start-up, before the command line was looked at (the settings could not be
// written): a scheduled run, whose crash report nobody may answer, ends here, recorded as failed.
void Command_InputAfterFailure(const QString& commandLine);

// The archive path of a "/R" command line: from the fifth character up to, not including, the last.
QString RestorePathOf(const QString& commandLine);

} // namespace stowline
