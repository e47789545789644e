#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace stowline::mail {

// Text as the full-text index stores and searches it: its words (letters, digits and marks of any
// script) case folded, Latin letters without their diacritics, in UTF-8, joined by single spaces.
// The index splits only at those spaces, so indexed text and query words must both come through here.
// Appends to `out`, after a space when `out` holds tokens already.
void AppendSearchTokens(QByteArrayView utf8, QByteArray& out);
QByteArray SearchTokens(QByteArrayView utf8);
QString SearchTokens(QStringView text);

} // namespace stowline::mail
