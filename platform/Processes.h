#pragma once

#include <QString>
#include <QStringList>

namespace stowline::platform {

class Processes {
public:
    virtual ~Processes() = default;
    // Runs the program and waits for it without a time limit; false when it could not start.
    virtual bool runAndWait(const QString& program, const QStringList& arguments) = 0;
    // Starts the program and returns at once.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

} // namespace stowline::platform
