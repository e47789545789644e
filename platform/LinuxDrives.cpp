#include "platform/LinuxDrives.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace stowline::platform {

namespace {

// One line of /proc/self/mountinfo, with the escapes of the mount point decoded.
struct MountEntry {
    QString mountPoint;
    QString fsType;
    QString source;
    int major = 0;
    int minor = 0;
};

const QStringList& remoteFileSystems() {
    static const QStringList types{
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),  QStringLiteral("cifs"),
        QStringLiteral("smb3"),       QStringLiteral("smbfs"), QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("davfs"), QStringLiteral("ceph")};
    return types;
}

const QStringList& diskFileSystems() {
    static const QStringList types{
        QStringLiteral("ext2"),  QStringLiteral("ext3"),     QStringLiteral("ext4"),
        QStringLiteral("xfs"),   QStringLiteral("btrfs"),    QStringLiteral("vfat"),
        QStringLiteral("msdos"), QStringLiteral("exfat"),    QStringLiteral("ntfs"),
        QStringLiteral("ntfs3"), QStringLiteral("fuseblk"),  QStringLiteral("f2fs"),
        QStringLiteral("jfs"),   QStringLiteral("reiserfs"), QStringLiteral("hfsplus"),
        QStringLiteral("zfs"),   QStringLiteral("overlay")};
    return types;
}

bool isOctalEscape(const QByteArray& field, qsizetype at) {
    if (field[at] != '\\' || at + 3 >= field.size())
        return false;
    for (qsizetype i = at + 1; i <= at + 3; ++i)
        if (field[i] < '0' || field[i] > '7')
            return false;
    return true;
}

QByteArray decodeOctalEscapes(const QByteArray& field) {
    QByteArray decoded;
    decoded.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (isOctalEscape(field, i)) {
            decoded += static_cast<char>(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

std::optional<MountEntry> parseMountLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.trimmed().split(' ');
    const qsizetype separator = fields.indexOf(QByteArray("-"));
    if (fields.size() < 5 || separator < 6 || separator + 2 >= fields.size())
        return std::nullopt;
    MountEntry entry;
    const QList<QByteArray> device = fields[2].split(':');
    entry.major = device.value(0).toInt();
    entry.minor = device.value(1).toInt();
    entry.mountPoint = QString::fromUtf8(decodeOctalEscapes(fields[4]));
    entry.fsType = QString::fromUtf8(fields[separator + 1]);
    entry.source = QString::fromUtf8(decodeOctalEscapes(fields[separator + 2]));
    return entry;
}

QList<MountEntry> currentMounts() {
    QList<MountEntry> mounts;
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return mounts;
    // A /proc file reports size 0, so read until a line comes back empty rather than testing atEnd().
    for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine())
        if (const auto entry = parseMountLine(line))
            mounts << *entry;
    return mounts;
}

bool isWindowsName(const QString& path) {
    static const QRegularExpression letter(QStringLiteral("^[A-Za-z]:"));
    return path.startsWith(QStringLiteral("\\\\")) || letter.match(path).hasMatch();
}

// "Q:\x" -> "Q:"; "\\server\share\x" -> "\\server\share".
QString windowsDriveName(const QString& path) {
    if (!path.startsWith(QStringLiteral("\\\\")))
        return path.left(2);
    const QStringList parts = path.mid(2).split(u'\\');
    QString name = QStringLiteral("\\\\") + parts.value(0);
    if (parts.size() > 1)
        name += u'\\' + parts.value(1);
    return name;
}

bool isUnder(const QString& path, const QString& mountPoint) {
    return mountPoint == u"/" || path == mountPoint || path.startsWith(mountPoint + u'/');
}

// Later lines of mountinfo cover earlier ones at the same mount point.
const MountEntry* mountOf(const QString& path, const QList<MountEntry>& mounts) {
    const MountEntry* best = nullptr;
    for (const MountEntry& entry : mounts)
        if (isUnder(path, entry.mountPoint) && (!best || entry.mountPoint.size() >= best->mountPoint.size()))
            best = &entry;
    return best;
}

const MountEntry* mountAt(const QString& mountPoint, const QList<MountEntry>& mounts) {
    const MountEntry* found = nullptr;
    for (const MountEntry& entry : mounts)
        if (entry.mountPoint == mountPoint)
            found = &entry;
    return found;
}

bool isUserName(const QString& name) {
    const QByteArray bytes = name.toLocal8Bit();
    return getpwnam(bytes.constData()) != nullptr;
}

// Where a removable medium for this path would be mounted: /run/media/<user>/<label>,
// /media/<user>/<label> or /media/<label>; "" for paths elsewhere.
QString removableMediaPoint(const QString& path) {
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (parts.value(0) == u"run" && parts.value(1) == u"media" && parts.size() >= 4)
        return QStringLiteral("/run/media/") + parts[2] + u'/' + parts[3];
    if (parts.value(0) != u"media" || parts.size() < 2)
        return {};
    if (parts.size() >= 3 && isUserName(parts[1]))
        return QStringLiteral("/media/") + parts[1] + u'/' + parts[2];
    return QStringLiteral("/media/") + parts[1];
}

bool isOnRemovableMediaMount(const MountEntry* entry) {
    return entry && (entry->mountPoint.startsWith(QStringLiteral("/media/")) ||
                     entry->mountPoint.startsWith(QStringLiteral("/run/media/")));
}

// The block device's "removable" flag, read from its whole disk; nullopt when not a block device.
std::optional<bool> removableFlag(const MountEntry& entry) {
    unsigned devMajor = static_cast<unsigned>(entry.major);
    unsigned devMinor = static_cast<unsigned>(entry.minor);
    struct stat info {};
    if (devMajor == 0 && entry.source.startsWith(QStringLiteral("/dev/")) &&
        stat(QFile::encodeName(entry.source).constData(), &info) == 0 && S_ISBLK(info.st_mode)) {
        devMajor = major(info.st_rdev);
        devMinor = minor(info.st_rdev);
    }
    if (devMajor == 0)
        return std::nullopt;
    QString device =
        QFileInfo(QStringLiteral("/sys/dev/block/%1:%2").arg(devMajor).arg(devMinor)).canonicalFilePath();
    if (device.isEmpty())
        return std::nullopt;
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        device = device.section(u'/', 0, -2);
    QFile flag(device + QStringLiteral("/removable"));
    if (!flag.open(QIODevice::ReadOnly))
        return false;
    return flag.read(1) == "1";
}

bool statFileSystem(const QString& mountPoint, struct statvfs& out) {
    return statvfs(QFile::encodeName(mountPoint).constData(), &out) == 0;
}

DriveKind kindOfFileSystem(const QString& fsType) {
    if (remoteFileSystems().contains(fsType))
        return DriveKind::Remote;
    if (fsType == u"iso9660" || fsType == u"udf")
        return DriveKind::CDRom;
    if (fsType == u"tmpfs" || fsType == u"ramfs")
        return DriveKind::RamDisk;
    return DriveKind::Unknown;
}

} // namespace

