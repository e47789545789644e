#pragma once

#include <sys/types.h>
#include <sys/uio.h>

// The file-system calls that write a backup or a restore, behind one door so that a test can make
// the Nth call of a kind fail: STOWLINE_FAIL_FILE_CALL="write:12:ENOSPC" (kinds write, fsync,
// writeback, rename, foldersync, mkdir, and dbwrite for the registry store's page writes; N counted from 1
// within the process; errors ENOSPC, EIO, EACCES, EROFS, EDQUOT, EINVAL, or KILL for SIGKILL at that call).
// The failing call is announced on stderr. A fourth field names the one program it applies to
// ("dbwrite:1:ENOSPC:stowline-regedit").
// Each returns what the system call returns and sets errno the same way.
namespace stowline::platform {

ssize_t writeFile(int fd, const void* data, size_t size);
// The same kind of call as writeFile, for pieces written one after another in one call.
ssize_t writeFilePieces(int fd, const iovec* pieces, int count);
int syncFile(int fd);
// Starts writing a range of the file to disk (kind writeback); with wait, returns once all of it
// was written. Makes nothing durable (only syncFile does) but leaves the final sync less to do.
// A failure of the disk it reports is not reported again by the sync: it must fail the file.
int writeBack(int fd, off_t offset, off_t length, bool wait);
int renameFile(const char* from, const char* to);
// Syncs the folder's own entries: a file renamed into it is there after a crash only then.
int syncFolder(const char* path);
int makeFolder(const char* path, mode_t mode);

// Deletes the regular files of folder named prefix + six characters + suffix: what a run that was
// killed while writing under a temporary name (mkostemps) left there. Links are never followed.
void removeStaleTemporaries(const char* folder, const char* prefix, const char* suffix);

} // namespace stowline::platform
