#pragma once

#include <QStringList>
#include <memory>
#include <optional>
#include <zip.h>

namespace stowline {

class VbError;

struct ZipArchiveDiscard {
    zip_t* outer = nullptr; // the archive an inner zip is read from in place goes with it
    void operator()(zip_t* archive) const {
        zip_discard(archive);
        if (outer)
            zip_discard(outer);
    }
};
using ZipArchiveHandle = std::unique_ptr<zip_t, ZipArchiveDiscard>;

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileClose>;

// Opens an archive read-only; throws VbError: 53 for a missing file, 321 for one that is no zip,
// the OS error's number otherwise. Checked also refuses (321) a zip whose local headers disagree with
// its directory or whose members overlap: what is unpacked is then what the check read.
ZipArchiveHandle OpenZipForReading(const QString& path, bool checked = false);
// The same without throwing: null when the file is missing, unreadable or no zip.
ZipArchiveHandle TryOpenZipForReading(const QString& path) noexcept;
// The same with zip_open's flags (ZIP_RDONLY and others, such as ZIP_CHECKCONS).
ZipArchiveHandle TryOpenZip(const QString& path, int flags) noexcept;
// A zip stored as it is (not compressed again) as member index of outer, opened where it lies, with
// no copy; outer must outlive it. Strict compares every local header with the directory (a read for
// each member) and refuses overlapping members. Null when it cannot be opened.
ZipArchiveHandle OpenStoredInnerZip(zip_t* outer, zip_uint64_t index, bool strict = true);
// The same by the archive's path and the member's name, holding its own handle on the archive;
// throws VbError as OpenZipForReading, 321 for a member that is missing or compressed again.
ZipArchiveHandle OpenInnerZipForReading(const QString& archivePath, const QString& member,
                                        bool checked = false);
// True when the member is a zip that OpenInnerZipForReading can read in place.
bool InnerZipStored(const QString& archivePath, const QString& member);

struct ZipMemberEntry {
    QString name;
    bool symbolicLink = false;
    bool unpackable = true; // not encrypted, and packed with a method this libzip can undo
};

// Every member of an archive whose directories agree with each other; none when the file is
// missing, damaged or no zip, or a name cannot be read.
std::optional<QList<ZipMemberEntry>> ZipMemberEntries(const QString& path);
// The same for a zip stored as member of the archive, read in place; one compressed again in the
// archive (never by Stowline) cannot be, and gives an empty list.
std::optional<QList<ZipMemberEntry>> InnerZipMemberEntries(const QString& archivePath, const QString& member);

// True for a member packed on Unix as a symbolic link (its data is the link's target).
bool IsSymbolicLinkEntry(zip_t* archive, zip_uint64_t index);

// A libzip failure as the classic error.
VbError ZipFailure(const zip_error_t* error);
// 321 "Invalid file format".
VbError InvalidFormat();

} // namespace stowline
