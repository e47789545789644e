#include "archive/ZipComment.h"

#include "archive/ZipFormat.h"
#include "archive/ZipLibzip.h"
#include "archive/ZipText.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"

#include <QFile>
#include <cerrno>

namespace stowline {

using namespace zipformat;

namespace {

QByteArray readTail(int fd, qint64 fileSize) {
    const qint64 length = std::min<qint64>(fileSize, EndRecordSize + MaxCommentSize);
    QByteArray tail(length, Qt::Uninitialized);
    const ssize_t got = platform::readAt(fd, tail.data(), static_cast<size_t>(length), fileSize - length);
    if (got != length)
        RaiseOsError(got < 0 ? errno : EIO);
    return tail;
}

void writeAt(int fd, qint64 offset, const QByteArray& bytes) {
    const ssize_t written =
        platform::writeAt(fd, bytes.constData(), static_cast<size_t>(bytes.size()), offset);
    if (written != bytes.size())
        RaiseOsError(written < 0 ? errno : ENOSPC);
}

} // namespace

QString ReadArchiveComment(const QString& path) {
    const ZipArchiveHandle archive = TryOpenZipForReading(path);
    if (!archive)
        return {};
    int length = 0;
    const char* comment = zip_get_archive_comment(archive.get(), &length, ZIP_FL_ENC_RAW);
    if (!comment || length <= 0)
        return {};
    return DecodeArchiveText(QByteArrayView(comment, length));
}

void WriteArchiveComment(const QString& path, const QByteArray& comment) {
    OpenZipForReading(path); // only a file libzip reads as a zip is touched
    const QByteArray text = comment.left(MaxCommentSize);
    platform::Descriptor file(platform::openToUpdate(QFile::encodeName(path).constData()));
    if (!file.isOpen())
        RaiseOsError(errno);
    const auto info = platform::statusOfOpen(file.get());
    if (!info)
        RaiseOsError(errno);
    const QByteArray tail = readTail(file.get(), info->size);
    const qsizetype found = findEndRecord(tail);
    if (found < 0)
        throw InvalidFormat();
    const qint64 endRecord = info->size - tail.size() + found;
    // New text first, then its length, then the cut: a reader never sees a length past the end.
    writeAt(file.get(), endRecord + EndRecordSize, text);
    QByteArray length;
    put16(length, static_cast<quint16>(text.size()));
    writeAt(file.get(), endRecord + 20, length);
    if (platform::resizeFile(file.get(), endRecord + EndRecordSize + text.size()) != 0)
        RaiseOsError(errno);
    if (file.close() != 0)
        RaiseOsError(errno);
}

} // namespace stowline
