#include "backup/modBKWABCheck.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"

#include <QFileInfo>

namespace stowline {

bool WAB_Check() {
    bool result = false;
    TRAP_BEGIN("modBKWABCheck:WAB_Check")
        STEP(1) RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(3) reg.KeyPath = QStringLiteral("SOFTWARE\\Microsoft\\WAB\\WAB4\\Wab File Name");
        STEP(4) if (!reg.Exists(1)) return result;
        STEP(5) reg.ValueName = QString();
        STEP(6) if (!reg.Exists(0)) return result;
        STEP(7) reg.ReadValue();
        STEP(8) WABFilePath = reg.Value.toString();
        STEP(9) result = QFileInfo(WABFilePath).isFile();
    TRAP_END
    return result;
}

} // namespace stowline
