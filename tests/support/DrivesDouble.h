#pragma once

#include "platform/LinuxDrives.h"

#include <QList>
#include <QMap>
#include <QStringList>

namespace stowline::test {

// A drive a test declares. existsAfter/readyAfter: that many checks answer false before it appears,
// as when the user puts a medium in between two prompts.
struct DriveSpec {
    platform::DriveKind kind = platform::DriveKind::Fixed;
    bool exists = true;
    bool ready = true;
    double availableBytes = 1e9;
    double totalFreeBytes = 1e9;
    int existsAfter = 0;
    int readyAfter = 0;
};

// Drives a test declares by name, each owning the paths that start with its prefixes; other paths
// and names go to the real drives. Installed while it lives. Every existence check is logged in
// order ("exists Q:").
class DrivesDouble : public platform::LinuxDrives {
public:
    DrivesDouble();
    ~DrivesDouble() override;
    DrivesDouble(const DrivesDouble&) = delete;
    DrivesDouble& operator=(const DrivesDouble&) = delete;

    DriveSpec& declare(const QString& name, const QStringList& prefixes, const DriveSpec& description = {});

    QStringList log;

    QString driveName(const QString& path) override;
    bool exists(const QString& drive) override;
    bool isReady(const QString& drive) override;
    platform::DriveKind kind(const QString& drive) override;
    double availableBytes(const QString& path) override;
    double totalFreeBytes(const QString& path) override;

private:
    // The declared drive owning a path, or the path itself.
    QString declaredDriveOf(const QString& path) const;

    QMap<QString, DriveSpec> m_drives;
    QList<QPair<QString, QString>> m_prefixes; // prefix, drive name
};

} // namespace stowline::test
