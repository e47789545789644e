#include "ui/MailSearch.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace stowline {

namespace {

// Reports a build to the window at most every tenth of a second.
class PostingObserver final : public mail::MailIndexObserver {
public:
    PostingObserver(QObject& receiver, const MailSearch::Calls& calls, const std::atomic<bool>& stop)
        : m_receiver(receiver), m_calls(calls), m_stop(stop) {
        m_clock.start();
    }
    void progress(qint64 done, qint64 total) override {
        if (m_clock.elapsed() < 100 && done < total)
            return;
        m_clock.restart();
        QMetaObject::invokeMethod(
            &m_receiver, [call = m_calls.progress, done, total] { call(done, total); }, Qt::QueuedConnection);
    }
    void committed() override {
        QMetaObject::invokeMethod(&m_receiver, m_calls.committed, Qt::QueuedConnection);
    }
    bool cancelRequested() override { return m_stop; }

private:
    QObject& m_receiver;
    const MailSearch::Calls& m_calls;
    const std::atomic<bool>& m_stop;
    QElapsedTimer m_clock;
};

} // namespace

MailSearch::MailSearch(QObject& receiver) : m_receiver(receiver) {
    m_context.moveToThread(&m_thread);
    m_thread.start();
}

MailSearch::~MailSearch() {
    m_stop = true;
    m_thread.quit();
    m_thread.wait();
}

void MailSearch::start(const QString& archivePath, Calls calls) {
    QMetaObject::invokeMethod(
        &m_context,
        [this, archivePath, calls] {
            QString error;
            std::unique_ptr<mail::MailSource> source = mail::MailSource::openArchive(archivePath, &error);
            std::unique_ptr<mail::MailIndex> index =
                source ? mail::MailIndex::open(*source, &error) : nullptr;
            const std::shared_ptr<mail::MailIndex> reading(index ? index->reopen(&error) : nullptr);
            bool complete = index && index->complete();
            QMetaObject::invokeMethod(
                &m_receiver, [this, reading] { m_reading = reading; }, Qt::QueuedConnection);
            if (index && !complete) {
                PostingObserver observer(m_receiver, calls, m_stop);
                complete = index->build(*source, observer, &error);
            }
            QMetaObject::invokeMethod(
                &m_receiver,
                [this, calls, complete, error] {
                    m_complete = complete;
                    calls.finished(complete, error);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

QList<mail::MailHit> MailSearch::search(const mail::MailQuery& query) const {
    return m_reading ? m_reading->search(query) : QList<mail::MailHit>();
}

} // namespace stowline
