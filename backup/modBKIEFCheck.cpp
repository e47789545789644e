#include "backup/modBKIEFCheck.h"

#include "foundation/modError.h"
#include "foundation/modSystemPath.h"

#include <QFileInfo>

namespace stowline {

bool IEF_Check() {
    bool result = false;
    TRAP_BEGIN("modBKIEFCheck:IEF_Check")
        STEP(1) const QString favorites = SystemPath(CSIDL_FAVORITES);
        STEP(2) result = !favorites.isEmpty() && QFileInfo(favorites).isDir();
    TRAP_END
    return result;
}

} // namespace stowline
