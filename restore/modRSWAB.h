#pragma once

namespace stowline {

struct RestorePlan;
struct RunContext;

// Puts the Windows Address Book back as planned: its registry settings, then its folder's files,
// moved to a folder the user picks when the plan found the recorded one unusable. False when a
// failure was reported, which ends the restore run.
bool WAB_Extract(const RestorePlan& plan, RunContext& run);

} // namespace stowline
