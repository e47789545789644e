#include "scheduler/modScheduleRules.h"

#include <QTest>

using namespace stowline;

class ScheduleRulesTest : public QObject {
    Q_OBJECT
private slots:
    void codes_data() {
        QTest::addColumn<bool>("due"); // true: DueDate from the date; false: DeleteCutoff from it
        QTest::addColumn<int>("code");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("expected"); // invalid: always due / never deleted
        QTest::newRow("due 1") << true << 1 << QDate(2001, 3, 15) << QDate();
        QTest::newRow("due 2") << true << 2 << QDate(2001, 2, 28) << QDate(2001, 3, 1);
        QTest::newRow("due 3") << true << 3 << QDate(2004, 2, 27) << QDate(2004, 3, 1);
        QTest::newRow("due 4") << true << 4 << QDate(2001, 12, 28) << QDate(2002, 1, 4);
        QTest::newRow("due 5 from 31 Jan") << true << 5 << QDate(2001, 1, 31) << QDate(2001, 3, 3);
        QTest::newRow("due 5 from December") << true << 5 << QDate(2001, 12, 15) << QDate(2002, 1, 15);
        QTest::newRow("due 5 from zero date") << true << 5 << ZeroDate() << QDate(1900, 1, 30);
        QTest::newRow("delete 0") << false << 0 << QDate(2001, 3, 1) << QDate();
        QTest::newRow("delete 2") << false << 2 << QDate(2004, 3, 1) << QDate(2004, 2, 29);
        QTest::newRow("delete 3") << false << 3 << QDate(2001, 1, 2) << QDate(2000, 12, 30);
        QTest::newRow("delete 4") << false << 4 << QDate(2001, 3, 7) << QDate(2001, 2, 28);
        QTest::newRow("delete 5 from January") << false << 5 << QDate(2001, 1, 15) << QDate(2000, 12, 15);
        QTest::newRow("delete 5 from 31 March") << false << 5 << QDate(2001, 3, 31) << QDate(2001, 3, 3);
    }
    void codes() {
        QFETCH(bool, due);
        QFETCH(int, code);
        QFETCH(QDate, from);
        QFETCH(QDate, expected);
        const std::optional<QDate> date = due ? DueDate(code, from) : DeleteCutoff(code, from);
        QCOMPARE(date.value_or(QDate()), expected);
    }
};

QTEST_GUILESS_MAIN(ScheduleRulesTest)
#include "ScheduleRulesTest.moc"
