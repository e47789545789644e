#include "archive/ZipCompressor.h"

#include "archive/KeptOpenFile.h"
#include "archive/PendingFile.h"
#include "archive/PhaseLog.h"
#include "archive/SourcePrefetch.h"
#include "archive/ZipDeflate.h"
#include "archive/ZipSourceTree.h"
#include "archive/ZipWriter.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <zlib.h>

namespace stowline {

namespace {

// A slice and its deflate form fit a core's 512 KiB L2 cache, so it is read, summed, sampled and
// deflated there rather than from main memory: 10 % less CPU than 1 MiB slices, 0.7 % larger.
constexpr size_t ChunkSize = 256 * 1024;
// Slices the workers may finish ahead of the writer, per worker: about 3 MiB each, so that a writer
// waiting for the disk does not stop them at once.
constexpr size_t SlotsPerThread = 12;
// Jobs a waiting writer lets finish before it wakes.
constexpr size_t WriterBatch = 4;
// Above this a file may end up past 4 GiB once compressed, so its local header gets Zip64 sizes.
constexpr quint64 Zip64Threshold = 0xF0000000ull;
constexpr int MaximumThreads = 4;
// Small files travel through the workers several to a job: a job each would cost more in handing
// them over than in deflating them.
constexpr quint64 SmallFile = 64 * 1024;
constexpr size_t FilesPerJob = 64;

// The files of the archive itself or of one nested archive, with the level they are deflated at.
struct SourcePart {
    std::vector<ZipSourceEntry> entries;
    int level = 0;
    const ZipNestedArchive* nested = nullptr;
    size_t firstJob = 0;
    size_t endJob = 0;
};

// One slice of a file, or several whole files one after another.
struct ChunkJob {
    size_t part = 0;
    size_t entry = 0;
    size_t files = 1;
    quint64 offset = 0;
    size_t length = 0;
    bool first = true;
    bool last = true;
    quint64 runPosition = 0; // source bytes of the jobs before it
    bool takes(quint64 size) const {
        return first && last && files < FilesPerJob && size <= SmallFile && length + size <= ChunkSize;
    }
};

std::vector<ChunkJob> planJobs(std::vector<SourcePart>& parts) {
    std::vector<ChunkJob> jobs;
    quint64 runPosition = 0;
    for (size_t p = 0; p < parts.size(); ++p) {
        parts[p].firstJob = jobs.size();
        for (size_t i = 0; i < parts[p].entries.size(); ++i) {
            const quint64 size = parts[p].entries[i].size;
            if (jobs.size() > parts[p].firstJob && jobs.back().takes(size)) {
                ++jobs.back().files;
                jobs.back().length += static_cast<size_t>(size);
                runPosition += size;
                continue;
            }
            quint64 offset = 0;
            do {
                const size_t length = static_cast<size_t>(std::min<quint64>(ChunkSize, size - offset));
                jobs.push_back({p, i, 1, offset, length, offset == 0, offset + length >= size, runPosition});
                offset += length;
                runPosition += length;
            } while (offset < size);
        }
        parts[p].endJob = jobs.size();
    }
    return jobs;
}

// A folder that holds a nested archive is not empty: it gets no entry of its own.
void dropFoldersOfNested(std::vector<ZipSourceEntry>& entries, const std::vector<ZipNestedArchive>& nested) {
    std::erase_if(entries, [&](const ZipSourceEntry& entry) {
        return entry.isDirectory() &&
               std::any_of(nested.begin(), nested.end(), [&](const ZipNestedArchive& n) {
                   return n.memberName.startsWith(entry.memberName);
               });
    });
}

std::vector<SourcePart> listParts(const ZipCompressSettings& settings, int level) {
    std::vector<SourcePart> parts;
    parts.push_back({ListSourceFolder(settings.sourceFolder, settings.archiveFile), level});
    dropFoldersOfNested(parts.front().entries, settings.nested);
    for (const ZipNestedArchive& nested : settings.nested)
        parts.push_back(
            {nested.listed ? *nested.listed : ListSourceFolder(nested.sourceFolder, settings.archiveFile),
             std::clamp(nested.level, 0, 9), &nested});
    return parts;
}

// The files read in more than one slice: small ones are read whole by the kernel's own read-ahead.
std::vector<PrefetchStretch> prefetchStretches(const std::vector<SourcePart>& parts,
                                               const std::vector<ChunkJob>& jobs) {
    std::vector<PrefetchStretch> stretches;
    for (const ChunkJob& job : jobs) {
        const ZipSourceEntry& entry = parts[job.part].entries[job.entry];
        if (job.first && !job.last)
            stretches.push_back({entry.path, 0, entry.size, job.runPosition});
    }
    return stretches;
}

// The bytes of a job and how each of its slices came out.
struct ChunkBatch {
    ChunkBuffers buffers;
    std::vector<ZipChunk> chunks;
};

// Opens the files of a job, which mostly share a folder: opened once, it spares each file the
// lookup of every folder on its path.
class FileOpener {
public:
    int open(const QByteArray& path) {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash > 0 && QByteArrayView(path).first(slash) != m_folder) {
            m_folderFd.close();
            m_folder = path.first(slash);
            m_folderFd = platform::Descriptor(platform::openFolderToLookUp(m_folder.constData()));
        }
        if (slash <= 0 || !m_folderFd.isOpen())
            return platform::openToReadNoLink(path.constData());
        return platform::openToReadNoLinkIn(m_folderFd.get(), path.constData() + slash + 1);
    }

private:
    QByteArray m_folder;
    platform::Descriptor m_folderFd;
};

// Appends up to length bytes of the file from offset to the buffer; returns 0 or an errno.
int readSlice(int fd, quint64 offset, size_t length, ChunkBuffers& buffers, ZipChunk& chunk) {
    if (fd < 0)
        return errno;
    int error = 0;
    while (chunk.rawSize < length) {
        const ssize_t got =
            platform::readAt(fd, buffers.raw.data() + chunk.rawOffset + chunk.rawSize, length - chunk.rawSize,
                             static_cast<off_t>(offset + chunk.rawSize));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break; // a file that shrank since it was listed is stored as it is now
        chunk.rawSize += static_cast<size_t>(got);
    }
    return error;
}

// Reads and deflates the job's slices into the batch; returns 0 or an errno.
int processJob(const SourcePart& part, const ChunkJob& job, ChunkDeflater& deflater, KeptOpenFile& sliced,
               ChunkBatch& batch) {
    if (batch.buffers.raw.size() < ChunkSize)
        batch.buffers.raw.resize(ChunkSize);
    batch.buffers.packedUsed = 0;
    batch.chunks.assign(job.files, {});
    size_t rawUsed = 0;
    FileOpener opener;
    for (size_t i = 0; i < job.files; ++i) {
        const ZipSourceEntry& entry = part.entries[job.entry + i];
        ZipChunk& chunk = batch.chunks[i];
        chunk.rawOffset = rawUsed;
        const size_t length = job.files == 1 ? job.length : static_cast<size_t>(entry.size);
        if (length > 0) {
            const int fd = job.files > 1 ? opener.open(entry.path) : sliced.open(entry.path);
            const int error = readSlice(fd, job.offset, length, batch.buffers, chunk);
            if (job.files > 1 && fd >= 0)
                platform::closeFile(fd);
            if (error)
                return error;
        }
        deflater.process(batch.buffers, chunk, job.last);
        rawUsed += chunk.rawSize;
    }
    return 0;
}

// Reads and deflates slices on worker threads, at most one window ahead of the writer.
class ChunkPipeline {
public:
    ChunkPipeline(const std::vector<SourcePart>& parts, const std::vector<ChunkJob>& jobs, int threads,
                  const CancelToken* cancel)
        : m_parts(parts), m_jobs(jobs), m_cancel(cancel),
          m_slots(static_cast<size_t>(threads) * SlotsPerThread),
          m_prefetcher(prefetchStretches(parts, jobs)) {
        for (int i = 0; i < threads && !jobs.empty(); ++i)
            m_threads.emplace_back([this] { work(); });
    }

