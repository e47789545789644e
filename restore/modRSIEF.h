#pragma once

#include <QString>

namespace stowline {

struct RestorePlan;
struct RunContext;

// Puts the backup's Internet Explorer Favorites back into the planned folder, replacing the current
// ones or added to them. False when a failure was reported, which ends the restore run.
bool IEF_Extract(const RestorePlan& plan, RunContext& run);

} // namespace stowline
