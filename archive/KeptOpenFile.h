#pragma once

#include <QByteArray>

namespace stowline {

// A source file kept open from one call to the next for as long as the same path is asked for:
// opened again for each 256 KiB slice, a file's path was looked up 2,000 times for 512 MiB.
class KeptOpenFile {
public:
    KeptOpenFile() = default;
    KeptOpenFile(const KeptOpenFile&) = delete;
    KeptOpenFile& operator=(const KeptOpenFile&) = delete;
    ~KeptOpenFile();

    // The file's descriptor, or -1 with errno set; links are not followed.
    int open(const QByteArray& path);

private:
    void close();

    QByteArray m_path;
    int m_fd = -1;
};

} // namespace stowline