    ~ChunkPipeline() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_workCv.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    // The finished job k, or nullptr when it is not ready within the timeout. A writer that has to
    // wait sleeps until a few jobs are done, not one: woken for each, it cost a switch of cores each.
    const ChunkBatch* waitFor(size_t k, std::chrono::milliseconds timeout) {
        Slot& slot = slotOf(k);
        std::unique_lock lock(m_mutex);
        if (!slot.done) {
            m_awaited = std::min({k + WriterBatch, m_jobs.size(), k + m_slots.size()});
            const bool ready = m_doneCv.wait_for(lock, timeout, [&] { return doneUpTo(k, m_awaited); });
            m_awaited = 0;
            if (!ready && !slot.done)
                return nullptr;
        }
        if (slot.error == ENOMEM)
            throw std::bad_alloc();
        if (slot.error != 0)
            throw osError(slot.error);
        return &slot.batch;
    }

    void release(size_t k) {
        {
            std::lock_guard lock(m_mutex);
            slotOf(k).done = false;
            ++m_nextWrite;
        }
        m_workCv.notify_one(); // one slot came free: one worker can use it
    }

private:
    struct Slot {
        ChunkBatch batch;
        bool done = false;
        int error = 0;
    };

    Slot& slotOf(size_t k) { return m_slots[k % m_slots.size()]; }

