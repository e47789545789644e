#pragma once

#include "platform/Drives.h"

#include <QByteArray>
#include <QList>

namespace stowline::platform {

// One line of /proc/self/mountinfo, with the escapes of the mount point decoded.
struct MountEntry {
    QString mountPoint;
    QString fsType;
    QString source;
    int major = 0;
    int minor = 0;
};

// Drives from /proc/self/mountinfo, kinds from file-system types and /sys/block/*/removable,
// space from statvfs. A path under /media or /run/media/<user> whose medium is not mounted has the
// would-be mount point as its drive: it exists but is not ready.
class LinuxDrives : public Drives {
public:
    QString driveName(const QString& path) override;
    bool exists(const QString& drive) override;
    bool isReady(const QString& drive) override;
    DriveKind kind(const QString& drive) override;
    double availableBytes(const QString& path) override;
    double totalFreeBytes(const QString& path) override;
};

// Parses mountinfo text; "\040" and the other octal escapes in the mount point become characters.
QList<MountEntry> parseMountInfo(const QByteArray& text);
// The kind a file-system type alone decides; Unknown when the device has to be asked.
DriveKind kindOfFileSystem(const QString& fsType);

} // namespace stowline::platform
