#pragma once

#include "platform/Shell.h"

namespace stowline::platform {

class LinuxShell : public Shell {
public:
    bool open(const QString& address) override;
};

} // namespace stowline::platform
