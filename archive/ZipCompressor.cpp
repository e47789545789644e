#include "archive/ZipCompressor.h"

#include "archive/ZipDeflate.h"
#include "archive/ZipSourceTree.h"
#include "archive/ZipWriter.h"
#include "foundation/modError.h"
#include "platform/FileCalls.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace stowline {

namespace {

constexpr size_t ChunkSize = size_t{1} << 20;
// Above this a file may end up past 4 GiB once compressed, so its local header gets Zip64 sizes.
constexpr quint64 Zip64Threshold = 0xF0000000ull;
constexpr int MaximumThreads = 4;

struct ChunkJob {
    size_t entry = 0;
    quint64 offset = 0;
    size_t length = 0;
    bool first = true;
    bool last = true;
};

std::vector<ChunkJob> planJobs(const std::vector<ZipSourceEntry>& entries) {
    std::vector<ChunkJob> jobs;
    for (size_t i = 0; i < entries.size(); ++i) {
        const quint64 size = entries[i].size;
        quint64 offset = 0;
        do {
            const size_t length = static_cast<size_t>(std::min<quint64>(ChunkSize, size - offset));
            jobs.push_back({i, offset, length, offset == 0, offset + length >= size});
            offset += length;
        } while (offset < size);
    }
    return jobs;
}

// Fills the chunk with the job's bytes; returns 0 or an errno.
int readChunk(const ZipSourceEntry& entry, const ChunkJob& job, ZipChunk& chunk) {
    chunk.rawSize = 0;
    if (job.length == 0)
        return 0;
    if (chunk.raw.size() < ChunkSize)
        chunk.raw.resize(ChunkSize);
    const int fd = ::open(entry.path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    int error = 0;
    while (chunk.rawSize < job.length) {
        const ssize_t got = ::pread(fd, chunk.raw.data() + chunk.rawSize, job.length - chunk.rawSize,
                                    static_cast<off_t>(job.offset + chunk.rawSize));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break; // a file that shrank since it was listed is stored as it is now
        chunk.rawSize += static_cast<size_t>(got);
    }
    ::close(fd);
    return error;
}

// Reads and deflates slices on worker threads, at most one window ahead of the writer.
class ChunkPipeline {
public:
    ChunkPipeline(const std::vector<ZipSourceEntry>& entries, const std::vector<ChunkJob>& jobs, int level,
                  int threads)
        : m_entries(entries), m_jobs(jobs), m_level(level), m_slots(static_cast<size_t>(threads) * 2 + 2) {
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

    // The finished slice k, or nullptr when it is not ready within the timeout.
    const ZipChunk* waitFor(size_t k, std::chrono::milliseconds timeout) {
        Slot& slot = slotOf(k);
        std::unique_lock lock(m_mutex);
        if (!m_doneCv.wait_for(lock, timeout, [&] { return slot.done; }))
            return nullptr;
        if (slot.error == ENOMEM)
            throw std::bad_alloc();
        if (slot.error != 0)
            throw osError(slot.error);
        return &slot.chunk;
    }

    void release(size_t k) {
        {
            std::lock_guard lock(m_mutex);
            slotOf(k).done = false;
            ++m_nextWrite;
        }
        m_workCv.notify_all();
    }

private:
    struct Slot {
        ZipChunk chunk;
        bool done = false;
        int error = 0;
    };

    Slot& slotOf(size_t k) { return m_slots[k % m_slots.size()]; }

    bool claim(size_t& k) {
        std::unique_lock lock(m_mutex);
        m_workCv.wait(lock, [&] {
            return m_stop || (m_nextJob < m_jobs.size() && m_nextJob < m_nextWrite + m_slots.size());
        });
        if (m_stop)
            return false;
        k = m_nextJob++;
        return true;
    }

    void finish(Slot& slot, int error) {
        {
            std::lock_guard lock(m_mutex);
            slot.error = error;
            slot.done = true;
        }
        m_doneCv.notify_all();
    }

    void work() {
        std::unique_ptr<ChunkDeflater> deflater;
        size_t k = 0;
        while (claim(k)) {
            Slot& slot = slotOf(k);
            const ChunkJob& job = m_jobs[k];
            int error = 0;
            try {
                if (!deflater)
                    deflater = std::make_unique<ChunkDeflater>(m_level);
                error = readChunk(m_entries[job.entry], job, slot.chunk);
                if (error == 0)
                    deflater->process(slot.chunk, job.last);
            } catch (const std::bad_alloc&) {
                error = ENOMEM;
            }
            finish(slot, error);
        }
    }

    const std::vector<ZipSourceEntry>& m_entries;
    const std::vector<ChunkJob>& m_jobs;
    const int m_level;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_workCv;
    std::condition_variable m_doneCv;
    size_t m_nextJob = 0;
    size_t m_nextWrite = 0;
    bool m_stop = false;
};

// The archive being written: a temporary file beside the final name until commit renames it.
class PendingArchive {
public:
    PendingArchive(const QString& finalPath, bool durable)
        : m_final(QFile::encodeName(finalPath)), m_durable(durable) {
        if (m_final.isEmpty() || m_final.endsWith('/'))
            RaiseOsError(ENOENT, true);
        const qsizetype slash = m_final.lastIndexOf('/');
        const QByteArray folder = slash < 0    ? QByteArray(".")
                                  : slash == 0 ? QByteArray("/")
                                               : m_final.left(slash);
        platform::removeStaleTemporaries(folder.constData(),
                                         QByteArray(m_final.mid(slash + 1) + '.').constData(), ".part");
        m_temp = m_final + ".XXXXXX.part";
        m_fd = ::mkostemps(m_temp.data(), 5, O_CLOEXEC);
        if (m_fd < 0)
            RaiseOsError(errno, true);
    }

    ~PendingArchive() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_committed)
            ::unlink(m_temp.constData());
    }

    PendingArchive(const PendingArchive&) = delete;
    PendingArchive& operator=(const PendingArchive&) = delete;

    int fd() const { return m_fd; }

    void commit() {
        keepModeOfReplacedFile();
        // On disk before it takes the final name, so a crash never leaves a short archive there.
        if (m_durable && platform::syncFile(m_fd) != 0)
            RaiseOsError(errno);
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0)
            RaiseOsError(errno);
        if (platform::renameFile(m_temp.constData(), m_final.constData()) != 0)
            RaiseOsError(errno);
        m_committed = true;
    }

private:
    // A new archive stays private to its owner (it holds mail); a replaced one keeps its mode.
    void keepModeOfReplacedFile() {
        struct stat existing {};
        if (::stat(m_final.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
            ::fchmod(m_fd, existing.st_mode & 07777);
    }

    QByteArray m_final;
    bool m_durable;
    QByteArray m_temp;
    int m_fd = -1;
    bool m_committed = false;
};

quint16 deflateSpeedFlags(int level) {
    if (level >= 8)
        return 2;
    if (level == 2)
        return 4;
    return level == 1 ? 6 : 0;
}

// Puts the slices of each file into the archive in order and reports progress.
class ArchiveAssembler {
public:
    ArchiveAssembler(ZipWriter& writer, const std::vector<ZipSourceEntry>& entries, int level,
                     ZipRunEvents& events)
        : m_writer(writer), m_entries(entries), m_level(level), m_events(events) {
        for (const ZipSourceEntry& entry : entries)
            m_total += entry.size;
    }

    void add(const ChunkJob& job, const ZipChunk& chunk) {
        const ZipSourceEntry& entry = m_entries[job.entry];
        if (job.first)
            begin(entry, job, chunk);
        writeData(job, chunk);
        m_crc =
            job.first
                ? chunk.crc
                : static_cast<quint32>(crc32_combine(m_crc, chunk.crc, static_cast<z_off_t>(chunk.rawSize)));
        m_fileDone += chunk.rawSize;
        m_done += chunk.rawSize;
        if (job.last)
            m_writer.endEntry(m_crc, m_fileDone);
        if (!entry.isDirectory())
            report(percentOf(m_done, m_total), job.last ? 100.0 : percentOf(m_fileDone, entry.size));
    }

    // A run of empty folders only, or one whose files shrank meanwhile, still ends at 100.
    void reportEnd() {
        if (!m_reportedEnd)
            report(100.0, 100.0);
    }

private:
    void report(double whole, double current) {
        m_reportedEnd = whole >= 100.0 && current >= 100.0;
        m_events.statistics(whole, current);
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

    void writeData(const ChunkJob& job, const ZipChunk& chunk) {
        if (m_method == zipformat::MethodStore)
            m_writer.write(chunk.raw.data(), chunk.rawSize);
        else if (chunk.deflated)
            m_writer.write(chunk.packed.data(), chunk.packedSize);
        else if (chunk.rawSize > 0 || job.last)
            writeStoredBlocks(m_writer, chunk.raw.data(), chunk.rawSize, job.last);
    }

    ZipWriter& m_writer;
    const std::vector<ZipSourceEntry>& m_entries;
    const int m_level;
    ZipRunEvents& m_events;
    quint64 m_total = 0;
    quint64 m_done = 0;
    quint64 m_fileDone = 0;
    quint32 m_crc = 0;
    quint16 m_method = zipformat::MethodStore;
    bool m_reportedEnd = false;
};

struct WalkCancelled {};

int threadCount(int requested) {
    if (requested > 0)
        return requested;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, MaximumThreads);
}

} // namespace

ZipCompressor::ZipCompressor(ZipCompressSettings settings, ZipRunEvents& events)
    : m_settings(std::move(settings)), m_events(events) {}

ZipRunOutcome ZipCompressor::run() {
    CancelPacer pacer;
    if (pacer.ask(m_events))
        return ZipRunOutcome::Cancelled;
    const std::vector<ZipSourceEntry> entries =
        ListSourceFolder(m_settings.sourceFolder, m_settings.archiveFile);
    const std::vector<ChunkJob> jobs = planJobs(entries);
    const int level = std::clamp(m_settings.level, 0, 9);

    PendingArchive archive(m_settings.archiveFile, m_settings.durable);
    ZipWriter writer(archive.fd());
    writer.setForceZip64(m_settings.forceZip64);
    ArchiveAssembler assembler(writer, entries, level, m_events);
    ChunkPipeline pipeline(entries, jobs, level, threadCount(m_settings.threads));
    for (size_t k = 0; k < jobs.size(); ++k) {
        const ZipChunk* chunk = nullptr;
        while (!(chunk = pipeline.waitFor(k, CancelPacer::Interval)))
            if (pacer.ask(m_events))
                return ZipRunOutcome::Cancelled;
        assembler.add(jobs[k], *chunk);
        pipeline.release(k);
        if (pacer.askIfDue(m_events))
            return ZipRunOutcome::Cancelled;
    }
    writer.finish(m_settings.comment);
    archive.commit();
    assembler.reportEnd();
    return ZipRunOutcome::Completed;
}

} // namespace stowline
