#include "mail/MailExport.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailWriters.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace stowline::mail {

namespace {

// Names already taken in one folder of the output, with the file system's own entries.
class NameSpace {
public:
    NameSpace(QString folder, QStringList reserved = {}) : m_folder(std::move(folder)) {
        for (const QString& name : reserved)
            m_taken.insert(name);
    }
    // A name not yet used here nor on disk: "Inbox", "Inbox (2)", ...; suffix is kept at the end.
    QString claim(const QString& wanted, const QString& suffix = {}) {
        const QString base = SafeFileName(wanted);
        for (int n = 1;; ++n) {
            const QString name = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
            if (!m_taken.contains(name + suffix) && !m_taken.contains(name) &&
                !QFileInfo::exists(m_folder + u'/' + name + suffix) &&
                !QFileInfo::exists(m_folder + u'/' + name)) {
                m_taken.insert(name + suffix);
                m_taken.insert(name);
                return name;
            }
        }
    }

private:
    QString m_folder;
    QSet<QString> m_taken;
};

class IdentityExport {
public:
    IdentityExport(MailSource& source, const MailIdentity& identity, const MailExportOptions& options,
                   MailExportObserver& observer, MailExportResult& result, IdentityExportCount& count)
        : m_source(source), m_identity(identity), m_options(options), m_observer(observer), m_result(result),
          m_count(count) {}

    // False when the run was cancelled.
    bool run(qint64& done, qint64 total) {
        m_done = &done;
        m_total = total;
        const QList<MailFolder> folders = m_source.folders(m_identity);
        QHash<int, QString> folderPaths; // folder id -> its output folder (for its children)
        QHash<QString, NameSpace*> spaces;
        std::vector<std::unique_ptr<NameSpace>> owned;
        auto spaceFor = [&](const QString& folder) {
            if (!spaces.contains(folder)) {
                owned.push_back(std::make_unique<NameSpace>(folder, reservedNames()));
                spaces.insert(folder, owned.back().get());
            }
            return spaces.value(folder);
        };
        for (const MailFolder& folder : folders) {
            const QString parent = folderPaths.value(folder.parentId, m_count.outputFolder);
            const QString name = spaceFor(parent)->claim(folder.path.constLast(), folderSuffix());
            folderPaths.insert(folder.id, parent + u'/' + name);
            if (!exportFolder(folder, parent, name))
                return false;
        }
        if (m_options.recover)
            return recover(folders);
        return true;
    }

    static qint64 countMessages(MailSource& source, const MailIdentity& identity) {
        qint64 total = 0;
        for (const MailFolder& folder : source.folders(identity))
            if (!folder.storeFile.isEmpty())
                if (std::unique_ptr<DbxStore> store = source.openStore(identity, folder, nullptr))
                    total += store->recordedCount();
        return total;
    }

private:
    QStringList reservedNames() const {
        if (m_options.format == MailFormat::Maildir)
            return {QStringLiteral("cur"), QStringLiteral("new"), QStringLiteral("tmp")};
        return {};
    }
    QString folderSuffix() const {
        return m_options.format == MailFormat::Mbox ? QStringLiteral(".mbox") : QString();
    }

    void report(const QString& folder, int index, const QString& detail) {
        UnreadableMessage message{m_identity.name, folder, index, detail};
        m_result.unreadable.append(message);
        m_observer.unreadable(message);
    }

    bool exportFolder(const MailFolder& folder, const QString& parent, const QString& name) {
        const QString label = folder.path.join(u'/');
        m_observer.folderStarted(m_identity.name, label);
        // A chosen few are written where they lie, and no folder is made or counted that holds none.
        if (m_options.include && folder.storeFile.isEmpty())
            return true;
        if (!m_options.include)
            ++m_count.folders;
        if (folder.storeFile.isEmpty())
            return QDir().mkpath(parent + u'/' + name) || fail(parent + u'/' + name);
        QString error;
        std::unique_ptr<DbxStore> store = m_source.openStore(m_identity, folder, &error);
        if (!store || !store->isMessageStore()) {
            report(label, -1, store ? store->problems().value(0).detail : error);
            return true;
        }
        QList<MessageEntry> messages = store->messages();
        for (const StoreProblem& problem : store->problems())
            report(label, problem.index, Str(txtIndexDamaged) + problem.detail);
        if (m_options.include) {
            messages.removeIf(
                [&](const MessageEntry& m) { return !m_options.include(m_identity, folder, m); });
            if (messages.isEmpty())
                return true;
            ++m_count.folders;
        }
        return writeMessages(*store, messages, label, parent, name);
    }

