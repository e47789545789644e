#pragma once

#include <QByteArray>
#include <QString>

namespace stowline {

// The archive comment, decoded as UTF-8 or else Windows-1252; "" for a file that is missing,
// unreadable or no zip. Never throws.
QString ReadArchiveComment(const QString& path);

// Replaces the archive comment in place: only the end record changes, the members are not
// rewritten. At most 65535 bytes are kept. Throws VbError (53 missing, 321 no zip, 70 read-only).
void WriteArchiveComment(const QString& path, const QByteArray& comment);

} // namespace stowline
