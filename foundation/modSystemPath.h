#pragma once

#include <QString>

namespace stowline {

constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;

// The path of a special folder (5 documents, 6 Favorites) without a trailing '/', or "".
QString SystemPath(int csidl);

} // namespace stowline
