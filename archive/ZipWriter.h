#pragma once

#include "archive/WriteBehind.h"
#include "archive/ZipAes.h"
#include "archive/ZipFormat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>
#include <vector>

namespace stowline {

struct ZipEntryHeader {
    QByteArray name; // '/' separates folders; a folder's own entry ends in '/'
    quint16 method = zipformat::MethodStore;
    quint16 flags = 0; // deflate speed bits; the UTF-8 name bit is set by the writer
    zipformat::DosDateTime modified;
    quint32 unixMode = 0;   // st_mode with its type bits, kept in the external attributes
    bool zip64 = false;     // the entry may pass 4 GiB: its local header carries Zip64 sizes
    bool encrypted = false; // set by the writer: the data is encrypted (method 99, the real one in the extra)
    bool descriptor = false; // set by the writer: the sizes follow the data instead of being patched in
};

struct ZipEntrySizes {
    quint32 crc = 0;
    quint64 compressed = 0;
    quint64 uncompressed = 0;
};

// Writes a ZIP archive front to back onto a file descriptor it does not own: local headers, data,
// central directory, Zip64 records where sizes, offsets or counts need them. An entry whose sizes
// are not known before its data gets them patched into its local header afterwards, so the output
// must be a seekable file. Write failures throw VbError from the errno.
//
// A nested writer writes an archive as the data of the entry its outer writer has open, so that
// an archive inside an archive never needs a file of its own: it keeps the CRC-32 of the bytes it
// produced (patches included) for the outer entry. Inside an encrypted entry nothing can be patched
// (the authentication code covers every byte as written), so there an entry whose sizes are not
// known before its data gets them in a data descriptor after it.
//
// With a passphrase every entry is encrypted in the WinZip AES format (AE-2, AES-256).
class ZipWriter {
public:
    explicit ZipWriter(int fd);
    explicit ZipWriter(ZipWriter& outer);

    // Puts Zip64 records on every entry and the end record (used to check readers accept them).
    void setForceZip64(bool force) { m_forceZip64 = force; }
    // For a file that is synced at the end: the disk gets its bytes while the rest is made.
    void setWriteBehind(bool on) { m_writeBehind = on ? std::make_unique<WriteBehind>(m_fd) : nullptr; }
    // Encrypts every entry begun afterwards with this passphrase; an empty one encrypts nothing.
    void setPassphrase(const QByteArray& passphrase) { m_passphrase = passphrase; }

    void beginEntry(const ZipEntryHeader& header, const std::optional<ZipEntrySizes>& known = {});
    void write(const char* data, size_t size);
    void write(QByteArrayView bytes) { write(bytes.data(), static_cast<size_t>(bytes.size())); }
    // Ends the entry begun last; its compressed size is the count of bytes written since.
    void endEntry(quint32 crc, quint64 uncompressedSize);
    // Writes the central directory and the end records, then flushes. A sync of the disk begun
    // beside the writing may still run: the file's own last sync waits for it through waitForDisk.
    void finish(QByteArrayView comment = {});
    // Waits for the syncs begun beside the writing; throws VbError when the disk failed in one.
    void waitForDisk();

    quint64 position() const { return m_position; }
    // Of a nested writer's bytes; none inside an encrypted entry, which carries no CRC.
    quint32 crc() const { return m_crc; }

private:
    struct OpenEntry {
        ZipEntryHeader header;
        quint64 headerOffset = 0;
        quint64 dataOffset = 0;
        bool sizesKnown = false;
        ZipEntrySizes known;
        std::shared_ptr<zipaes::MemberCipher> cipher;
        quint64 encrypted = 0;                       // data bytes encrypted so far
        std::shared_ptr<zipaes::ChunkTagger> tagger; // of the bytes as written, for the check after writing
    };

    bool insideEncryptedEntry() const;
    void writeEncrypted(const char* data, size_t size);
    void writeData(const char* data, size_t size);
    size_t bufferRoom() const;
    void keepBuffered(size_t size); // the bytes put at the buffer's end were written
    void writeDescriptor(const ZipEntryHeader& header, const ZipEntrySizes& sizes);

    QByteArray localHeader(const ZipEntryHeader& header, const ZipEntrySizes& sizes) const;
    void appendCentralRecord(const OpenEntry& entry, const ZipEntrySizes& sizes);
    void writeEndRecords(quint64 directoryOffset, quint64 directorySize, QByteArrayView comment);
    quint16 nameFlags(const QByteArray& name) const;
    void flush();
    void writeOut(const char* data, size_t size);
    void writeAt(quint64 offset, const QByteArray& bytes);

    int m_fd = -1;
    ZipWriter* m_outer = nullptr;
    quint64 m_base = 0; // where a nested writer's first byte lies in the outer archive
    quint32 m_crc = 0;
    bool m_sumsBytes = true;
    bool m_forceZip64 = false;
    std::unique_ptr<WriteBehind> m_writeBehind;
    quint64 m_written = 0; // bytes handed to the file
    quint64 m_position = 0;
    quint64 m_entryCount = 0;
    std::vector<char> m_buffer; // what is not written yet, up to the next write boundary
    size_t m_buffered = 0;
    QByteArray m_passphrase;
    std::vector<char> m_cipherBuffer;
    QByteArray m_centralDirectory;
    std::optional<OpenEntry> m_open;
};

} // namespace stowline
