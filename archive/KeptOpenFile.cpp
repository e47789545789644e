#include "archive/KeptOpenFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace stowline {

KeptOpenFile::~KeptOpenFile() { close(); }

int KeptOpenFile::open(const QByteArray& path) {
    if (m_fd < 0 || path != m_path) {
        close();
        m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        m_path = m_fd >= 0 ? path : QByteArray();
    }
    return m_fd;
}

void KeptOpenFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace stowline
