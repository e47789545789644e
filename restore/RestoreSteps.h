#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace stowline {

class cmpZIP;
class Questions;
struct RunContext;

// Small steps the item restorers share.

// TempDir() + "stowline/": where the run unpacked the archive.
QString WorkspaceFolder();
// An item's zip as the run reads it: where it lies in the archive when stored there as it is (no
// copy through the workspace), else its copy unpacked into the workspace.
struct ItemZip {
    QString file;
    QString member;                   // the zip's name in file; empty when file is the zip itself
    std::optional<QStringList> names; // its members' names, once its check listed them
};
ItemZip ItemZipOf(const QString& archivePath, const QString& member);
// After a call whose own trap may have reported a failure, which every choice in the crash
// window ends the program from: ends the calling procedure quietly.
void StopIfFailureReported();
// Imports a registry file with regedit, waiting for it to finish; what went wrong, empty when
// nothing did.
QString ImportRegFile(const QString& regFile);
// Makes folder when missing and unpacks the zip into it, after the journal kept what that replaces.
// A member that turns out damaged stops the restore (see StopRestore) and gives false.
bool UnpackKept(RunContext& run, const ItemZip& itemZip, const QString& folder, const QString& header);
// Puts back everything the restore changed, then tells the user why it stopped: header names the
// item, what says what happened.
void StopRestore(Questions& ask, const QString& header, const QString& what);
// Unpacks every member of a zip below folder, with its stored relative folders.
void UnpackZip(cmpZIP& zip, const ItemZip& itemZip, const QString& folder);
// The part after the last '/' or '\' (archives made on Windows name files with '\').
QString FileNamePart(const QString& path);

} // namespace stowline
