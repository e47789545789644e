#pragma once

#include "foundation/RegFile.h"

#include <QString>
#include <QStringList>

namespace stowline {

// What reading an archive back found: nothing wrong, or the first member that failed and why.
struct VerifyResult {
    QString member;   // empty for the archive as a whole; "outer.zip: inner" inside an inner zip
    int reasonId = 0; // string-table text of the reason; 0 when the archive is sound
    QString detail;   // what the reason refers to, such as a registry file's broken line
    bool ok() const { return reasonId == 0; }
};

// How a backup's saving ended: whether an archive was placed and what reading it back found.
struct SavedArchive {
    bool placed = false;
    VerifyResult verify;
    qint64 size = -1;
    bool ok() const { return placed && verify.ok(); }
};

// How far a read-back goes. Placed checks what writing and placing can have broken: the central
// directory, every member's CRC (which covers every byte of a stored inner zip), each inner zip's
// directory, and every .reg member through the strict registry parser. Full also inflates every inner
// member against its own CRC, which catches a fault of the compressor itself, at about four times the cost.
enum class VerifyDepth { Placed, Full };

// Reads the archive back, streaming, on every core: the named members only, all when none is named.
VerifyResult VerifyArchive(const QString& archivePath, VerifyDepth depth = VerifyDepth::Full,
                           const QStringList& members = {});

// Hands every change of a .reg member of the archive to sink, streaming it out of the archive;
// false when the member is missing or does not parse.
bool ParseRegMember(const QString& archivePath, const QString& memberName, const RegFileSink& sink);

// One line for the user: the archive, the member and the reason.
QString VerifyFailureText(const QString& archivePath, const VerifyResult& result);

} // namespace stowline
