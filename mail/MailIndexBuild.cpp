#include "mail/MailIndexFile.h"
#include "mail/MessageText.h"
#include "mail/SearchTokens.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace stowline::mail {

using namespace index_file;

namespace {

// A message larger than this is indexed from its first part only: its text comes before the
// attachments that make it large, and memory stays flat.
constexpr qint64 LargestIndexedMessage = 16 << 20;
// What is indexed becomes searchable soon after a build starts; later commits come further apart,
// since each one leaves the full-text index another segment to merge.
constexpr int FirstCommitMs = 250;
constexpr int LongestCommitMs = 4000;
// The index is a cache that a build can always make again: a commit need not wait for the disk (the
// write-ahead log still keeps the file whole), and the log is copied into it in large steps.
// The full-text index gathers 8 MiB of terms (not its 1 MiB default) before it writes them out as a
// segment: a fifth less CPU over 500 MB of mail, for 11 MiB more memory and fewer merges.
// Its segments are not merged while a build writes (merging rewrote them up to three times, on the
// busy thread): a search looks up each of them (22 for 500 MB), and 64 on one level are merged at once.
const char* const BuildSettings = "PRAGMA synchronous = NORMAL; PRAGMA wal_autocheckpoint = 16384; "
                                  "INSERT INTO text(text, rank) VALUES('hashsize', 8388608); "
                                  "INSERT INTO text(text, rank) VALUES('automerge', 0); "
                                  "INSERT INTO text(text, rank) VALUES('crisismerge', 64)";
// How often a build waiting for another program's build of the same index looks whether it is cancelled.
constexpr std::chrono::milliseconds CancelCheckWhileWaiting{200};

QString lockPathOf(const QString& indexPath) { return indexPath + QStringLiteral(".lock"); }

QString flat(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

// The message's bytes, up to the indexed size; `whole` false when the store broke off.
QByteArray readUpTo(DbxStore& store, const MessageEntry& entry, bool* whole) {
    QByteArray bytes;
    bytes.reserve(
        std::clamp(entry.size, qint64(0), LargestIndexedMessage)); // a hint: the record may be wrong
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
        platform::ExclusiveFileLock building(lockPathOf(file.absoluteFilePath()));
        if (file.fileName() == kept.fileName() || !building.tryTake())
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
            for (const char* suffix : {"", "-wal", "-shm", ".lock"})
                QFile::remove(file.absoluteFilePath() + QLatin1String(suffix));
    }
}

} // namespace

namespace {

// What the reading thread hands to the writing one: a folder begins (its store readable or not), one
// of its messages, read and decoded, or the folder ends (with the index parts that could not be read).
struct ReadItem {
    enum class Kind { FolderBegins, Message, FolderEnds };
    Kind kind = Kind::Message;
    const MailIdentity* identity = nullptr;
    const MailFolder* folder = nullptr;
    qint64 unreadable = 0; // with a folder: its store (1) or index parts that could not be read
    MessageEntry entry;
    SearchableText text;
    bool whole = true;
    // As the message list shows them: from the headers, else from the store's record.
    QString sender, subject;
    QByteArray subjectTokens, senderTokens, recipientTokens, attachmentTokens;
};

// Few messages wait between the threads, so memory stays flat however large the store.
class ReadQueue {
public:
    // False once the writer has stopped taking.
    bool push(ReadItem item) {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_items.size() < Capacity || m_closed; });
        if (m_closed)
            return false;
        m_items.push_back(std::move(item));
        m_ready.notify_one();
        return true;
    }
    // Null once the reader has finished and everything is taken, or the queue was closed.
    std::optional<ReadItem> pop() {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return !m_items.empty() || m_finished || m_closed; });
        if (m_items.empty() || m_closed)
            return std::nullopt;
        ReadItem item = std::move(m_items.front());
        m_items.pop_front();
        m_space.notify_one();
        return item;
    }
    void finish() { set(m_finished); }
    void close() { set(m_closed); }

