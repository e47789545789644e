#include "foundation/modFolder.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/Platform.h"

namespace stowline {

namespace {
// The picker's title is the root of the file system ("/"), as the classic one showed its system drive.
} // namespace

QString Input_Path() {
    QString result;
    TRAP_BEGIN("modFolder:Input_Path")
        STEP(1) result = platform::dialogs().pickFolder(Str(txtFolderPickerTitle));
    TRAP_END
    return result;
}

} // namespace stowline
