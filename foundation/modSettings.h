#pragma once

#include "foundation/RegEdit.h"

#include <optional>

namespace stowline {

// Settings are string values under HKCU\SettingsKey(). These helpers do the read and write steps
// every caller repeats; they throw VbError like the registry component they use.
std::optional<QString> ReadSetting(RegEdit& reg, const QString& name);
void WriteSetting(RegEdit& reg, const QString& name, const QString& value);
// The classic CInt of a stored text: 13 "Type mismatch" for a non-number, 6 "Overflow" past 16 bits.
qint16 ToInt16(const QString& text);

// Creates the settings key when it is missing.
void EnsureSettingsKey(RegEdit& reg);
// Loads "CompressionLevel", "LaunchOE", "RememberLocations", "SchedulerDisable" into memory, writing
// the default ("1", "0", "0", "0") of each missing one.
void LoadStartupSettings(RegEdit& reg);

} // namespace stowline