    bool recover(const QList<MailFolder>& folders) {
        QString recoveredRoot;
        NameSpace top(m_count.outputFolder);
        std::unique_ptr<NameSpace> inside;
        for (const MailFolder& folder : folders) {
            if (folder.storeFile.isEmpty())
                continue;
            std::unique_ptr<DbxStore> store = m_source.openStore(m_identity, folder, nullptr);
            if (!store || !store->isMessageStore())
                continue;
            const QList<MessageEntry> found = store->recoverable();
            if (found.isEmpty())
                continue;
            if (recoveredRoot.isEmpty()) {
                recoveredRoot = m_count.outputFolder + u'/' + top.claim(Str(txtRecoveredFolder));
                if (!QDir().mkpath(recoveredRoot))
                    return fail(recoveredRoot);
                inside = std::make_unique<NameSpace>(recoveredRoot, reservedNames());
            }
            const QString name = inside->claim(folder.path.join(QStringLiteral(" - ")), folderSuffix());
            m_total += found.size();
            const QString label = Str(txtRecoveredFolder) + u'/' + folder.path.join(u'/');
            ++m_count.folders;
            if (!writeMessages(*store, found, label, recoveredRoot, name))
                return false;
        }
        return true;
    }

    bool writeMessages(DbxStore& store, const QList<MessageEntry>& messages, const QString& label,
                       const QString& parent, const QString& name) {
        if (!QDir().mkpath(parent))
            return fail(parent);
        std::unique_ptr<FolderWriter> writer = FolderWriter::create(m_options.format, parent, name);
        if (!writer)
            return fail(parent + u'/' + name);
        for (const MessageEntry& message : messages) {
            if (m_observer.cancelRequested()) {
                m_result.cancelled = true;
                return false;
            }
            const qsizetype problemsBefore = store.problems().size();
            writer->begin(message);
            const bool read = store.readMessage(
                message, [&](const char* data, qint64 length) { return writer->write(data, length); });
            if (read && writer->commit()) {
                ++m_count.messages;
            } else {
                writer->discard();
                if (!writer->healthy())
                    return fail(parent + u'/' + name);
                const QString detail = store.problems().size() > problemsBefore
                                           ? store.problems().constLast().detail
                                           : QString();
                report(label, message.index, detail);
            }
            m_observer.progress(++*m_done, m_total);
        }
        return true;
    }

    bool fail(const QString& path) {
        m_result.error = Str(txtOutputUnwritable) + path;
        return false;
    }

    MailSource& m_source;
    const MailIdentity& m_identity;
    const MailExportOptions& m_options;
    MailExportObserver& m_observer;
    MailExportResult& m_result;
    IdentityExportCount& m_count;
    qint64* m_done = nullptr;
    qint64 m_total = 0;
};

} // namespace

int MailExportResult::exported() const {
    int total = 0;
    for (const IdentityExportCount& identity : identities)
        total += identity.messages;
    return total;
}

int MailExportResult::exitStatus() const {
    if (!error.isEmpty() || cancelled || (exported() == 0 && favorites == 0 && !unreadable.isEmpty()))
        return 1;
    return unreadable.isEmpty() ? 0 : 3;
}

MailExportResult ExportMail(MailSource& source, const MailExportOptions& options,
                            MailExportObserver& observer) {
    MailExportResult result;
    if (!QDir().mkpath(options.outputFolder)) {
        result.error = Str(txtOutputUnwritable) + options.outputFolder;
        return result;
    }
    const QString root = QDir(options.outputFolder).absolutePath();
    QList<MailIdentity> chosen;
    for (const MailIdentity& identity : source.identities())
        if (options.identityIds.isEmpty() || options.identityIds.contains(identity.id, Qt::CaseInsensitive))
            chosen.append(identity);
    qint64 total = 0, done = 0;
    for (const MailIdentity& identity : chosen)
        total += IdentityExport::countMessages(source, identity);
    NameSpace top(root);
    for (const MailIdentity& identity : chosen) {
        observer.identityStarted(identity.name);
        IdentityExportCount& count = result.identities.emplace_back();
        count.name = identity.name;
        count.outputFolder = root + u'/' + top.claim(identity.name);
        if (!options.include && !QDir().mkpath(count.outputFolder)) {
            result.error = Str(txtOutputUnwritable) + count.outputFolder;
            return result;
        }
        if (!IdentityExport(source, identity, options, observer, result, count).run(done, total))
            return result;
        if (options.include && count.messages == 0)
            result.identities.removeLast(); // nothing of it was chosen, so nothing of it was written
    }
    if (options.favorites && !options.include) {
        const QList<FavoriteLink> links = source.favorites();
        if (!links.isEmpty()) {
            const QString file = root + u'/' +
                                 top.claim(QStringLiteral("bookmarks"), QStringLiteral(".html")) +
                                 QStringLiteral(".html");
            if (!WriteBookmarks(file, links)) {
                result.error = Str(txtOutputUnwritable) + file;
            } else {
                result.favorites = int(links.size());
                result.bookmarksFile = file;
            }
        }
    }
    return result;
}

QString SafeFileName(const QString& name) {
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name)
        safe.append(c == u'/' || c == u'\\' || c.category() == QChar::Other_Control ? u'_' : c);
    safe = safe.trimmed();
    while (safe.startsWith(u'.'))
        safe[0] = u'_';
    if (safe.isEmpty())
        safe = QStringLiteral("_");
    // Room for a suffix within the usual 255-byte limit.
    while (safe.toUtf8().size() > 200)
        safe.chop(1);
    return safe;
}

} // namespace stowline::mail
