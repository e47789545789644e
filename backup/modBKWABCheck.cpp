#include "backup/modBKWABCheck.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modSystemPath.h"

#include <QFileInfo>

namespace stowline {

QString AddressBookFile() {
    QString file;
    TRAP_BEGIN("modBKWABCheck:AddressBookFile")
        STEP(1) RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(3) reg.KeyPath = QStringLiteral("SOFTWARE\\Microsoft\\WAB\\WAB4\\Wab File Name");
        STEP(4) if (!reg.Exists(1)) return file;
        STEP(5) reg.ValueName = QString();
        STEP(6) if (!reg.Exists(0)) return file;
        STEP(7) reg.ReadValue();
        STEP(8) file = LocalPath(reg.Value.toString());
    TRAP_END
    return file;
}

bool WAB_Check() {
    bool result = false;
    TRAP_BEGIN("modBKWABCheck:WAB_Check")
        STEP(9) result = QFileInfo(AddressBookFile()).isFile();
    TRAP_END
    return result;
}

} // namespace stowline
