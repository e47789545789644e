#include "scheduler/modScheduleRules.h"

#include "foundation/modError.h"
#include "foundation/modSettings.h"

#include <cmath>

namespace stowline {

namespace {

constexpr int DateLength = 10; // yyyy-mm-dd
const QString ArchiveExtension = QStringLiteral(".stw");

bool isDigits(QStringView text) {
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return !text.isEmpty();
}

// Only the exact form yyyy-mm-dd of a real calendar day.
std::optional<QDate> strictIsoDate(QStringView text) {
    if (text.size() != DateLength || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    const QStringView year = text.mid(0, 4), month = text.mid(5, 2), day = text.mid(8, 2);
    if (!isDigits(year) || !isDigits(month) || !isDigits(day))
        return std::nullopt;
    const QDate date(year.toInt(), month.toInt(), day.toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Codes 2 to 5 move a date by a day, three days, a week or a month, in direction (1 or -1); any
// other code moves it nowhere.
std::optional<QDate> shiftedByCode(int code, QDate from, int direction) {
    const int days[] = {1, 3, 7};
    if (code >= 2 && code <= 4)
        return DateSerial(from.year(), from.month(), from.day() + direction * days[code - 2]);
    if (code == 5)
        return DateSerial(from.year(), from.month() + direction, from.day());
    return std::nullopt;
}

} // namespace

std::optional<qint16> StoredNumber(const QString& text) {
    std::optional<qint16> result;
    TRAP_BEGIN("modScheduleRules:StoredNumber")
        bool numeric = false;
        STEP(1) const double number = text.trimmed().toDouble(&numeric);
        STEP(2)
        if (!numeric || !std::isfinite(number) || number < -32768.5 || number >= 32767.5)
            return result;
        STEP(3) result = ToInt16(text);
    TRAP_END
    return result;
}

QDate DateSerial(int year, int month, int day) {
    QDate result;
    TRAP_BEGIN("modScheduleRules:DateSerial")
        STEP(1) const int monthIndex = month - 1;
        STEP(2) year += floorDiv(monthIndex, 12);
        STEP(3) month = monthIndex - floorDiv(monthIndex, 12) * 12 + 1;
        STEP(4) result = QDate(year, month, 1).addDays(day - 1);
    TRAP_END
    return result;
}

QString ScheduledArchiveName(const QString& folder, const QString& stem, QDate today) {
    QString result;
    TRAP_BEGIN("modScheduleRules:ScheduledArchiveName")
        STEP(1) result = folder;
        STEP(2) if (!result.endsWith(u'/')) result += u'/';
        STEP(3) result += stem + u' ' + today.toString(QStringLiteral("yyyy-MM-dd")) + ArchiveExtension;
    TRAP_END
    return result;
}

std::optional<QDate> ScheduleFileDate(const QString& fileName, const QString& stem) {
    std::optional<QDate> result;
    TRAP_BEGIN("modScheduleRules:ScheduleFileDate")
        STEP(1) if (fileName.size() != stem.size() + 1 + DateLength + ArchiveExtension.size()) return result;
        STEP(2) if (!fileName.startsWith(stem, Qt::CaseInsensitive)) return result;
        STEP(3) if (!fileName.endsWith(ArchiveExtension, Qt::CaseInsensitive)) return result;
        // A name of another pattern that merely has the right length is not ours to delete.
        STEP(4) if (fileName[stem.size()] != u' ') return result;
        STEP(5) result = strictIsoDate(QStringView(fileName).mid(stem.size() + 1, DateLength));
    TRAP_END
    return result;
}

std::optional<QDate> DueDate(int scheduleCode, QDate newest) {
    std::optional<QDate> result;
    TRAP_BEGIN("modScheduleRules:DueDate")
        STEP(1) result = shiftedByCode(scheduleCode, newest, 1);
    TRAP_END
    return result;
}

std::optional<QDate> DeleteCutoff(int deleteCode, QDate today) {
    std::optional<QDate> result;
    TRAP_BEGIN("modScheduleRules:DeleteCutoff")
        STEP(1) result = shiftedByCode(deleteCode, today, -1);
    TRAP_END
    return result;
}

bool IsScheduledRun(const QString& commandLine) { return commandLine.left(2).toUpper() == u"/S"; }

} // namespace stowline
