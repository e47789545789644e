#pragma once

#include "foundation/ProgressView.h"

#include <QMutex>
#include <QObject>
#include <functional>

namespace stowline {

class frmProgress;
struct RunContext;

// The progress window as a run on a worker thread sees it: every change reaches the window through
// a queued signal, in order, and the texts last set can be read back on any thread.
class QueuedProgress : public QObject, public ProgressView {
    Q_OBJECT
public:
    explicit QueuedProgress(frmProgress& window);

    void setStatus(const QString& text) override;
    void setFileLine(const QString& text) override;
    void setBars(int upper, int lower) override;
    void setCloseEnabled(bool enabled) override;
    void showSummary(const QStringList& lines, const QString& folder) override;
    QString status() const override;
    QString fileLine() const override;

signals:
    void statusSet(const QString& text);
    void fileLineSet(const QString& text);
    void barsSet(int upper, int lower);
    void closeEnabledSet(bool enabled);
    void summaryShown(const QStringList& lines, const QString& folder);

private:
    mutable QMutex m_mutex;
    QString m_status;
    QString m_fileLine;
};

using RunWork = std::function<void(RunContext& run)>;

// Starts work on a worker thread, with a zip component of its own reporting to window, and returns
// at once: the windows stay painted and live while it goes on.
void StartRun(frmProgress& window, RunWork work);
// The same, waiting for the work while this thread goes on processing its events; what the work
// threw is thrown again here.
void RunAndWait(frmProgress& window, RunWork work);
// True from the start of a run until the window has been told everything it reported.
bool RunGoing();

} // namespace stowline
