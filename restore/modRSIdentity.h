#pragma once

namespace stowline {

class IdentityCatalog;
struct RunContext;

// Puts back the identities checked on the identity page from the unpacked archive: key, name
// clash, store location, accounts, message store. False when a failure was reported, which ends
// the restore run.
bool Identity_Extract(const IdentityCatalog& identities, RunContext& run);

} // namespace stowline
