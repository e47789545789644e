#pragma once

#include "scheduler/modScheduleRules.h"

#include <QDate>
#include <QString>
#include <functional>

namespace stowline {

struct RunContext;

// How a scheduled run ends, as the program's exit status (for cron and systemd timers).
enum ScheduledRunStatus {
    RunSucceeded = 0,      // an archive was written, or no backup was due, or the scheduler is disabled
    RunFailed = 1,         // a failure was trapped (the crash report)
    ArchiveNotWritten = 2, // a due backup wrote no archive: drive refused, nothing found, not saved
    ScheduleMissing = 3,   // the schedule wizard has not been finished on this profile
};

// Where a scheduled run shows itself: nowhere when nobody watches it, else in the progress window.
class ScheduledRunView {
public:
    virtual ~ScheduledRunView() = default;
    // Runs the collecting and saving, their progress shown as this view shows it.
    virtual void run(const std::function<void(RunContext&)>& work) = 0;
    // Saving has begun: a cancel would come too late.
    virtual void savingStarts() {}
    // A crash report on screen stays until the answer that ends the program.
    virtual void waitForCrashReport() {}
};

// The view of a run nobody watches: no window is made, let alone drawn.
ScheduledRunView& UnattendedRunView();

// The scheduled backup: collects what the schedule names into the dated archive, deletes the
// archives past their age, records the run and ends the program with its ScheduledRunStatus.
void ScheduledBackup(ScheduledRunView& view);
// After a failure at start-up, before the scheduled run began: it is recorded as failed, and the
// program ends.
void ScheduledRunAfterFailure(ScheduledRunView& view);

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
