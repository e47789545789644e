#pragma once

#include <QString>
#include <QStringList>

namespace stowline {

class Questions;

// Archives are untrusted: these checks run before a restore touches anything of an item.

// True for an identity ID in the braced 38-character GUID form.
bool IsIdentityId(const QString& text);

// True for "/" and for the system folders (/bin, /boot, /dev, /etc, /lib*, /proc, /run, /sbin,
// /sys, /usr, /var) and everything below them, also when reached through a symbolic link.
bool IsSystemFolder(const QString& folder);

// A folder a restore may write into: an absolute path outside the system folders and the places
// Stowline keeps for itself (state and undo folder, workspace, the registry's folder), on a drive
// that exists, is ready and has free space, and that is a folder or can be made one.
bool LocationUsable(const QString& folder);

// A folder recorded in an archive is used only when it is also not the home folder itself, not inside
// a hidden folder (below the registry's drive folders), not inside another account's home, and not
// inside or around the folder of another item of the same restore (otherItems); through links too.
bool RecordedLocationUsable(const QString& folder, const QStringList& otherItems = {});

// Asks for a folder until the user picks one; each cancel says "You must select a location!".
QString AskForLocation(Questions& ask);

// Why an item of an archive is refused; empty when it may be restored.
struct Refusal {
    int reasonId = 0; // string-table text of the reason
    QString detail;   // the key, member or file concerned
    bool refused() const { return reasonId != 0; }
};

// A registry file may only change keys at or below allowedKey (full name, hive first).
Refusal CheckRegFile(const QString& regFile, const QString& allowedKey);

// A zip member file must exist, open as a zip and hold only names that stay inside the folder it is
// unpacked into. With member: the zip stored under that name in zipFile, read in place.
Refusal CheckZipFile(const QString& zipFile, const QString& member = QString());
// The same for an item's zip, which keeps the names found for its unpack: one directory read, not two.
struct ItemZip;
Refusal CheckZipFile(ItemZip& itemZip);

// Tells the user that an item was refused: header, reason with its detail, what was left alone.
void ShowRefusal(Questions& ask, const QString& header, const Refusal& refusal, int outcomeId);

} // namespace stowline
