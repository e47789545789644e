#pragma once

#include "mail/DbxStore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace stowline::mail {

struct MailIdentity {
    QString name;
    QString id;
};

// One mail folder of an identity: its place in the tree and its store.
struct MailFolder {
    int id = 0;
    int parentId = -1; // -1 for a top folder
    QStringList path;  // names from the top folder down to this one
    QString storeFile; // the .dbx file name; empty for a folder that only holds others
};

// One Favorites link: the folders it lies in, its name (the .url file's name) and its target.
struct FavoriteLink {
    QStringList folders;
    QString name;
    QString url;
};

// Where mail is read from: a backup archive (read in place from its inner zips) or the
// identities the registry of this process names (the live profile, a Wine prefix or an offline
// Windows profile, as chosen by the registry source). Reading only; nothing is written anywhere.
// The charset of a Windows code page number (1252, 20866, 50220...); empty when unknown.
QByteArray CharsetOfCodePage(int codePage);

class MailSource {
public:
    virtual ~MailSource() = default;

    // A .stw archive; null and `error` set (a user-readable line) when it cannot be read.
    static std::unique_ptr<MailSource> openArchive(const QString& archivePath, QString* error);
    // The identities and Favorites of the registry this process works on.
    static std::unique_ptr<MailSource> openRegistry(QString* error);
    // What fingerprint() of the archive's source gives, from its central directory alone (no member
    // is read, none decrypted); empty when it is no zip that can be read.
    static QByteArray archiveFingerprint(const QString& archivePath);

    // What to call the source in messages: the archive's path or the profile.
    virtual QString description() const = 0;
    virtual QList<MailIdentity> identities() = 0;
    // The identity's folders in tree order (a parent before its children, siblings in the order
    // recorded). Without a readable Folders.dbx every .dbx file of the store is one top folder.
    virtual QList<MailFolder> folders(const MailIdentity& identity) = 0;
    // One folder's store, open for listing and reading; null (and `error` set) when its file is
    // missing or unreadable.
    virtual std::unique_ptr<DbxStore> openStore(const MailIdentity& identity, const MailFolder& folder,
                                                QString* error) = 0;
    // The Favorites tree; empty when the source has none.
    virtual QList<FavoriteLink> favorites() = 0;
    // Changes whenever the mail the source holds may have changed: an archive's size, time and the
    // hash of its central directory; a profile's store files with their sizes and times.
    virtual QByteArray fingerprint() { return description().toUtf8(); }
    // The charset the identity's client used for 8-bit text that declares none; empty when not recorded.
    virtual QByteArray defaultCharset(const MailIdentity& identity) {
        Q_UNUSED(identity);
        return {};
    }
};

} // namespace stowline::mail
