#pragma once

#include "startup/CommandLineOptions.h"

#include <QTextStream>

namespace stowline {

// `stowline --export-mail DIR [--format F] [--recover] [ARCHIVE]`: exports every identity's mail and
// the Favorites; what could not be read goes to stderr, one line each. 0 all exported, 3 some
// messages not, 1 nothing readable.
int ExportMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err);

// `stowline --find-mail QUERY [ARCHIVE]`: one line a matching message, newest first, tab-separated:
// date (ISO 8601, UTC), identity, folder path, sender, subject. The source's index is built first when
// the cache holds none for it. 0 something matched, 1 nothing, 2 a bad query or source.
int FindMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err);
// `stowline --upload-mail imaps://USER@HOST[:PORT][/FOLDER] [ARCHIVE]`: uploads every identity's mail to
// the account; the password from --password-file, the keyring or the terminal. 0 all on the server,
// 3 some messages refused, 1 nothing uploaded (with a one-line reason on stderr).
int UploadMailCommand(const CommandLineOptions& options, QTextStream& out, QTextStream& err);

} // namespace stowline
