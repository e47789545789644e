#include "platform/RegistryStore.h"

#include "platform/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace stowline::platform {

namespace {

constexpr qint32 ApplicationId = 0x53544c52; // "STLR" in the SQLite header marks our files
constexpr int SchemaVersion = 1;
constexpr int BusyTimeoutMs = 30000;
constexpr qint64 CurrentUserId = 1;
constexpr qint64 LocalMachineId = 2;

const char* const SchemaSql = R"sql(
CREATE TABLE keys (
    id     INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name   TEXT NOT NULL,
    folded TEXT NOT NULL,
    UNIQUE (parent, folded)
);
CREATE TABLE vals (
    seq    INTEGER PRIMARY KEY,
    key    INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name   TEXT NOT NULL,
    folded TEXT NOT NULL,
    type   INTEGER NOT NULL,
    data   BLOB NOT NULL,
    UNIQUE (key, folded)
);
INSERT INTO keys (id, parent, name, folded) VALUES (1, NULL, 'HKEY_CURRENT_USER', '');
INSERT INTO keys (id, parent, name, folded) VALUES (2, NULL, 'HKEY_LOCAL_MACHINE', '');
)sql";

// Windows-1252 for 0x80..0x9f; the five unassigned bytes map to the C1 controls, as Windows does.
constexpr char16_t Cp1252High[32] = {0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                     0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008d, 0x017d, 0x008f,
                                     0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                     0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

QString fold(const QString& name) { return name.toCaseFolded(); }

qint64 hiveId(Hive hive) { return hive == Hive::CurrentUser ? CurrentUserId : LocalMachineId; }

QStringList pathParts(const QString& path) { return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts); }

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    (void)decoder.decode(bytes);
    return !decoder.hasError();
}

QString quoted(const QString& fileName) { return QLatin1Char('"') + fileName + QLatin1Char('"'); }

// How long a second Stowline waits for the store before it names the holder: 30 s, or the
// milliseconds STOWLINE_REGISTRY_WAIT_MS gives (a test's stuck holder need not cost half a minute).
int lockWaitMs() {
    static const int limit = [] {
        bool ok = false;
        const int given = qEnvironmentVariableIntValue("STOWLINE_REGISTRY_WAIT_MS", &ok);
        return ok && given > 0 ? given : BusyTimeoutMs;
    }();
    return limit;
}

// "process 1234 (stowline)" for the process holding a whole-file lock on the open file, as
// /proc/locks lists it; empty when none is found there.
QString lockHolder(int fd) {
    struct stat status {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (fstat(fd, &status) != 0 || !locks.open(QIODevice::ReadOnly))
        return {};
    const QString file = QStringLiteral("%1:%2:%3")
                             .arg(major(status.st_dev), 2, 16, QLatin1Char('0'))
                             .arg(minor(status.st_dev), 2, 16, QLatin1Char('0'))
                             .arg(status.st_ino);
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
    for (QByteArray line; !(line = locks.readLine()).isEmpty();) {
        const QStringList fields = QString::fromLatin1(line).simplified().split(u' ');
        if (fields.size() < 6 || fields[1] != u"FLOCK" || fields[5] != file)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(fields[4]));
        const QString name =
            comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
        return QStringLiteral("process ") + fields[4] +
               (name.isEmpty() ? QString() : QStringLiteral(" (") + name + u')');
    }
    return {};
}

} // namespace

bool subKeyLess(const QString& a, const QString& b) {
    const int byUpper = a.toUpper().compare(b.toUpper());
    return byUpper != 0 ? byUpper < 0 : a < b;
}

std::optional<Hive> hiveFromName(const QString& name) {
    const QString upper = name.toUpper();
    if (upper == QLatin1String("HKEY_CURRENT_USER") || upper == QLatin1String("HKCU"))
        return Hive::CurrentUser;
    if (upper == QLatin1String("HKEY_LOCAL_MACHINE") || upper == QLatin1String("HKLM"))
        return Hive::LocalMachine;
    return std::nullopt;
}

QString hiveName(Hive hive) {
    return hive == Hive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                     : QStringLiteral("HKEY_LOCAL_MACHINE");
}

std::optional<QString> keyPathBeyondLimits(QStringView path) {
    int depth = 0;
    for (const QStringView part : path.tokenize(u'\\', Qt::SkipEmptyParts)) {
        if (++depth > MaxKeyDepth)
            return QStringLiteral("key deeper than %1 levels").arg(MaxKeyDepth);
        if (part.size() > MaxKeyNameLength)
            return QStringLiteral("key name longer than %1 characters").arg(MaxKeyNameLength);
    }
    return std::nullopt;
}

