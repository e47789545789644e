#include "mail/MailIndex.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MessageText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTimeZone>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline::mail {

namespace {

// A message larger than this is indexed from its first part only: its text comes before the
// attachments that make it large, and memory stays flat.
constexpr qint64 LargestIndexedMessage = 16 << 20;
constexpr int CommitEveryMs = 400;
const int SchemaVersion = 1;
// Folder names may hold '/', so a path is kept with a separator no name holds.
constexpr QChar PathSeparator = u'\x1f';

const char* const Schema = R"sql(
PRAGMA journal_mode = WAL;
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, identity_name TEXT, identity_id TEXT,
    folder_id INTEGER, path TEXT, store_file TEXT);
CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY, folder INTEGER, number INTEGER,
    info_offset INTEGER, first_block INTEGER, size INTEGER, read INTEGER, date INTEGER,
    sender TEXT, subject TEXT, damaged INTEGER);
CREATE INDEX IF NOT EXISTS messages_by_date ON messages(date);
CREATE VIRTUAL TABLE IF NOT EXISTS text USING fts5(subject, sender, recipients, body, attachments,
    content='', columnsize=0, tokenize='unicode61 remove_diacritics 2');
)sql";

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

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString fileNameFor(const QByteArray& fingerprint) {
    return QStringLiteral("mail-") +
           QString::fromLatin1(
               QCryptographicHash::hash(fingerprint, QCryptographicHash::Sha256).toHex().left(32)) +
           QStringLiteral(".index");
}

// The index file is created private before SQLite opens it; its journal files take the same mode.
bool createPrivate(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

QString flat(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

// The message's bytes, up to the indexed size; `whole` false when the store broke off.
QByteArray readUpTo(DbxStore& store, const MessageEntry& entry, bool* whole) {
    QByteArray bytes;
    *whole = store.readMessage(entry, [&](const char* data, qint64 length) {
        bytes.append(data, std::min(length, LargestIndexedMessage - bytes.size()));
        return bytes.size() < LargestIndexedMessage;
    });
    if (bytes.size() >= LargestIndexedMessage)
        *whole = true;
    return bytes;
}

// The index of the same source as it was before a change is of no more use.
void removeOutdated(const QString& keep, const QString& sourceName) {
    const QFileInfo kept(keep);
    for (const QFileInfo& file : kept.dir().entryInfoList({QStringLiteral("mail-*.index")}, QDir::Files)) {
        if (file.fileName() == kept.fileName())
            continue;
        sqlite3* db = nullptr;
        bool same = false;
        if (sqlite3_open_v2(QFile::encodeName(file.absoluteFilePath()).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr) == SQLITE_OK) {
            Statement get(db, "SELECT value FROM meta WHERE key = 'source'");
            same = get && get.step() && get.text(0) == sourceName;
        }
        sqlite3_close(db);
        if (same)
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(file.absoluteFilePath() + QLatin1String(suffix));
    }
}

} // namespace

struct MailIndex::Impl {
    QString path;
    QString sourceName;
    sqlite3* db = nullptr;
    ~Impl() { sqlite3_close(db); }

    bool openFile(QString* error) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK ||
            !exec(db, Schema)) {
            if (error)
                *error = Str(txtIndexUnwritable) + path;
            return false;
        }
        sqlite3_busy_timeout(db, 10000);
        return true;
    }
    QString meta(const char* key) const {
        Statement get(db, "SELECT value FROM meta WHERE key = ?");
        if (!get)
            return {};
        get.bind(1, QString::fromLatin1(key));
        return get.step() ? get.text(0) : QString();
    }
    void setMeta(const char* key, const QString& value) {
        Statement set(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
        set.bind(1, QString::fromLatin1(key));
        set.bind(2, value);
        set.run();
    }
};

