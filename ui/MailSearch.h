#pragma once

#include "mail/MailIndex.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

namespace stowline {

// The full-text index of an archive for a window: found in the cache or built on a thread of its
// own, and searched on the window's thread, also while it is being built (then over what is indexed
// so far). Answers arrive on the thread of `receiver`, and none after the receiver is gone.
class MailSearch {
public:
    struct Calls {
        std::function<void(qint64 done, qint64 total)> progress;
        std::function<void()> committed; // more messages can be found
        std::function<void(bool complete, QString error)> finished;
    };

    explicit MailSearch(QObject& receiver);
    ~MailSearch(); // stops a build and waits for it
    MailSearch(const MailSearch&) = delete;
    MailSearch& operator=(const MailSearch&) = delete;

    void start(const QString& archivePath, Calls calls);
    // False until the index file is open.
    bool available() const { return m_reading != nullptr; }
    bool complete() const { return m_complete; }
    QList<mail::MailHit> search(const mail::MailQuery& query) const;

private:
    QObject& m_receiver;
    QThread m_thread;
    QObject m_context; // lives on m_thread
    std::atomic<bool> m_stop{false};
    std::shared_ptr<mail::MailIndex> m_reading; // the window thread's own connection
    bool m_complete = false;
};

} // namespace stowline
