#include "mail/MailIndex.h"

#include "mail/MailIndexFile.h"
#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QTimeZone>
#include <sqlite3.h>

namespace stowline::mail {

using namespace index_file;

namespace {

QString fileNameFor(const QByteArray& fingerprint) {
    return QStringLiteral("mail-") +
           QString::fromLatin1(
               QCryptographicHash::hash(fingerprint, QCryptographicHash::Sha256).toHex().left(32)) +
           QStringLiteral(".index");
}

// An SQLite URI naming the file read as it lies: no locks, no log, no shared-memory file.
QByteArray immutableUri(const QString& path) {
    QByteArray uri = "file:";
    for (const char c : QFile::encodeName(path)) {
        if (QByteArrayView("/-._~").contains(c) || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
            (c >= 'a' && c <= 'z'))
            uri += c;
        else
            uri += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    }
    return uri + "?immutable=1";
}

} // namespace

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
    if (!QDir().mkpath(folder) || platform::restrictFolder(folder) != 0) {
        if (error)
            *error = Str(txtIndexUnwritable) + folder;
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->path = folder + u'/' + fileNameFor(source.fingerprint());
    impl->sourceName = source.description();
    // Created private before SQLite opens it: its journal files take the same mode.
    if (!platform::ensurePrivateFile(impl->path)) {
        if (error)
            *error = Str(txtIndexUnwritable) + impl->path;
        return nullptr;
    }
    if (!impl->openFile(error))
        return nullptr;
    return std::unique_ptr<MailIndex>(new MailIndex(std::move(impl)));
}

std::unique_ptr<MailIndex> MailIndex::openComplete(const QByteArray& fingerprint) {
    auto impl = std::make_unique<Impl>();
    impl->path = MailIndexFolder() + u'/' + fileNameFor(fingerprint);
    // A build ends by emptying the log and a complete index is never written again, so it is read as
    // it lies: the first reader of the shared-memory file truncated and rewrote it, waiting on the disk.
    const QFileInfo log(impl->path + QStringLiteral("-wal"));
    const bool settled = !log.exists() || log.size() == 0;
    const QByteArray name = settled ? immutableUri(impl->path) : QFile::encodeName(impl->path);
    if (sqlite3_open_v2(name.constData(), &impl->db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | (settled ? SQLITE_OPEN_URI : 0),
                        nullptr) != SQLITE_OK ||
        !RegisterWordsTokenizer(impl->db))
        return nullptr;
    sqlite3_busy_timeout(impl->db, BusyTimeoutMs);
    // One search reads each page about once: a small cache reuses its buffers instead of faulting in
    // fresh heap for every page.
    sqlite3_exec(impl->db, "PRAGMA cache_size = 32", nullptr, nullptr, nullptr);
    std::unique_ptr<MailIndex> index(new MailIndex(std::move(impl)));
    return index->complete() ? std::move(index) : nullptr;
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
