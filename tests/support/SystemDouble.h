#pragma once

#include "platform/Shell.h"
#include "platform/System.h"

#include <QStringList>

namespace stowline::test {

// The real system, except: a settable date, a reboot that is only counted, and an end of the
// program that throws platform::ProgramEnded for the test to catch.
class SystemDouble : public platform::System {
public:
    QDate date = QDate(2026, 12, 5);
    int rebootRequests = 0;
    int localeIdValue = 1033;
    platform::OsVersion version{4, 10, 67766222, 1};

    QString documentsFolder() override;
    QString homeFolder() override;
    QString tempFolder() override;
    platform::OsVersion osVersion() override { return version; }
    int localeId() override { return localeIdValue; }
    QDate today() override { return date; }
    void requestReboot() override { ++rebootRequests; }
    [[noreturn]] void endProgram(int exitCode) override { throw platform::ProgramEnded{exitCode}; }
};

class ShellDouble : public platform::Shell {
public:
    QStringList opened;
    bool handled = true; // false: as if no program took the address
    bool open(const QString& address) override {
        opened << address;
        return handled;
    }
};

} // namespace stowline::test
