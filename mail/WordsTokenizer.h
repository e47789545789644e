#pragma once

#include <sqlite3.h>

namespace stowline::mail {

// The full-text tokenizer `words`: the text is SearchTokens already, so it only splits at spaces,
// without the copy and the lowercasing of FTS5's own ascii tokenizer. Every connection that reads or
// writes the index's text table needs it; false when this SQLite has no FTS5.
bool RegisterWordsTokenizer(sqlite3* db);

} // namespace stowline::mail
