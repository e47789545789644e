#pragma once

#include <QDate>
#include <QString>

namespace stowline {

// How a scheduled run ends, as the program's exit status (for cron and systemd timers).
enum ScheduledRunStatus {
    RunSucceeded = 0,      // an archive was written, or no backup was due, or the scheduler is disabled
    RunFailed = 1,         // a failure was trapped (the crash report)
    ArchiveNotWritten = 2, // a due backup wrote no archive: drive refused, nothing found, not saved
    ScheduleMissing = 3,   // the schedule wizard has not been finished on this profile
};

// The program's command line: "/S" (any case, anything after it) runs the scheduled backup and
// ends the program; "/R" then a blank and a quoted archive path opens the Restore Wizard on that
// archive; anything else returns at once.
void Command_Input(const QString& commandLine);
// After a failure at start-up, before the command line was looked at (the settings could not be
// written): a scheduled run, whose crash report nobody may answer, ends here, recorded as failed.
void Command_InputAfterFailure(const QString& commandLine);

// The archive path of a "/R" command line: from the fifth character up to, not including, the last.
QString RestorePathOf(const QString& commandLine);

// Deletes by the delete code the archives of the schedule in folder and returns the date of the
// newest one, counting those it deleted (ZeroDate() when there is none or the folder is missing).
// An archive that cannot be deleted, or is read-only, is left where it is.
QDate ScanArchiveFolder(const QString& folder, const QString& stem, int deleteCode, QDate today);

// The schedule's archive folder ("Pathname") on this machine. A Wine prefix or a Windows disk records
// it as Windows does (Z:\backups): it goes through that registry's drives like every recorded path.
// A path no drive reaches stays as recorded, for the drive check to refuse.
QString ArchiveFolderOnDisk(const QString& recorded);
// How "Pathname" records a folder of this machine: through the registry's drives where they reach it.
QString ArchiveFolderRecorded(const QString& local);

} // namespace stowline
