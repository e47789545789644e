// The .reg reader, lenient and strict, on any bytes (either format, any header).
#include "foundation/RegFile.h"

#include <QBuffer>

using namespace stowline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const bool strict : {false, true}) {
        QBuffer in;
        in.setData(bytes);
        in.open(QIODevice::ReadOnly);
        try {
            if (strict)
                parseRegFile(in, [](const RegFileOp&) {});
            else
                parseRegFile(
                    in, [](const RegFileOp&) {}, [](int, const QString&) {});
        } catch (const RegFileError&) {
        }
    }
    return 0;
}
