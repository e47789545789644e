#pragma once

#include <QString>

namespace stowline::platform {

// Hands a web or mailto address to the desktop's default handler; the outcome is not reported.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void open(const QString& address) = 0;
};

} // namespace stowline::platform
