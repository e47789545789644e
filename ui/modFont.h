#pragma once

#include <QFont>

namespace stowline {

// Face and size by the user's locale, so East Asian names show.
void SetProperFont(QFont& font);

} // namespace stowline
