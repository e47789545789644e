#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace stowline {

// A stored number as its 16-bit value (rounded like every stored number); none for a text that is not a
// number or does not fit.
std::optional<qint16> StoredNumber(const QString& text);

// "/S" (any case, anything after it): the command line of a scheduled run.
bool IsScheduledRun(const QString& commandLine);

// The date an empty archive folder counts as its newest archive.
inline QDate ZeroDate() { return QDate(1899, 12, 30); }

// A date from year, month and day; months and days out of range roll into the neighbouring month or
// year (2001-02-31 is 2001-03-03, 2001-03-00 is 2001-02-28, month 0 is December of the year before).
QDate DateSerial(int year, int month, int day);

// folder + separator (only when missing) + stem + " " + yyyy-mm-dd + ".stw".
QString ScheduledArchiveName(const QString& folder, const QString& stem, QDate today);

// The date in the name of an archive of the schedule with this stem: "<stem> yyyy-mm-dd.stw", stem and
// extension compared without regard to case. Any other name, or a date that is not a real one, gives none.
std::optional<QDate> ScheduleFileDate(const QString& fileName, const QString& stem);

// The first day a new backup is due after the newest archive; none when every run is due.
std::optional<QDate> DueDate(int scheduleCode, QDate newest);
// Archives dated on or before this day are deleted; none when nothing is deleted.
std::optional<QDate> DeleteCutoff(int deleteCode, QDate today);

} // namespace stowline
