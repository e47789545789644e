#pragma once

#include <QString>
#include <QTextStream>

namespace stowline {

// `stowline --verify FILE`: reads the archive back whole; 0 when it is sound, 1 (the reason on
// stderr) when not.
int VerifyCommand(const QString& archivePath, QTextStream& out, QTextStream& err);

// `stowline --status`: the hub's status line, one part a line; 0 healthy, 1 overdue or failed.
int StatusCommand(QTextStream& out);

// `stowline --undo-restore`: puts back what the last restore changed. 0 when it did, 1 otherwise.
int UndoRestoreCommand(QTextStream& out, QTextStream& err);

} // namespace stowline
