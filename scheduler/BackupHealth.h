#pragma once

#include "platform/RunLedger.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <optional>

namespace stowline {

// The schedule as the health check needs it; none when no schedule was set.
struct ScheduleState {
    int scheduleCode = 0;
    bool disabled = false;
    bool timerInstalled = true; // a systemd user timer or crontab line starts the scheduled runs
};

// Dates as the hub shows them (the user's locale) or as `--status` prints them (ISO 8601).
enum class DateStyle { Local, Iso };

// What the hub's status line and `stowline --status` say.
struct BackupHealth {
    QStringList lines; // last backup, next scheduled run, warnings
    bool healthy = true;
    bool backedUp = false; // a good backup exists
};

// The health of the backups from the ledger's records and the stored schedule, as of today.
BackupHealth AssessBackups(const QList<platform::RunRecord>& records,
                           const std::optional<ScheduleState>& schedule, QDate today,
                           DateStyle dates = DateStyle::Local);

// The same from the ledger and the registry of this user.
BackupHealth CurrentBackupHealth(DateStyle dates = DateStyle::Local);

} // namespace stowline