MailIndex::MailIndex(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
MailIndex::~MailIndex() = default;

QString MailIndexFolder() {
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/stowline");
}

std::unique_ptr<MailIndex> MailIndex::open(MailSource& source, QString* error) {
    const QString folder = MailIndexFolder();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = Str(txtIndexUnwritable) + folder;
        return nullptr;
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    auto impl = std::make_unique<Impl>();
    impl->path = folder + u'/' + fileNameFor(source.fingerprint());
    impl->sourceName = source.description();
    if (!createPrivate(impl->path)) {
        if (error)
            *error = Str(txtIndexUnwritable) + impl->path;
        return nullptr;
    }
    if (!impl->openFile(error))
        return nullptr;
    return std::unique_ptr<MailIndex>(new MailIndex(std::move(impl)));
}

std::unique_ptr<MailIndex> MailIndex::reopen(QString* error) const {
    auto impl = std::make_unique<Impl>();
    impl->path = d->path;
    impl->sourceName = d->sourceName;
    if (!impl->openFile(error))
        return nullptr;
    return std::unique_ptr<MailIndex>(new MailIndex(std::move(impl)));
}

QString MailIndex::path() const { return d->path; }

bool MailIndex::complete() const { return d->meta("complete").toInt() == SchemaVersion; }

MailIndexCounts MailIndex::counts() const {
    MailIndexCounts counts;
    Statement count(d->db, "SELECT count(*), coalesce(sum(damaged), 0) FROM messages");
    if (count && count.step()) {
        counts.messages = count.integer(0);
        counts.damaged = count.integer(1);
    }
    counts.unreadable = d->meta("unreadable").toLongLong();
    return counts;
}

namespace {

// Writes one source into an emptied index, committing every few hundred milliseconds so that a
// reader on another connection sees the messages come in.
class IndexWriter {
public:
    IndexWriter(sqlite3* db, MailIndexObserver& observer)
        : m_db(db), m_observer(observer),
          m_folder(db, "INSERT INTO folders(identity_name, identity_id, folder_id, path, store_file) "
                       "VALUES(?, ?, ?, ?, ?)"),
          m_message(db, "INSERT INTO messages(folder, number, info_offset, first_block, size, read, date, "
                        "sender, subject, damaged) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
          m_text(db, "INSERT INTO text(rowid, subject, sender, recipients, body, attachments) "
                     "VALUES(?, ?, ?, ?, ?, ?)") {}

    bool prepared() const { return m_folder && m_message && m_text; }

    bool run(MailSource& source) {
        exec(m_db, "BEGIN");
        qint64 total = 0;
        QList<std::pair<MailIdentity, QList<MailFolder>>> plan;
        for (const MailIdentity& identity : source.identities()) {
            plan.append({identity, source.folders(identity)});
            for (const MailFolder& folder : plan.constLast().second)
                if (!folder.storeFile.isEmpty())
                    if (std::unique_ptr<DbxStore> store = source.openStore(identity, folder, nullptr))
                        total += store->recordedCount();
        }
        m_total = total;
        m_clock.start();
        for (const auto& [identity, folders] : plan) {
            const QByteArray charset = source.defaultCharset(identity);
            for (const MailFolder& folder : folders)
                if (!indexFolder(source, identity, folder, charset))
                    return false;
        }
        return exec(m_db, "COMMIT");
    }
    qint64 unreadable() const { return m_unreadable; }

private:
    bool indexFolder(MailSource& source, const MailIdentity& identity, const MailFolder& folder,
                     const QByteArray& charset) {
        m_folder.bind(1, identity.name);
        m_folder.bind(2, identity.id);
        m_folder.bind(3, qint64(folder.id));
        m_folder.bind(4, folder.path.join(PathSeparator));
        m_folder.bind(5, folder.storeFile);
        if (!m_folder.run())
            return false;
        const qint64 folderRow = sqlite3_last_insert_rowid(m_db);
        if (folder.storeFile.isEmpty())
            return true;
        std::unique_ptr<DbxStore> store = source.openStore(identity, folder, nullptr);
        if (!store || !store->isMessageStore()) {
            ++m_unreadable;
            return true;
        }
        const QList<MessageEntry> messages = store->messages();
        m_unreadable += store->problems().size();
        for (const MessageEntry& entry : messages) {
            if (m_observer.cancelRequested())
                return false;
            if (!indexMessage(*store, entry, folderRow, charset))
                return false;
            m_observer.progress(++m_done, std::max(m_total, m_done));
            if (m_clock.elapsed() >= CommitEveryMs) {
                if (!exec(m_db, "COMMIT") || !exec(m_db, "BEGIN"))
                    return false;
                m_observer.committed();
                m_clock.restart();
            }
        }
        return true;
    }

    bool indexMessage(DbxStore& store, const MessageEntry& entry, qint64 folderRow,
                      const QByteArray& charset) {
        bool whole = false;
        const QByteArray raw = readUpTo(store, entry, &whole);
        const MessageText text = ReadMessageText(raw, charset);
        const QString sender = text.from.isEmpty() ? entry.from : text.from;
        const QString subject = text.subject.isEmpty() ? entry.subject : text.subject;
        const QDateTime date = entry.date.isValid() ? entry.date : text.sent;
        m_message.bind(1, folderRow);
        m_message.bind(2, qint64(entry.index));
        m_message.bind(3, entry.infoOffset);
        m_message.bind(4, entry.firstBlock);
        m_message.bind(5, entry.size);
        m_message.bind(6, qint64(entry.read));
        m_message.bind(7, date.isValid() ? date.toSecsSinceEpoch() : 0);
        m_message.bind(8, flat(sender));
        m_message.bind(9, flat(subject));
        m_message.bind(10, qint64(!whole));
        if (!m_message.run())
            return false;
        m_text.bind(1, sqlite3_last_insert_rowid(m_db));
        m_text.bind(2, subject);
        m_text.bind(3, sender + u' ' + entry.from);
        m_text.bind(4, text.to);
        m_text.bind(5, text.body + u'\n' + text.otherTexts.join(u'\n'));
        m_text.bind(6, text.attachments.join(u'\n'));
        return m_text.run();
    }

    sqlite3* m_db;
    MailIndexObserver& m_observer;
    Statement m_folder, m_message, m_text;
    QElapsedTimer m_clock;
    qint64 m_done = 0;
    qint64 m_total = 0;
    qint64 m_unreadable = 0;
};

} // namespace

bool MailIndex::build(MailSource& source, MailIndexObserver& observer, QString* error) {
    auto failed = [&] {
        exec(d->db, "ROLLBACK");
        if (error)
            *error = Str(txtIndexUnwritable) + d->path;
        return false;
    };
    if (!exec(d->db, "BEGIN IMMEDIATE; DELETE FROM meta; DELETE FROM folders; DELETE FROM messages; "
                     "INSERT INTO text(text) VALUES('delete-all'); COMMIT"))
        return failed();
    d->setMeta("source", source.description());
    removeOutdated(d->path, source.description());
    IndexWriter writer(d->db, observer);
    if (!writer.prepared())
        return failed();
    if (!writer.run(source)) {
        const bool cancelled = observer.cancelRequested();
        exec(d->db, "COMMIT"); // what is indexed stays searchable; the index is not marked complete
        if (cancelled)
            return false;
        return failed();
    }
    d->setMeta("unreadable", QString::number(writer.unreadable()));
    d->setMeta("complete", QString::number(SchemaVersion));
    exec(d->db, "PRAGMA wal_checkpoint(TRUNCATE)");
    observer.committed();
    return true;
}

namespace {

QString folderMatchSql(const MailQuery& query, sqlite3* db) {
    if (query.folders.isEmpty() && query.identities.isEmpty())
        return {};
    QStringList ids;
    Statement all(db, "SELECT id, identity_name, identity_id, path FROM folders");
    while (all && all.step()) {
        const QString identityName = all.text(1), identityId = all.text(2);
        const QString path = all.text(3).replace(PathSeparator, u'/');
        const bool identityOk =
            query.identities.isEmpty() ||
            std::any_of(query.identities.begin(), query.identities.end(), [&](const QString& wanted) {
                return wanted.compare(identityName, Qt::CaseInsensitive) == 0 ||
                       wanted.compare(identityId, Qt::CaseInsensitive) == 0;
            });
        const bool folderOk =
            query.folders.isEmpty() ||
            std::any_of(query.folders.begin(), query.folders.end(), [&](const QString& wanted) {
                const QString w = wanted.trimmed();
                return path.compare(w, Qt::CaseInsensitive) == 0 ||
                       path.endsWith(u'/' + w, Qt::CaseInsensitive);
            });
        if (identityOk && folderOk)
            ids << QString::number(all.integer(0));
    }
    return QStringLiteral(" AND m.folder IN (") + ids.join(u',') + u')';
}

} // namespace

QList<MailHit> MailIndex::search(const MailQuery& query, int limit) const {
    QString sql = QStringLiteral(
        "SELECT f.identity_name, f.identity_id, f.folder_id, f.path, f.store_file, m.number, m.info_offset, "
        "m.first_block, m.size, m.read, m.date, m.sender, m.subject FROM messages m JOIN folders f ON "
        "f.id = m.folder WHERE 1");
    if (!query.match.isEmpty())
        sql += QStringLiteral(" AND m.id IN (SELECT rowid FROM text WHERE text MATCH ?1)");
    if (query.before)
        sql += QStringLiteral(" AND m.date < ?2");
    if (query.after)
        sql += QStringLiteral(" AND m.date >= ?3");
    sql += folderMatchSql(query, d->db);
    sql += QStringLiteral(" ORDER BY m.date DESC, m.id DESC");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT ") + QString::number(limit);
    Statement select(d->db, sql.toUtf8().constData());
    QList<MailHit> hits;
    if (!select)
        return hits;
    if (!query.match.isEmpty())
        select.bind(1, query.match);
    if (query.before)
        select.bind(2, *query.before);
    if (query.after)
        select.bind(3, *query.after);
    while (select.step()) {
        MailHit hit;
        hit.identityName = select.text(0);
        hit.identityId = select.text(1);
        hit.folderId = int(select.integer(2));
        hit.folderPath = select.text(3).split(PathSeparator);
        hit.storeFile = select.text(4);
        hit.entry.index = int(select.integer(5));
        hit.entry.infoOffset = select.integer(6);
        hit.entry.firstBlock = select.integer(7);
        hit.entry.size = select.integer(8);
        hit.entry.read = select.integer(9) != 0;
        if (const qint64 date = select.integer(10))
            hit.entry.date = QDateTime::fromSecsSinceEpoch(date, QTimeZone::utc());
        hit.entry.from = select.text(11);
        hit.entry.subject = select.text(12);
        hits.append(hit);
    }
    return hits;
}

} // namespace stowline::mail
