#pragma once

#include <QString>

namespace stowline {

class cmpZIP;

// Small steps the item restorers share.

// TempDir() + "stowline/": where the run unpacked the archive.
QString WorkspaceFolder();
// After a call whose own trap may have reported a failure, which every choice in the crash
// window ends the program from: ends the calling procedure quietly.
void StopIfFailureReported();
// Imports a registry file with regedit, waiting for it to finish.
void ImportRegFile(const QString& regFile);
// Unpacks every member of a zip below folder, with its stored relative folders.
void UnpackZip(cmpZIP& zip, const QString& zipFile, const QString& folder);
// The part after the last '/' or '\' (archives made on Windows name files with '\').
QString FileNamePart(const QString& path);

} // namespace stowline
