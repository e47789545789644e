#pragma once

namespace stowline {

// True when the user's Favorites folder exists.
bool IEF_Check();

} // namespace stowline
