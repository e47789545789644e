#include "foundation/modFolder.h"

#include "foundation/Questions.h"
#include "foundation/modError.h"

namespace stowline {

QString Input_Path(Questions& ask) {
    QString result;
    TRAP_BEGIN("modFolder:Input_Path")
        STEP(1) result = ask.newFolder();
    TRAP_END
    return result;
}

} // namespace stowline
