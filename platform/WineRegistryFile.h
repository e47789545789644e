#pragma once

#include "platform/RegistryTree.h"

#include <QIODevice>

namespace stowline::platform {

// One of Wine's registry files (user.reg, system.reg) in memory: what comes before the first key
// (the ";; All keys relative to" and "#arch=" lines), kept as read, and the keys.
struct WineRegistryFile {
    QByteArray text; // the file as read: keys not yet asked for keep views into it
    QByteArray preamble;
    TreeHive hive;
};

// Reads a file Wine wrote ("WINE REGISTRY Version 2", "[Key\\Path] time" sections, "#time=",
// escaped strings, str(N):, dword:, hex(N): with "\" continuations). Throws RegistryError naming
// fileName and the line for anything Wine would not have written: a missing header, a key line
// without "]", a value that does not parse, a file cut off in the middle of a line.
WineRegistryFile readWineRegistry(QIODevice& in, const QString& fileName);

// Writes the file as Wine itself does, so an unchanged file comes out byte for byte as it was.
QByteArray wineRegistryText(const WineRegistryFile& file);

} // namespace stowline::platform
