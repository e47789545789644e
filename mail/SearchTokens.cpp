#include "mail/SearchTokens.h"

#include <QChar>
#include <array>
#include <cstring>
#include <vector>

namespace stowline::mail {

namespace {

// What a code point becomes inside a token, besides another code point.
constexpr char32_t Separator = 0xffffffff; // ends the token
constexpr char32_t Dropped = 0;            // a combining mark: the token goes on without it
constexpr char32_t Undecodable = 0xfffd;

constexpr std::array<char, 128> asciiFolds() {
    std::array<char, 128> folds{};
    for (char c = '0'; c <= '9'; ++c)
        folds[size_t(c)] = c;
    for (char c = 'a'; c <= 'z'; ++c) {
        folds[size_t(c)] = c;
        folds[size_t(c - 'a' + 'A')] = c;
    }
    return folds;
}
// Zero for a separator: most mail is ASCII, and this is all an ASCII byte costs.
constexpr std::array<char, 128> AsciiFolds = asciiFolds();

bool isTokenCategory(QChar::Category category) {
    switch (category) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Other_PrivateUse:
        return true;
    default:
        return false;
    }
}

char32_t firstOf(const QString& text) {
    return text.size() > 1 && text[0].isHighSurrogate() ? QChar::surrogateToUcs4(text[0], text[1])
                                                        : text[0].unicode();
}

// A letter that is an ASCII letter with marks (é, ǖ, ṩ) loses the marks; others (й, ά, Hangul) stay whole.
char32_t withoutDiacritics(char32_t c) {
    char32_t base = c;
    while (base >= 0x80 && QChar::decompositionTag(base) == QChar::Canonical)
        base = firstOf(QChar::decomposition(base));
    return (base >= 'a' && base <= 'z') || (base >= 'A' && base <= 'Z') ? char32_t(AsciiFolds[base]) : c;
}

char32_t foldOf(char32_t c) {
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing)
        return Dropped;
    if (!isTokenCategory(category))
        return Separator;
    return withoutDiacritics(QChar::toCaseFolded(c));
}

// Latin, Greek, Cyrillic and the other alphabets below it are looked up; CJK and the rest are
// folded as they come, which costs little since they have no case and no diacritics to drop.
constexpr char32_t TabledCodePoints = 0x2000;

// A tabled code point folded, ready to copy: its UTF-8 (none for a dropped mark), or a separator.
struct Fold {
    signed char size = -1;
    char utf8[3] = {};
};

char* encodeUtf8(char32_t c, char* out) {
    if (c == Dropped) {
        return out;
    } else if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xc0 | c >> 6);
        *out++ = char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *out++ = char(0xe0 | c >> 12);
        *out++ = char(0x80 | (c >> 6 & 0x3f));
        *out++ = char(0x80 | (c & 0x3f));
    } else {
        *out++ = char(0xf0 | c >> 18);
        *out++ = char(0x80 | (c >> 12 & 0x3f));
        *out++ = char(0x80 | (c >> 6 & 0x3f));
        *out++ = char(0x80 | (c & 0x3f));
    }
    return out;
}

// Made on the first text that is not ASCII, so that an ASCII query costs no table.
const Fold* foldTable() {
    static const std::vector<Fold> table = [] {
        std::vector<Fold> folds(TabledCodePoints);
        for (char32_t code = 0; code < TabledCodePoints; ++code) {
            const char32_t folded = foldOf(code);
            if (folded != Separator)
                folds[code].size = char(encodeUtf8(folded, folds[code].utf8) - folds[code].utf8);
        }
        return folds;
    }();
    return table.data();
}

// The code point that starts at p (p moved past it); a malformed sequence is one undecodable byte.
char32_t decodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p++;
    if (lead < 0xc2 || lead > 0xf4)
        return Undecodable;
    const int following = lead < 0xe0 ? 1 : lead < 0xf0 ? 2 : 3;
    char32_t c = lead & (0x3f >> following);
    const unsigned char* q = p;
    for (int i = 0; i < following; ++i, ++q) {
        if (q == end || (*q & 0xc0) != 0x80)
            return Undecodable;
        c = c << 6 | (*q & 0x3f);
    }
    p = q;
    return c;
}

} // namespace

void AppendSearchTokens(QByteArrayView utf8, QByteArray& out) {
    const qsizetype start = out.size();
    // A folded code point takes at most half as many bytes again, a space replaces a separator, and a
    // tabled one is copied as three bytes.
    out.resize(start + 2 * utf8.size() + 4);
    char* const begin = out.data() + start;
    char* o = begin;
    if (start > 0)
        *o++ = ' ';
    // A separator after a word writes the space; more separators overwrite it without moving on,
    // which keeps the loop over ASCII text free of branches that mispredict at every word.
    bool inWord = false;
    const Fold* table = nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        if (*p < 0x80) {
            const char c = AsciiFolds[*p++];
            const bool letter = c != 0;
            *o = letter ? c : ' ';
            o += letter || inWord;
            inWord = letter;
            continue;
        }
        const char32_t code = decodeUtf8(p, end);
        if (code < TabledCodePoints) {
            if (!table)
                table = foldTable();
            const Fold& fold = table[code];
            if (fold.size > 0) {
                std::memcpy(o, fold.utf8, sizeof fold.utf8);
                o += fold.size;
                inWord = true;
            } else if (fold.size < 0) {
                *o = ' ';
                o += inWord;
                inWord = false;
            }
            continue;
        }
        const char32_t folded = foldOf(code);
        if (folded == Separator) {
            *o = ' ';
            o += inWord;
            inWord = false;
        } else if (folded != Dropped) {
            o = encodeUtf8(folded, o);
            inWord = true;
        }
    }
    if (o != begin && o[-1] == ' ')
        --o;
    out.truncate(o - out.data());
}

QByteArray SearchTokens(QByteArrayView utf8) {
    QByteArray tokens;
    AppendSearchTokens(utf8, tokens);
    return tokens;
}

QString SearchTokens(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return QString::fromUtf8(SearchTokens(QByteArrayView(utf8)));
}

} // namespace stowline::mail
