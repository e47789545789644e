#include "archive/ZipLayout.h"

#include "archive/ZipAes.h"
#include "archive/ZipFormat.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace stowline::ziplayout {

namespace {

using zipformat::get16;
using zipformat::get32;
using zipformat::get64;

constexpr quint16 FlagDataDescriptor = 0x0008;
constexpr qsizetype CentralRecordSize = 46;
constexpr qsizetype Zip64LocatorSize = 20;
constexpr qsizetype Zip64EndFixedSize = 56;
constexpr quint64 DescriptorMinimum = 12; // CRC and two 32-bit sizes, after the data

// Where the central directory lies and how many entries it holds, from the end records.
struct Directory {
    quint64 offset = 0;
    quint64 size = 0;
    quint64 entries = 0;
    quint64 end = 0; // where the end records begin: the directory must reach exactly there
};

QByteArray readBytes(ZipBytes& bytes, quint64 offset, quint64 length) {
    QByteArray out;
    if (offset > bytes.size() || length > bytes.size() - offset)
        return {};
    out.resize(static_cast<qsizetype>(length));
    return bytes.readAt(offset, out.data(), length) ? out : QByteArray();
}

// The one end record whose comment reaches the end of the zip; a second candidate (an end record
// hidden in the comment) makes the zip ambiguous.
std::optional<quint64> findEndRecord(ZipBytes& bytes) {
    const quint64 total = bytes.size();
    if (total < zipformat::EndRecordSize)
        return std::nullopt;
    const quint64 tailSize = std::min<quint64>(total, zipformat::EndRecordSize + zipformat::MaxCommentSize);
    const quint64 tailStart = total - tailSize;
    const QByteArray tail = readBytes(bytes, tailStart, tailSize);
    if (tail.isEmpty())
        return std::nullopt;
    std::optional<quint64> found;
    for (qsizetype at = tail.size() - zipformat::EndRecordSize; at >= 0; --at) {
        if (get32(tail.constData() + at) != zipformat::EndSignature)
            continue;
        if (quint64(at) + zipformat::EndRecordSize + get16(tail.constData() + at + 20) != tailSize)
            continue;
        if (found)
            return std::nullopt;
        found = tailStart + quint64(at);
    }
    return found;
}

std::optional<Directory> readDirectoryPlace(ZipBytes& bytes) {
    const std::optional<quint64> endAt = findEndRecord(bytes);
    if (!endAt)
        return std::nullopt;
    const QByteArray end = readBytes(bytes, *endAt, zipformat::EndRecordSize);
    Directory directory{get32(end.constData() + 16), get32(end.constData() + 12), get16(end.constData() + 10),
                        *endAt};
    if (get16(end.constData() + 4) != 0 || get16(end.constData() + 6) != 0 ||
        get16(end.constData() + 8) != get16(end.constData() + 10))
        return std::nullopt; // split over several disks
    if (*endAt < quint64(Zip64LocatorSize))
        return directory;
    const QByteArray locator = readBytes(bytes, *endAt - Zip64LocatorSize, Zip64LocatorSize);
    if (get32(locator.constData()) != zipformat::Zip64LocatorSignature)
        return directory;
    const quint64 recordAt = get64(locator.constData() + 8);
    const QByteArray record = readBytes(bytes, recordAt, Zip64EndFixedSize);
    if (record.isEmpty() || get32(record.constData()) != zipformat::Zip64EndSignature ||
        recordAt + 12 + get64(record.constData() + 4) != *endAt - Zip64LocatorSize ||
        get64(record.constData() + 24) != get64(record.constData() + 32))
        return std::nullopt;
    return Directory{get64(record.constData() + 48), get64(record.constData() + 40),
                     get64(record.constData() + 32), recordAt};
}

// Where an entry's local header begins and where its data (and descriptor) end.
struct Extent {
    quint64 start = 0;
    quint64 end = 0;
};

std::optional<Extent> checkLocal(ZipBytes& bytes, const EntryFields& central, quint64 directoryStart) {
    const QByteArray header = readBytes(bytes, central.headerOffset, zipformat::LocalHeaderSize);
    if (header.isEmpty() || get32(header.constData()) != zipformat::LocalHeaderSignature)
        return std::nullopt;
    quint16 nameSize = 0;
    quint16 extraSize = 0;
    EntryFields local = ParseLocalHeader(header.constData() + 4, nameSize, extraSize);
    const quint64 namesAt = central.headerOffset + zipformat::LocalHeaderSize;
    const QByteArray nameAndExtra = readBytes(bytes, namesAt, quint64(nameSize) + extraSize);
    if (nameAndExtra.size() != nameSize + extraSize)
        return std::nullopt;
    local.name = nameAndExtra.left(nameSize);
    ApplyZip64Extra(local, nameAndExtra.mid(nameSize), false);
    if (!LocalAgreesWithCentral(local, central))
        return std::nullopt;
    const quint64 dataAt = namesAt + nameSize + extraSize;
    const quint64 descriptor = (central.flags & FlagDataDescriptor) ? DescriptorMinimum : 0;
    if (central.compressed > directoryStart || dataAt > directoryStart - central.compressed ||
        dataAt + central.compressed + descriptor > directoryStart)
        return std::nullopt;
    return Extent{central.headerOffset, dataAt + central.compressed + descriptor};
}

} // namespace

