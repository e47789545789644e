#include "foundation/modCheckWrite.h"

#include "foundation/Questions.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modError.h"
#include "foundation/modTempPath.h"
#include "platform/Platform.h"

#include <QFileInfo>

namespace stowline {

namespace {

// The text of the first failing test of the drive, 0 when the drive can be written.
int firstDriveProblem(const QString& path, const QString& drive) {
    platform::Drives& drives = platform::drives();
    if (!drives.exists(drive))
        return txtDriveMissing;
    if (!drives.isReady(drive))
        return txtDriveNotReady;
    // Write access is judged by the figure alone: no file is written to try.
    if (GetFreeDiskSpace(path) == 0)
        return txtCannotWrite;
    return 0;
}

bool userWantsToRetry(Questions& ask, int problem, const QString& drive) {
    return ask.tryAgain(Str(problem) + u' ' + drive + u'\r' + Str(txtTryAgain));
}

} // namespace

bool CheckWrite(const QString& path, Questions& ask) {
    bool result = false;
    TRAP_BEGIN("modCheckWrite:CheckWrite")
        for (;;) {
            STEP(1) const QString drive = platform::drives().driveName(path);
            STEP(2) const int problem = firstDriveProblem(path, drive);
            STEP(3) if (problem == 0) break;
            STEP(4) if (!userWantsToRetry(ask, problem, drive)) return result;
        }
        STEP(5) const QString folder = ParentFolderName(path);
        STEP(6) if (!folder.isEmpty() && !QFileInfo(folder).isDir()) CreateFolder(folder);
        STEP(7) result = true;
    TRAP_END
    return result;
}

} // namespace stowline
