#pragma once

#include <QString>

namespace stowline {

// Small steps the item restorers share.

// TempDir() + "stowline/": where the run unpacked the archive.
QString WorkspaceFolder();
// Status line of the progress window, then a chance to repaint.
void ShowStatus(const QString& text);
// True once a failure has been reported in the crash window: the run must stop, every choice
// there ends the program.
bool FailureReported();
// After a call whose own trap may have reported a failure: ends the calling procedure quietly.
void StopIfFailureReported();
// Imports a registry file with regedit, waiting for it to finish.
void ImportRegFile(const QString& regFile);
// Unpacks every member of a zip below folder, with its stored relative folders.
void UnpackZip(const QString& zipFile, const QString& folder);
// The part after the last '/' or '\' (archives made on Windows name files with '\').
QString FileNamePart(const QString& path);

} // namespace stowline
