#pragma once

#include "archive/ArchiveVerify.h"

#include <QString>

namespace stowline {

struct RunContext;

// Builds the archive, stamps it with the item flags and places it at destination: directly on a
// fixed drive, through a temporary archive on any other. A placed archive is read back whole
// before the run says it is done. Removes the workspace.
SavedArchive SaveArchive(const QString& destination, const QString& itemFlags, RunContext& run);

} // namespace stowline
