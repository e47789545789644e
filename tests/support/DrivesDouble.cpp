#include "tests/support/DrivesDouble.h"

#include "platform/Platform.h"

namespace stowline::test {

using namespace Qt::StringLiterals;

namespace {

// False while the countdown lasts, then the declared state.
bool afterCountdown(int& countdown, bool state) {
    if (countdown <= 0)
        return state;
    --countdown;
    return false;
}

} // namespace

DrivesDouble::DrivesDouble() { platform::install(this); }

DrivesDouble::~DrivesDouble() { platform::install(static_cast<platform::Drives*>(nullptr)); }

DriveSpec& DrivesDouble::declare(const QString& name, const QStringList& prefixes,
                                 const DriveSpec& description) {
    for (const QString& prefix : prefixes)
        m_prefixes << qMakePair(prefix, name);
    return m_drives[name] = description;
}

QString DrivesDouble::declaredDriveOf(const QString& path) const {
    QString best = path;
    qsizetype bestLength = -1;
    for (const auto& [prefix, name] : m_prefixes)
        if (path.startsWith(prefix) && prefix.size() > bestLength) {
            best = name;
            bestLength = prefix.size();
        }
    return best;
}

QString DrivesDouble::driveName(const QString& path) {
    const QString drive = declaredDriveOf(path);
    return m_drives.contains(drive) ? drive : LinuxDrives::driveName(path);
}

bool DrivesDouble::exists(const QString& drive) {
    log << u"exists "_s + drive;
    if (!m_drives.contains(drive))
        return LinuxDrives::exists(drive);
    return afterCountdown(m_drives[drive].existsAfter, m_drives[drive].exists);
}

bool DrivesDouble::isReady(const QString& drive) {
    if (!m_drives.contains(drive))
        return LinuxDrives::isReady(drive);
    return afterCountdown(m_drives[drive].readyAfter, m_drives[drive].ready);
}

platform::DriveKind DrivesDouble::kind(const QString& drive) {
    return m_drives.contains(drive) ? m_drives[drive].kind : LinuxDrives::kind(drive);
}

double DrivesDouble::availableBytes(const QString& path) {
    const auto drive = m_drives.constFind(declaredDriveOf(path));
    return drive != m_drives.cend() ? drive->availableBytes : LinuxDrives::availableBytes(path);
}

double DrivesDouble::totalFreeBytes(const QString& path) {
    const auto drive = m_drives.constFind(declaredDriveOf(path));
    return drive != m_drives.cend() ? drive->totalFreeBytes : LinuxDrives::totalFreeBytes(path);
}

} // namespace stowline::test
