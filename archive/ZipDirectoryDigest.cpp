#include "archive/ZipDirectoryDigest.h"

#include "archive/ZipFormat.h"

#include <QCryptographicHash>
#include <QFile>
#include <algorithm>
#include <optional>

namespace stowline {

using namespace zipformat;

namespace {

constexpr qsizetype Zip64LocatorSize = 20;
constexpr qsizetype Zip64EndSize = 56;

struct Directory {
    quint64 offset = 0;
    quint64 size = 0;
    qint64 end = 0; // where the record naming it starts: the directory must lie before it
};

QByteArray readAt(QFile& file, qint64 offset, qint64 length) {
    if (offset < 0 || !file.seek(offset))
        return {};
    QByteArray bytes = file.read(length);
    return bytes.size() == length ? bytes : QByteArray();
}

// A directory too large for the end record is named by the ZIP64 end record its locator points to.
std::optional<Directory> zip64Directory(QFile& file, qint64 endRecord) {
    const QByteArray locator = readAt(file, endRecord - Zip64LocatorSize, Zip64LocatorSize);
    if (locator.isEmpty() || get32(locator.constData()) != Zip64LocatorSignature)
        return std::nullopt;
    const quint64 at = get64(locator.constData() + 8);
    if (at > quint64(endRecord - Zip64LocatorSize))
        return std::nullopt;
    const QByteArray record = readAt(file, qint64(at), Zip64EndSize);
    if (record.isEmpty() || get32(record.constData()) != Zip64EndSignature)
        return std::nullopt;
    return Directory{get64(record.constData() + 48), get64(record.constData() + 40), qint64(at)};
}

std::optional<Directory> directoryOf(QFile& file) {
    const qint64 size = file.size();
    const qint64 tailLength = std::min<qint64>(size, EndRecordSize + MaxCommentSize);
    const QByteArray tail = readAt(file, size - tailLength, tailLength);
    const qsizetype at = tail.isEmpty() ? -1 : findEndRecord(tail);
    if (at < 0)
        return std::nullopt;
    const char* end = tail.constData() + at;
    const qint64 endRecord = size - tailLength + at;
    if (get16(end + 10) == Max16 || get32(end + 12) == Max32 || get32(end + 16) == Max32)
        return zip64Directory(file, endRecord);
    return Directory{get32(end + 16), get32(end + 12), endRecord};
}

} // namespace

QByteArray ZipDirectoryDigest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<Directory> directory = directoryOf(file);
    if (!directory || directory->offset > quint64(directory->end) ||
        directory->size > quint64(directory->end) - directory->offset ||
        !file.seek(qint64(directory->offset)))
        return {};
    QCryptographicHash digest(QCryptographicHash::Sha256);
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (qint64 left = qint64(directory->size); left > 0;) {
        const qint64 got = file.read(chunk.data(), std::min<qint64>(left, chunk.size()));
        if (got <= 0)
            return {};
        digest.addData(QByteArrayView(chunk.constData(), got));
        left -= got;
    }
    return digest.result();
}

} // namespace stowline
