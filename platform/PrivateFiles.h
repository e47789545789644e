#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace stowline::platform {

// What stands at a path that must be a folder of this user alone. The path itself is looked at,
// never what a link points to: a link is NotAFolder.
enum class FolderPrivacy { Private, Missing, NotAFolder, OtherOwner, OpenToOthers };
FolderPrivacy folderPrivacy(const QString& path);

// Creates one folder with mode 0700 whatever the umask. 0 or the errno.
int makePrivateFolder(const QString& path);

// Makes an existing folder 0700; a link at the path is refused. 0 or the errno.
int restrictFolder(const QString& path);

// Opens a file for writing, creating it 0600 whatever the umask; a link at the path is refused.
// The descriptor, or -1 with errno set.
int openPrivateFile(const QString& path, bool append);

// Makes sure a file of this user's alone stands at the path: created 0600 whatever the umask, or
// an existing one made 0600; its content is kept. False when that fails or a link is there.
bool ensurePrivateFile(const QString& path);

// Removes a folder and everything in it without following any link inside. Not forced: when a file
// or folder in it is read-only nothing is removed and EACCES comes back. 0 or the errno.
int removeFolderTree(const QString& path);

// Removes folders and everything in them, links not followed, in a process of its own that goes on
// after this one ends (a tree of many small files can take a minute). False when it did not start.
bool removeTreesInBackground(const QStringList& paths);

// A file that holds one secret (a password, a passphrase) and nothing else, readable by its owner
// alone. Read when it is a regular file of this user that neither group nor others may read or
// write; one final line end is not part of the secret.
enum class SecretFileProblem { None, Missing, NotAFile, OtherOwner, OpenToOthers, Unreadable };
struct SecretFile {
    SecretFileProblem problem = SecretFileProblem::None;
    QByteArray secret;
};
SecretFile readSecretFile(const QString& path);

// Permission bits of what the path leads to; 0 when it cannot be looked at.
mode_t modeOf(const QString& path);

mode_t currentUmask();

} // namespace stowline::platform
