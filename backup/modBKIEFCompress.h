#pragma once

#include "archive/ZipCompressor.h"

namespace stowline {

struct RunContext;

// ief/ief_data.zip of the Favorites folder in the workspace; a walk of that folder started
// beforehand is handed to the archive.
void IEF_Compress(RunContext& run, ZipFolderWalk walk = {});

// Starts walking the Favorites, usually the item with the most files, so that the walk runs while
// the identities are exported.
ZipFolderWalk IEF_StartWalk(const QString& archivePath);

} // namespace stowline
