#pragma once

#include "foundation/RegFile.h"

#include <QString>

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

// Reads the whole archive back in one streaming pass: its central directory, every member's CRC,
// every inner zip's members and CRCs, and every .reg member through the strict registry parser.
VerifyResult VerifyArchive(const QString& archivePath);

// Hands every change of a .reg member of the archive to sink, streaming it out of the archive;
// false when the member is missing or does not parse.
bool ParseRegMember(const QString& archivePath, const QString& memberName, const RegFileSink& sink);

// One line for the user: the archive, the member and the reason.
QString VerifyFailureText(const QString& archivePath, const VerifyResult& result);

} // namespace stowline
