#include <QCoreApplication>

// The string table and Qt's text codecs want an application object, as in the programs.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}
