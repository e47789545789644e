#pragma once

#include <QString>

namespace stowline {

struct RunContext;
class Questions;

// wab/wab_key.reg (export of HKCU\Software\Microsoft\WAB\WAB4) and wab/wab_data.zip (the folder
// that holds the address book file) in the workspace. False when the key could not be exported (the
// user was told).
bool WAB_Compress(RunContext& run);

// Exports key (full name) to file with our regedit; when that fails, tells the user which key and
// what happened, and returns false.
bool ExportKey(const QString& file, const QString& key, Questions& ask);

// Creates an item's folder in the workspace ("wab", "ief"); one already there is a failure.
void CreateItemFolder(const QString& folder);

} // namespace stowline