    bool claim(size_t& k) {
        std::unique_lock lock(m_mutex);
        m_workCv.wait(lock, [&] {
            return m_stop || (m_nextJob < m_jobs.size() && m_nextJob < m_nextWrite + m_slots.size());
        });
        if (m_stop || (m_cancel && m_cancel->requested()))
            return false;
        k = m_nextJob++;
        return true;
    }

    // Whether jobs from..end-1 are all done; a failed one ends the wait as well.
    bool doneUpTo(size_t from, size_t end) {
        for (size_t k = from; k < end; ++k) {
            const Slot& slot = slotOf(k);
            if (!slot.done)
                return false;
            if (slot.error != 0)
                return true;
        }
        return true;
    }

    void finish(Slot& slot, int error) {
        bool wakeWriter = false;
        {
            std::lock_guard lock(m_mutex);
            slot.error = error;
            slot.done = true;
            wakeWriter = m_awaited > 0 && doneUpTo(m_nextWrite, m_awaited);
        }
        if (wakeWriter)
            m_doneCv.notify_one(); // only the writer waits for jobs
    }

    void work() {
        std::array<std::unique_ptr<ChunkDeflater>, 10> deflaters; // by level
        KeptOpenFile sliced;
        size_t k = 0;
        while (claim(k)) {
            Slot& slot = slotOf(k);
            const ChunkJob& job = m_jobs[k];
            m_prefetcher.reached(job.runPosition);
            const SourcePart& part = m_parts[job.part];
            int error = 0;
            try {
                std::unique_ptr<ChunkDeflater>& deflater = deflaters[static_cast<size_t>(part.level)];
                if (!deflater)
                    deflater = std::make_unique<ChunkDeflater>(part.level);
                error = processJob(part, job, *deflater, sliced, slot.batch);
            } catch (const std::bad_alloc&) {
                error = ENOMEM;
            }
            finish(slot, error);
        }
    }

    const std::vector<SourcePart>& m_parts;
    const std::vector<ChunkJob>& m_jobs;
    const CancelToken* m_cancel;
    std::vector<Slot> m_slots;
    SourcePrefetcher m_prefetcher;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_workCv;
    std::condition_variable m_doneCv;
    size_t m_nextJob = 0;
    size_t m_nextWrite = 0;
    size_t m_awaited = 0; // the end of the jobs a waiting writer waits for, 0 when it is not waiting
    bool m_stop = false;
};

// The archive's file name, after what a killed run left beside it under a temporary name is gone.
QByteArray archiveTarget(const QString& archiveFile) {
    const QByteArray target = QFile::encodeName(archiveFile);
    if (target.isEmpty() || target.endsWith('/'))
        RaiseOsError(ENOENT, true);
    const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    platform::removeStaleTemporaries(ParentFolder(target).constData(), QByteArray(name + '.').constData(),
                                     ".part");
    return target;
}

// A new archive stays private to its owner (it holds mail); a replaced one keeps its mode.
void keepModeOfReplacedFile(const QByteArray& target, int fd) {
    if (const auto existing = platform::statusOf(target.constData()); existing && existing->isRegular())
        platform::setPermissions(fd, existing->permissions());
}

quint16 deflateSpeedFlags(int level) {
    if (level >= 8)
        return 2;
    if (level == 2)
        return 4;
    return level == 1 ? 6 : 0;
}

// How far the whole run is, over every part.
struct RunTotals {
    quint64 total = 0;
    quint64 done = 0;
    bool reportedEnd = false;
};

// Puts the slices of each file of one part into its archive in order and reports progress.
class ArchiveAssembler {
public:
    ArchiveAssembler(ZipWriter& writer, const SourcePart& part, RunTotals& totals, ZipRunEvents& events)
        : m_writer(writer), m_entries(part.entries), m_level(part.level), m_totals(totals), m_events(events) {
    }

