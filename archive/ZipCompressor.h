#pragma once

#include "archive/ZipRun.h"
#include "archive/ZipSourceTree.h"

#include <QString>
#include <functional>
#include <future>
#include <optional>
#include <vector>

namespace stowline {

// An archive of a folder made while the enclosing archive is written, stored there as one member:
// its data never goes through a file of its own.
struct ZipNestedArchive {
    QByteArray memberName;
    QString sourceFolder;
    int level = 6;
    std::optional<std::vector<ZipSourceEntry>> listed;       // the folder's files, when already listed
    std::shared_future<std::vector<ZipSourceEntry>> listing; // a walk started beforehand
    QString listingSkips;                                    // the path that walk leaves out
};

// A walk of a folder on a thread of its own, started before the folder's nested archive is made.
struct ZipFolderWalk {
    QString folder;
    QString skips;
    std::shared_future<std::vector<ZipSourceEntry>> entries;
};

// Starts walking a folder (leaving out skipPath); an empty folder starts nothing.
ZipFolderWalk StartWalkingFolder(const QString& folder, const QString& skipPath);

// Starts walking the folders of the nested archives, each on a thread of its own, so that the walk
// runs beside whatever the run does before the archive is written.
void StartListingNestedArchives(std::vector<ZipNestedArchive>& nested, const QString& skipPath);

// Lists the folders of the nested archives (leaving out skipPath) and returns the bytes they hold.
// A walk started beforehand is waited for, and its failure raised here, unless it left out another path.
quint64 ListNestedArchives(std::vector<ZipNestedArchive>& nested, const QString& skipPath);

struct ZipCompressSettings {
    QString sourceFolder;
    QString archiveFile;
    int level = 6;   // 0 stores, 1-9 deflate
    int threads = 0; // 0: one per processor, at most four
    bool forceZip64 = false;
    QByteArray comment;    // the archive comment, written with the central directory
    QByteArray passphrase; // when set, every member is encrypted with it (WinZip AES-256)
    // Synced to disk before it takes its name: an archive a person keeps, not a workspace file that a
    // crash throws away anyway (syncing those doubled a backup's time).
    bool durable = false;
    // Runs on the complete archive, under its temporary name, while a durable one is synced: a
    // read-back there costs no time of its own. The archive takes its name after both.
    std::function<void(const QString& written)> whileSyncing;
    std::vector<ZipNestedArchive> nested; // written after the folder's own files
    const CancelToken* cancel = nullptr;  // the workers stop reading ahead once it is requested
};

// Builds an archive of a folder and of the nested archives. Worker threads read, checksum and
// deflate the files of all of them as one stream of 256 KiB slices, a few slices ahead of the writer; the
// writer, on the calling thread, puts them into the archive in order and raises the events. Slices that would
// not shrink are stored, and a file whose first slice does not shrink is stored whole. The archive is written
// under a temporary name beside its final name and renamed into place when complete; a cancelled or failed
// run removes it. Throws VbError.
class ZipCompressor {
public:
    ZipCompressor(ZipCompressSettings settings, ZipRunEvents& events);
    ZipRunOutcome run();

private:
    ZipCompressSettings m_settings;
    ZipRunEvents& m_events;
};

} // namespace stowline
