#pragma once

#include <QString>

namespace stowline {

// A passphrase for encrypted archives, made from the system's random source: 24 characters of an
// alphabet without look-alikes (no 0/O, 1/I), 5 bits each, in groups of four: 120 bits that a
// person copies by hand without a mistake.
QString GeneratePassphrase();

// A cautious estimate of a typed passphrase's strength in bits, as a guesser who knows how people
// choose would see it: a run of letters counts at most as much as a word from a large list, digits
// and other characters count by their kind, and a repeated or counted-on character adds nothing.
double EstimatedPassphraseBits(const QString& passphrase);

// Typed passphrases weaker than this are refused: the archive format's key derivation is fast.
constexpr double MinimumPassphraseBits = 60.0;

} // namespace stowline
