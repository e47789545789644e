#include "scheduler/modScheduleRules.h"

#include <QTest>

using namespace stowline;

class tst_ScheduleRules : public QObject {
    Q_OBJECT
private slots:
    void dateSerialNormalises_data();
    void dateSerialNormalises();
    void archiveName_data();
    void archiveName();
    void fileDate_data();
    void fileDate();
    void dueDate_data();
    void dueDate();
    void deleteCutoff_data();
    void deleteCutoff();
};

void tst_ScheduleRules::dateSerialNormalises_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("31 Jan + 1 month, common year") << 2001 << 2 << 31 << QDate(2001, 3, 3);
    QTest::newRow("31 Jan + 1 month, leap year") << 2004 << 2 << 31 << QDate(2004, 3, 2);
    QTest::newRow("1 Mar - 1 day, common") << 2001 << 3 << 0 << QDate(2001, 2, 28);
    QTest::newRow("1 Mar - 1 day, leap") << 2000 << 3 << 0 << QDate(2000, 2, 29);
    QTest::newRow("month 0 is December before") << 2001 << 0 << 15 << QDate(2000, 12, 15);
    QTest::newRow("month 13 is January after") << 2001 << 13 << 15 << QDate(2002, 1, 15);
    QTest::newRow("month -11") << 2001 << -11 << 1 << QDate(2000, 1, 1);
    QTest::newRow("month -12") << 2001 << -12 << 1 << QDate(1999, 12, 1);
    QTest::newRow("day -6 from 3 Jan") << 2001 << 1 << -3 << QDate(2000, 12, 28);
    QTest::newRow("31 Dec + 1 day") << 2001 << 12 << 32 << QDate(2002, 1, 1);
    QTest::newRow("zero date + 1 month") << 1899 << 13 << 30 << QDate(1900, 1, 30);
}

void tst_ScheduleRules::dateSerialNormalises() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QDate, expected);
    QCOMPARE(DateSerial(year, month, day), expected);
}

void tst_ScheduleRules::archiveName_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("separator added") << "/backups"
                                     << "/backups/Mail 2001-03-05.stw";
    QTest::newRow("separator kept") << "/backups/"
                                    << "/backups/Mail 2001-03-05.stw";
    QTest::newRow("root folder") << "/"
                                 << "/Mail 2001-03-05.stw";
    QTest::newRow("folder with spaces") << "/my backups"
                                        << "/my backups/Mail 2001-03-05.stw";
}

void tst_ScheduleRules::archiveName() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(ScheduledArchiveName(folder, QStringLiteral("Mail"), QDate(2001, 3, 5)), expected);
}

void tst_ScheduleRules::fileDate_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QDate>("expected"); // invalid: not a file of the schedule
    const QDate none;
    QTest::newRow("plain") << "Mail 2001-03-15.stw"
                           << "Mail" << QDate(2001, 3, 15);
    QTest::newRow("stem and extension in other case") << "mail 2001-03-15.STW"
                                                      << "Mail" << QDate(2001, 3, 15);
    QTest::newRow("stem with dots and spaces") << "My.Mail x 2004-02-29.stw"
                                               << "My.Mail x" << QDate(2004, 2, 29);
    QTest::newRow("dated stem") << "Mail 2001-03-15 2001-04-01.stw"
                                << "Mail 2001-03-15" << QDate(2001, 4, 1);
    QTest::newRow("trailing .bak") << "Mail 2001-03-15.stw.bak"
                                   << "Mail" << none;
    QTest::newRow("short month") << "Mail 2001-3-15.stw"
                                 << "Mail" << none;
    QTest::newRow("letters for date") << "Mail abcdefghij.stw"
                                      << "Mail" << none;
    QTest::newRow("other stem, same length") << "Mall 2001-03-15.stw"
                                             << "Mail" << none;
    QTest::newRow("longer stem shares prefix") << "Mails 2001-03-15.stw"
                                               << "Mail" << none;
    QTest::newRow("no space before date") << "Mail_2001-03-15.stw"
                                          << "Mail" << none;
    QTest::newRow("other extension") << "Mail 2001-03-15.zip"
                                     << "Mail" << none;
    QTest::newRow("30 February") << "Mail 2001-02-30.stw"
                                 << "Mail" << none;
    QTest::newRow("29 February, common year") << "Mail 2001-02-29.stw"
                                              << "Mail" << none;
    QTest::newRow("month 13") << "Mail 2001-13-01.stw"
                              << "Mail" << none;
    QTest::newRow("other separators") << "Mail 2001/03/15.stw"
                                      << "Mail" << none;
    QTest::newRow("day-month order") << "Mail 15-03-2001.stw"
                                     << "Mail" << none;
    QTest::newRow("signed digits") << "Mail +001-03-15.stw"
                                   << "Mail" << none;
}

