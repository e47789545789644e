#pragma once

#include <QString>
#include <atomic>

namespace stowline {

// ---- Program-wide state -------------------------------------------------------------------------
extern qint16 CompressionLevelSetting;
extern qint16 LaunchOESetting;
extern qint16 RememberLocationsSetting;
extern qint16 SchedulerDisableSetting;

// ---- Versions and titles -------------------------------------------------------------------------
constexpr int VersionMajor = STOWLINE_VERSION_MAJOR;
constexpr int VersionMinor = STOWLINE_VERSION_MINOR;
constexpr int VersionRevision = STOWLINE_VERSION_REVISION;
QString AppTitle();      // "Stowline 1.0"
QString SettingsKey();   // "SOFTWARE\Velmora\Stowline\1.0"
QString VendorWebHost(); // build option, no trailing '/'
QString SupportMailAddress();
QString BugMailAddress();

// Starts the default mail program recorded under HKLM\SOFTWARE\Clients\Mail.
void Launch_OE();

} // namespace stowline
