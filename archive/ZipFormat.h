#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <ctime>

// Record layouts of the published ZIP format that the writer and the comment editor share.
namespace stowline::zipformat {

constexpr quint32 LocalHeaderSignature = 0x04034b50;
constexpr quint32 CentralHeaderSignature = 0x02014b50;
constexpr quint32 EndSignature = 0x06054b50;
constexpr quint32 Zip64EndSignature = 0x06064b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;
constexpr quint32 DescriptorSignature = 0x08074b50;
constexpr quint16 Zip64ExtraId = 0x0001;

constexpr quint16 MethodStore = 0;
constexpr quint16 MethodDeflate = 8;
constexpr quint16 FlagUtf8Names = 0x0800;
constexpr quint16 FlagDataDescriptor = 0x0008;
constexpr quint16 VersionDefault = 20;
constexpr quint16 VersionZip64 = 45;
constexpr quint16 MadeByUnix = 3;
// The file-type bits of a Unix mode, as a member made on Unix keeps them in its external attributes.
constexpr quint32 UnixTypeMask = 0170000;
constexpr quint32 UnixRegularFile = 0100000;
constexpr quint32 UnixSymbolicLink = 0120000;

constexpr qsizetype LocalHeaderSize = 30;
constexpr qsizetype EndRecordSize = 22;
constexpr qsizetype MaxCommentSize = 0xFFFF;
constexpr quint32 Max32 = 0xFFFFFFFFu;
constexpr quint16 Max16 = 0xFFFFu;

inline void put16(QByteArray& out, quint16 v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}
inline void put32(QByteArray& out, quint32 v) {
    put16(out, static_cast<quint16>(v & 0xFFFF));
    put16(out, static_cast<quint16>(v >> 16));
}
inline void put64(QByteArray& out, quint64 v) {
    put32(out, static_cast<quint32>(v & Max32));
    put32(out, static_cast<quint32>(v >> 32));
}
inline quint16 get16(const char* p) {
    return static_cast<quint16>(static_cast<uchar>(p[0]) | static_cast<uchar>(p[1]) << 8);
}
inline quint32 get32(const char* p) { return get16(p) | static_cast<quint32>(get16(p + 2)) << 16; }
inline quint64 get64(const char* p) { return get32(p) | static_cast<quint64>(get32(p + 4)) << 32; }

struct DosDateTime {
    quint16 time = 0;
    quint16 date = (1 << 5) | 1; // 1980-01-01, the earliest the format can say
};

inline DosDateTime toDosDateTime(time_t seconds) {
    std::tm local{};
    if (!localtime_r(&seconds, &local) || local.tm_year < 80)
        return {};
    DosDateTime dos;
    dos.time = static_cast<quint16>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    dos.date = static_cast<quint16>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return dos;
}

// Offset in a file's tail of its end record: the one whose comment reaches exactly to the end of the
// file, else the last one that fits (trailing bytes after it are dropped with the old comment); -1
// when the tail holds none.
qsizetype findEndRecord(QByteArrayView tail);

// Writes all of data to the file descriptor, retrying after signals; a short write is a full disk.
// Throws the classic error for the failure.
void writeFully(int fd, const char* data, size_t size);
// Writes first, then second, in as few calls as the kernel takes.
void writeFully(int fd, const char* first, size_t firstSize, const char* second, size_t secondSize);

} // namespace stowline::zipformat
