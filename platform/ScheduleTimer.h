#pragma once

#include <QString>

namespace stowline::platform {

// How the scheduled backup was set to start on its own.
enum class TimerMethod { SystemdUser, Crontab, None, PathWithLineBreak };

// The user units that start `program /S`: the service, and the timer whose OnCalendar= follows the
// stored schedule code (1-2 daily, 3 every third day, 4 weekly, 5 monthly), Persistent=true. Paths
// are quoted for systemd and for cron's sh, whatever characters they hold but a line break.
QString ServiceUnitText(const QString& program);
QString TimerUnitText(int scheduleCode);
// The crontab line for the same schedule, marked so that it can be found again.
QString CrontabLine(const QString& program, int scheduleCode);

// Writes the units to $XDG_CONFIG_HOME/systemd/user and enables the timer through
// `systemctl --user`; without a user systemd, puts the crontab line in place instead. None when
// neither worked; PathWithLineBreak, with nothing written, when the program's or the registry
// store's path holds a line break.
TimerMethod InstallScheduleTimer(int scheduleCode);
// Whether a timer or crontab line that starts the scheduled backup is in place and enabled.
bool ScheduleTimerInstalled();
// Disables the timer and removes the crontab line, whichever exists.
void DisableScheduleTimer();

} // namespace stowline::platform
