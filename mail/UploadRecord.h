#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace stowline::mail {

// What an upload has handed to a server, kept across runs in one file per account and source
// ($XDG_STATE_HOME/stowline, readable by its owner alone). A message is written down as being sent,
// durably, before it is sent, and as stored when the server confirms it; so after a run stopped at
// any point each message is either confirmed, never sent, or to be looked for on the server.
class UploadRecord {
public:
    struct Sending {
        QByteArray mailbox;
        QString key;          // the message within the source
        QByteArray messageId; // what it is found again by: its Message-ID, INTERNALDATE and size
        QDateTime date;
        qint64 size = 0;
    };

    UploadRecord() = default;
    ~UploadRecord();
    UploadRecord(const UploadRecord&) = delete;
    UploadRecord& operator=(const UploadRecord&) = delete;

    // Where the records are kept.
    static QString defaultFolder();
    // Reads (or starts) the record of this account and source in folder. False and `error` set when
    // it cannot be written.
    bool open(const QString& folder, const QString& account, const QString& source, QString* error);
    QString path() const { return m_path; }

    bool confirmed(const QByteArray& mailbox, const QString& key) const;
    // Messages of mailbox sent in an earlier run whose confirmation never came.
    QList<Sending> unconfirmed(const QByteArray& mailbox) const;
    // UIDs already confirmed for messages of mailbox.
    QSet<quint32> claimedUids(const QByteArray& mailbox) const;

    // Writes the messages down as being sent and waits until that is on disk.
    bool markSending(const QList<Sending>& messages);
    bool markConfirmed(const QByteArray& mailbox, const QString& key, quint32 uidValidity, quint32 uid);
    // Makes every confirmation written so far durable.
    bool sync();

private:
    bool append(const QByteArray& lines);
    void readLine(const QByteArray& line);
    static QString entryKey(const QByteArray& mailbox, const QString& key);

    QString m_path;
    int m_fd = -1;
    QHash<QString, Sending> m_sending;
    QSet<QString> m_confirmed;
    QHash<QByteArray, QSet<quint32>> m_uids;
};

} // namespace stowline::mail