bool LocalAgreesWithCentral(const EntryFields& local, const EntryFields& central) {
    if (local.name != central.name || local.method != central.method || local.flags != central.flags)
        return false;
    // Each field the local header leaves zero for the descriptor to give (some writers know the size).
    const bool deferred = central.flags & FlagDataDescriptor;
    const auto agrees = [&](quint64 localValue, quint64 centralValue) {
        return localValue == centralValue || (deferred && localValue == 0);
    };
    return agrees(local.crc, central.crc) && agrees(local.compressed, central.compressed) &&
           agrees(local.uncompressed, central.uncompressed);
}

void ApplyZip64Extra(EntryFields& entry, const QByteArray& extra, bool central) {
    for (qsizetype at = 0; at + 4 <= extra.size();) {
        const quint16 id = get16(extra.constData() + at);
        const quint16 size = get16(extra.constData() + at + 2);
        if (id == zipformat::Zip64ExtraId) {
            qsizetype field = at + 4;
            const qsizetype fieldEnd = std::min<qsizetype>(extra.size(), field + size);
            for (quint64* value : {&entry.uncompressed, &entry.compressed, &entry.headerOffset}) {
                if (value == &entry.headerOffset && !central)
                    break;
                if (*value == zipformat::Max32 && field + 8 <= fieldEnd) {
                    *value = get64(extra.constData() + field);
                    field += 8;
                }
            }
            return;
        }
        at += 4 + size;
    }
}

EntryFields ParseLocalHeader(const char* afterSignature, quint16& nameSize, quint16& extraSize) {
    const char* h = afterSignature;
    EntryFields entry;
    entry.flags = get16(h + 2);
    entry.method = get16(h + 4);
    entry.crc = get32(h + 10);
    entry.compressed = get32(h + 14);
    entry.uncompressed = get32(h + 18);
    nameSize = get16(h + 22);
    extraSize = get16(h + 24);
    return entry;
}

EntryFields ParseCentralRecord(const char* afterSignature, quint16& nameSize, quint16& extraSize,
                               quint16& commentSize) {
    const char* r = afterSignature;
    EntryFields entry;
    entry.flags = get16(r + 4);
    entry.method = get16(r + 6);
    entry.crc = get32(r + 12);
    entry.compressed = get32(r + 16);
    entry.uncompressed = get32(r + 20);
    nameSize = get16(r + 24);
    extraSize = get16(r + 26);
    commentSize = get16(r + 28);
    entry.headerOffset = get32(r + 38);
    return entry;
}

