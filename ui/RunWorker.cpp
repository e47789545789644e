#include "ui/RunWorker.h"

#include "ui/frmInterface.h"
#include "ui/frmProgress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>
#include <atomic>
#include <exception>
#include <memory>

namespace stowline {

namespace {

std::atomic<int> runsGoing = 0;

struct Run {
    explicit Run(frmProgress& window) : progress(window), host(progress) {
        // Direct: the token is safe to set from the window thread while the run reads it.
        QObject::connect(
            &window, &frmProgress::cancelRequested, &progress, [this] { host.run().cancel.request(); },
            Qt::DirectConnection);
    }
    QueuedProgress progress;
    frmInterface host;
    std::exception_ptr failure;
};

// The worker thread of one run. It is deleted, with the run, on this thread once everything the run
// reported has been delivered: those events were posted before its end.
QThread* newRunThread(RunWork work, const std::shared_ptr<Run>& run) {
    ++runsGoing;
    QThread* thread = QThread::create([run, work = std::move(work)] {
        try {
            work(run->host.run());
        } catch (...) {
            run->failure = std::current_exception();
        }
    });
    QObject::connect(thread, &QThread::finished, QCoreApplication::instance(), [thread] {
        thread->deleteLater();
        --runsGoing;
    });
    return thread;
}

} // namespace

QueuedProgress::QueuedProgress(frmProgress& window) {
    constexpr auto queued = Qt::QueuedConnection;
    connect(this, &QueuedProgress::statusSet, &window, &frmProgress::setStatus, queued);
    connect(this, &QueuedProgress::fileLineSet, &window, &frmProgress::setFileLine, queued);
    connect(this, &QueuedProgress::barsSet, &window, &frmProgress::setBars, queued);
    connect(this, &QueuedProgress::closeEnabledSet, &window, &frmProgress::setCloseEnabled, queued);
    connect(this, &QueuedProgress::summaryShown, &window, &frmProgress::showSummary, queued);
    window.clearSummary();
}

void QueuedProgress::setStatus(const QString& text) {
    {
        const QMutexLocker lock(&m_mutex);
        m_status = text;
    }
    emit statusSet(text);
}

void QueuedProgress::setFileLine(const QString& text) {
    {
        const QMutexLocker lock(&m_mutex);
        m_fileLine = text;
    }
    emit fileLineSet(text);
}

void QueuedProgress::setBars(int upper, int lower) { emit barsSet(upper, lower); }

void QueuedProgress::setCloseEnabled(bool enabled) { emit closeEnabledSet(enabled); }

void QueuedProgress::showSummary(const QStringList& lines, const QString& folder) {
    emit summaryShown(lines, folder);
}

QString QueuedProgress::status() const {
    const QMutexLocker lock(&m_mutex);
    return m_status;
}

QString QueuedProgress::fileLine() const {
    const QMutexLocker lock(&m_mutex);
    return m_fileLine;
}

void StartRun(frmProgress& window, RunWork work) {
    auto run = std::make_shared<Run>(window);
    newRunThread(std::move(work), run)->start();
}

void RunAndWait(frmProgress& window, RunWork work) {
    auto run = std::make_shared<Run>(window);
    QThread* thread = newRunThread(std::move(work), run);
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread->start();
    loop.exec();
    if (run->failure)
        std::rethrow_exception(run->failure);
}

bool RunGoing() { return runsGoing > 0; }

} // namespace stowline
