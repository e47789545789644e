#pragma once

#include <QByteArrayView>
#include <QString>

namespace stowline {

// Text found in archives and their small text files: UTF-8 when the bytes are valid UTF-8, else
// Windows-1252, the code page older Windows systems wrote them in.
QString DecodeArchiveText(QByteArrayView bytes);

} // namespace stowline
