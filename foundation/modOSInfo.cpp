#include "foundation/modOSInfo.h"

#include "foundation/modError.h"
#include "platform/Platform.h"

namespace stowline {

platform::OsVersion GetOSVersion() {
    platform::OsVersion result;
    TRAP_BEGIN("modOSInfo:GetOSVersion")
        STEP(1) result = platform::system().osVersion();
    TRAP_END
    return result;
}

} // namespace stowline