std::optional<QString> valueNameBeyondLimits(QStringView name) {
    if (name.size() > MaxValueNameLength)
        return QStringLiteral("value name longer than %1 characters").arg(MaxValueNameLength);
    return std::nullopt;
}

bool isTextType(quint32 type) {
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

QString decodeAnsiText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (!decoder.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += (byte >= 0x80 && byte < 0xa0) ? QChar(Cp1252High[byte - 0x80]) : QChar(char16_t(byte));
    }
    return text;
}

// ---- Statement ------------------------------------------------------------------------------

// Inside a transaction a query is prepared once and kept for the transactions after it (by the
// address of its text); outside, where the store may still be on a file being built, it is not.
class RegistryStore::Statement {
public:
    Statement(const RegistryStore& store, const char* sql) : m_store(store) {
        const bool keep = store.m_depth > 0;
        const auto same = std::find_if(store.m_kept.begin(), store.m_kept.end(),
                                       [&](const KeptStatement& kept) { return kept.sql == sql; });
        if (keep && same != store.m_kept.end() && !same->inUse) {
            same->inUse = true;
            m_kept = &*same;
            m_stmt = same->handle;
            return;
        }
        if (sqlite3_prepare_v2(store.m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            store.fail(QStringLiteral("cannot prepare a query"));
        if (keep && same == store.m_kept.end())
            m_kept = &store.m_kept.emplace_back(KeptStatement{sql, m_stmt, true});
    }
    ~Statement() {
        if (!m_kept) {
            sqlite3_finalize(m_stmt);
            return;
        }
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_kept->inUse = false;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, qint64 number) {
        check(sqlite3_bind_int64(m_stmt, index, number));
        return *this;
    }
    Statement& bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        check(sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int index, const QByteArray& blob) {
        // A zero-length blob, not NULL, for empty data.
        check(sqlite3_bind_blob(m_stmt, index, blob.constData() ? blob.constData() : "", int(blob.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    // True while a row is available.
    bool step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            m_store.fail(QStringLiteral("cannot read or write"));
        return false;
    }
    void run() {
        while (step()) {
        }
    }
    Statement& reset() {
        sqlite3_reset(m_stmt);
        return *this;
    }
    qint64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QString text(int column) const {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    QByteArray blob(int column) const {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return QByteArray(data, sqlite3_column_bytes(m_stmt, column));
    }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK)
            m_store.fail(QStringLiteral("cannot bind a query parameter"));
    }

    const RegistryStore& m_store;
    sqlite3_stmt* m_stmt = nullptr;
    KeptStatement* m_kept = nullptr;
};

// ---- Opening --------------------------------------------------------------------------------

RegistryStore::RegistryStore(const QString& fileName) : m_fileName(fileName) {
    try {
        open();
    } catch (...) {
        closeDatabase();
        throw;
    }
}

RegistryStore::~RegistryStore() { closeDatabase(); }

// SQLite closes no connection while a statement of it is left unfinalized.
void RegistryStore::closeDatabase() {
    for (const KeptStatement& statement : m_kept)
        sqlite3_finalize(statement.handle);
    m_kept.clear();
    sqlite3_close(m_db);
    m_db = nullptr;
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
}

QString RegistryStore::describe(const QString& what) const {
    QString message = QStringLiteral("Registry store ") + quoted(m_fileName) + QStringLiteral(": ") + what;
    if (m_db && sqlite3_errcode(m_db) != SQLITE_OK)
        message += QStringLiteral(" (") + QString::fromUtf8(sqlite3_errmsg(m_db)) + QLatin1Char(')');
    return message;
}

void RegistryStore::fail(const QString& what) const { throw RegistryError(describe(what).toStdString()); }

void RegistryStore::exec(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot read or write"));
}

void RegistryStore::open() {
    const QFileInfo info(m_fileName);
    if (info.exists() && !info.isFile())
        fail(QStringLiteral("not a file"));
    if (!info.exists())
        createFresh();
    const bool empty = QFileInfo(m_fileName).size() == 0;
    if (!empty)
        checkHeader();
    openLockHandle();
    const QByteArray name = QFile::encodeName(m_fileName);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot be opened"));
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, lockWaitMs());
    // Readers check the schema side by side; only a file that needs its schema is locked alone.
    const FileLock lock(*this, empty ? LOCK_EX : LOCK_SH);
    if (empty)
        initializeSchema();
    checkSchema();
    // A rollback journal lives only inside a transaction; a write-ahead log outlives it and is
    // deleted by whichever process believes it closes last, which a stray close makes us lose.
    exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;");
}

// Our own whole-file lock, taken around every transaction. flock() belongs to this open file
// description, so unlike SQLite's POSIX locks it survives any other open and close of the file in
// this process (a file dialog listing the folder does exactly that).
void RegistryStore::openLockHandle() {
    m_lockFd = ::open(QFile::encodeName(m_fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (m_lockFd < 0)
        fail(QStringLiteral("cannot be opened: ") + QString::fromLocal8Bit(strerror(errno)));
    struct stat status {};
    // The store holds account passwords: only its owner may read it.
    if (fstat(m_lockFd, &status) == 0 && (status.st_mode & 077) != 0)
        fchmod(m_lockFd, status.st_mode & 0700);
}

// Waits in the kernel until the holder lets go, and gives up after as long as SQLite's own busy wait,
// so that a stuck holder cannot stall a run for ever.
RegistryStore::FileLock::FileLock(const RegistryStore& store, int operation) : m_fd(store.m_lockFd) {
    if (flock(m_fd, operation | LOCK_NB) == 0)
        return;
    if (errno == EWOULDBLOCK && WaitForFileLock(m_fd, operation, std::chrono::milliseconds(lockWaitMs())))
        return;
    if (errno == EWOULDBLOCK || errno == EINTR) {
        const QString holder = lockHolder(m_fd);
        store.fail(QStringLiteral("cannot be locked: ") +
                   (holder.isEmpty() ? QStringLiteral("another process") : holder) +
                   QStringLiteral(" holds it"));
    }
    store.fail(QStringLiteral("cannot be locked: ") + QString::fromLocal8Bit(strerror(errno)));
}

RegistryStore::FileLock::~FileLock() { flock(m_fd, LOCK_UN); }

// A new store is built under a private name and moved into place only if no other process got
// there first, so a half-made file never carries the real name.
void RegistryStore::createFresh() {
    const QFileInfo info(m_fileName);
    if (!QDir().mkpath(info.absolutePath()))
        fail(QStringLiteral("cannot create the folder ") + quoted(info.absolutePath()));
    const QString building = m_fileName + QStringLiteral(".new-") + QString::number(getpid());
    QFile::remove(building);
    const QByteArray buildingName = QFile::encodeName(building);
    const QByteArray finalName = QFile::encodeName(m_fileName);
    // Created owner-only before SQLite sees it: SQLite would create it 0644 less the umask.
    const int created = ::open(buildingName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (created < 0)
        fail(QStringLiteral("cannot be created: ") + QString::fromLocal8Bit(strerror(errno)));
    ::close(created);
    {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(buildingName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            fail(QStringLiteral("cannot be created"));
        }
        std::swap(db, m_db);
        try {
            initializeSchema();
        } catch (...) {
            std::swap(db, m_db);
            sqlite3_close(db);
            QFile::remove(building);
            throw;
        }
        std::swap(db, m_db);
        sqlite3_close(db);
    }
    int rc = renameat2(AT_FDCWD, buildingName.constData(), AT_FDCWD, finalName.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        rc = link(buildingName.constData(), finalName.constData());
        if (rc == 0 || errno == EEXIST)
            unlink(buildingName.constData());
    }
    const int error = errno;
    if (rc != 0)
        QFile::remove(building);
    if (rc != 0 && error != EEXIST)
        fail(QStringLiteral("cannot be created: ") + QString::fromLocal8Bit(strerror(error)));
}

void RegistryStore::initializeSchema() {
    exec("BEGIN EXCLUSIVE");
    try {
        Statement tables(*this, "SELECT count(*) FROM sqlite_master");
        tables.step();
        if (tables.integer(0) == 0) {
            exec(SchemaSql);
            exec(QByteArray("PRAGMA application_id=" + QByteArray::number(ApplicationId) +
                            "; PRAGMA user_version=" + QByteArray::number(SchemaVersion))
                     .constData());
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// Looks at the raw header before SQLite opens the file, so a foreign file is never written to.
void RegistryStore::checkHeader() const {
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot be read: ") + file.errorString());
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        fail(QStringLiteral("not a registry store file (not an SQLite database)"));
    const auto byteAt = [&](int i) { return quint32(static_cast<unsigned char>(header[i])); };
    const quint32 applicationId = byteAt(68) << 24 | byteAt(69) << 16 | byteAt(70) << 8 | byteAt(71);
    if (applicationId != quint32(ApplicationId))
        fail(QStringLiteral("an SQLite database of another program, not a registry store file"));
}

void RegistryStore::checkSchema() {
    Statement application(*this, "PRAGMA application_id");
    application.step();
    if (application.integer(0) != ApplicationId)
        fail(QStringLiteral("an SQLite database of another program, not a registry store file"));
    Statement version(*this, "PRAGMA user_version");
    version.step();
    if (version.integer(0) != SchemaVersion)
        fail(QStringLiteral("written by another version of Stowline (schema %1)").arg(version.integer(0)));
    Statement hives(*this, "SELECT count(*) FROM keys WHERE parent IS NULL AND id IN (1, 2)");
    if (!hives.step() || hives.integer(0) != 2)
        fail(QStringLiteral("damaged: its hives are missing"));
}

// ---- Transactions ---------------------------------------------------------------------------

void RegistryStore::transaction(const char* begin, int lockOperation, const std::function<void()>& work) {
    const std::lock_guard guard(m_mutex);
    if (m_depth > 0) {
        work();
        return;
    }
    const FileLock lock(*this, lockOperation);
    exec(begin);
    m_found = {};
    ++m_depth;
    try {
        work();
    } catch (...) {
        --m_depth;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    --m_depth;
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const RegistryError error(describe(QStringLiteral("cannot save a change")).toStdString());
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw error;
    }
}

// Writes take the write lock at once: a read lock upgraded later could fail against another writer.
void RegistryStore::write(const std::function<void()>& work) {
    transaction("BEGIN IMMEDIATE", LOCK_EX, work);
}

void RegistryStore::read(const std::function<void()>& work) { transaction("BEGIN", LOCK_SH, work); }

template <class Work> auto RegistryStore::autoWrite(Work&& work) {
    return returnedBy([this](const std::function<void()>& step) { write(step); }, work);
}

template <class Work> auto RegistryStore::autoRead(Work&& work) {
    return returnedBy([this](const std::function<void()>& step) { read(step); }, work);
}

// ---- Keys -----------------------------------------------------------------------------------

// A walk over a tree asks for paths that share most of their parents with the one before, so the
// keys found last are remembered for the rest of the transaction (until a key is deleted).
std::optional<qint64> RegistryStore::findKey(Hive hive, const QString& path) {
    const QStringList parts = pathParts(path);
    FoundKeys& found = m_found;
    if (found.hive != hive || m_depth == 0)
        found = {hive, {}, {}};
    qsizetype same = 0;
    while (same < parts.size() && same < found.parts.size() && parts[same] == found.parts[same])
        ++same;
    found.parts.resize(same);
    found.ids.resize(same);
    qint64 id = same ? found.ids.back() : hiveId(hive);
    for (qsizetype i = same; i < parts.size(); ++i) {
        Statement child(*this, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
        child.bind(1, id).bind(2, fold(parts[i]));
        if (!child.step())
            return std::nullopt;
        id = child.integer(0);
        found.parts << parts[i];
        found.ids.push_back(id);
    }
    return id;
}

qint64 RegistryStore::makeKey(Hive hive, const QString& path) {
    qint64 id = hiveId(hive);
    for (const QString& part : pathParts(path)) {
        Statement child(*this, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
        child.bind(1, id).bind(2, fold(part));
        if (child.step()) {
            id = child.integer(0);
            continue;
        }
        Statement insert(*this, "INSERT INTO keys (parent, name, folded) VALUES (?, ?, ?)");
        insert.bind(1, id).bind(2, part).bind(3, fold(part)).run();
        id = sqlite3_last_insert_rowid(m_db);
    }
    return id;
}

bool RegistryStore::keyExists(Hive hive, const QString& path) {
    return autoRead([&] { return findKey(hive, path).has_value(); });
}

void RegistryStore::createKey(Hive hive, const QString& path) {
    autoWrite([&] { makeKey(hive, path); });
}

// Deepest keys first, each one alone: a single delete would cascade down the tree one trigger
// level per key level, and SQLite stops at 1000 levels.
void RegistryStore::deleteKey(Hive hive, const QString& path) {
    if (pathParts(path).isEmpty())
        throw RegistryError("A hive cannot be deleted");
    autoWrite([&] {
        const auto id = findKey(hive, path);
        if (!id)
            return;
        std::vector<qint64> subtree;
        Statement walk(*this,
                       "WITH RECURSIVE below(id, depth) AS (SELECT ?, 0 UNION ALL "
                       "SELECT keys.id, below.depth + 1 FROM keys JOIN below ON keys.parent = below.id) "
                       "SELECT id FROM below ORDER BY depth DESC");
        walk.bind(1, *id);
        while (walk.step())
            subtree.push_back(walk.integer(0));
        m_found = {};
        Statement remove(*this, "DELETE FROM keys WHERE id = ?");
        for (const qint64 key : subtree)
            remove.reset().bind(1, key).run();
    });
}

QStringList RegistryStore::subKeys(Hive hive, const QString& path) {
    QStringList names = autoRead([&] {
        QStringList found;
        if (const auto id = findKey(hive, path)) {
            Statement children(*this, "SELECT name FROM keys WHERE parent = ?");
            children.bind(1, *id);
            while (children.step())
                found << children.text(0);
        }
        return found;
    });
    std::sort(names.begin(), names.end(), subKeyLess);
    return names;
}

int RegistryStore::subKeyCount(Hive hive, const QString& path) {
    return autoRead([&] {
        const auto id = findKey(hive, path);
        if (!id)
            return 0;
        Statement count(*this, "SELECT count(*) FROM keys WHERE parent = ?");
        count.bind(1, *id).step();
        return int(count.integer(0));
    });
}

// ---- Values ---------------------------------------------------------------------------------

std::optional<RegistryValue> RegistryStore::value(Hive hive, const QString& path, const QString& name) {
    return autoRead([&]() -> std::optional<RegistryValue> {
        const auto id = findKey(hive, path);
        if (!id)
            return std::nullopt;
        Statement query(*this, "SELECT name, type, data FROM vals WHERE key = ? AND folded = ?");
        query.bind(1, *id).bind(2, fold(name));
        if (!query.step())
            return std::nullopt;
        return RegistryValue{query.text(0), quint32(query.integer(1)), query.blob(2)};
    });
}

QList<RegistryValue> RegistryStore::values(Hive hive, const QString& path) {
    return autoRead([&] {
        QList<RegistryValue> found;
        if (const auto id = findKey(hive, path)) {
            Statement query(*this, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY seq");
            query.bind(1, *id);
            while (query.step())
                found.append(RegistryValue{query.text(0), quint32(query.integer(1)), query.blob(2)});
        }
        return found;
    });
}

int RegistryStore::valueCount(Hive hive, const QString& path) {
    return autoRead([&] {
        const auto id = findKey(hive, path);
        if (!id)
            return 0;
        Statement count(*this, "SELECT count(*) FROM vals WHERE key = ?");
        count.bind(1, *id).step();
        return int(count.integer(0));
    });
}

void RegistryStore::setValue(Hive hive, const QString& path, const RegistryValue& value) {
    // Text types always hold UTF-8, so readers never meet undecodable text.
    const QByteArray data =
        isTextType(value.type) && !isValidUtf8(value.data) ? decodeAnsiText(value.data).toUtf8() : value.data;
    autoWrite([&] {
        const qint64 key = makeKey(hive, path);
        Statement update(*this, "UPDATE vals SET type = ?, data = ? WHERE key = ? AND folded = ?");
        update.bind(1, qint64(value.type)).bind(2, data).bind(3, key).bind(4, fold(value.name)).run();
        if (sqlite3_changes(m_db) > 0)
            return;
        Statement insert(*this, "INSERT INTO vals (key, name, folded, type, data) VALUES (?, ?, ?, ?, ?)");
        insert.bind(1, key).bind(2, value.name).bind(3, fold(value.name)).bind(4, qint64(value.type));
        insert.bind(5, data).run();
    });
}

bool RegistryStore::deleteValue(Hive hive, const QString& path, const QString& name) {
    return autoWrite([&] {
        const auto id = findKey(hive, path);
        if (!id)
            return false;
        Statement remove(*this, "DELETE FROM vals WHERE key = ? AND folded = ?");
        remove.bind(1, *id).bind(2, fold(name)).run();
        return sqlite3_changes(m_db) > 0;
    });
}

QString RegistryStore::description() const {
    return QStringLiteral("Stowline registry store ") + quoted(m_fileName);
}

} // namespace stowline::platform
