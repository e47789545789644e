#include "mail/ImapClient.h"

#include <QTest>
#include <QTimeZone>

using namespace stowline::mail;

class ImapTextTest : public QObject {
    Q_OBJECT
private slots:
    void address_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected"); // user|host|port|tls|levels, or "error"
        QTest::newRow("address as user, levels with spaces and umlauts")
            << "imaps://me@example.org@imap.example.org/Alte Post/Übernahme"
            << "me@example.org|imap.example.org|993|1|Alte Post/Übernahme";
        QTest::newRow("STARTTLS, default folder") << "imap://u@h"
                                                  << "u|h|143|0|Old Mail";
        QTest::newRow("percent-escapes, IPv6, port") << "IMAPS://u%40x@[::1]:1993//A%20B/%C3%9C/"
                                                     << "u@x|::1|1993|1|A B/Ü";
        QTest::newRow("no user") << "imaps://host/x"
                                 << "error";
        QTest::newRow("port out of range") << "imaps://u@h:99999"
                                           << "error";
        QTest::newRow("port not a number") << "imaps://u@h:x1"
                                           << "error";
        QTest::newRow("other scheme") << "pop3://u@h"
                                      << "error";
    }
    void address() {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QString error;
        const std::optional<ImapAccount> account = ParseImapAddress(address, &error);
        const QString got = account
                                ? QStringList{account->user, account->host, QString::number(account->port),
                                              QString::number(account->tlsAtOnce), account->folder.join(u'/')}
                                      .join(u'|')
                                : QStringLiteral("error");
        QCOMPARE(got, expected);
        QCOMPARE(error.isEmpty(), account.has_value());
    }

    void mailboxName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("ASCII") << "Old Mail" << QByteArray("Old Mail");
        QTest::newRow("ampersand and umlaut") << "Entwürfe & Co" << QByteArray("Entw&APw-rfe &- Co");
        QTest::newRow("one shift for a run, ',' for '/'")
            << "~peter/mail/台北/日本語" << QByteArray("~peter/mail/&U,BTFw-/&ZeVnLIqe-");
        QTest::newRow("outside the BMP") << "a😀" << QByteArray("a&2D3eAA-");
    }
    void mailboxName() {
        QFETCH(QString, name);
        QFETCH(QByteArray, encoded);
        QCOMPARE(ModifiedUtf7(name), encoded);
    }

    void internalDate_data() {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QByteArray>("text");
        const QDate day(2003, 3, 3);
        QTest::newRow("UTC") << QDateTime(day, QTime(9, 10, 0), QTimeZone::utc())
                             << QByteArray("03-Mar-2003 09:10:00 +0000");
        QTest::newRow("zone kept") << QDateTime(day, QTime(23, 5, 9), QTimeZone(90 * 60))
                                   << QByteArray("03-Mar-2003 23:05:09 +0130");
        QTest::newRow("west of UTC") << QDateTime(QDate(1999, 12, 31), QTime(0, 0, 1), QTimeZone(-5 * 3600))
                                     << QByteArray("31-Dec-1999 00:00:01 -0500");
    }
    void internalDate() {
        QFETCH(QDateTime, when);
        QFETCH(QByteArray, text);
        QCOMPARE(ImapDateTime(when), text);
    }
};

QTEST_GUILESS_MAIN(ImapTextTest)
#include "ImapTextTest.moc"
