#include "archive/ZipFormat.h"

#include "foundation/modError.h"
#include "platform/FileCalls.h"

#include <cerrno>
#include <unistd.h>

namespace stowline::zipformat {

void writeFully(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = platform::writeFile(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            RaiseOsError(written < 0 ? errno : ENOSPC);
        data += written;
        size -= static_cast<size_t>(written);
    }
}

} // namespace stowline::zipformat
