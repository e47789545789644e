#include "tests/support/SystemDouble.h"

#include "platform/LinuxSystem.h"

namespace stowline::test {

QString SystemDouble::documentsFolder() { return platform::LinuxSystem().documentsFolder(); }
QString SystemDouble::homeFolder() { return platform::LinuxSystem().homeFolder(); }
QString SystemDouble::tempFolder() { return platform::LinuxSystem().tempFolder(); }

} // namespace stowline::test
