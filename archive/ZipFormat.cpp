#include "archive/ZipFormat.h"

#include "foundation/modError.h"
#include "platform/FileCalls.h"

#include <algorithm>
#include <cerrno>

namespace stowline::zipformat {

qsizetype findEndRecord(QByteArrayView tail) {
    qsizetype fitting = -1;
    for (qsizetype at = tail.size() - EndRecordSize; at >= 0; --at) {
        if (get32(tail.data() + at) != EndSignature)
            continue;
        const qsizetype end = at + EndRecordSize + get16(tail.data() + at + 20);
        if (end == tail.size())
            return at;
        if (end < tail.size() && fitting < 0)
            fitting = at;
    }
    return fitting;
}

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

void writeFully(int fd, const char* first, size_t firstSize, const char* second, size_t secondSize) {
    while (firstSize > 0) {
        const iovec pieces[2] = {{const_cast<char*>(first), firstSize},
                                 {const_cast<char*>(second), secondSize}};
        const ssize_t written = platform::writeFilePieces(fd, pieces, 2);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            RaiseOsError(written < 0 ? errno : ENOSPC);
        const size_t ofFirst = std::min(firstSize, static_cast<size_t>(written));
        first += ofFirst;
        firstSize -= ofFirst;
        second += static_cast<size_t>(written) - ofFirst;
        secondSize -= static_cast<size_t>(written) - ofFirst;
    }
    writeFully(fd, second, secondSize);
}

} // namespace stowline::zipformat
