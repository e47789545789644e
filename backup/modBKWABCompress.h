#pragma once

#include <QString>

namespace stowline {

struct RunContext;

// wab/wab_key.reg (export of HKCU\Software\Microsoft\WAB\WAB4) and wab/wab_data.zip (the folder
// that holds the address book file) in the workspace.
void WAB_Compress(RunContext& run);

// Creates an item's folder in the workspace ("wab", "ief"); one already there is a failure.
void CreateItemFolder(const QString& folder);

} // namespace stowline
