#pragma once

// What the index's two halves share: the file's layout and the handle on it. Searching needs only
// SQLite; building reads the messages (GMime) and lives in MailIndexBuild.cpp, so a program that
// only searches loads no MIME reader.

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailIndex.h"
#include "mail/WordsTokenizer.h"

#include <QFile>
#include <sqlite3.h>

namespace stowline::mail::index_file {

inline constexpr int SchemaVersion = 2;
// How long a reader waits while a writer commits.
inline constexpr int BusyTimeoutMs = 10000;
// Folder names may hold '/', so a path is kept with a separator no name holds.
inline constexpr QChar PathSeparator = u'\x1f';

inline const char* const Schema = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, identity_name TEXT, identity_id TEXT,
    folder_id INTEGER, path TEXT, store_file TEXT);
CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY, folder INTEGER, number INTEGER,
    info_offset INTEGER, first_block INTEGER, size INTEGER, read INTEGER, date INTEGER,
    sender TEXT, subject TEXT, damaged INTEGER);
CREATE INDEX IF NOT EXISTS messages_by_date ON messages(date);
)sql";

// The columns hold SearchTokens(), which `words` splits at spaces: the thread that writes the index,
// the one that bounds a build, only adds them up.
inline const char* const TextTable =
    "CREATE VIRTUAL TABLE IF NOT EXISTS text USING fts5(subject, sender, "
    "recipients, body, attachments, content='', columnsize=0, tokenize='words')";

struct Statement {
    sqlite3_stmt* handle = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &handle, nullptr); }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return handle != nullptr; }
    void bind(int i, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(handle, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    // Text already in UTF-8, read in place: it must live until the statement has run.
    void bindUtf8(int i, const QByteArray& utf8) {
        sqlite3_bind_text(handle, i, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    }
    void bind(int i, qint64 value) { sqlite3_bind_int64(handle, i, value); }
    bool step() { return sqlite3_step(handle) == SQLITE_ROW; }
    bool run() {
        const int rc = sqlite3_step(handle);
        sqlite3_reset(handle);
        sqlite3_clear_bindings(handle);
        return rc == SQLITE_DONE;
    }
    qint64 integer(int column) const { return sqlite3_column_int64(handle, column); }
    QString text(int column) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(handle, column)),
                                 sqlite3_column_bytes(handle, column));
    }
};

inline bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace stowline::mail::index_file

namespace stowline::mail {

struct MailIndex::Impl {
    QString path;
    QString sourceName;
    sqlite3* db = nullptr;
    ~Impl() { sqlite3_close(db); }

    bool openFile(QString* error) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK ||
            !RegisterWordsTokenizer(db) || !index_file::exec(db, index_file::Schema) ||
            !index_file::exec(db, index_file::TextTable)) {
            if (error)
                *error = Str(txtIndexUnwritable) + path;
            return false;
        }
        sqlite3_busy_timeout(db, index_file::BusyTimeoutMs);
        return true;
    }
    QString meta(const char* key) const {
        index_file::Statement get(db, "SELECT value FROM meta WHERE key = ?");
        if (!get)
            return {};
        get.bind(1, QString::fromLatin1(key));
        return get.step() ? get.text(0) : QString();
    }
    void setMeta(const char* key, const QString& value) {
        index_file::Statement set(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
        set.bind(1, QString::fromLatin1(key));
        set.bind(2, value);
        set.run();
    }
};

} // namespace stowline::mail