    void add(const ChunkJob& job, const ChunkBatch& batch) {
        for (size_t i = 0; i < job.files; ++i)
            add(job, m_entries[job.entry + i], batch.chunks[i], batch.buffers);
    }

    static void report(RunTotals& totals, ZipRunEvents& events, double whole, double current) {
        totals.reportedEnd = whole >= 100.0 && current >= 100.0;
        events.statistics(whole, current);
    }

private:
    void add(const ChunkJob& job, const ZipSourceEntry& entry, const ZipChunk& chunk,
             const ChunkBuffers& buffers) {
        if (job.first)
            begin(entry, job, chunk);
        writeData(job, chunk, buffers);
        m_crc =
            job.first
                ? chunk.crc
                : static_cast<quint32>(crc32_combine(m_crc, chunk.crc, static_cast<z_off_t>(chunk.rawSize)));
        m_fileDone += chunk.rawSize;
        m_totals.done += chunk.rawSize;
        if (job.last)
            m_writer.endEntry(m_crc, m_fileDone);
        if (!entry.isDirectory())
            report(m_totals, m_events, percentOf(m_totals.done, m_totals.total),
                   job.last ? 100.0 : percentOf(m_fileDone, entry.size));
    }

    void begin(const ZipSourceEntry& entry, const ChunkJob& job, const ZipChunk& chunk) {
        if (!entry.isDirectory())
            m_events.fileStarted(QFile::decodeName(entry.path));
        m_fileDone = 0;
        m_method = m_level > 0 && chunk.deflated ? zipformat::MethodDeflate : zipformat::MethodStore;
        ZipEntryHeader header;
        header.name = entry.memberName;
        header.method = m_method;
        header.flags = m_method == zipformat::MethodDeflate ? deflateSpeedFlags(m_level) : 0;
        header.modified = zipformat::toDosDateTime(entry.modified);
        header.unixMode = entry.mode;
        header.zip64 = entry.size > Zip64Threshold;
        std::optional<ZipEntrySizes> known;
        if (job.last) {
            const size_t stored = m_method == zipformat::MethodDeflate ? chunk.packedSize : chunk.rawSize;
            known = ZipEntrySizes{chunk.crc, stored, chunk.rawSize};
        }
        m_writer.beginEntry(header, known);
    }

    void writeData(const ChunkJob& job, const ZipChunk& chunk, const ChunkBuffers& buffers) {
        const char* raw = buffers.raw.data() + chunk.rawOffset;
        if (m_method == zipformat::MethodStore)
            m_writer.write(raw, chunk.rawSize);
        else if (chunk.deflated)
            m_writer.write(buffers.packed.data() + chunk.packedOffset, chunk.packedSize);
        else if (chunk.rawSize > 0 || job.last)
            writeStoredBlocks(m_writer, raw, chunk.rawSize, job.last);
    }

    ZipWriter& m_writer;
    const std::vector<ZipSourceEntry>& m_entries;
    const int m_level;
    RunTotals& m_totals;
    ZipRunEvents& m_events;
    quint64 m_fileDone = 0;
    quint32 m_crc = 0;
    quint16 m_method = zipformat::MethodStore;
};

// A nested archive's member: stored, its size and CRC known only at its end. Enough room is left
// for Zip64 sizes when it might pass 4 GiB.
ZipEntryHeader nestedMemberHeader(const SourcePart& part) {
    quint64 bound = 64 * 1024;
    for (const ZipSourceEntry& entry : part.entries)
        bound += entry.size + entry.size / 512 + 2 * static_cast<quint64>(entry.memberName.size()) + 256;
    ZipEntryHeader header;
    header.name = part.nested->memberName;
    header.modified = zipformat::toDosDateTime(::time(nullptr));
    header.unixMode = zipformat::UnixRegularFile | 0600;
    header.zip64 = bound > Zip64Threshold;
    return header;
}

struct WalkCancelled {};

int threadCount(int requested) {
    if (requested > 0)
        return requested;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, MaximumThreads);
}

} // namespace

