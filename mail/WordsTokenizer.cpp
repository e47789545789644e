#include "mail/WordsTokenizer.h"

#include <cstring>

namespace stowline::mail {

namespace {

// FTS5's extension interface as SQLite documents it (Debian's libsqlite3-dev ships no fts5.h); only
// the members up to the one used are declared.
struct Fts5Tokenizer;
using TokenCallback = int (*)(void* context, int flags, const char* token, int size, int start, int end);
struct fts5_tokenizer {
    int (*xCreate)(void* userData, const char** arguments, int count, Fts5Tokenizer** tokenizer);
    void (*xDelete)(Fts5Tokenizer* tokenizer);
    int (*xTokenize)(Fts5Tokenizer* tokenizer, void* context, int flags, const char* text, int size,
                     TokenCallback token);
};
struct fts5_api {
    int iVersion;
    int (*xCreateTokenizer)(fts5_api* api, const char* name, void* userData, fts5_tokenizer* tokenizer,
                            void (*destroy)(void*));
};

int create(void*, const char**, int, Fts5Tokenizer** tokenizer) {
    static char instance; // stateless: any pointer that is not null will do
    *tokenizer = reinterpret_cast<Fts5Tokenizer*>(&instance);
    return SQLITE_OK;
}

void destroy(Fts5Tokenizer*) {}

int splitAtSpaces(Fts5Tokenizer*, void* context, int, const char* text, int size, TokenCallback token) {
    const char* const end = text + size;
    for (const char* word = text; word < end;) {
        const char* space = static_cast<const char*>(std::memchr(word, ' ', size_t(end - word)));
        if (!space)
            space = end;
        if (space > word)
            if (const int rc =
                    token(context, 0, word, int(space - word), int(word - text), int(space - text));
                rc != SQLITE_OK)
                return rc;
        word = space + 1;
    }
    return SQLITE_OK;
}

fts5_tokenizer Words{create, destroy, splitAtSpaces};

fts5_api* fts5Of(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

} // namespace

bool RegisterWordsTokenizer(sqlite3* db) {
    fts5_api* api = fts5Of(db);
    return api && api->iVersion >= 2 &&
           api->xCreateTokenizer(api, "words", nullptr, &Words, nullptr) == SQLITE_OK;
}

} // namespace stowline::mail
