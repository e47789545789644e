#pragma once

#include <QString>

namespace stowline {

struct RunContext;

// Puts the backup's Internet Explorer Favorites back into the planned folder, replacing the current
// ones or added to them. False when a failure was reported, which ends the restore run.
bool IEF_Extract(const QString& favorites, bool replaceFavorites, RunContext& run);

} // namespace stowline
