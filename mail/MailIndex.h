#pragma once

#include "mail/MailSource.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace stowline::mail {

// A search as the person wrote it, taken apart: words and "phrases" that must all match (in any
// field, or in one with from:, to:, subject:, attachment:), words after '-' that must not, and the
// filters before:, after:, folder: and identity:.
struct MailQuery {
    QString match;                       // the full-text expression; empty when the query only filters
    std::optional<qint64> before, after; // seconds since the epoch: before is exclusive, after inclusive
    QStringList folders;                 // a folder's path, or its last names, as written
    QStringList identities;              // an identity's name or id
    QStringList words;                   // every wanted word and phrase, for highlighting
};

// Null and `error` set (a user-readable line) when the text is no query.
std::optional<MailQuery> ParseMailQuery(const QString& text, QString* error);

// A message the index found, with what is needed to open it in its folder.
struct MailHit {
    QString identityName;
    QString identityId;
    int folderId = 0;
    QStringList folderPath;
    QString storeFile;
    MessageEntry entry; // date, sender and subject as indexed (decoded from the message's headers)
};

// What the index reports while it is built.
class MailIndexObserver {
public:
    virtual ~MailIndexObserver() = default;
    // Another program is building the same index: this build waits for it, then takes what it built.
    virtual void waiting() {}
    // This build holds the index alone and starts from nothing.
    virtual void started() {}
    // Messages indexed so far of the number the stores record.
    virtual void progress(qint64 done, qint64 total) {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }
    // What was indexed so far can be searched.
    virtual void committed() {}
    virtual bool cancelRequested() { return false; }
};

struct MailIndexCounts {
    qint64 messages = 0;
    qint64 damaged = 0;    // messages indexed only as far as their stores could give them
    qint64 unreadable = 0; // stores or index parts that could not be read at all
};

// The full-text index of one mail source, kept in a file of the user's cache folder whose name
// comes from the source's fingerprint: reused while the source stays as it is, built anew when it
// changes. Searching works while the index is being built, on what is indexed so far.
class MailIndex {
public:
    ~MailIndex();
    MailIndex(const MailIndex&) = delete;
    MailIndex& operator=(const MailIndex&) = delete;

    // The index file for the source, opened (and created empty when missing); null and `error` set
    // when the cache folder cannot hold it.
    static std::unique_ptr<MailIndex> open(MailSource& source, QString* error);
    // The index a source with this fingerprint has in the cache, opened for searching only; null when
    // there is none or it is not complete.
    static std::unique_ptr<MailIndex> openComplete(const QByteArray& fingerprint);
    // The same file again, for reading on another thread while this one builds.
    std::unique_ptr<MailIndex> reopen(QString* error) const;

    QString path() const;
    // True once every message of the source is in it.
    bool complete() const;
    // Indexes every message of every identity, replacing what the file held; false when cancelled or
    // the file could not be written (then `error` is set, unless cancelled).
    bool build(MailSource& source, MailIndexObserver& observer, QString* error);
    MailIndexCounts counts() const;
    // The matches, newest first.
    QList<MailHit> search(const MailQuery& query, int limit = -1) const;

private:
    struct Impl;
    explicit MailIndex(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// The folder the indexes live in: $XDG_CACHE_HOME/stowline (~/.cache/stowline), private to the user.
QString MailIndexFolder();

} // namespace stowline::mail
