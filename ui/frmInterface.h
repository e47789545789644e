#pragma once

#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "ui/DialogQuestions.h"

#include <QObject>

namespace stowline {

class ProgressView;

// The hidden host of one run: its zip component, whose events it passes on to the run's progress,
// and the run's cancel. It is no window; it lives as long as the run.
class frmInterface : public QObject {
    Q_OBJECT
public:
    explicit frmInterface(ProgressView& progress, QObject* parent = nullptr);

    cmpZIP& zip() { return m_cmpZIP; }
    RunContext& run() { return m_run; }

private slots:
    void cmpZIP_FileStartedCompressing(const QString& path);
    void cmpZIP_FileStartedDecompressing(const QString& path);
    void cmpZIP_OnError(int code);
    void cmpZIP_ProcessEnded();
    void cmpZIP_Statistics(double wholeRunPercent, double currentFilePercent);

private:
    void showFileLine(const QString& path);

    ProgressView& m_progress;
    cmpZIP m_cmpZIP;
    CancelToken m_cancel;
    DialogQuestions m_questions;
    RunContext m_run;
};

} // namespace stowline
