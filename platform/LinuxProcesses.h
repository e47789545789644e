#pragma once

#include "platform/Processes.h"

namespace stowline::platform {

class LinuxProcesses : public Processes {
public:
    ChildEnd runAndWait(const QString& program, const QStringList& arguments) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace stowline::platform
