#pragma once

#include <QString>
#include <QStringList>

namespace stowline {

// What a run shows while it works: the progress window as the engines see it.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void setStatus(const QString& text) = 0;   // lblComment1
    virtual void setFileLine(const QString& text) = 0; // lblComment2
    virtual void setBars(int upper, int lower) = 0;
    virtual void setCloseEnabled(bool enabled) = 0;
    virtual QString status() const = 0;
    virtual QString fileLine() const = 0;
    // After the last status: what the run did, and the folder "Open folder" shows (none when empty).
    virtual void showSummary(const QStringList& lines, const QString& folder) {
        Q_UNUSED(lines);
        Q_UNUSED(folder);
    }
};

} // namespace stowline
