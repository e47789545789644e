#pragma once

#include <QString>

namespace stowline {

// 32 hex digits of the GUID bytes in memory order -> "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
QString GetCLSID(const QString& raw);
// The inverse; malformed text gives 32 zeros.
QString CLSID(const QString& bracketed);

} // namespace stowline
