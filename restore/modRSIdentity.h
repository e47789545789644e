#pragma once

namespace stowline {

class IdentityCatalog;

// Puts back the identities checked on the identity page from the unpacked archive: key, name
// clash, store location, accounts, message store. False when a failure was reported, which ends
// the restore run.
bool Identity_Extract(const IdentityCatalog& identities);

} // namespace stowline
