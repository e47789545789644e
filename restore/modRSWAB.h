#pragma once

namespace stowline {

struct RunContext;

// Puts the Windows Address Book back: its registry settings, then its folder's files, moved to a
// folder the user picks when the recorded one is not usable. False when a failure was reported,
// which ends the restore run.
bool WAB_Extract(RunContext& run);

} // namespace stowline
