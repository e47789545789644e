#pragma once

#include <QString>

namespace stowline {

constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;

// The path of a special folder (5 documents, 6 Favorites) without a trailing '/', or "".
QString SystemPath(int csidl);

// The path on this machine of a folder or file the registry records (a Windows path with its
// drive and %NAME% references in a Wine prefix or a Windows profile); "" when none of the
// registry's drives reaches it.
QString LocalPath(const QString& recorded);
// How the registry records a path of this machine; "" when none of its drives reaches it.
QString RecordedPath(const QString& local);

} // namespace stowline
