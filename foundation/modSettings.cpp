#include "foundation/modSettings.h"

#include "foundation/modError.h"
#include "foundation/modGlobal.h"

#include <cmath>

namespace stowline {

namespace {

void pointAtSettings(RegEdit& reg, const QString& name) {
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = SettingsKey();
    reg.ValueName = name;
}

qint16 loadOne(RegEdit& reg, const QString& name, const QString& fallback) {
    if (const std::optional<QString> stored = ReadSetting(reg, name))
        return ToInt16(*stored);
    WriteSetting(reg, name, fallback);
    return ToInt16(fallback);
}

} // namespace

std::optional<QString> ReadSetting(RegEdit& reg, const QString& name) {
    pointAtSettings(reg, name);
    if (!reg.Exists(0))
        return std::nullopt;
    reg.ReadValue();
    return reg.Value.toString();
}

void WriteSetting(RegEdit& reg, const QString& name, const QString& value) {
    pointAtSettings(reg, name);
    reg.ValueType = 1;
    reg.Value = value;
    reg.WriteValue();
}

qint16 ToInt16(const QString& text) {
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok)
        Raise(Err::TypeMismatch);
    // CInt rounds halves to even.
    const double rounded = std::nearbyint(number);
    if (rounded < -32768 || rounded > 32767)
        Raise(Err::Overflow);
    return static_cast<qint16>(rounded);
}

void EnsureSettingsKey(RegEdit& reg) {
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = SettingsKey();
    if (!reg.Exists(1))
        reg.CreateKey();
}

void LoadStartupSettings(RegEdit& reg) {
    CompressionLevelSetting = loadOne(reg, QStringLiteral("CompressionLevel"), QStringLiteral("1"));
    LaunchOESetting = loadOne(reg, QStringLiteral("LaunchOE"), QStringLiteral("0"));
    RememberLocationsSetting = loadOne(reg, QStringLiteral("RememberLocations"), QStringLiteral("0"));
    SchedulerDisableSetting = loadOne(reg, QStringLiteral("SchedulerDisable"), QStringLiteral("0"));
}

} // namespace stowline