bool ReadLayout(ZipBytes& bytes, const EntryCheck& check) {
    const std::optional<Directory> directory = readDirectoryPlace(bytes);
    if (!directory || directory->offset > directory->end ||
        directory->size != directory->end - directory->offset)
        return false;
    const QByteArray records = readBytes(bytes, directory->offset, directory->size);
    if (records.size() != qsizetype(directory->size))
        return false;
    std::vector<Extent> extents;
    qsizetype at = 0;
    for (quint64 i = 0; i < directory->entries; ++i) {
        if (at + CentralRecordSize > records.size() ||
            get32(records.constData() + at) != zipformat::CentralHeaderSignature)
            return false;
        quint16 nameSize = 0, extraSize = 0, commentSize = 0;
        EntryFields entry =
            ParseCentralRecord(records.constData() + at + 4, nameSize, extraSize, commentSize);
        const qsizetype variable = qsizetype(nameSize) + extraSize + commentSize;
        if (at + CentralRecordSize + variable > records.size())
            return false;
        // Views into the directory read once: a directory of 65,535 names is not copied again.
        entry.name = QByteArray::fromRawData(records.constData() + at + CentralRecordSize, nameSize);
        ApplyZip64Extra(
            entry,
            QByteArray::fromRawData(records.constData() + at + CentralRecordSize + nameSize, extraSize),
            true);
        const std::optional<Extent> extent = checkLocal(bytes, entry, directory->offset);
        if (!extent || !check(i, entry))
            return false;
        extents.push_back(*extent);
        at += CentralRecordSize + variable;
    }
    if (at != records.size())
        return false;
    // No header or data may lie inside another entry's: one set of bytes, one member.
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (size_t i = 1; i < extents.size(); ++i)
        if (extents[i].start < extents[i - 1].end)
            return false;
    return true;
}

SourceBytes::SourceBytes(zip_source_t* source) : m_source(source) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    m_open = source && zip_source_open(source) == 0;
    if (m_open && zip_source_stat(source, &stat) == 0)
        m_size =
            (stat.valid & ZIP_STAT_COMP_SIZE) && !(stat.valid & ZIP_STAT_SIZE) ? stat.comp_size : stat.size;
}

SourceBytes::~SourceBytes() {
    if (m_open)
        zip_source_close(m_source);
}

bool SourceBytes::readAt(quint64 offset, char* out, quint64 length) {
    if (!m_open || zip_source_seek(m_source, static_cast<zip_int64_t>(offset), SEEK_SET) != 0)
        return false;
    while (length > 0) {
        const zip_int64_t got = zip_source_read(m_source, out, length);
        if (got <= 0)
            return false;
        out += got;
        length -= static_cast<quint64>(got);
    }
    return true;
}

bool LayoutSound(zip_t* archive, ZipBytes& bytes) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_int64_t seen = 0;
    const bool sound = ReadLayout(bytes, [&](quint64 index, const EntryFields& entry) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        const auto i = static_cast<zip_uint64_t>(index);
        const char* name = zip_get_name(archive, i, ZIP_FL_ENC_RAW);
        const QByteArray shown = QByteArray(entry.name).replace('\0', ' '); // as libzip shows a NUL
        ++seen;
        if (zip_int64_t(index) >= count || !name || zip_stat_index(archive, i, ZIP_FL_ENC_RAW, &stat) != 0)
            return false;
        // libzip names an AES member's real method, from its extra field, where the header says AES.
        const bool sameMethod = stat.comp_method == entry.method ||
                                (entry.method == zipaes::MethodAes && stat.encryption_method != ZIP_EM_NONE);
        // One name, one member: libzip finds a name's first entry, so a second one is found elsewhere.
        const char* decoded = zip_get_name(archive, i, 0); // its names are looked up as decoded
        const bool unique = decoded && zip_name_locate(archive, decoded, 0) == zip_int64_t(index);
        return shown == QByteArray(name) && unique && sameMethod && stat.crc == entry.crc &&
               stat.size == entry.uncompressed && stat.comp_size == entry.compressed;
    });
    return sound && seen == count;
}

} // namespace stowline::ziplayout
