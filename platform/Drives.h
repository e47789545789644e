#pragma once

#include <QString>

namespace stowline::platform {

// Numbered as the classic file-system object numbers its drive types.
enum class DriveKind { Unknown = 0, Removable = 1, Fixed = 2, Remote = 3, CDRom = 4, RamDisk = 5 };

// A path's drive is its mount point. Windows-style names ("Q:\x", "\\server\share\x") name drives
// that do not exist here; their drive name is "Q:" or "\\server\share".
class Drives {
public:
    virtual ~Drives() = default;
    virtual QString driveName(const QString& path) = 0;
    virtual bool exists(const QString& drive) = 0;
    virtual bool isReady(const QString& drive) = 0;
    virtual DriveKind kind(const QString& drive) = 0;
    // Bytes the current user may still write (quota-aware); 0 when unknown.
    virtual double availableBytes(const QString& path) = 0;
    // Free bytes of the whole file system; 0 when unknown.
    virtual double totalFreeBytes(const QString& path) = 0;
};

} // namespace stowline::platform
