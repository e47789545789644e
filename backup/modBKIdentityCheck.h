#pragma once

namespace stowline {

// Lists every identity whose store folder exists into the hidden identity lists (names, IDs, store
// folders, parallel by index). An identity without a "Username" is listed by its ID so that the
// lists stay aligned. True when at least one identity was listed.
bool Identity_Check();

} // namespace stowline
