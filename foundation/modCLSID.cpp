#include "foundation/modCLSID.h"

#include "foundation/modError.h"

#include <array>

namespace stowline {

namespace {

using GuidBytes = std::array<quint8, 16>;

int hexValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

// A pair of characters read as hex: a non-digit ends the number, nothing readable gives 0.
quint8 pairValue(QStringView pair) {
    int value = 0;
    for (QChar c : pair) {
        const int digit = hexValue(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<quint8>(value);
}

// The first three fields are little-endian in memory, so their bytes print reversed.
constexpr std::array<int, 16> kPrintOrder{3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::array<int, 4> kDashAfterPrinted{4, 6, 8, 10};

QString hexByte(quint8 value) {
    return QStringLiteral("%1").arg(value, 2, 16, QChar(u'0')).toUpper();
}

QString bracketedForm(const GuidBytes& bytes) {
    QString text = QStringLiteral("{");
    for (int printed = 0; printed < 16; ++printed) {
        for (int dash : kDashAfterPrinted)
            if (printed == dash)
                text += u'-';
        text += hexByte(bytes[kPrintOrder[printed]]);
    }
    return text + u'}';
}

bool isBracketedLayout(const QString& text) {
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return false;
    for (qsizetype i = 1; i < 37; ++i) {
        const bool dashPlace = i == 9 || i == 14 || i == 19 || i == 24;
        if (dashPlace ? text[i] != u'-' : hexValue(text[i]) < 0)
            return false;
    }
    return true;
}

GuidBytes parseBracketed(const QString& text) {
    GuidBytes bytes{};
    if (!isBracketedLayout(text))
        return bytes;
    QString digits = text.mid(1, 36);
    digits.remove(u'-');
    for (int printed = 0; printed < 16; ++printed)
        bytes[kPrintOrder[printed]] = pairValue(QStringView(digits).mid(printed * 2, 2));
    return bytes;
}

} // namespace

QString GetCLSID(const QString& raw) {
    QString result;
    TRAP_BEGIN("modCLSID:GetCLSID")
        GuidBytes bytes{};
        STEP(1) for (int position = 0; position < 16; ++position) {
            bytes[position] = pairValue(QStringView(raw).mid(2 * position, 2));
        }
        STEP(2) result = bracketedForm(bytes);
    TRAP_END
    return result;
}

QString CLSID(const QString& bracketed) {
    QString result;
    TRAP_BEGIN("modCLSID:CLSID")
        STEP(1) const GuidBytes bytes = parseBracketed(bracketed);
        STEP(2) for (quint8 byte : bytes) {
            result += hexByte(byte);
        }
    TRAP_END
    return result;
}

} // namespace stowline