QString LinuxDrives::driveName(const QString& path) {
    if (isWindowsName(path))
        return windowsDriveName(path);
    if (!QDir::isAbsolutePath(path))
        return {};
    const QString resolved = resolvedPath(path);
    const QList<MountEntry> mounts = currentMounts();
    const MountEntry* mount = mountOf(resolved, mounts);
    // An unmounted medium must not let the path fall through to the file system beneath it.
    const QString mediaPoint = removableMediaPoint(resolved);
    if (!mediaPoint.isEmpty() && !isOnRemovableMediaMount(mount))
        return mediaPoint;
    return mount ? mount->mountPoint : QStringLiteral("/");
}

bool LinuxDrives::exists(const QString& drive) {
    if (drive.isEmpty() || isWindowsName(drive) || !QDir::isAbsolutePath(drive))
        return false;
    const QString name = QDir::cleanPath(drive);
    return mountAt(name, currentMounts()) || removableMediaPoint(name) == name;
}

bool LinuxDrives::isReady(const QString& drive) {
    if (drive.isEmpty() || isWindowsName(drive) || !QDir::isAbsolutePath(drive))
        return false;
    const QString name = QDir::cleanPath(drive);
    struct statvfs info {};
    return mountAt(name, currentMounts()) && statFileSystem(name, info);
}

DriveKind LinuxDrives::kind(const QString& drive) {
    if (drive.isEmpty() || isWindowsName(drive) || !QDir::isAbsolutePath(drive))
        return DriveKind::Unknown;
    const QString name = QDir::cleanPath(drive);
    const QList<MountEntry> mounts = currentMounts();
    const MountEntry* entry = mountAt(name, mounts);
    if (!entry)
        return removableMediaPoint(name) == name ? DriveKind::Removable : DriveKind::Unknown;
    const DriveKind byType = kindOfFileSystem(entry->fsType);
    if (byType != DriveKind::Unknown)
        return byType;
    const std::optional<bool> removable = removableFlag(*entry);
    if (removable)
        return *removable ? DriveKind::Removable : DriveKind::Fixed;
    return diskFileSystems().contains(entry->fsType) ? DriveKind::Fixed : DriveKind::Unknown;
}

double LinuxDrives::availableBytes(const QString& path) {
    const QString drive = driveName(path);
    struct statvfs info {};
    if (!isReady(drive) || !statFileSystem(drive, info))
        return 0;
    return static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize);
}

double LinuxDrives::totalFreeBytes(const QString& path) {
    const QString drive = driveName(path);
    struct statvfs info {};
    if (!isReady(drive) || !statFileSystem(drive, info))
        return 0;
    return static_cast<double>(info.f_bfree) * static_cast<double>(info.f_frsize);
}

} // namespace stowline::platform
