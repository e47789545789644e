#include "archive/ZipLibzip.h"

#include "archive/ZipDecrypt.h"
#include "archive/ZipFormat.h"
#include "archive/ZipLayout.h"
#include "archive/ZipText.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace stowline {

namespace {

// An archive read with pread: libzip's own file source is a stdio FILE, which seeks before every
// read of a member (tens of thousands of seeks for an archive of small files). Small reads are
// served from one page read ahead: a member's local header, name and data lie side by side.
struct PreadSource {
    int fd = -1;
    zip_uint64_t size = 0;
    zip_uint64_t offset = 0;
    zip_error_t error{};
    char ahead[4096];
    zip_uint64_t aheadStart = 0;
    zip_uint64_t aheadLength = 0;
};

zip_int64_t preadFully(PreadSource& source, void* data, zip_uint64_t length, zip_uint64_t at) {
    for (;;) {
        const ssize_t got = platform::readAt(source.fd, data, length, static_cast<off_t>(at));
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            zip_error_set(&source.error, ZIP_ER_READ, errno);
            return -1;
        }
    }
}

zip_int64_t readAt(PreadSource& source, void* data, zip_uint64_t length) {
    const bool inAhead =
        source.offset >= source.aheadStart && source.offset < source.aheadStart + source.aheadLength;
    if (!inAhead && length < sizeof source.ahead) {
        const zip_int64_t got = preadFully(source, source.ahead, sizeof source.ahead, source.offset);
        if (got <= 0)
            return got;
        source.aheadStart = source.offset;
        source.aheadLength = static_cast<zip_uint64_t>(got);
    } else if (!inAhead) {
        const zip_int64_t got = preadFully(source, data, length, source.offset);
        if (got > 0)
            source.offset += static_cast<zip_uint64_t>(got);
        return got;
    }
    const zip_uint64_t n = std::min(length, source.aheadStart + source.aheadLength - source.offset);
    std::memcpy(data, source.ahead + (source.offset - source.aheadStart), n);
    source.offset += n;
    return static_cast<zip_int64_t>(n);
}

zip_int64_t preadCommand(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    PreadSource& source = *static_cast<PreadSource*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source.offset = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return readAt(source, data, length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = source.size;
        stat->valid = ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source.error, data, length);
    case ZIP_SOURCE_FREE:
        platform::closeFile(source.fd);
        zip_error_fini(&source.error);
        delete &source;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t at =
            zip_source_seek_compute_offset(source.offset, source.size, data, length, &source.error);
        if (at < 0)
            return -1;
        source.offset = static_cast<zip_uint64_t>(at);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(source.offset);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// The archive file's bytes for the layout check, read beside libzip's own handle.
class FileBytes : public ziplayout::ZipBytes {
public:
    FileBytes(int fd, quint64 size) : m_fd(fd), m_size(size) {}
    quint64 size() const override { return m_size; }
    bool readAt(quint64 offset, char* out, quint64 length) override {
        while (length > 0) {
            const ssize_t got = platform::readAt(m_fd, out, length, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            offset += static_cast<quint64>(got);
            length -= static_cast<quint64>(got);
        }
        return true;
    }

private:
    int m_fd;
    quint64 m_size;
};

ZipArchiveHandle openRaw(const QString& path, zip_error_t& error, int flags = ZIP_RDONLY) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = platform::openToRead(name.constData());
    const auto info = fd < 0 ? std::nullopt : platform::statusOfOpen(fd);
    if (!info) {
        zip_error_set(&error, errno == ENOENT ? ZIP_ER_NOENT : ZIP_ER_OPEN, errno);
        if (fd >= 0)
            platform::closeFile(fd);
        return nullptr;
    }
    // libzip takes an empty file for an empty archive; it is no archive at all.
    if (!info->isRegular() || info->size == 0) {
        platform::closeFile(fd);
        zip_error_set(&error, ZIP_ER_NOZIP, 0);
        return nullptr;
    }
    auto* state = new PreadSource;
    state->fd = fd;
    state->size = static_cast<zip_uint64_t>(info->size);
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(preadCommand, state, &error);
    if (!source) {
        preadCommand(state, nullptr, 0, ZIP_SOURCE_FREE);
        return nullptr;
    }
    // A checked open goes by our own reading of the layout, not libzip's consistency check, which refuses
    // the local sizes that streaming writers (bsdtar) leave beside a data descriptor.
    ZipArchiveHandle archive(zip_open_from_source(source, flags & ~ZIP_CHECKCONS, &error));
    if (!archive) {
        zip_source_free(source);
        return nullptr;
    }
    // The fd stays open with the archive's source; a checked open also holds the layout to one reading.
    FileBytes bytes(fd, static_cast<quint64>(info->size));
    if ((flags & ZIP_CHECKCONS) && !ziplayout::LayoutSound(archive.get(), bytes)) {
        zip_error_set(&error, ZIP_ER_INCONS, 0);
        return nullptr;
    }
    return archive;
}

} // namespace

ZipArchiveHandle TryOpenZip(const QString& path, int flags) noexcept {
    zip_error_t error;
    zip_error_init(&error);
    ZipArchiveHandle archive = openRaw(path, error, flags);
    zip_error_fini(&error);
    return archive;
}

ZipArchiveHandle OpenZipForReading(const QString& path, bool checked) {
    zip_error_t error;
    zip_error_init(&error);
    ZipArchiveHandle archive = openRaw(path, error, checked ? ZIP_RDONLY | ZIP_CHECKCONS : ZIP_RDONLY);
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
           system == ZIP_OPSYS_UNIX &&
           ((attributes >> 16) & zipformat::UnixTypeMask) == zipformat::UnixSymbolicLink;
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
        const bool unpackable =
            zip_stat_index(archive.get(), index, 0, &stat) == 0 &&
            (stat.encryption_method == ZIP_EM_NONE || stat.encryption_method == ZIP_EM_AES_256) &&
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
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = OpenPackedMember(outer, index, &error);
    if (!source) {
        zip_error_fini(&error);
        return nullptr;
    }
    zip_source_keep(source); // read again below for the layout: an encrypted member is decrypted once
    zip_t* inner = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!inner) {
        zip_source_free(source);
        zip_source_free(source);
        return nullptr;
    }
    ZipArchiveHandle handle(inner);
    bool sound = true;
    if (strict) {
        ziplayout::SourceBytes bytes(source);
        sound = ziplayout::LayoutSound(inner, bytes);
    }
    zip_source_free(source);
    return sound ? std::move(handle) : nullptr;
}

ZipArchiveHandle OpenInnerZipForReading(const QString& archivePath, const QString& member, bool checked) {
    ZipArchiveHandle outer = OpenZipForReading(archivePath, checked);
    const zip_int64_t index = storedIndex(outer.get(), member);
    ZipArchiveHandle inner = index < 0 ? nullptr : OpenStoredInnerZip(outer.get(), index, checked);
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
    case ZIP_ER_NOPASSWD:
        return VbError(Err::PermissionDenied, Str(txtNoPassphrase));
    case ZIP_ER_WRONGPASSWD:
        return VbError(Err::PermissionDenied, Str(txtWrongPassphrase));
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
