#include "mail/MailUpload.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/UploadRecord.h"
#include "platform/SecureConnection.h"

#include <QRegularExpression>
#include <cstring>

namespace stowline::mail {

namespace {

// A message up to this size is read once into memory; a larger one is read twice (measured, then sent).
constexpr qint64 BufferedMessageLimit = 16 * 1024 * 1024;
// Messages written down as being sent with one disk sync, and the bytes they may hold in memory.
constexpr int BatchMessages = 64;
constexpr qint64 BatchBytes = 8 * 1024 * 1024;
// Appends awaiting the server's answer while more are sent.
constexpr int AppendsInFlight = 64;
constexpr qsizetype HeadBytes = 64 * 1024;

// The text as it goes to the server: every bare LF preceded by CR; a NUL byte noticed.
class WireText {
public:
    void feed(const char* data, qint64 length, QByteArray* out) {
        if (length > 0 && std::memchr(data, 0, size_t(length)))
            m_nul = true;
        const char* at = data;
        const char* const end = data + length;
        while (at < end) {
            const auto* lf = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
            const char* stop = lf ? lf : end;
            if (out)
                out->append(at, stop - at);
            m_size += stop - at;
            if (stop > at)
                m_lastCr = stop[-1] == '\r';
            if (!lf)
                break;
            if (!m_lastCr) {
                if (out)
                    out->append('\r');
                ++m_size;
            }
            if (out)
                out->append('\n');
            ++m_size;
            m_lastCr = false;
            at = lf + 1;
        }
    }
    qint64 size() const { return m_size; }
    bool hasNul() const { return m_nul; }

private:
    qint64 m_size = 0;
    bool m_lastCr = false;
    bool m_nul = false;
};

QByteArray messageIdIn(const QByteArray& text) {
    const qsizetype headerEnd = text.indexOf("\r\n\r\n");
    static const QRegularExpression id(
        QStringLiteral("(?im)^message-id:[ \\t]*(?:\\r\\n[ \\t]+)?(<[^>\\r\\n]*>)"));
    const QRegularExpressionMatch m =
        id.match(QString::fromLatin1(headerEnd < 0 ? text.left(HeadBytes) : text.left(headerEnd)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

struct Outgoing {
    const MessageEntry* entry = nullptr;
    QString key;
    QByteArray text; // the whole wire text when it was small enough to keep
    bool buffered = false;
    qint64 size = 0;
    QByteArray messageId;
    bool again = false; // sent before without an answer, and not found on the server
};

// A message sent again in this run, and what the server named it.
struct SentAgain {
    QByteArray mailbox;
    QString key;
    QByteArray messageId;
    QDateTime date;
    qint64 size = 0;
    quint32 uid = 0;
};

class Upload {
public:
    Upload(MailSource& source, const MailUploadOptions& options, MailUploadObserver& observer,
           MailUploadResult& result)
        : m_source(source), m_options(options), m_observer(observer), m_result(result),
          m_client(m_connection) {}

    void run() {
        QString where;
        const QString recordFolder =
            m_options.recordFolder.isEmpty() ? UploadRecord::defaultFolder() : m_options.recordFolder;
        const QString sourceName =
            m_options.sourceName.isEmpty() ? m_source.description() : m_options.sourceName;
        if (!m_record.open(recordFolder, m_options.account.recordName(), sourceName, &where)) {
            m_result.error = Str(txtUploadRecordUnwritable) + where;
            return;
        }
        if (!connect())
            return;
        m_observer.connected(m_options.account.name());
        QList<MailIdentity> chosen;
        for (const MailIdentity& identity : m_source.identities())
            if (m_options.identityIds.isEmpty() ||
                m_options.identityIds.contains(identity.id, Qt::CaseInsensitive))
                chosen.append(identity);
        for (const MailIdentity& identity : chosen)
            m_total += countMessages(identity);
        const QStringList top = m_options.account.folder;
        if (!ensureFolders(top))
            return;
        for (const MailIdentity& identity : chosen)
            if (!uploadIdentity(identity, top + QStringList{identity.name}))
                break;
        if (m_result.error.isEmpty()) {
            if (!m_client.awaitAppends() || !removeLateCopies())
                networkFailed();
            m_client.logout();
        }
        m_record.sync();
    }

private:
    bool connect() {
        const ImapAccount& account = m_options.account;
        if (!m_connection.open(account.host, account.port, account.tlsAtOnce, m_options.caFile)) {
            const bool untrusted = m_connection.problem() == platform::SecureConnection::Problem::Untrusted;
            m_result.error = (untrusted ? Str(txtUploadUntrusted) : Str(txtUploadUnreachable)) +
                             account.host + u':' + QString::number(account.port) + QStringLiteral(": ") +
                             m_connection.problemText();
            return false;
        }
        if (!m_client.start()) {
            const bool untrusted = m_connection.problem() == platform::SecureConnection::Problem::Untrusted;
            m_result.error = (untrusted ? Str(txtUploadUntrusted) : Str(txtUploadServerProblem)) +
                             account.host + QStringLiteral(": ") + m_client.failure();
            return false;
        }
        if (!m_client.login(account.user, m_options.password)) {
            m_result.error =
                (m_client.loginRefused() ? Str(txtUploadLoginRefused) : Str(txtUploadServerProblem)) +
                account.user + QStringLiteral(": ") + m_client.failure();
            return false;
        }
        if (!m_client.learnHierarchy())
            return networkFailed();
        return true;
    }

    bool networkFailed() {
        if (m_result.error.isEmpty())
            m_result.error = Str(txtUploadServerProblem) + m_options.account.host + QStringLiteral(": ") +
                             m_client.failure();
        return false;
    }

    qint64 countMessages(const MailIdentity& identity) {
        qint64 total = 0;
        for (const MailFolder& folder : m_source.folders(identity))
            if (!folder.storeFile.isEmpty())
                if (std::unique_ptr<DbxStore> store = m_source.openStore(identity, folder, nullptr))
                    total += store->recordedCount();
        return total;
    }

    // A recorded name as one level: the separator and the list wildcards cannot be in it.
    QString level(const QString& name) const {
        QString result = name.trimmed();
        for (QChar& c : result)
            if (c == m_client.separator() || c == u'*' || c == u'%' || c < u' ')
                c = u'_';
        return result.isEmpty() ? QStringLiteral("_") : result;
    }

    QByteArray mailboxName(const QStringList& levels) const {
        QStringList parts;
        for (const QString& name : levels)
            parts << level(name);
        return ModifiedUtf7(m_client.prefix() + parts.join(m_client.separator()));
    }

    bool ensureFolders(const QStringList& levels) {
        for (qsizetype depth = 1; depth <= levels.size(); ++depth) {
            const QByteArray mailbox = mailboxName(levels.first(depth));
            if (m_created.contains(mailbox))
                continue;
            if (!m_client.createFolder(mailbox)) {
                m_result.error = Str(txtUploadFolderRefused) + levels.first(depth).join(u'/') +
                                 QStringLiteral(": ") + m_client.failure();
                return false;
            }
            m_created.insert(mailbox);
        }
        return true;
    }

    void refuse(const QString& folder, int index, const QString& detail) {
        const RefusedMessage message{m_identity, folder, index, detail};
        m_result.refused.append(message);
        m_observer.refused(message);
        if (index >= 0)
            ++m_done;
        m_observer.progress(m_done, m_total, m_result.bytes);
    }

    bool uploadIdentity(const MailIdentity& identity, const QStringList& root) {
        m_identity = identity.name;
        if (!ensureFolders(root))
            return false;
        const QList<MailFolder> folders = m_source.folders(identity);
        for (const MailFolder& folder : folders) {
            const QString label = folder.path.join(u'/');
            m_observer.folderStarted(identity.name, label);
            const QStringList levels = root + folder.path;
            if (!ensureFolders(levels))
                return false;
            if (folder.storeFile.isEmpty())
                continue;
            QString error;
            std::unique_ptr<DbxStore> store = m_source.openStore(identity, folder, &error);
            if (!store || !store->isMessageStore()) {
                refuse(label, -1, store ? store->problems().value(0).detail : error);
                continue;
            }
            const QList<MessageEntry>& messages = store->messages();
            for (const StoreProblem& problem : store->problems())
                refuse(label, problem.index, Str(txtIndexDamaged) + problem.detail);
            const QString keyBase = identity.id + u'/' + folder.storeFile + u'/';
            if (!uploadMessages(*store, messages, mailboxName(levels), label, keyBase))
                return false;
        }
        if (m_options.recover)
            return uploadRecovered(identity, root, folders);
        return true;
    }

    bool uploadRecovered(const MailIdentity& identity, const QStringList& root,
                         const QList<MailFolder>& folders) {
        for (const MailFolder& folder : folders) {
            if (folder.storeFile.isEmpty())
                continue;
            std::unique_ptr<DbxStore> store = m_source.openStore(identity, folder, nullptr);
            if (!store || !store->isMessageStore())
                continue;
            const QList<MessageEntry> found = store->recoverable();
            if (found.isEmpty())
                continue;
            m_total += found.size();
            const QStringList levels =
                root + QStringList{Str(txtRecoveredFolder), folder.path.join(QStringLiteral(" - "))};
            if (!ensureFolders(levels))
                return false;
            const QString label = Str(txtRecoveredFolder) + u'/' + folder.path.join(u'/');
            m_observer.folderStarted(identity.name, label);
            if (!uploadMessages(*store, found, mailboxName(levels), label,
                                identity.id + u'/' + folder.storeFile + QStringLiteral("/recovered/")))
                return false;
        }
        return true;
    }

    // Messages an earlier run sent without hearing back: those the server holds count as confirmed.
    bool settleUnconfirmed(const QByteArray& mailbox) {
        const QList<UploadRecord::Sending> open = m_record.unconfirmed(mailbox);
        if (open.isEmpty())
            return true;
        if (!m_client.awaitAppends())
            return networkFailed();
        QSet<quint32> claimed = m_record.claimedUids(mailbox);
        for (const UploadRecord::Sending& entry : open) {
            const std::optional<QList<quint32>> found =
                m_client.findMessages(mailbox, entry.messageId, entry.date, entry.size);
            if (!found)
                return networkFailed();
            for (const quint32 uid : *found) {
                if (claimed.contains(uid))
                    continue;
                claimed.insert(uid);
                m_record.markConfirmed(mailbox, entry.key, 0, uid);
                break;
            }
        }
        return true;
    }

    // A server may still be storing what a stopped run sent when the next run looks for it. At the end
    // of the run a message sent again that now has an older twin (same Message-ID, INTERNALDATE and
    // size, claimed by no other message) is there twice: this run's copy is deleted by its UID.
    bool removeLateCopies() {
        QHash<QByteArray, QList<quint32>> surplus;
        for (const SentAgain& message : std::as_const(m_sentAgain)) {
            const std::optional<QList<quint32>> found =
                m_client.findMessages(message.mailbox, message.messageId, message.date, message.size);
            if (!found)
                return false;
            const QSet<quint32> claimed = m_record.claimedUids(message.mailbox);
            for (const quint32 uid : *found) {
                if (uid == message.uid || claimed.contains(uid))
                    continue;
                surplus[message.mailbox].append(message.uid);
                m_record.markConfirmed(message.mailbox, message.key, 0, uid);
                --m_result.uploaded;
                ++m_result.alreadyThere;
                break;
            }
        }
        for (auto it = surplus.cbegin(); it != surplus.cend(); ++it)
            if (!m_client.removeMessages(it.key(), it.value()))
                return false;
        return true;
    }

    std::optional<Outgoing> prepare(DbxStore& store, const MessageEntry& message, const QString& key,
                                    const QString& label) {
        Outgoing out{&message, key, {}, message.size <= BufferedMessageLimit, 0, {}};
        WireText wire;
        const qsizetype problemsBefore = store.problems().size();
        const bool read = store.readMessage(message, [&](const char* data, qint64 length) {
            if (out.buffered) {
                wire.feed(data, length, &out.text);
            } else {
                if (out.text.size() < HeadBytes)
                    out.text.append(data, std::min<qint64>(length, HeadBytes));
                wire.feed(data, length, nullptr);
            }
            return true;
        });
        if (!read) {
            refuse(label, message.index,
                   store.problems().size() > problemsBefore ? store.problems().constLast().detail
                                                            : QString());
            return std::nullopt;
        }
        out.size = wire.size();
        out.messageId = messageIdIn(out.text);
        if (!out.buffered)
            out.text.clear();
        if (wire.hasNul()) {
            refuse(label, message.index, Str(txtUploadHoldsNul));
            return std::nullopt;
        }
        if (m_client.appendLimit() > 0 && out.size > m_client.appendLimit()) {
            refuse(label, message.index, Str(txtUploadTooLarge) + QString::number(m_client.appendLimit()));
            return std::nullopt;
        }
        return out;
    }

    bool send(DbxStore& store, const QByteArray& mailbox, const QString& label, Outgoing message) {
        const MessageEntry entry = *message.entry;
        const QByteArray text = std::move(message.text);
        const ImapClient::BodyWriter body = [&](const ByteSink& sink) {
            if (message.buffered)
                return sink(text.constData(), text.size());
            WireText wire;
            QByteArray piece;
            return store.readMessage(entry, [&](const char* data, qint64 length) {
                piece.clear();
                wire.feed(data, length, &piece);
                return sink(piece.constData(), piece.size());
            });
        };
        const qint64 size = message.size;
        const QString key = message.key;
        SentAgain again{mailbox, key, message.messageId, entry.date, size, 0};
        auto done = [this, mailbox, label, key, size, index = entry.index,
                     again = message.again ? std::optional(again)
                                           : std::nullopt](const AppendOutcome& outcome) mutable {
            if (outcome.stored) {
                m_record.markConfirmed(mailbox, key, outcome.uidValidity, outcome.uid);
                if (again && outcome.uid != 0) {
                    again->uid = outcome.uid;
                    m_sentAgain.append(*again);
                }
                ++m_result.uploaded;
                m_result.bytes += size;
                ++m_done;
                m_observer.progress(m_done, m_total, m_result.bytes);
            } else {
                refuse(label, index, outcome.serverText);
            }
        };
        return m_client.append(mailbox, entry.read, entry.date, size, body, done) &&
               m_client.awaitAppends(AppendsInFlight);
    }

    // Messages never sent go first; those an earlier run sent unanswered are looked for on the server
    // last, so that a server still storing what a stopped run sent has had the most time to finish.
    bool uploadMessages(DbxStore& store, const QList<MessageEntry>& messages, const QByteArray& mailbox,
                        const QString& label, const QString& keyBase) {
        if (!messages.isEmpty() && !m_client.select(mailbox))
            return networkFailed();
        QSet<QString> unanswered;
        for (const UploadRecord::Sending& entry : m_record.unconfirmed(mailbox))
            unanswered.insert(entry.key);
        QList<const MessageEntry*> later;
        Batch batch{store, mailbox, label};
        for (const MessageEntry& message : messages) {
            const QString key = messageKey(keyBase, message);
            if (unanswered.contains(key))
                later.append(&message);
            else if (!offer(batch, message, key, false))
                return false;
        }
        if (!sendBatch(batch))
            return false;
        if (later.isEmpty())
            return true;
        if (!settleUnconfirmed(mailbox) || !m_client.select(mailbox))
            return networkFailed();
        for (const MessageEntry* message : later)
            if (!offer(batch, *message, messageKey(keyBase, *message), true))
                return false;
        return sendBatch(batch);
    }

    struct Batch {
        DbxStore& store;
        const QByteArray& mailbox;
        const QString& label;
        QList<Outgoing> messages;
        qint64 bytes = 0;
    };

    static QString messageKey(const QString& keyBase, const MessageEntry& message) {
        return keyBase + QString::number(message.index) + u'@' +
               QString::number(message.date.isValid() ? message.date.toSecsSinceEpoch() : 0);
    }

    // Skips a confirmed message, else adds it to the batch, which goes once full. False: the run stops.
    bool offer(Batch& batch, const MessageEntry& message, const QString& key, bool again) {
        if (m_observer.cancelRequested()) {
            m_result.cancelled = true; // what is batched was not written down as sent: it simply waits
            return false;
        }
        if (m_record.confirmed(batch.mailbox, key)) {
            ++m_result.alreadyThere;
            m_observer.progress(++m_done, m_total, m_result.bytes);
            return true;
        }
        std::optional<Outgoing> outgoing = prepare(batch.store, message, key, batch.label);
        if (!outgoing)
            return true;
        outgoing->again = again;
        batch.bytes += outgoing->text.size();
        batch.messages.append(std::move(*outgoing));
        return (batch.messages.size() < BatchMessages && batch.bytes < BatchBytes) || sendBatch(batch);
    }

    // Writes the batch down as being sent, synced, then sends it.
    bool sendBatch(Batch& batch) {
        if (batch.messages.isEmpty())
            return true;
        QList<UploadRecord::Sending> sending;
        for (const Outgoing& message : std::as_const(batch.messages))
            sending.append(
                {batch.mailbox, message.key, message.messageId, message.entry->date, message.size});
        if (!m_record.markSending(sending)) {
            m_result.error = Str(txtUploadRecordUnwritable) + m_record.path();
            return false;
        }
        for (Outgoing& message : batch.messages)
            if (!send(batch.store, batch.mailbox, batch.label, std::move(message)))
                return networkFailed();
        batch.messages.clear();
        batch.bytes = 0;
        return true;
    }

    MailSource& m_source;
    const MailUploadOptions& m_options;
    MailUploadObserver& m_observer;
    MailUploadResult& m_result;
    platform::SecureConnection m_connection;
    ImapClient m_client;
    UploadRecord m_record;
    QSet<QByteArray> m_created;
    QList<SentAgain> m_sentAgain;
    QString m_identity;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

} // namespace

int MailUploadResult::exitStatus() const {
    if (!error.isEmpty() || cancelled || (uploaded == 0 && alreadyThere == 0 && !refused.isEmpty()))
        return 1;
    return refused.isEmpty() ? 0 : 3;
}

MailUploadResult UploadMail(MailSource& source, const MailUploadOptions& options,
                            MailUploadObserver& observer) {
    MailUploadResult result;
    result.target = options.account.folder.join(u'/');
    Upload(source, options, observer, result).run();
    return result;
}

} // namespace stowline::mail
