#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <zip.h>

// One reading of a zip: where each member lies, as its central directory and its local header agree
// on it. The check before a restore, --verify and the unpack all go by it, so that no two of them
// can read different bytes for one member.
namespace stowline::ziplayout {

// A member's record, from the central directory or from its local header.
struct EntryFields {
    QByteArray name; // as stored, not decoded
    quint16 flags = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressed = 0;
    quint64 uncompressed = 0;
    quint64 headerOffset = 0; // of its local header; from the central directory
};

// Name, method, flags, CRC and sizes agree. With a data descriptor (flag 3) the local header may
// leave any of CRC and sizes zero, as writers that stream do.
bool LocalAgreesWithCentral(const EntryFields& local, const EntryFields& central);

// Zip64 sizes and offset stand in the extra field when the 32-bit fields are saturated: uncompressed,
// compressed and (central directory only) the local header's offset, in that order.
void ApplyZip64Extra(EntryFields& entry, const QByteArray& extra, bool central);

// Parses the 26 bytes of a local header that follow its signature; nameSize and extraSize receive
// the lengths of what follows them.
EntryFields ParseLocalHeader(const char* afterSignature, quint16& nameSize, quint16& extraSize);
// Parses the 42 bytes of a central record that follow its signature; sizes as above, plus the comment.
EntryFields ParseCentralRecord(const char* afterSignature, quint16& nameSize, quint16& extraSize,
                               quint16& commentSize);

// Random access to a zip's bytes.
class ZipBytes {
public:
    virtual ~ZipBytes() = default;
    virtual quint64 size() const = 0;
    // Exactly length bytes at offset, or false.
    virtual bool readAt(quint64 offset, char* out, quint64 length) = 0;
};

// Told of each entry in directory order (its name valid only during the call); false refuses it.
using EntryCheck = std::function<bool(quint64 index, const EntryFields& entry)>;

// True when the layout is sound: one end record, the central directory right before it, every entry
// agreeing with its local header and passing check, and no entry's header or data lying inside
// another's or inside the directory.
bool ReadLayout(ZipBytes& bytes, const EntryCheck& check);

// The raw bytes of a source that libzip can seek in (an archive, or a zip stored in one).
class SourceBytes : public ZipBytes {
public:
    explicit SourceBytes(zip_source_t* source); // borrowed, opened here and closed again
    ~SourceBytes() override;
    quint64 size() const override { return m_size; }
    bool readAt(quint64 offset, char* out, quint64 length) override;

private:
    zip_source_t* m_source;
    bool m_open = false;
    quint64 m_size = 0;
};

// The layout is sound and libzip reads the same directory: every entry with the same name, method,
// CRC and sizes, in the same order, and no name given twice.
bool LayoutSound(zip_t* archive, ZipBytes& bytes);

} // namespace stowline::ziplayout
