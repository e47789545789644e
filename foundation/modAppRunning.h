#pragma once

#include <QString>
#include <QStringList>

namespace stowline {

// Splits a command line with the Windows quoting rules (the program name, then each argument).
QStringList SplitCommandLine(const QString& commandLine);
// Runs a Windows-style command line and waits for it to end. "regedit" runs our stowline-regedit.
// Returns what went wrong for the user to read ("stowline-regedit ended with exit status 1"): empty
// when the program ran and ended with status 0.
QString ExecCmd(const QString& commandLine);
// Starts a command line without waiting (the mail program).
void StartDetached(const QString& commandLine);

} // namespace stowline
