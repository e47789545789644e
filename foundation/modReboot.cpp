#include "foundation/modReboot.h"

#include "foundation/modError.h"
#include "platform/Platform.h"

namespace stowline {

void RequestReboot() {
    TRAP_BEGIN("modReboot:RequestReboot")
        STEP(1) platform::system().requestReboot();
    TRAP_END
}

} // namespace stowline
