#include "archive/ZipWriter.h"

#include "archive/ZipCodec.h"
#include "archive/ZipDecrypt.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <zlib.h>

namespace stowline {

using namespace zipformat;

namespace {

// Writes end on these boundaries of the file, so that the kernel keeps the archive in large pages:
// deflated slices written where each ends (about 115 KiB apart) cost the kernel a third more CPU
// in the write and its sync than the copy of their ends into the buffer costs.
constexpr quint64 WriteBoundary = 256 * 1024;

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<uchar>(c) < 0x80; });
}

bool isUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(bytes);
    return !utf8.hasError();
}

// The CRC-32 of a stream after `before` was overwritten by `after` (of the same length) followed
// by `following` more bytes: the CRC is linear, so only the difference needs computing.
quint32 crcAfterPatch(quint32 crc, const QByteArray& before, const QByteArray& after, quint64 following) {
    QByteArray difference(before.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < before.size(); ++i)
        difference[i] = static_cast<char>(before[i] ^ after[i]);
    const QByteArray zeros(before.size(), '\0');
    const auto size = static_cast<size_t>(before.size());
    const quint32 linear = Crc32(0, difference.constData(), size) ^ Crc32(0, zeros.constData(), size);
    return crc ^ static_cast<quint32>(crc32_combine(linear, 0, static_cast<z_off_t>(following)));
}

quint16 versionNeeded(const ZipEntryHeader& header, bool zip64) {
    if (header.encrypted)
        return zipaes::VersionNeeded;
    return zip64 ? VersionZip64 : VersionDefault;
}

quint16 entryFlags(const ZipEntryHeader& header) {
    return header.flags | (header.encrypted ? zipaes::FlagEncrypted : 0) |
           (header.descriptor ? FlagDataDescriptor : 0);
}

} // namespace

ZipWriter::ZipWriter(int fd) : m_fd(fd), m_buffer(WriteBoundary) {}

ZipWriter::ZipWriter(ZipWriter& outer) : m_outer(&outer), m_base(outer.position()) {
    m_sumsBytes = !insideEncryptedEntry(); // an encrypted entry carries no CRC: its code covers the bytes
}

quint16 ZipWriter::nameFlags(const QByteArray& name) const {
    return !isAscii(name) && isUtf8(name) ? FlagUtf8Names : 0;
}

QByteArray ZipWriter::localHeader(const ZipEntryHeader& header, const ZipEntrySizes& sizes) const {
    const bool zip64 = header.zip64 || m_forceZip64;
    const QByteArray aesExtra = header.encrypted ? zipaes::extraField(header.method) : QByteArray();
    QByteArray out;
    put32(out, LocalHeaderSignature);
    put16(out, versionNeeded(header, zip64));
    put16(out, entryFlags(header) | nameFlags(header.name));
    put16(out, header.encrypted ? zipaes::MethodAes : header.method);
    put16(out, header.modified.time);
    put16(out, header.modified.date);
    put32(out, header.encrypted ? 0 : sizes.crc);
    put32(out, zip64 ? Max32 : static_cast<quint32>(sizes.compressed));
    put32(out, zip64 ? Max32 : static_cast<quint32>(sizes.uncompressed));
    put16(out, static_cast<quint16>(header.name.size()));
    put16(out, static_cast<quint16>((zip64 ? 20 : 0) + aesExtra.size()));
    out.append(header.name);
    if (zip64) {
        put16(out, Zip64ExtraId);
        put16(out, 16);
        put64(out, sizes.uncompressed);
        put64(out, sizes.compressed);
    }
    out.append(aesExtra);
    return out;
}

bool ZipWriter::insideEncryptedEntry() const {
    return m_outer && ((m_outer->m_open && m_outer->m_open->cipher) || m_outer->insideEncryptedEntry());
}

void ZipWriter::beginEntry(const ZipEntryHeader& header, const std::optional<ZipEntrySizes>& known) {
    OpenEntry entry;
    entry.header = header;
    entry.header.encrypted = !m_passphrase.isEmpty();
    entry.header.descriptor = !known && insideEncryptedEntry();
    entry.headerOffset = m_position;
    entry.sizesKnown = known.has_value();
    entry.known = known.value_or(ZipEntrySizes{});
    if (entry.header.encrypted) {
        entry.known.crc = 0;
        if (known)
            entry.known.compressed += zipaes::Overhead;
    }
    const QByteArray bytes = localHeader(entry.header, entry.known);
    write(bytes);
    entry.dataOffset = m_position;
    if (entry.header.encrypted) {
        entry.cipher = std::make_shared<zipaes::MemberCipher>(m_passphrase, zipaes::randomSalt());
        const auto verifier = entry.cipher->verifier();
        const auto* salt = reinterpret_cast<const char*>(entry.cipher->salt().data());
        writeData(salt, zipaes::SaltSize);
        writeData(reinterpret_cast<const char*>(verifier.data()), verifier.size());
        entry.tagger = std::make_shared<zipaes::ChunkTagger>();
    }
    m_open = std::move(entry);
}

