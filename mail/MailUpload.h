#pragma once

#include "mail/ImapClient.h"
#include "mail/MailSource.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace stowline::mail {

struct MailUploadOptions {
    ImapAccount account;
    QByteArray password;
    QString caFile;          // empty: the system's trust store
    bool recover = false;    // also the messages left in free space, into a "Recovered" folder
    QStringList identityIds; // empty for all
    QString recordFolder;    // where the upload record is kept; empty for UploadRecord::defaultFolder()
    QString sourceName;      // the source as the record tells sources apart; empty for its description()
};

// A message the server did not take or the store could not give (index -1: the folder's store).
struct RefusedMessage {
    QString identity;
    QString folder; // the folder's path joined with '/'
    int index = -1;
    QString detail;
};

struct MailUploadResult {
    int uploaded = 0;
    int alreadyThere = 0; // confirmed by an earlier run, or found on the server
    qint64 bytes = 0;     // of the messages uploaded in this run
    QList<RefusedMessage> refused;
    QString target; // the top folder on the server, as the person typed it
    QString error;  // a failure that stopped the run, one line
    bool cancelled = false;
    // 0 everything is on the server, 3 some messages refused, 1 nothing uploaded or the run failed.
    int exitStatus() const;
};

class MailUploadObserver {
public:
    virtual ~MailUploadObserver() = default;
    virtual void connected(const QString& account) { Q_UNUSED(account); }
    virtual void folderStarted(const QString& identity, const QString& folder) {
        Q_UNUSED(identity);
        Q_UNUSED(folder);
    }
    // Messages done (uploaded, already there or refused) of the total the stores list; bytes sent.
    virtual void progress(qint64 done, qint64 total, qint64 bytes) {
        Q_UNUSED(done);
        Q_UNUSED(total);
        Q_UNUSED(bytes);
    }
    virtual void refused(const RefusedMessage& message) { Q_UNUSED(message); }
    // Asked between messages; true stops the run after the server confirmed what it was sent.
    virtual bool cancelRequested() { return false; }
};

// Appends every chosen identity's mail to the account, below <folder>/<identity>/<the folder tree>,
// each message byte for byte (bare LF sent as CRLF), its received time as INTERNALDATE and \Seen when
// it was read. What an earlier run of the same account and source got onto the server is not sent again.
MailUploadResult UploadMail(MailSource& source, const MailUploadOptions& options,
                            MailUploadObserver& observer);

} // namespace stowline::mail
