// Both command-line parsers on arguments split at NUL bytes.
#include "startup/CommandLineOptions.h"
#include "tools/RegEditCli.h"

using namespace stowline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList arguments;
    for (const QByteArray& part : bytes.split('\0'))
        arguments << QString::fromUtf8(part);
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    (void)answerCommandLine(parseCommandLine(arguments), outStream, errStream);
    (void)parseRegEditArguments(arguments);
    return 0;
}
