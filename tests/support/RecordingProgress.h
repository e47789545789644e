#pragma once

#include "foundation/ProgressView.h"
#include "ui/frmInterface.h"

#include <QStringList>

namespace stowline::test {

// The progress window as an engine sees it, keeping every status, file line and bar setting it was
// given, with the host of a run that reports to it.
class RecordingProgress : public ProgressView {
public:
    void setStatus(const QString& text) override { statuses << text; }
    void setFileLine(const QString& text) override { fileLines << text; }
    void setBars(int upper, int lower) override { bars = {upper, lower}; }
    void setCloseEnabled(bool enabled) override { closeEnabled = enabled; }
    QString status() const override { return statuses.value(statuses.size() - 1); }
    QString fileLine() const override { return fileLines.value(fileLines.size() - 1); }
    RunContext& run() { return host.run(); }

    QStringList statuses;
    QStringList fileLines;
    QPair<int, int> bars;
    bool closeEnabled = false;
    frmInterface host = frmInterface(*this);
};

} // namespace stowline::test
