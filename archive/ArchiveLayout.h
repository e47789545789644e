#pragma once

#include <QLatin1String>
#include <QList>
#include <QString>
#include <optional>

// The backup archive's member names, its small text files and its item flags. Member names are
// relative to the workspace folder with '/' between folders.
//
// Text files are written as UTF-8 and read as UTF-8, or as Windows-1252 where a line is not valid
// UTF-8 (archives written by older versions). Every record is one line ending in CR LF, fields
// separated by a comma, text fields in double quotes. A double quote inside a text field is doubled
// ("" as in CSV); a reader also takes a single quote that is not followed by a comma or the end of
// the line as part of the text.
namespace stowline::layout {

inline constexpr QLatin1String StowlineVersionFile{"stowline_version.txt"};
inline constexpr QLatin1String WindowsVersionFile{"windows_version.txt"};
inline constexpr QLatin1String IdentityIndexFile{"ident.idx"};
inline constexpr QLatin1String IdentityKeyFile{"ident_key.reg"};
inline constexpr QLatin1String IdentityDataFile{"ident_data.zip"};
inline constexpr QLatin1String WabFolder{"wab"};
inline constexpr QLatin1String WabKeyMember{"wab/wab_key.reg"};
inline constexpr QLatin1String WabDataMember{"wab/wab_data.zip"};
inline constexpr QLatin1String IefFolder{"ief"};
inline constexpr QLatin1String IefDataMember{"ief/ief_data.zip"};

QString IdentityKeyMember(const QString& identityId);  // "<ID>/ident_key.reg"
QString IdentityDataMember(const QString& identityId); // "<ID>/ident_data.zip"

// ---- Text files (throw VbError on I/O failure) -----------------------------------------------------
// "major,minor,revision" of this program.
void WriteStowlineVersion(const QString& path);
void WriteWindowsVersion(const QString& path, int major, int minor, int platformId);

struct IdentityRecord {
    QString name;
    QString id;
    friend bool operator==(const IdentityRecord&, const IdentityRecord&) = default;
};

// Adds one record to the identity index, creating the file.
void AppendIdentityRecord(const QString& indexPath, const QString& name, const QString& identityId);
// Every record of the index in file order; lines without two fields are skipped.
QList<IdentityRecord> ReadIdentityIndex(const QString& indexPath);

QString IdentityRecordLine(const IdentityRecord& record); // without the line end
std::optional<IdentityRecord> ParseIdentityRecord(QStringView line);

// ---- Item flags (the archive comment) ----------------------------------------------------------------
enum class ArchiveItem { Identities = 0, Favorites = 1, AddressBook = 2 };

// Only a comment of exactly three characters marks a backup archive.
bool IsBackupArchiveComment(const QString& comment);
// Only the exact character '1' at the item's position marks it present.
bool ItemPresent(const QString& flags, ArchiveItem item);
QString ItemFlags(bool identities, bool favorites, bool addressBook);
// "Outlook Express Identities, Windows Address Book": the present items' names without shortcuts.
QString ItemNames(const QString& flags);

} // namespace stowline::layout
