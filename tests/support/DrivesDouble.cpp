#include "tests/support/DrivesDouble.h"

#include "platform/Platform.h"

namespace stowline::test {

DrivesDouble::DrivesDouble() { platform::install(this); }

DrivesDouble::~DrivesDouble() { platform::install(static_cast<platform::Drives*>(nullptr)); }

DriveSpec& DrivesDouble::declare(const QString& name, const QStringList& prefixes,
                                 const DriveSpec& description) {
    for (const QString& prefix : prefixes)
        m_prefixes << qMakePair(prefix, name);
    m_drives[name] = description;
    return m_drives[name];
}

QString DrivesDouble::declaredDriveOf(const QString& path) const {
    QString best;
    qsizetype bestLength = -1;
    for (const auto& [prefix, name] : m_prefixes)
        if (path.startsWith(prefix) && prefix.size() > bestLength) {
            best = name;
            bestLength = prefix.size();
        }
    return best;
}

QString DrivesDouble::driveName(const QString& path) {
    const QString declared = declaredDriveOf(path);
    return declared.isEmpty() ? m_real.driveName(path) : declared;
}

bool DrivesDouble::exists(const QString& drive) {
    log << QStringLiteral("exists ") + drive;
    if (!m_drives.contains(drive))
        return m_real.exists(drive);
    DriveSpec& description = m_drives[drive];
    if (description.existsAfter > 0) {
        --description.existsAfter;
        return false;
    }
    return description.exists;
}

bool DrivesDouble::isReady(const QString& drive) {
    log << QStringLiteral("ready ") + drive;
    if (!m_drives.contains(drive))
        return m_real.isReady(drive);
    DriveSpec& description = m_drives[drive];
    if (description.readyAfter > 0) {
        --description.readyAfter;
        return false;
    }
    return description.ready;
}

platform::DriveKind DrivesDouble::kind(const QString& drive) {
    log << QStringLiteral("kind ") + drive;
    return m_drives.contains(drive) ? m_drives[drive].kind : m_real.kind(drive);
}

double DrivesDouble::availableBytes(const QString& path) {
    log << QStringLiteral("available ") + path;
    const QString declared = declaredDriveOf(path);
    if (declared.isEmpty())
        return m_drives.contains(path) ? m_drives[path].availableBytes : m_real.availableBytes(path);
    return m_drives[declared].availableBytes;
}

double DrivesDouble::totalFreeBytes(const QString& path) {
    log << QStringLiteral("totalFree ") + path;
    const QString declared = declaredDriveOf(path);
    if (declared.isEmpty())
        return m_drives.contains(path) ? m_drives[path].totalFreeBytes : m_real.totalFreeBytes(path);
    return m_drives[declared].totalFreeBytes;
}

} // namespace stowline::test
