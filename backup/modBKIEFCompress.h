#pragma once

namespace stowline {

// ief/ief_data.zip of the Favorites folder in the workspace.
void IEF_Compress();

} // namespace stowline
