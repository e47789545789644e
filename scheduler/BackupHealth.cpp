#include "scheduler/BackupHealth.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSettings.h"
#include "platform/Platform.h"
#include "platform/ScheduleTimer.h"
#include "scheduler/modScheduleRules.h"

#include <QLocale>
#include <algorithm>

namespace stowline {

namespace {

using platform::RunRecord;

bool isBackup(const RunRecord& record) { return record.kind != RunRecord::Kind::Restore; }

std::optional<RunRecord> newest(const QList<RunRecord>& records, auto matches) {
    const auto found = std::find_if(records.rbegin(), records.rend(), matches);
    if (found == records.rend())
        return std::nullopt;
    return *found;
}

QString dateText(QDate date, DateStyle style) {
    return style == DateStyle::Iso ? date.toString(Qt::ISODate)
                                   : QLocale().toString(date, QLocale::ShortFormat);
}

QString lastBackupLine(const std::optional<RunRecord>& lastGood, DateStyle dates) {
    if (!lastGood)
        return Str(txtNoBackupYet);
    const QLocale locale;
    return Str(txtLastBackup) + u' ' + dateText(lastGood->end.date(), dates) + QStringLiteral(", ") +
           locale.formattedDataSize(std::max<qint64>(lastGood->size, 0));
}

// The timer starts `stowline /S` daily; the run itself backs up once the schedule makes it due.
QDate nextScheduledRun(int scheduleCode, const std::optional<RunRecord>& lastGood, QDate today) {
    if (!lastGood)
        return today;
    const std::optional<QDate> due = DueDate(scheduleCode, lastGood->end.date());
    return due && *due > today ? *due : today;
}

} // namespace

BackupHealth AssessBackups(const QList<RunRecord>& records, const std::optional<ScheduleState>& schedule,
                           QDate today, DateStyle dates) {
    BackupHealth health;
    const std::optional<RunRecord> lastGood =
        newest(records, [](const RunRecord& r) { return isBackup(r) && r.succeeded(); });
    health.backedUp = lastGood.has_value();
    health.lines << lastBackupLine(lastGood, dates);
    if (!schedule || schedule->disabled)
        return health;
    if (schedule->timerInstalled) {
        const QDate next = nextScheduledRun(schedule->scheduleCode, lastGood, today);
        health.lines << Str(txtNextScheduled) + u' ' + dateText(next, dates);
    } else {
        // A schedule nothing starts is no schedule: never promise a date.
        health.lines << Str(txtNotScheduled);
        health.healthy = false;
    }
    if (lastGood) {
        // The day it falls due the timer may still run; from the day after it is overdue.
        const std::optional<QDate> due = DueDate(schedule->scheduleCode, lastGood->end.date());
        if (due && *due < today) {
            health.lines << Str(txtOverdue);
            health.healthy = false;
        }
    }
    const std::optional<RunRecord> lastScheduled =
        newest(records, [](const RunRecord& r) { return r.kind == RunRecord::Kind::Scheduled; });
    if (lastScheduled && !lastScheduled->succeeded()) {
        // The reason, when the run kept one, so that the fix is plain at once.
        health.lines << Str(txtScheduledFailed) +
                            (lastScheduled->detail.isEmpty() ? QString() : u' ' + lastScheduled->detail);
        health.healthy = false;
    }
    return health;
}

BackupHealth CurrentBackupHealth(DateStyle dates) {
    RegEdit reg;
    std::optional<ScheduleState> schedule;
    if (const std::optional<QString> code = ReadSetting(reg, QStringLiteral("Schedule"))) {
        const std::optional<QString> disabled = ReadSetting(reg, QStringLiteral("SchedulerDisable"));
        schedule = ScheduleState{StoredNumber(*code).value_or(0), disabled && StoredNumber(*disabled) == 1};
        if (!schedule->disabled)
            schedule->timerInstalled = platform::ScheduleTimerInstalled();
    }
    return AssessBackups(platform::readRunRecords(), schedule, platform::system().today(), dates);
}

} // namespace stowline
