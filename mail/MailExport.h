#pragma once

#include "mail/MailSource.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace stowline::mail {

enum class MailFormat { Mbox, Maildir, Eml };

struct MailExportOptions {
    QString outputFolder; // nothing is written outside it
    MailFormat format = MailFormat::Mbox;
    bool recover = false;    // also the messages left in free space, into a "Recovered" folder
    QStringList identityIds; // the identities to export; empty for all
    bool favorites = true;   // also bookmarks.html when the source has Favorites
    // When set (a search's matches), only the messages it accepts, in folders and identities holding one,
    // and no bookmarks.html.
    std::function<bool(const MailIdentity&, const MailFolder&, const MessageEntry&)> include;
};

// A message (or a whole folder's store, index -1) that could not be exported.
struct UnreadableMessage {
    QString identity;
    QString folder; // the folder's path joined with '/'
    int index = -1;
    QString detail;
};

struct IdentityExportCount {
    QString name;
    int folders = 0;
    int messages = 0;
    QString outputFolder;
};

struct MailExportResult {
    QList<IdentityExportCount> identities;
    QList<UnreadableMessage> unreadable;
    int favorites = 0;     // links written to bookmarks.html
    QString bookmarksFile; // where they were written
    bool cancelled = false;
    QString error;        // a failure that stopped the run (the output folder not writable)
    int exported() const; // messages written in all identities
    // 0 everything exported, 3 some messages not, 1 nothing readable or the run failed.
    int exitStatus() const;
};

// What the export reports while it runs; the window or the command line implements it.
class MailExportObserver {
public:
    virtual ~MailExportObserver() = default;
    virtual void identityStarted(const QString& name) { Q_UNUSED(name); }
    virtual void folderStarted(const QString& identity, const QString& folder) {
        Q_UNUSED(identity);
        Q_UNUSED(folder);
    }
    // Messages written so far and the number the listed folders hold.
    virtual void progress(qint64 done, qint64 total) {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }
    virtual void unreadable(const UnreadableMessage& message) { Q_UNUSED(message); }
    // Asked between messages; true stops the run (what was written stays).
    virtual bool cancelRequested() { return false; }
};

// Writes every chosen identity's mail below options.outputFolder as
// <identity>/<folder>/<subfolder>..., one mbox file, Maildir or folder of .eml files per mail folder,
// each message's stored bytes unchanged (mboxrd "From " quoting only), and bookmarks.html.
MailExportResult ExportMail(MailSource& source, const MailExportOptions& options,
                            MailExportObserver& observer);

// A file or folder name made from a recorded name: no '/', no control character, not hidden,
// never "." or "..".
QString SafeFileName(const QString& name);

} // namespace stowline::mail
