#pragma once

#include "mail/MailSource.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

namespace stowline {

// One identity of a mail source with its folders in tree order.
struct MailTree {
    mail::MailIdentity identity;
    QList<mail::MailFolder> folders;
};

// A message of a listing and the folder (its position in the identity's folders) it lies in.
struct ListedMessage {
    int folder = 0;
    mail::MessageEntry entry;
    int identity = -1; // set for a message found by a search: its store is opened when read
};

// A mail source read on a thread of its own, so that a window stays live while stores are opened
// and listed. Requests are served in order; each answer arrives on the thread of `receiver`, and
// none after the receiver is gone.
class MailReader {
public:
    explicit MailReader(QObject& receiver);
    ~MailReader();
    MailReader(const MailReader&) = delete;
    MailReader& operator=(const MailReader&) = delete;

    // Opens the archive and reads every identity's folder tree; error empty on success.
    void open(const QString& archivePath, std::function<void(QList<MailTree>, QString error)> done);
    // Lists the messages of the given folders of one identity; the problems name what could not be read.
    // A listing still running when the next one is asked for stops, and answers nothing.
    void list(int identity, const QList<int>& folders,
              std::function<void(QList<ListedMessage>, QStringList problems)> done);
    // Stops the listing under way (it answers nothing), so that it inflates no store another reader needs.
    void stopListing() { ++m_listsAsked; }
    // The first maxBytes of a message of the last listing; readable false, with what the store says
    // about it, when its text breaks off.
    void read(const ListedMessage& message, qint64 maxBytes,
              std::function<void(QByteArray, bool readable, QString detail)> done);

private:
    template <class Work> void onReaderThread(Work work);
    template <class Answer> void answer(Answer answer);

    QObject& m_receiver;
    QThread m_thread;
    QObject m_context; // lives on m_thread
    std::atomic<quint64> m_listsAsked{0};
    // Touched on m_thread only.
    std::unique_ptr<mail::MailSource> m_source;
    QList<MailTree> m_trees;
    QHash<int, std::shared_ptr<mail::DbxStore>> m_openStores;              // by folder, of the last listing
    QHash<QPair<int, int>, std::shared_ptr<mail::DbxStore>> m_foundStores; // by identity and folder
    std::shared_ptr<mail::DbxStore> storeOf(const ListedMessage& message);
};

} // namespace stowline