void ZipWriter::write(const char* data, size_t size) {
    if (m_open && m_open->cipher)
        writeEncrypted(data, size);
    else
        writeData(data, size);
}

// Encrypts straight into the write buffer, where the code and the tags read the bytes while they are
// in cache; a nested writer hands its pieces on to its outer one instead.
void ZipWriter::writeEncrypted(const char* data, size_t size) {
    constexpr size_t Piece = 64 * 1024;
    if (m_outer)
        m_cipherBuffer.resize(Piece);
    zipaes::MemberCipher& cipher = *m_open->cipher;
    while (size > 0) {
        const size_t n = std::min({size, Piece, m_outer ? Piece : bufferRoom()});
        char* out = m_outer ? m_cipherBuffer.data() : m_buffer.data() + m_buffered;
        cipher.crypt(data, out, n, m_open->encrypted);
        cipher.authenticate(out, n);
        m_open->tagger->add(out, n);
        if (m_outer)
            writeData(out, n);
        else
            keepBuffered(n);
        m_open->encrypted += n;
        data += n;
        size -= n;
    }
}

void ZipWriter::writeData(const char* data, size_t size) {
    if (m_outer) {
        m_outer->write(data, size);
        if (m_sumsBytes)
            m_crc = Crc32(m_crc, data, size);
        m_position += size;
        return;
    }
    m_position += size;
    const quint64 buffered = m_written + m_buffered;
    const quint64 boundary = (buffered + size) / WriteBoundary * WriteBoundary;
    if (boundary > buffered) {
        const auto ahead = static_cast<size_t>(boundary - buffered);
        writeOut(data, ahead);
        data += ahead;
        size -= ahead;
    }
    std::memcpy(m_buffer.data() + m_buffered, data, size);
    m_buffered += size;
}

// The buffer never holds bytes of two write boundaries' stretches, so there is always room.
size_t ZipWriter::bufferRoom() const {
    return static_cast<size_t>(WriteBoundary - (m_written + m_buffered) % WriteBoundary);
}

void ZipWriter::keepBuffered(size_t size) {
    m_buffered += size;
    m_position += size;
    if ((m_written + m_buffered) % WriteBoundary == 0)
        writeOut(nullptr, 0);
}

void ZipWriter::endEntry(quint32 crc, quint64 uncompressedSize) {
    Q_ASSERT(m_open);
    const OpenEntry entry = std::move(*m_open);
    m_open.reset();
    if (entry.cipher) {
        const zipaes::Mac code = entry.cipher->finishCode();
        const auto* codeBytes = reinterpret_cast<const char*>(code.data());
        writeData(codeBytes, code.size());
        RememberWrittenMember(
            QByteArray(reinterpret_cast<const char*>(entry.cipher->salt().data()), zipaes::SaltSize) +
                QByteArray(codeBytes, code.size()),
            entry.tagger->finish());
        crc = 0;
    }
    const ZipEntrySizes sizes{crc, m_position - entry.dataOffset, uncompressedSize};
    const bool zip64 = entry.header.zip64 || m_forceZip64;
    if (!zip64 && (sizes.compressed >= Max32 || sizes.uncompressed >= Max32))
        Raise(Err::InternalError, QStringLiteral("Internal error: entry passed 4 GiB without Zip64 fields"));
    const bool patch = !entry.header.descriptor && (!entry.sizesKnown || entry.known.crc != sizes.crc ||
                                                    entry.known.compressed != sizes.compressed ||
                                                    entry.known.uncompressed != sizes.uncompressed);
    if (entry.header.descriptor)
        writeDescriptor(entry.header, sizes);
    if (patch && insideEncryptedEntry())
        Raise(Err::InternalError,
              QStringLiteral("Internal error: entry sizes changed inside an encrypted one"));
    if (patch) {
        const QByteArray header = localHeader(entry.header, sizes);
        if (m_outer)
            m_crc = crcAfterPatch(m_crc, localHeader(entry.header, entry.known), header,
                                  m_position - entry.headerOffset - static_cast<quint64>(header.size()));
        flush();
        writeAt(entry.headerOffset, header);
    }
    appendCentralRecord(entry, sizes);
}

void ZipWriter::writeDescriptor(const ZipEntryHeader& header, const ZipEntrySizes& sizes) {
    QByteArray out;
    put32(out, DescriptorSignature);
    put32(out, sizes.crc);
    if (header.zip64 || m_forceZip64) {
        put64(out, sizes.compressed);
        put64(out, sizes.uncompressed);
    } else {
        put32(out, static_cast<quint32>(sizes.compressed));
        put32(out, static_cast<quint32>(sizes.uncompressed));
    }
    write(out);
}

