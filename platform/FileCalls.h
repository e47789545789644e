#pragma once

#include <sys/types.h>

// The file-system calls that write a backup or a restore, behind one door so that a test can make
// the Nth call of a kind fail: STOWLINE_FAIL_FILE_CALL="write:12:ENOSPC" (kinds write, fsync,
// rename, mkdir, and dbwrite for the registry store's page writes; N counted from 1 within the
// process; errors ENOSPC, EIO, EACCES, EROFS, EDQUOT, or KILL for SIGKILL at that call). The failing
// call is announced on stderr. A fourth field names the one program it applies to
// ("dbwrite:1:ENOSPC:stowline-regedit").
// Each returns what the system call returns and sets errno the same way.
namespace stowline::platform {

ssize_t writeFile(int fd, const void* data, size_t size);
int syncFile(int fd);
int renameFile(const char* from, const char* to);
int makeFolder(const char* path, mode_t mode);

// Deletes the regular files of folder named prefix + six characters + suffix: what a run that was
// killed while writing under a temporary name (mkostemps) left there. Links are never followed.
void removeStaleTemporaries(const char* folder, const char* prefix, const char* suffix);

} // namespace stowline::platform