void tst_ScheduleRules::fileDate() {
    QFETCH(QString, fileName);
    QFETCH(QString, stem);
    QFETCH(QDate, expected);
    const std::optional<QDate> date = ScheduleFileDate(fileName, stem);
    QCOMPARE(date.has_value(), expected.isValid());
    if (date)
        QCOMPARE(*date, expected);
}

void tst_ScheduleRules::dueDate_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QDate>("newest");
    QTest::addColumn<QDate>("expected"); // invalid: always due
    QTest::newRow("1 always") << 1 << QDate(2001, 3, 15) << QDate();
    QTest::newRow("2 next day") << 2 << QDate(2001, 2, 28) << QDate(2001, 3, 1);
    QTest::newRow("3 three days") << 3 << QDate(2004, 2, 27) << QDate(2004, 3, 1);
    QTest::newRow("4 one week") << 4 << QDate(2001, 12, 28) << QDate(2002, 1, 4);
    QTest::newRow("5 month, from 31 Jan") << 5 << QDate(2001, 1, 31) << QDate(2001, 3, 3);
    QTest::newRow("5 month, from 31 Jan leap") << 5 << QDate(2004, 1, 31) << QDate(2004, 3, 2);
    QTest::newRow("5 month, from December") << 5 << QDate(2001, 12, 15) << QDate(2002, 1, 15);
    QTest::newRow("5 from zero date") << 5 << ZeroDate() << QDate(1900, 1, 30);
    QTest::newRow("0 always") << 0 << QDate(2001, 3, 15) << QDate();
    QTest::newRow("6 always") << 6 << QDate(2001, 3, 15) << QDate();
}

void tst_ScheduleRules::dueDate() {
    QFETCH(int, code);
    QFETCH(QDate, newest);
    QFETCH(QDate, expected);
    const std::optional<QDate> due = DueDate(code, newest);
    QCOMPARE(due.has_value(), expected.isValid());
    if (due)
        QCOMPARE(*due, expected);
}

void tst_ScheduleRules::deleteCutoff_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("expected"); // invalid: never delete
    QTest::newRow("1 never") << 1 << QDate(2001, 3, 1) << QDate();
    QTest::newRow("2 day before, over month end") << 2 << QDate(2001, 3, 1) << QDate(2001, 2, 28);
    QTest::newRow("2 day before, leap") << 2 << QDate(2004, 3, 1) << QDate(2004, 2, 29);
    QTest::newRow("3 three days") << 3 << QDate(2001, 1, 2) << QDate(2000, 12, 30);
    QTest::newRow("4 one week") << 4 << QDate(2001, 3, 7) << QDate(2001, 2, 28);
    QTest::newRow("5 month before, January") << 5 << QDate(2001, 1, 15) << QDate(2000, 12, 15);
    QTest::newRow("5 month before, 31 March") << 5 << QDate(2001, 3, 31) << QDate(2001, 3, 3);
    QTest::newRow("5 month before, 30 March leap") << 5 << QDate(2004, 3, 30) << QDate(2004, 3, 1);
    QTest::newRow("9 never") << 9 << QDate(2001, 3, 1) << QDate();
}

void tst_ScheduleRules::deleteCutoff() {
    QFETCH(int, code);
    QFETCH(QDate, today);
    QFETCH(QDate, expected);
    const std::optional<QDate> cutoff = DeleteCutoff(code, today);
    QCOMPARE(cutoff.has_value(), expected.isValid());
    if (cutoff)
        QCOMPARE(*cutoff, expected);
}

QTEST_GUILESS_MAIN(tst_ScheduleRules)
#include "tst_ScheduleRules.moc"
