#include "scheduler/modScheduleRules.h"

#include <QTest>
#include <tuple>

using namespace stowline;

// DueDate (true) or DeleteCutoff (false), the schedule or delete code, the date it counts from, the
// date it gives (invalid: always due / never deleted).
using CodeRow = std::tuple<bool, int, QDate, QDate>;

class ScheduleRulesTest : public QObject {
    Q_OBJECT
private slots:
    void codes_data() {
        QTest::addColumn<CodeRow>("row");
        const auto row = [](const char* name, auto... v) { QTest::newRow(name) << CodeRow{v...}; };
        row("due 1", true, 1, QDate(2001, 3, 15), QDate());
        row("due 2", true, 2, QDate(2001, 2, 28), QDate(2001, 3, 1));
        row("due 3", true, 3, QDate(2004, 2, 27), QDate(2004, 3, 1));
        row("due 4", true, 4, QDate(2001, 12, 28), QDate(2002, 1, 4));
        row("due 5 from 31 Jan", true, 5, QDate(2001, 1, 31), QDate(2001, 3, 3));
        row("due 5 from December", true, 5, QDate(2001, 12, 15), QDate(2002, 1, 15));
        row("due 5 from zero date", true, 5, ZeroDate(), QDate(1900, 1, 30));
        row("delete 0", false, 0, QDate(2001, 3, 1), QDate());
        row("delete 2", false, 2, QDate(2004, 3, 1), QDate(2004, 2, 29));
        row("delete 3", false, 3, QDate(2001, 1, 2), QDate(2000, 12, 30));
        row("delete 4", false, 4, QDate(2001, 3, 7), QDate(2001, 2, 28));
        row("delete 5 from January", false, 5, QDate(2001, 1, 15), QDate(2000, 12, 15));
        row("delete 5 from 31 March", false, 5, QDate(2001, 3, 31), QDate(2001, 3, 3));
    }
    void codes() {
        QFETCH(CodeRow, row);
        const auto& [due, code, from, expected] = row;
        const std::optional<QDate> date = due ? DueDate(code, from) : DeleteCutoff(code, from);
        QCOMPARE(date.value_or(QDate()), expected);
    }
};

QTEST_GUILESS_MAIN(ScheduleRulesTest)
#include "ScheduleRulesTest.moc"
