#include "archive/ArchiveLayout.h"

#include "archive/ZipText.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "platform/PrivateFiles.h"

#include <QFile>
#include <cerrno>

namespace stowline::layout {

namespace {

constexpr qint64 MaximumLineLength = 64 * 1024;

QByteArray recordLine(const QString& fields) { return fields.toUtf8() + "\r\n"; }

void writeText(const QString& path, const QByteArray& bytes, bool append) {
    const int fd = platform::openPrivateFile(path, append);
    if (fd < 0)
        RaiseOsError(errno, errno == ENOENT);
    const ssize_t written = platform::writeFile(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    const int writeError = written < 0 ? errno : ENOSPC;
    if (platform::closeFile(fd) != 0 && written == bytes.size())
        RaiseOsError(errno);
    if (written != bytes.size())
        RaiseOsError(writeError);
}

QString quoted(const QString& text) {
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Splits one record into its fields; see the header for the quoting rules.
QStringList splitFields(QStringView line) {
    QStringList fields;
    qsizetype at = 0;
    const auto endsField = [&](qsizetype i) { return i >= line.size() || line[i] == u','; };
    while (at <= line.size()) {
        QString field;
        if (at < line.size() && line[at] == u'"') {
            for (++at; at < line.size(); ++at) {
                if (line[at] != u'"') {
                    field += line[at];
                } else if (at + 1 < line.size() && line[at + 1] == u'"') {
                    field += u'"';
                    ++at;
                } else if (endsField(at + 1)) {
                    ++at;
                    break;
                } else {
                    field += u'"';
                }
            }
        }
        while (!endsField(at))
            field += line[at++];
        fields << field;
        ++at;
    }
    return fields;
}

} // namespace

QString IdentityKeyMember(const QString& identityId) { return identityId + u'/' + IdentityKeyFile; }

QString IdentityDataMember(const QString& identityId) { return identityId + u'/' + IdentityDataFile; }

void WriteStowlineVersion(const QString& path) {
    const QString line = QString::number(VersionMajor) + u',' + QString::number(VersionMinor) + u',' +
                         QString::number(VersionRevision);
    writeText(path, recordLine(line), false);
}

void WriteWindowsVersion(const QString& path, int major, int minor, int platformId) {
    const QString line =
        QString::number(major) + u',' + QString::number(minor) + u',' + QString::number(platformId);
    writeText(path, recordLine(line), false);
}

QString IdentityRecordLine(const IdentityRecord& record) {
    return quoted(record.name) + u',' + quoted(record.id);
}

void AppendIdentityRecord(const QString& indexPath, const QString& name, const QString& identityId) {
    writeText(indexPath, recordLine(IdentityRecordLine({name, identityId})), true);
}

std::optional<IdentityRecord> ParseIdentityRecord(QStringView line) {
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    if (line.isEmpty())
        return std::nullopt;
    const QStringList fields = splitFields(line);
    if (fields.size() < 2)
        return std::nullopt;
    return IdentityRecord{fields[0], fields[1]};
}

QList<IdentityRecord> ReadIdentityIndex(const QString& indexPath) {
    const int fd = platform::openToRead(QFile::encodeName(indexPath).constData());
    if (fd < 0)
        RaiseOsError(errno);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        platform::closeFile(fd);
        RaiseOsError(EIO);
    }
    QList<IdentityRecord> records;
    while (!file.atEnd()) {
        const QByteArray bytes = file.readLine(MaximumLineLength);
        if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
            RaiseOsError(EIO);
        if (const auto record = ParseIdentityRecord(DecodeArchiveText(bytes)))
            records << *record;
    }
    return records;
}

bool IsBackupArchiveComment(const QString& comment) { return comment.size() == 3; }

bool ItemPresent(const QString& flags, ArchiveItem item) {
    const auto position = static_cast<qsizetype>(item);
    return position < flags.size() && flags[position] == u'1';
}

QString ItemNames(const QString& flags) {
    QStringList names;
    for (int i = 0; i < 3; ++i)
        if (ItemPresent(flags, static_cast<ArchiveItem>(i)))
            names << Str(txtFirstItemName + i).remove(u'&');
    return names.join(QStringLiteral(", "));
}

QString ItemFlags(bool identities, bool favorites, bool addressBook) {
    const auto flag = [](bool present) { return QChar(present ? u'1' : u'0'); };
    return QString(flag(identities)) + flag(favorites) + flag(addressBook);
}

} // namespace stowline::layout