private:
    static constexpr size_t Capacity = 16;
    void set(bool& flag) {
        std::lock_guard lock(m_mutex);
        flag = true;
        m_ready.notify_all();
        m_space.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_ready, m_space;
    std::deque<ReadItem> m_items;
    bool m_finished = false, m_closed = false;
};

using Plan = QList<std::pair<MailIdentity, QList<MailFolder>>>;

ReadItem folderItem(ReadItem::Kind kind, const MailIdentity& identity, const MailFolder& folder,
                    qint64 unreadable) {
    ReadItem item;
    item.kind = kind;
    item.identity = &identity;
    item.folder = &folder;
    item.unreadable = unreadable;
    return item;
}

// Folds the headers on the reading thread too, so that the writing one only hands the tokens to SQLite.
void makeSearchable(ReadItem& item) {
    const MessageText& headers = item.text.headers;
    item.sender = headers.from.isEmpty() ? item.entry.from : headers.from;
    item.subject = headers.subject.isEmpty() ? item.entry.subject : headers.subject;
    item.subjectTokens = SearchTokens(item.subject.toUtf8());
    const QString senders =
        item.sender == item.entry.from ? item.sender : item.sender + u' ' + item.entry.from;
    item.senderTokens = SearchTokens(senders.toUtf8());
    item.recipientTokens = SearchTokens(headers.to.toUtf8());
    item.attachmentTokens = SearchTokens(headers.attachments.join(u' ').toUtf8());
}

// Problems of the store itself or its index, not of single messages.
qint64 listingProblems(const DbxStore& store) {
    const QList<StoreProblem>& problems = store.problems();
    return std::count_if(problems.begin(), problems.end(),
                         [](const StoreProblem& p) { return p.index == -1; });
}

// Reads and decodes every message of the plan, on a thread of its own: parsing MIME and feeding the
// full-text index each take about half of a build, so they run side by side. A store's messages are
// read in the order they lie, each as soon as its record is: an inflated store is read once, and the
// first message is searchable before the store is listed to its end.
void readAll(MailSource& source, const Plan& plan, ReadQueue& queue) {
    for (const auto& [identity, folders] : plan) {
        const QByteArray charset = source.defaultCharset(identity);
        for (const MailFolder& folder : folders) {
            std::unique_ptr<DbxStore> store =
                folder.storeFile.isEmpty() ? nullptr : source.openStore(identity, folder, nullptr);
            const bool readable = store && store->isMessageStore();
            const qint64 storeLost = !folder.storeFile.isEmpty() && !readable ? 1 : 0;
            if (!queue.push(folderItem(ReadItem::Kind::FolderBegins, identity, folder, storeLost)))
                return;
            if (!readable)
                continue;
            const bool read = store->visitInFileOrder([&](const MessageEntry& entry) {
                ReadItem item;
                item.identity = &identity;
                item.folder = &folder;
                item.entry = entry;
                item.text = ReadSearchableText(readUpTo(*store, entry, &item.whole), charset);
                makeSearchable(item);
                return queue.push(std::move(item));
            });
            if (!read || !queue.push(folderItem(ReadItem::Kind::FolderEnds, identity, folder,
                                                listingProblems(*store))))
                return;
        }
    }
    queue.finish();
}

// Writes one source into an emptied index, committing now and then so that a reader on another
// connection sees the messages come in.
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
        Plan plan;
        for (const MailIdentity& identity : source.identities()) {
            plan.append({identity, source.folders(identity)});
            for (const MailFolder& folder : plan.constLast().second)
                if (!folder.storeFile.isEmpty())
                    if (std::unique_ptr<DbxStore> store = source.openStore(identity, folder, nullptr))
                        m_total += store->recordedCount();
        }
        m_clock.start();
        ReadQueue queue;
        bool written = true;
        {
            std::jthread reader([&] { readAll(source, plan, queue); });
            while (std::optional<ReadItem> item = queue.pop()) {
                if (m_observer.cancelRequested() || !write(*item)) {
                    written = false;
                    break;
                }
            }
            queue.close(); // the reader stops at its next message; leaving the block waits for it
        }
        return written && exec(m_db, "COMMIT");
    }
    qint64 unreadable() const { return m_unreadable; }

