#include "ui/MailReader.h"

#include <QMetaObject>

namespace stowline {

MailReader::MailReader(QObject& receiver) : m_receiver(receiver) {
    m_context.moveToThread(&m_thread);
    m_thread.start();
}

MailReader::~MailReader() {
    m_thread.quit();
    m_thread.wait();
}

template <class Work> void MailReader::onReaderThread(Work work) {
    QMetaObject::invokeMethod(&m_context, std::move(work), Qt::QueuedConnection);
}

template <class Answer> void MailReader::answer(Answer answer) {
    QMetaObject::invokeMethod(&m_receiver, std::move(answer), Qt::QueuedConnection);
}

void MailReader::open(const QString& archivePath, std::function<void(QList<MailTree>, QString)> done) {
    onReaderThread([this, archivePath, done = std::move(done)] {
        QString error;
        m_openStores.clear();
        m_foundStores.clear();
        m_trees.clear();
        m_source = mail::MailSource::openArchive(archivePath, &error);
        if (m_source) {
            for (const mail::MailIdentity& identity : m_source->identities())
                m_trees.append({identity, m_source->folders(identity)});
        }
        answer([done, trees = m_trees, error] { done(trees, error); });
    });
}

void MailReader::list(int identity, const QList<int>& folders,
                      std::function<void(QList<ListedMessage>, QStringList)> done) {
    const quint64 asked = ++m_listsAsked;
    onReaderThread([this, identity, folders, asked, done = std::move(done)] {
        const auto wanted = [this, asked](const mail::MessageEntry&) { return m_listsAsked == asked; };
        QList<ListedMessage> messages;
        QStringList problems;
        m_openStores.clear();
        for (const int folder : folders) {
            if (!m_source || identity < 0 || identity >= m_trees.size() || folder < 0 ||
                folder >= m_trees[identity].folders.size())
                continue;
            const MailTree& tree = m_trees[identity];
            const mail::MailFolder& mailFolder = tree.folders[folder];
            if (mailFolder.storeFile.isEmpty())
                continue;
            QString error;
            std::shared_ptr<mail::DbxStore> store = m_source->openStore(tree.identity, mailFolder, &error);
            if (!store) {
                problems << mailFolder.path.join(u'/') + QStringLiteral(": ") + error;
                continue;
            }
            // Records are read in the order they lie: a compressed store is inflated once.
            if (!store->visitInFileOrder(wanted))
                return;
            for (const mail::MessageEntry& entry : store->messages())
                messages.append({folder, entry});
            for (const mail::StoreProblem& problem : store->problems())
                problems << mailFolder.path.join(u'/') + QStringLiteral(": ") + problem.detail;
            m_openStores.insert(folder, std::move(store));
        }
        answer([done, messages, problems] { done(messages, problems); });
    });
}

void MailReader::read(const ListedMessage& message, qint64 maxBytes,
                      std::function<void(QByteArray, bool, QString)> done) {
    onReaderThread([this, message, maxBytes, done = std::move(done)] {
        QByteArray bytes;
        const std::shared_ptr<mail::DbxStore> store = storeOf(message);
        const qsizetype problemsBefore = store ? store->problems().size() : 0;
        const bool whole = store && store->readMessage(message.entry, [&](const char* data, qint64 length) {
            bytes.append(data, std::min(length, maxBytes - bytes.size()));
            return bytes.size() < maxBytes;
        });
        // A read stopped at maxBytes is enough to show.
        const bool readable = whole || bytes.size() >= maxBytes;
        const QString detail = !readable && store && store->problems().size() > problemsBefore
                                   ? store->problems().last().detail
                                   : QString();
        answer([done, bytes, readable, detail] { done(bytes, readable, detail); });
    });
}

std::shared_ptr<mail::DbxStore> MailReader::storeOf(const ListedMessage& message) {
    if (message.identity < 0)
        return m_openStores.value(message.folder);
    const QPair<int, int> key{message.identity, message.folder};
    if (std::shared_ptr<mail::DbxStore> open = m_foundStores.value(key))
        return open;
    if (!m_source || message.identity >= m_trees.size() || message.folder < 0 ||
        message.folder >= m_trees[message.identity].folders.size())
        return nullptr;
    // A few stores stay open, so that reading through the results of a search costs few opens.
    constexpr int KeptOpen = 8;
    if (m_foundStores.size() >= KeptOpen)
        m_foundStores.clear();
    std::shared_ptr<mail::DbxStore> store = m_source->openStore(
        m_trees[message.identity].identity, m_trees[message.identity].folders[message.folder], nullptr);
    if (store)
        m_foundStores.insert(key, store);
    return store;
}

} // namespace stowline
