#pragma once

#include "platform/Drives.h"

namespace stowline::platform {

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

} // namespace stowline::platform
