#pragma once

#include <QString>

namespace stowline {

// Moves the accounts of one restored identity from its own account manager key into the global
// one (two levels of subkeys), marks them with "AssociatedID" and removes the identity's copy.
void CopyAccountKeys(const QString& identityId);

} // namespace stowline
