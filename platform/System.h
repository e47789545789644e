#pragma once

#include <QDate>
#include <QString>

namespace stowline::platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    int platformId = 0;
};

// Thrown by a test double's endProgram so that a test can watch the program end.
struct ProgramEnded {
    int exitCode = 0;
};

class System {
public:
    virtual ~System() = default;
    virtual QString documentsFolder() = 0; // the desktop's documents folder, no trailing '/'
    virtual QString homeFolder() = 0;
    // This user's own temporary folder, $TMPDIR/stowline-<uid> (else /tmp/...); no trailing '/'. It
    // may not exist yet; whoever writes there first makes and checks it.
    virtual QString tempFolder() = 0;
    virtual OsVersion osVersion() = 0;
    virtual int localeId() = 0; // the user's locale as a Windows locale id
    virtual QDate today() = 0;
    virtual void requestReboot() = 0;
    // Ends the program at once, without unload handlers.
    [[noreturn]] virtual void endProgram(int exitCode) = 0;
};

} // namespace stowline::platform
