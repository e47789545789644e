#include "archive/ZipLibzip.h"

#include "archive/ZipText.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"

#include <QFile>
#include <cerrno>
#include <new>
#include <sys/stat.h>

namespace stowline {

namespace {

ZipArchiveHandle openRaw(const QString& path, zip_error_t& error, int flags = ZIP_RDONLY) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        zip_error_set(&error, errno == ENOENT ? ZIP_ER_NOENT : ZIP_ER_OPEN, errno);
        return nullptr;
    }
    // libzip takes an empty file for an empty archive; it is no archive at all.
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        zip_error_set(&error, ZIP_ER_NOZIP, 0);
        return nullptr;
    }
    int code = 0;
    ZipArchiveHandle archive(zip_open(name.constData(), flags, &code));
    if (!archive)
        zip_error_init_with_code(&error, code);
    return archive;
}

} // namespace

ZipArchiveHandle OpenZipForReading(const QString& path) {
    zip_error_t error;
    zip_error_init(&error);
    ZipArchiveHandle archive = openRaw(path, error);
    if (!archive) {
        const VbError failure = ZipFailure(&error);
        zip_error_fini(&error);
        throw failure;
    }
    zip_error_fini(&error);
    return archive;
}

ZipArchiveHandle TryOpenZipForReading(const QString& path) noexcept {
    zip_error_t error;
    zip_error_init(&error);
    ZipArchiveHandle archive = openRaw(path, error);
    zip_error_fini(&error);
    return archive;
}

bool IsSymbolicLinkEntry(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    return zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
           system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

namespace {

std::optional<QList<ZipMemberEntry>> entriesOf(const ZipArchiveHandle& archive) {
    if (!archive)
        return std::nullopt;
    QList<ZipMemberEntry> entries;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        // Decoded exactly as the extractor decodes it, so the name checked is the name unpacked.
        const char* raw = zip_get_name(archive.get(), index, ZIP_FL_ENC_RAW);
        if (!raw)
            return std::nullopt;
        zip_stat_t stat;
        zip_stat_init(&stat);
        const bool unpackable = zip_stat_index(archive.get(), index, 0, &stat) == 0 &&
                                stat.encryption_method == ZIP_EM_NONE &&
                                zip_compression_method_supported(stat.comp_method, 0) != 0;
        entries.append(
            {DecodeArchiveText(QByteArrayView(raw)), IsSymbolicLinkEntry(archive.get(), index), unpackable});
    }
    return entries;
}

} // namespace

std::optional<QList<ZipMemberEntry>> ZipMemberEntries(const QString& path) {
    zip_error_t error;
    zip_error_init(&error);
    const ZipArchiveHandle archive = openRaw(path, error, ZIP_RDONLY | ZIP_CHECKCONS);
    zip_error_fini(&error);
    return entriesOf(archive);
}

namespace {

// The member's index in outer when it is stored there as it is; -1 when missing or compressed.
zip_int64_t storedIndex(zip_t* outer, const QString& member) {
    const zip_int64_t index = outer ? zip_name_locate(outer, member.toUtf8().constData(), 0) : -1;
    zip_stat_t stat;
    zip_stat_init(&stat);
    return index >= 0 && zip_stat_index(outer, index, 0, &stat) == 0 && stat.comp_method == ZIP_CM_STORE
               ? index
               : -1;
}

} // namespace

ZipArchiveHandle OpenStoredInnerZip(zip_t* outer, zip_uint64_t index, bool strict) {
    zip_source_t* source = zip_source_zip(outer, outer, index, ZIP_FL_COMPRESSED, 0, -1);
    if (!source)
        return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_t* inner = zip_open_from_source(source, strict ? ZIP_RDONLY | ZIP_CHECKCONS : ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!inner)
        zip_source_free(source);
    return ZipArchiveHandle(inner);
}

ZipArchiveHandle OpenInnerZipForReading(const QString& archivePath, const QString& member) {
    ZipArchiveHandle outer = OpenZipForReading(archivePath);
    const zip_int64_t index = storedIndex(outer.get(), member);
    ZipArchiveHandle inner = index < 0 ? nullptr : OpenStoredInnerZip(outer.get(), index, false);
    if (!inner)
        throw InvalidFormat();
    inner.get_deleter().outer = outer.release();
    return inner;
}

bool InnerZipStored(const QString& archivePath, const QString& member) {
    return storedIndex(TryOpenZipForReading(archivePath).get(), member) >= 0;
}

std::optional<QList<ZipMemberEntry>> InnerZipMemberEntries(const QString& archivePath,
                                                           const QString& member) {
    zip_error_t error;
    zip_error_init(&error);
    const ZipArchiveHandle outer = openRaw(archivePath, error, ZIP_RDONLY | ZIP_CHECKCONS);
    zip_error_fini(&error);
    const zip_int64_t index = outer ? zip_name_locate(outer.get(), member.toUtf8().constData(), 0) : -1;
    if (index >= 0 && storedIndex(outer.get(), member) < 0)
        return QList<ZipMemberEntry>(); // compressed again: cannot be read in place, nothing known
    return entriesOf(index < 0 ? nullptr : OpenStoredInnerZip(outer.get(), index));
}

VbError ZipFailure(const zip_error_t* error) {
    const int systemError = zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0;
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOENT:
        return osError(ENOENT);
    case ZIP_ER_MEMORY:
        throw std::bad_alloc();
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_REMOVE:
    case ZIP_ER_RENAME:
        return osError(systemError != 0 ? systemError : EIO);
    default:
        return InvalidFormat();
    }
}

VbError InvalidFormat() { return VbError(Err::InvalidFormat, Str(txtInvalidFormat)); }

} // namespace stowline
