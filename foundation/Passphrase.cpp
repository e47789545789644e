#include "foundation/Passphrase.h"

#include <QRandomGenerator>
#include <cmath>

namespace stowline {

namespace {

constexpr char Alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789"; // 32 symbols: 5 bits each
constexpr int Groups = 6;
constexpr int GroupSize = 4;
// A word of a 8,192-word list; a run of letters is worth no more than one such word.
constexpr double BitsPerWord = 13.0;
constexpr double BitsPerLetter = 4.7;
constexpr double BitsPerDigit = 3.3;
constexpr double BitsPerOther = 5.0;

enum class Kind { Letter, Digit, Other };

Kind kindOf(QChar c) {
    if (c.isLetter())
        return Kind::Letter;
    return c.isDigit() ? Kind::Digit : Kind::Other;
}

// A character the guesser predicts: the same as the one before, or the next or previous in a count.
bool predictable(QChar previous, QChar c) { return std::abs(c.unicode() - previous.unicode()) <= 1; }

} // namespace

QString GeneratePassphrase() {
    const QString symbols = QString::fromLatin1(Alphabet);
    QString out;
    QRandomGenerator* random = QRandomGenerator::system();
    for (int group = 0; group < Groups; ++group) {
        if (group > 0)
            out += u'-';
        for (int i = 0; i < GroupSize; ++i)
            out += symbols.at(static_cast<qsizetype>(random->bounded(static_cast<quint32>(symbols.size()))));
    }
    return out;
}

double EstimatedPassphraseBits(const QString& passphrase) {
    double bits = 0;
    double letterRun = 0;
    QChar previous;
    for (qsizetype i = 0; i < passphrase.size(); ++i) {
        const QChar c = passphrase.at(i);
        const Kind kind = kindOf(c);
        const bool guessed = i > 0 && predictable(previous, c);
        if (kind != Kind::Letter && letterRun > 0) {
            bits += std::min(letterRun, BitsPerWord);
            letterRun = 0;
        }
        if (!guessed) {
            if (kind == Kind::Letter)
                letterRun += BitsPerLetter;
            else
                bits += kind == Kind::Digit ? BitsPerDigit : (c.isSpace() || c == u'-' ? 1.0 : BitsPerOther);
        }
        previous = c;
    }
    return bits + std::min(letterRun, BitsPerWord);
}

} // namespace stowline