private:
    bool write(const ReadItem& item) {
        m_unreadable += item.unreadable;
        if (item.kind == ReadItem::Kind::FolderBegins)
            return writeFolder(*item.identity, *item.folder);
        if (item.kind == ReadItem::Kind::FolderEnds)
            return true;
        if (!writeMessage(item))
            return false;
        ++m_done;
        m_observer.progress(m_done, std::max(m_total, m_done));
        if (m_clock.elapsed() >= m_commitAfterMs) {
            if (!exec(m_db, "COMMIT") || !exec(m_db, "BEGIN"))
                return false;
            m_observer.committed();
            m_clock.restart();
            m_commitAfterMs = std::min(2 * m_commitAfterMs, LongestCommitMs);
        }
        return true;
    }

    bool writeFolder(const MailIdentity& identity, const MailFolder& folder) {
        m_folder.bind(1, identity.name);
        m_folder.bind(2, identity.id);
        m_folder.bind(3, qint64(folder.id));
        m_folder.bind(4, folder.path.join(PathSeparator));
        m_folder.bind(5, folder.storeFile);
        if (!m_folder.run())
            return false;
        m_folderRow = sqlite3_last_insert_rowid(m_db);
        return true;
    }

    bool writeMessage(const ReadItem& item) {
        const MessageEntry& entry = item.entry;
        const QDateTime date = entry.date.isValid() ? entry.date : item.text.headers.sent;
        m_message.bind(1, m_folderRow);
        m_message.bind(2, qint64(entry.index));
        m_message.bind(3, entry.infoOffset);
        m_message.bind(4, entry.firstBlock);
        m_message.bind(5, entry.size);
        m_message.bind(6, qint64(entry.read));
        m_message.bind(7, date.isValid() ? date.toSecsSinceEpoch() : 0);
        m_message.bind(8, flat(item.sender));
        m_message.bind(9, flat(item.subject));
        m_message.bind(10, qint64(!item.whole));
        if (!m_message.run())
            return false;
        m_text.bind(1, sqlite3_last_insert_rowid(m_db));
        m_text.bindUtf8(2, item.subjectTokens);
        m_text.bindUtf8(3, item.senderTokens);
        m_text.bindUtf8(4, item.recipientTokens);
        m_text.bindUtf8(5, item.text.tokens);
        m_text.bindUtf8(6, item.attachmentTokens);
        return m_text.run();
    }

    sqlite3* m_db;
    MailIndexObserver& m_observer;
    Statement m_folder, m_message, m_text;
    QElapsedTimer m_clock;
    qint64 m_folderRow = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
    qint64 m_unreadable = 0;
    int m_commitAfterMs = FirstCommitMs;
};

} // namespace

bool MailIndex::build(MailSource& source, MailIndexObserver& observer, QString* error) {
    auto failed = [&] {
        exec(d->db, "ROLLBACK");
        if (error)
            *error = Str(txtIndexUnwritable) + d->path;
        return false;
    };
    // One build at a time: a second one waits for the first and takes what it built; a build that was
    // killed never marked the index complete, and the system let go of its lock.
    platform::ExclusiveFileLock building(lockPathOf(d->path));
    if (!building.tryTake())
        observer.waiting();
    for (;;) {
        const auto wait = building.take(CancelCheckWhileWaiting);
        if (wait == platform::ExclusiveFileLock::Wait::Taken)
            break;
        if (wait == platform::ExclusiveFileLock::Wait::Failed)
            return failed();
        if (observer.cancelRequested())
            return false;
    }
    if (complete()) {
        observer.committed();
        return true;
    }
    observer.started();
    // The text table is made anew: an index of an earlier version may split its words another way.
    if (!exec(d->db, "BEGIN IMMEDIATE; DELETE FROM meta; DELETE FROM folders; DELETE FROM messages; "
                     "DROP TABLE IF EXISTS text") ||
        !exec(d->db, TextTable) || !exec(d->db, "COMMIT"))
        return failed();
    d->setMeta("source", source.description());
    removeOutdated(d->path, source.description());
    exec(d->db, BuildSettings);
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

} // namespace stowline::mail
