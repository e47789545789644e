#include "archive/KeptOpenFile.h"

#include "platform/FileAccess.h"

namespace stowline {

KeptOpenFile::~KeptOpenFile() { close(); }

int KeptOpenFile::open(const QByteArray& path) {
    if (m_fd < 0 || path != m_path) {
        close();
        m_fd = platform::openToReadNoLink(path.constData());
        m_path = m_fd >= 0 ? path : QByteArray();
    }
    return m_fd;
}

void KeptOpenFile::close() {
    if (m_fd >= 0)
        platform::closeFile(m_fd);
    m_fd = -1;
}

} // namespace stowline
