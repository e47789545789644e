#pragma once

namespace stowline {

struct RunContext;

// ief/ief_data.zip of the Favorites folder in the workspace.
void IEF_Compress(RunContext& run);

} // namespace stowline