void ZipWriter::appendCentralRecord(const OpenEntry& entry, const ZipEntrySizes& sizes) {
    const ZipEntryHeader& header = entry.header;
    const bool sizes64 = header.zip64 || m_forceZip64;
    const bool offset64 = entry.headerOffset >= Max32 || m_forceZip64;
    QByteArray extra;
    if (sizes64) {
        put64(extra, sizes.uncompressed);
        put64(extra, sizes.compressed);
    }
    if (offset64)
        put64(extra, entry.headerOffset);
    const QByteArray aesExtra = header.encrypted ? zipaes::extraField(header.method) : QByteArray();
    const auto extraSize = static_cast<quint16>((extra.isEmpty() ? 0 : extra.size() + 4) + aesExtra.size());
    const bool isDirectory = header.name.endsWith('/');

    QByteArray& out = m_centralDirectory;
    put32(out, CentralHeaderSignature);
    const quint16 version = versionNeeded(header, !extra.isEmpty());
    put16(out, static_cast<quint16>(MadeByUnix << 8 | version));
    put16(out, version);
    put16(out, entryFlags(header) | nameFlags(header.name));
    put16(out, header.encrypted ? zipaes::MethodAes : header.method);
    put16(out, header.modified.time);
    put16(out, header.modified.date);
    put32(out, header.encrypted ? 0 : sizes.crc);
    put32(out, sizes64 ? Max32 : static_cast<quint32>(sizes.compressed));
    put32(out, sizes64 ? Max32 : static_cast<quint32>(sizes.uncompressed));
    put16(out, static_cast<quint16>(header.name.size()));
    put16(out, extraSize);
    put16(out, 0); // comment
    put16(out, 0); // disk
    put16(out, 0); // internal attributes
    put32(out, header.unixMode << 16 | (isDirectory ? 0x10 : 0));
    put32(out, offset64 ? Max32 : static_cast<quint32>(entry.headerOffset));
    out.append(header.name);
    if (!extra.isEmpty()) {
        put16(out, Zip64ExtraId);
        put16(out, static_cast<quint16>(extra.size()));
        out.append(extra);
    }
    out.append(aesExtra);
    ++m_entryCount;
}

void ZipWriter::finish(QByteArrayView comment) {
    const quint64 directoryOffset = m_position;
    write(m_centralDirectory);
    writeEndRecords(directoryOffset, static_cast<quint64>(m_centralDirectory.size()),
                    comment.first(std::min<qsizetype>(comment.size(), MaxCommentSize)));
    flush();
    if (m_writeBehind)
        m_writeBehind->end();
}

void ZipWriter::waitForDisk() {
    if (m_writeBehind)
        m_writeBehind->finish();
}

void ZipWriter::writeEndRecords(quint64 directoryOffset, quint64 directorySize, QByteArrayView comment) {
    const bool zip64 =
        m_forceZip64 || m_entryCount >= Max16 || directoryOffset >= Max32 || directorySize >= Max32;
    QByteArray out;
    if (zip64) {
        const quint64 recordOffset = m_position;
        put32(out, Zip64EndSignature);
        put64(out, 44);
        put16(out, MadeByUnix << 8 | VersionZip64);
        put16(out, VersionZip64);
        put32(out, 0);
        put32(out, 0);
        put64(out, m_entryCount);
        put64(out, m_entryCount);
        put64(out, directorySize);
        put64(out, directoryOffset);
        put32(out, Zip64LocatorSignature);
        put32(out, 0);
        put64(out, recordOffset);
        put32(out, 1);
    }
    const auto count = static_cast<quint16>(zip64 ? Max16 : m_entryCount);
    put32(out, EndSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, zip64 ? Max32 : static_cast<quint32>(directorySize));
    put32(out, zip64 ? Max32 : static_cast<quint32>(directoryOffset));
    put16(out, static_cast<quint16>(comment.size()));
    out.append(comment);
    write(out);
}

void ZipWriter::flush() {
    if (m_outer)
        m_outer->flush();
    if (m_buffered > 0)
        writeOut(nullptr, 0);
}

// Writes what the buffer holds and then data, and empties the buffer.
void ZipWriter::writeOut(const char* data, size_t size) {
    zipformat::writeFully(m_fd, m_buffer.data(), m_buffered, data, size);
    m_written += m_buffered + size;
    m_buffered = 0;
    if (m_writeBehind)
        m_writeBehind->written(m_written);
}

void ZipWriter::writeAt(quint64 offset, const QByteArray& bytes) {
    if (m_outer)
        return m_outer->writeAt(m_base + offset, bytes);
    const ssize_t written = platform::writeAt(m_fd, bytes.constData(), static_cast<size_t>(bytes.size()),
                                              static_cast<off_t>(offset));
    if (written != bytes.size())
        RaiseOsError(written < 0 ? errno : ENOSPC);
}

} // namespace stowline
