#pragma once

#include <QList>

namespace stowline {

struct PlannedIdentity;
struct RunContext;

// Puts back the planned identities from the unpacked archive: key, name clash, store location,
// accounts, message store. False when a failure was reported, which ends the restore run.
bool Identity_Extract(const QList<PlannedIdentity>& identities, RunContext& run);

} // namespace stowline
