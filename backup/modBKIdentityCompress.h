#pragma once

#include <QString>

namespace stowline {

class IdentityCatalog;
struct RunContext;

// Packs every selected identity into the workspace: ident_data.zip of its store, ident_key.reg of
// its key (with the shared accounts when they belong to it) and a record in ident.idx. False when a
// key could not be exported (the user was told).
bool Identity_Compress(const IdentityCatalog& catalog, RunContext& run);

// Where an identity's own account key is kept while the shared accounts are copied over it.
QString SavedAccountsKey(const QString& identityId);

} // namespace stowline
