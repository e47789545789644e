#pragma once

#include "mail/DbxStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace stowline::platform {
class SecureConnection;
}

namespace stowline::mail {

// Where mail goes: imaps://USER@HOST[:PORT][/FOLDER] (TLS at once, port 993) or imap://... (port 143,
// STARTTLS required). FOLDER is split at '/' into levels; percent-escapes are decoded everywhere.
struct ImapAccount {
    QString user;
    QString host;
    quint16 port = 993;
    bool tlsAtOnce = true;
    QStringList folder; // the target folder's levels, top first
    // user@host:port, as messages name the account.
    QString name() const;
    // user@host: the account whichever port and kind of TLS reach it (the upload record's name for it).
    QString recordName() const { return user + u'@' + host.toLower(); }
    // Where the window keeps the password in the desktop keyring: the host however it was typed.
    QString keyringKey() const {
        return QStringLiteral("imap:") + user + u'@' + host.toLower() + u':' + QString::number(port);
    }
};
std::optional<ImapAccount> ParseImapAddress(const QString& address, QString* error);

// A mailbox name in the modified UTF-7 of IMAP.
QByteArray ModifiedUtf7(const QString& name);
// "03-Mar-2003 09:10:00 +0000": an INTERNALDATE, in the zone the time carries.
QByteArray ImapDateTime(const QDateTime& when);

struct AppendOutcome {
    bool stored = false;
    quint32 uidValidity = 0; // both 0 when the server did not say (no UIDPLUS)
    quint32 uid = 0;
    QString serverText;
};

// The client side of IMAP4rev1 for uploading: log in, create folders, append many messages at once
// (LITERAL+ where offered), find appended ones again. Every call blocks until the server answers.
class ImapClient {
public:
    explicit ImapClient(platform::SecureConnection& connection);

    // Reads the greeting and capabilities; on a connection not yet encrypted, STARTTLS, and a server
    // that does not offer it is refused.
    bool start();
    // AUTHENTICATE PLAIN where offered, else LOGIN.
    bool login(const QString& user, const QByteArray& password);
    // The personal namespace's prefix and hierarchy separator.
    bool learnHierarchy();
    QChar separator() const { return m_separator; }
    QString prefix() const { return m_prefix; }
    // CREATE and SUBSCRIBE; a folder that is already there is fine.
    bool createFolder(const QByteArray& mailbox);
    // Deletes messages of mailbox by UID alone (UID EXPUNGE); false when the server lacks UIDPLUS.
    bool removeMessages(const QByteArray& mailbox, const QList<quint32>& uids);
    // Opens the folder appends go to: a server then adds to it without reading it again for each one.
    bool select(const QByteArray& mailbox);

    using AppendDone = std::function<void(const AppendOutcome&)>;
    using BodyWriter = std::function<bool(const ByteSink& sink)>;
    // Sends one APPEND of `size` bytes that `body` streams; `done` runs when the server answers (during
    // a later call). Answers are read as they come, so many appends are in flight at once.
    bool append(const QByteArray& mailbox, bool seen, const QDateTime& date, qint64 size,
                const BodyWriter& body, AppendDone done);
    // Reads answers until at most `inFlight` appends await theirs.
    bool awaitAppends(int inFlight = 0);
    // The UIDs of messages in mailbox with this Message-ID (when not empty), INTERNALDATE and size.
    std::optional<QList<quint32>> findMessages(const QByteArray& mailbox, const QByteArray& messageId,
                                               const QDateTime& date, qint64 size);
    // The largest message the server announced it takes (APPENDLIMIT); 0 when it did not say.
    qint64 appendLimit() const { return m_appendLimit; }
    void logout();

    // Why the last call failed, one line; loginRefused() when it was the user name or password.
    QString failure() const { return m_failure; }
    bool loginRefused() const { return m_loginRefused; }

private:
    struct Response {
        QByteArray tag;  // "*", "+" or a command's tag
        QByteArray text; // the rest of the line, literals inlined
    };
    struct Completion {
        QByteArray status; // OK, NO or BAD
        QByteArray text;
        QList<QByteArray> untagged;
    };

    std::optional<Response> readResponse();
    bool dispatch(const Response& response);
    std::optional<Completion> run(const QByteArray& command);
    bool waitForContinuation();
    bool sendCommandLine(const QByteArray& tag, const QByteArray& line);
    QByteArray nextTag();
    bool hasCapability(const QByteArray& name) const;
    void readCapabilities(const QByteArray& text);
    bool refreshCapabilities();
    bool fail(const QString& text);
    bool commandFailed(const QByteArray& command, const Completion& completion);
    std::optional<Completion> authenticatePlain(const QString& user, const QByteArray& password);

    platform::SecureConnection& m_connection;
    int m_nextTag = 0;
    QSet<QByteArray> m_capabilities;
    QHash<QByteArray, AppendDone> m_appends;
    QByteArray m_waitingTag;
    std::optional<Completion> m_completion;
    QList<QByteArray> m_untagged;
    bool m_continuation = false;
    QChar m_separator = u'/';
    QString m_prefix;
    qint64 m_appendLimit = 0;
    QString m_failure;
    bool m_loginRefused = false;
};

} // namespace stowline::mail
