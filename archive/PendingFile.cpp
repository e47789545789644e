#include "archive/PendingFile.h"

#include "foundation/modError.h"
#include "platform/FileCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <utility>

namespace stowline {

PendingFile::PendingFile(const QByteArray& target, QByteArray temporary, int suffixLength)
    : m_target(target), m_temporary(std::move(temporary)) {
    m_fd = ::mkostemps(m_temporary.data(), suffixLength, O_CLOEXEC);
    if (m_fd < 0)
        RaiseOsError(errno, true);
}

PendingFile::~PendingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed)
        ::unlink(m_temporary.constData());
}

void PendingFile::commit(bool durable) {
    if (durable && platform::syncFile(m_fd) != 0)
        RaiseOsError(errno);
    if (::close(std::exchange(m_fd, -1)) != 0)
        RaiseOsError(errno);
    if (platform::renameFile(m_temporary.constData(), m_target.constData()) != 0)
        RaiseOsError(errno);
    m_committed = true;
}

} // namespace stowline