ZipFolderWalk StartWalkingFolder(const QString& folder, const QString& skipPath) {
    if (folder.isEmpty())
        return {};
    return {folder, skipPath, std::async(std::launch::async, [folder, skipPath] {
                                  const PhaseLog phase("list " + QFile::encodeName(folder));
                                  return ListSourceFolder(folder, skipPath);
                              }).share()};
}

void StartListingNestedArchives(std::vector<ZipNestedArchive>& nested, const QString& skipPath) {
    for (ZipNestedArchive& archive : nested) {
        if (archive.listing.valid() || archive.listed)
            continue;
        ZipFolderWalk walk = StartWalkingFolder(archive.sourceFolder, skipPath);
        archive.listingSkips = walk.skips;
        archive.listing = std::move(walk.entries);
    }
}

quint64 ListNestedArchives(std::vector<ZipNestedArchive>& nested, const QString& skipPath) {
    quint64 bytes = 0;
    for (ZipNestedArchive& archive : nested) {
        const auto listing = std::exchange(archive.listing, {});
        archive.listed = listing.valid() && archive.listingSkips == skipPath
                             ? listing.get()
                             : ListSourceFolder(archive.sourceFolder, skipPath);
        for (const ZipSourceEntry& entry : *archive.listed)
            bytes += entry.size;
    }
    return bytes;
}

ZipCompressor::ZipCompressor(ZipCompressSettings settings, ZipRunEvents& events)
    : m_settings(std::move(settings)), m_events(events) {}

ZipRunOutcome ZipCompressor::run() {
    CancelPacer pacer;
    if (pacer.ask(m_events))
        return ZipRunOutcome::Cancelled;
    std::vector<SourcePart> parts = listParts(m_settings, std::clamp(m_settings.level, 0, 9));
    const std::vector<ChunkJob> jobs = planJobs(parts);
    RunTotals totals;
    for (const SourcePart& part : parts)
        for (const ZipSourceEntry& entry : part.entries)
            totals.total += entry.size;

    const QByteArray target = archiveTarget(m_settings.archiveFile);
    PendingFile archive(target, target + ".XXXXXX.part", 5);
    ZipWriter writer(archive.fd());
    writer.setForceZip64(m_settings.forceZip64);
    writer.setWriteBehind(m_settings.durable);
    writer.setPassphrase(m_settings.passphrase);
    std::optional<ChunkPipeline> pipeline(std::in_place, parts, jobs, threadCount(m_settings.threads),
                                          m_settings.cancel);
    // Writes the part's slices as they come; false when the run was cancelled meanwhile.
    const auto writePart = [&](const SourcePart& part, ZipWriter& partWriter) {
        ArchiveAssembler assembler(partWriter, part, totals, m_events);
        for (size_t k = part.firstJob; k < part.endJob; ++k) {
            const ChunkBatch* batch = nullptr;
            while (!(batch = pipeline->waitFor(k, CancelPacer::Interval)))
                if (pacer.ask(m_events))
                    return false;
            assembler.add(jobs[k], *batch);
            pipeline->release(k);
            if (pacer.askIfDue(m_events))
                return false;
        }
        return true;
    };
    for (const SourcePart& part : parts) {
        if (!part.nested) {
            if (!writePart(part, writer))
                return ZipRunOutcome::Cancelled;
            continue;
        }
        writer.beginEntry(nestedMemberHeader(part));
        ZipWriter nested(writer);
        if (!writePart(part, nested))
            return ZipRunOutcome::Cancelled;
        nested.finish();
        writer.endEntry(nested.crc(), nested.position());
    }
    pipeline.reset(); // its slices are not needed for the sync and whatever runs beside it
    writer.finish(m_settings.comment);
    {
        const PhaseLog phase("fsync and rename");
        keepModeOfReplacedFile(target, archive.fd());
        // A sync begun beside the writing may take tens of milliseconds: the read-back runs meanwhile.
        archive.commit(m_settings.durable, [&](const QString& written) {
            if (m_settings.whileSyncing)
                m_settings.whileSyncing(written);
            writer.waitForDisk();
        });
    }
    // A run of empty folders only, or one whose files shrank meanwhile, still ends at 100.
    if (!totals.reportedEnd)
        ArchiveAssembler::report(totals, m_events, 100.0, 100.0);
    return ZipRunOutcome::Completed;
}

} // namespace stowline
