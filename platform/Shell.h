#pragma once

#include <QString>

namespace stowline::platform {

// Hands a web, mailto or file address to the desktop's default handler.
class Shell {
public:
    virtual ~Shell() = default;
    // False when no program took the address (no browser, mail program or file manager).
    virtual bool open(const QString& address) = 0;
};

} // namespace stowline::platform
