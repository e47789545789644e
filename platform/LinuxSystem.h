#pragma once

#include "platform/System.h"

namespace stowline::platform {

class LinuxSystem : public System {
public:
    QString documentsFolder() override;
    QString homeFolder() override;
    QString tempFolder() override;
    OsVersion osVersion() override;
    int localeId() override;
    QDate today() override;
    void requestReboot() override;
    [[noreturn]] void endProgram(int exitCode) override;
};

// Maps a POSIX locale name ("ja_JP.UTF-8") to a Windows locale id; unknown ones give 1033.
int windowsLocaleId(const QString& localeName);

} // namespace stowline::platform
