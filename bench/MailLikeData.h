#pragma once

#include <QString>

namespace stowline::bench {

struct MailLikeSpec {
    quint64 totalBytes = 1ull << 30;
    quint32 seed = 1;
    int tinyFiles = 3000;             // favorites-like shortcuts of a few hundred bytes
    double incompressibleShare = 0.2; // attachment-like blocks of random bytes
};

// Fills a folder with data shaped like a mail profile: a few large message stores of mail text
// (which deflate shrinks three to five times) interleaved with incompressible attachment blocks,
// a small address book folder and thousands of tiny shortcut files in nested folders. The same
// shape always gives the same bytes. Returns the bytes written.
quint64 GenerateMailLikeFolder(const QString& folder, const MailLikeSpec& shape);

} // namespace stowline::bench
