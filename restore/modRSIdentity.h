#pragma once

#include <QList>

namespace stowline {

struct RestorePlan;
struct RunContext;

// Puts back the planned identities from the archive: key, name clash, store location, accounts,
// message store. False when a failure was reported, which ends the restore run.
bool Identity_Extract(const RestorePlan& plan, RunContext& run);

} // namespace stowline
