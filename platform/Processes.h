#pragma once

#include <QString>
#include <QStringList>

namespace stowline::platform {

// How a child ended.
struct ChildEnd {
    enum class How { NotStarted, Exited, Signalled };
    How how = How::NotStarted;
    int code = 0; // the exit status, or the signal that ended it
    bool succeeded() const { return how == How::Exited && code == 0; }
};

class Processes {
public:
    virtual ~Processes() = default;
    // Runs the program and waits for it without a time limit.
    virtual ChildEnd runAndWait(const QString& program, const QStringList& arguments) = 0;
    // Starts the program and returns at once.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

} // namespace stowline::platform
