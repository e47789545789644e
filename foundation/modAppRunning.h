#pragma once

#include "platform/Processes.h"

#include <QString>
#include <QStringList>
#include <future>
#include <optional>

namespace stowline {

// Splits a command line with the Windows quoting rules (the program name, then each argument).
QStringList SplitCommandLine(const QString& commandLine);
// Runs a Windows-style command line and waits for it to end. "regedit" runs our stowline-regedit.
// Returns what went wrong for the user to read ("stowline-regedit ended with exit status 1"): empty
// when the program ran and ended with status 0.
QString ExecCmd(const QString& commandLine);

// A command line started on a thread of its own, so that several children run side by side; finish
// waits for it and returns what ExecCmd would. A regedit command the registry keeps in this process
// runs at once, here.
class StartedCommand {
public:
    explicit StartedCommand(const QString& commandLine);
    QString finish();

private:
    QString m_program;
    std::optional<QString> m_failure; // known when it started
    std::future<platform::ChildEnd> m_end;
};
// Starts a command line without waiting (the mail program).
void StartDetached(const QString& commandLine);

} // namespace stowline
