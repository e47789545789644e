#include "foundation/modDiskSpace.h"

#include "foundation/modError.h"
#include "platform/Platform.h"

namespace stowline {

namespace {
constexpr double kTwoTo32 = 4294967296.0;

double unsignedHalf(qint32 half) { return half < 0 ? half + kTwoTo32 : half; }
} // namespace

double GetFreeDiskSpace(const QString& path) {
    double result = 0;
    TRAP_BEGIN("modDiskSpace:GetFreeDiskSpace")
        STEP(1) const QString drive = platform::drives().driveName(path);
        STEP(2) if (drive.isEmpty()) Raise(Err::InvalidCall);
        STEP(3) if (drive.contains(QStringLiteral("\\\\"))) { STEP(4) result = QueryFreeBytes(drive); }
        else {
            STEP(5) result = platform::drives().availableBytes(path);
        }
    TRAP_END
    return result;
}

// statvfs is always there, so the cluster-based fallback of older systems is not needed.
double QueryFreeBytes(const QString& path) { return platform::drives().totalFreeBytes(path); }

double CLargeInt(qint32 low, qint32 high) {
    double result = 0;
    TRAP_BEGIN("modDiskSpace:CLargeInt")
        STEP(1) result = unsignedHalf(high) * kTwoTo32 + unsignedHalf(low);
    TRAP_END
    return result;
}

} // namespace stowline
