#pragma once

namespace stowline {

class IdentityCatalog;

// Lists every identity whose store folder exists into the catalog, none selected. An identity without
// a "Username" is listed by its ID. True when at least one identity was listed.
bool Identity_Check(IdentityCatalog& catalog);

} // namespace stowline
