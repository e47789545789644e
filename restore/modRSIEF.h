#pragma once

namespace stowline {

struct RunContext;

// Puts the backup's Internet Explorer Favorites back, replacing the current ones or added to them.
// False when a failure was reported, which ends the restore run.
bool IEF_Extract(bool replaceFavorites, RunContext& run);

} // namespace stowline
