#pragma once

#include <QString>

namespace stowline {

struct RunContext;

// Builds the archive, stamps it with the item flags and places it at destination: directly on a
// fixed drive, through a temporary archive on any other. Removes the workspace.
void SaveArchive(const QString& destination, const QString& itemFlags, RunContext& run);

} // namespace stowline
