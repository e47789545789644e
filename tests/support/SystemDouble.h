#pragma once

#include "platform/LinuxProcesses.h"
#include "platform/LinuxSystem.h"
#include "platform/Platform.h"
#include "platform/Shell.h"

#include <QStringList>

namespace stowline::test {

// The real system, except: a settable date, a fixed version and locale, a reboot that is only counted,
// and an end of the program that throws platform::ProgramEnded for the test to catch.
class SystemDouble : public platform::LinuxSystem {
public:
    QDate date = QDate(2026, 12, 5);
    int rebootRequests = 0;

    platform::OsVersion osVersion() override { return {4, 10, 67766222, 1}; }
    int localeId() override { return 1033; }
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

// Real child processes that are waited for (regedit); programs started without waiting (the mail
// program) are only recorded, as "program|argument|...". Installed while it lives.
class ProcessesDouble : public platform::Processes {
public:
    ProcessesDouble() { platform::install(this); }
    ~ProcessesDouble() override { platform::install(static_cast<platform::Processes*>(nullptr)); }
    platform::ChildEnd runAndWait(const QString& program, const QStringList& arguments) override {
        return m_real.runAndWait(program, arguments);
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started << (QStringList{program} + arguments).join(u'|');
        return true;
    }
    QStringList started;

private:
    platform::LinuxProcesses m_real;
};

} // namespace stowline::test
