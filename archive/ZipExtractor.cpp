#include "archive/ZipExtractor.h"

#include "archive/PendingFile.h"
#include "archive/ZipCodec.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipFormat.h"
#include "archive/ZipLibzip.h"
#include "archive/ZipText.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/FileAccess.h"
#include "platform/FileCalls.h"
#include "platform/PrivateFiles.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

namespace stowline {

namespace {

constexpr size_t ReadBufferSize = 256 * 1024;
constexpr int MaximumThreads = 4;

struct ExtractItem {
    zip_uint64_t index = 0;
    QString memberName;
    QByteArray target; // native path
    quint64 size = 0;
    mode_t mode = 0; // as packed; narrowed before unpacking
    time_t modified = 0;
    quint32 crc = 0;
    bool ownInflate = false; // deflated without encryption: read raw, inflated and checked here
};

// Zip archives hold a folder's mode only for an empty folder; any other folder opens to others only
// as far as the files in it were open to them.
struct FolderMode {
    mode_t mode = 0700;
    bool recorded = false;

    void letReadWhatFileLets(mode_t fileMode) {
        if (!recorded)
            mode |= (fileMode & 044) | (fileMode & 044) >> 2;
    }
};

struct ExtractPlan {
    QByteArray root;
    std::map<QByteArray, FolderMode> folders; // parents sort before their children
    std::vector<ExtractItem> files;
    quint64 totalBytes = 0;
};

bool isDrivePrefix(const QString& name) { return name.size() >= 2 && name[1] == u':' && name[0].isLetter(); }

bool specMatchesAll(const QString& pattern) {
    return pattern.isEmpty() || pattern == u"*.*" || pattern == u"*";
}

mode_t recordedMode(zip_t* archive, zip_uint64_t index, mode_t unrecorded) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    mode_t recorded = unrecorded;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0777) != 0)
        recorded = (attributes >> 16) & 0777;
    return recorded;
}

// Unpacked files and folders are never more open than they were when packed, than the umask allows,
// or than the folder unpacked into is to others: a private folder gets private files.
mode_t allowedModeBelow(const QByteArray& root) {
    return 0700 | (platform::modeOf(QFile::decodeName(root)) & ~platform::currentUmask() & 077);
}

// Creates a folder and its missing parents; a file in the way is an error. True when it was made
// here, so it holds nothing yet.
bool makeFolder(const QByteArray& path, mode_t mode) {
    if (platform::makeFolder(path.constData(), mode) == 0)
        return true;
    int error = errno;
    const qsizetype slash = path.lastIndexOf('/');
    if (error == ENOENT && slash > 0) {
        makeFolder(path.left(slash), mode);
        if (platform::makeFolder(path.constData(), mode) == 0)
            return true;
        error = errno;
    }
    const auto info = error == EEXIST ? platform::statusOf(path.constData()) : std::nullopt;
    if (!info)
        RaiseOsError(error, true);
    if (!info->isFolder())
        RaiseOsError(EEXIST, true);
    return false;
}

// True when something already in the target below root, on the way to folder, is a symbolic link
// that unpacking would follow out of the target. Missing parts are made by the extraction itself.
bool linkOnTheWay(const QByteArray& root, const QByteArray& folder) {
    for (qsizetype at = root.size(); at < folder.size();) {
        qsizetype next = folder.indexOf('/', at + 1);
        if (next < 0)
            next = folder.size();
        const auto info = platform::statusOfEntry(folder.left(next).constData());
        if (!info)
            return false;
        if (info->isLink())
            return true;
        at = next;
    }
    return false;
}

QByteArray rootFolder(const QString& folder) {
    QByteArray root = QFile::encodeName(QString(folder).replace(u'\\', u'/'));
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);
    if (root.isEmpty())
        RaiseOsError(ENOENT, true);
    return root;
}

// The plan is made from a checked open; the workers then read by the same directory unchecked.
ZipArchiveHandle openArchive(const ZipExtractSettings& settings, bool checked = false) {
    return settings.innerMember.isEmpty()
               ? OpenZipForReading(settings.archiveFile, checked)
               : OpenInnerZipForReading(settings.archiveFile, settings.innerMember, checked);
}

ExtractPlan planExtraction(zip_t* archive, const ZipExtractSettings& settings) {
    ExtractPlan plan;
    plan.root = rootFolder(settings.extractFolder);
    const bool all = specMatchesAll(settings.fileSpec);
    const std::optional<QString> pattern = all ? QString() : SafeMemberPath(settings.fileSpec);
    QHash<QByteArray, size_t> fileByTarget;
    QSet<QByteArray> foldersClear; // checked for links already: many members share a folder
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t info;
        if (zip_stat_index(archive, index, ZIP_FL_ENC_RAW, &info) != 0)
            throw ZipFailure(zip_get_error(archive));
        const QString name = DecodeArchiveText(QByteArrayView(info.name));
        const std::optional<QString> path = SafeMemberPath(name);
        if (!all && (!path || !pattern || path->compare(*pattern, Qt::CaseInsensitive) != 0))
            continue;
        if (!path)
            Raise(Err::PathFileAccess, Str(txtMemberRefused) + name);
        if (IsSymbolicLinkEntry(archive, index))
            Raise(Err::PathFileAccess, Str(txtMemberIsLink) + name);
        const bool isFolder = name.endsWith(u'/') || name.endsWith(u'\\');
        if (path->isEmpty())
            continue;
        const QByteArray target = plan.root + '/' + QFile::encodeName(*path);
        const QByteArray folder = isFolder ? target : target.left(target.lastIndexOf('/'));
        if (!foldersClear.contains(folder)) {
            if (linkOnTheWay(plan.root, folder))
                Raise(Err::PathFileAccess, Str(txtLinkOnTheWay) + name);
            foldersClear.insert(folder);
        }
        if (isFolder) {
            plan.folders[target] = {recordedMode(archive, index, 0777), true};
            continue;
        }
        ExtractItem item{index,
                         name,
                         target,
                         info.size,
                         recordedMode(archive, index, 0666),
                         info.mtime,
                         info.crc,
                         info.comp_method == ZIP_CM_DEFLATE && info.encryption_method == ZIP_EM_NONE};
        plan.folders[target.left(target.lastIndexOf('/'))].letReadWhatFileLets(item.mode);
        // A later member of the same name wins, as it would unpacked one after the other.
        if (auto it = fileByTarget.find(target); it != fileByTarget.end())
            plan.files[*it].target.clear();
        fileByTarget.insert(target, plan.files.size());
        plan.files.push_back(item);
    }
    std::erase_if(plan.files, [](const ExtractItem& item) { return item.target.isEmpty(); });
    for (const ExtractItem& item : plan.files)
        plan.totalBytes += item.size;
    return plan;
}

// The recorded mode and modification time, given before the file takes its name.
void stamp(int fd, mode_t mode, time_t modified) {
    platform::setPermissions(fd, mode);
    platform::setModified(fd, modified);
}

// Unpacks whole members on worker threads, each with its own handle on the archive.
class ExtractWorkers {
public:
    enum State { Waiting, Started, Finished };

    ExtractWorkers(const ZipExtractSettings& settings, const std::vector<ExtractItem>& files, int threads)
        : m_settings(settings), m_cancel(settings.cancel), m_files(files), m_order(largestFirst(files)),
          m_progress(files.size()) {
        // Counted before any starts: a worker that fails at once lowers m_running while others start.
        const int count = std::min(threads, static_cast<int>(files.size()));
        m_running = count;
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    ~ExtractWorkers() {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }

    // Returns after a worker reported a change or when the timeout passed.
    void waitForChange(std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, timeout, [&] { return m_changes != m_seenChanges; });
        m_seenChanges = m_changes;
    }

    // Every file before a damaged member is unpacked first, as one after the other would have,
    // whichever order the workers took them in; the first damaged member in order is the one reported.
    void rethrowFailure() {
        std::unique_lock lock(m_mutex);
        if (!m_failure)
            return;
        m_changed.wait(lock, [&] { return m_running == 0; });
        std::rethrow_exception(m_failure);
    }

    // The reporter names the file it waits for: only that one's end wakes it, not every file's.
    void awaitFile(size_t i) { m_awaited.store(i); }
    State state(size_t i) const { return m_progress[i].state.load(); }
    quint64 bytesDone(size_t i) const { return m_progress[i].done.load(); }
    quint64 totalDone() const { return m_totalDone.load(); }

private:
    // What one worker keeps from member to member.
    struct Worker {
        ZipArchiveHandle archive;
        PageBuffer buffer;
        std::unique_ptr<MemberInflater> inflater;
    };

    struct Progress {
        std::atomic<State> state{Waiting};
        std::atomic<quint64> done{0};
    };

    void announceEnd(size_t i) {
        if (m_awaited.load() != i)
            return;
        {
            std::lock_guard lock(m_mutex);
            ++m_changes;
        }
        m_changed.notify_one();
    }

    // Big files first, so that both workers end together instead of one finishing the largest alone.
    static std::vector<size_t> largestFirst(const std::vector<ExtractItem>& files) {
        std::vector<size_t> order(files.size());
        std::iota(order.begin(), order.end(), size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return files[a].size > files[b].size; });
        return order;
    }

    void work() {
        try {
            Worker worker{openArchive(m_settings), PageBuffer(ReadBufferSize), nullptr};
            for (size_t n = m_next++; n < m_order.size() && !stopping(); n = m_next++) {
                const size_t i = m_order[n];
                if (i < m_firstFailed)
                    unpackOne(worker, i);
            }
        } catch (...) {
            fail(m_files.size(), std::current_exception());
        }
        {
            std::lock_guard lock(m_mutex);
            --m_running;
            ++m_changes;
        }
        m_changed.notify_one();
    }

    void unpackOne(Worker& worker, size_t i) {
        m_progress[i].state = Started;
        try {
            unpack(worker, m_files[i], m_progress[i]);
        } catch (...) {
            fail(i, std::current_exception());
            return;
        }
        m_progress[i].state = Finished;
        announceEnd(i);
    }

    void fail(size_t i, std::exception_ptr failure) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_failure || i < m_firstFailed) {
                m_failure = std::move(failure);
                m_firstFailed = std::min(m_firstFailed.load(), i);
            }
            ++m_changes;
        }
        m_changed.notify_one();
    }

    void unpack(Worker& worker, const ExtractItem& item, Progress& progress) {
        zip_t* archive = worker.archive.get();
        PageBuffer& buffer = worker.buffer;
        MemberReader member(archive, item.index, item.ownInflate ? ZIP_FL_COMPRESSED : 0);
        if (!member.isOpen())
            throw memberFailure(item, member.error());
        // Hidden until complete, in the target's folder so that the rename stays on its file system.
        PendingFile out(item.target, item.target.left(item.target.lastIndexOf('/') + 1) + ".stowline-XXXXXX");
        MemberInflater* inflater = nullptr;
        if (item.ownInflate) {
            if (!worker.inflater)
                worker.inflater = MemberInflater::create();
            inflater = worker.inflater.get();
            inflater->reset();
        }
        quint32 crc = 0;
        quint64 written = 0;
        const MemberInflater::Sink write = [&](const char* data, size_t size) {
            zipformat::writeFully(out.fd(), data, size);
            if (inflater)
                crc = Crc32(crc, data, size);
            written += size;
            progress.done += size;
            m_totalDone += size;
        };
        while (!stopping()) {
            const zip_int64_t got = member.read(buffer.data(), buffer.size());
            if (got < 0)
                throw memberFailure(item, member.error());
            if (got == 0)
                break;
            if (!inflater)
                write(buffer.data(), static_cast<size_t>(got));
            else if (!inflater->feed(buffer.data(), static_cast<size_t>(got), write))
                throw damaged(item);
        }
        if (stopping())
            return;
        // libzip checks what it reads itself; what we inflate we check here.
        if (inflater && (!inflater->finished() || crc != item.crc || written != item.size))
            throw damaged(item);
        stamp(out.fd(), item.mode, item.modified);
        out.commit(false);
    }

    bool stopping() const { return m_stop || (m_cancel && m_cancel->requested()); }

    static VbError damaged(const ExtractItem& item) {
        return VbError(Err::InvalidFormat, Str(txtMemberDamaged) + item.memberName);
    }

    static VbError memberFailure(const ExtractItem& item, const zip_error_t* error) {
        const VbError failure = ZipFailure(error);
        if (failure.number() == 321)
            return VbError(Err::InvalidFormat, Str(txtMemberDamaged) + item.memberName);
        return failure;
    }

    const ZipExtractSettings& m_settings;
    const CancelToken* m_cancel;
    const std::vector<ExtractItem>& m_files;
    const std::vector<size_t> m_order;
    std::vector<Progress> m_progress;
    std::vector<std::thread> m_threads;
    std::atomic<size_t> m_next{0};
    std::atomic<size_t> m_awaited{0};
    std::atomic<bool> m_stop{false};             // cancelled: the file being unpacked is left unfinished
    std::atomic<size_t> m_firstFailed{SIZE_MAX}; // files after a damaged member are not started
    int m_running = 0;                           // workers not yet ended, under m_mutex
    std::atomic<quint64> m_totalDone{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    quint64 m_changes = 0;
    quint64 m_seenChanges = 0;
    std::exception_ptr m_failure;
};

// Raises the events of the unpacked files in member order while the workers run ahead.
class ExtractReporter {
public:
    ExtractReporter(const ExtractPlan& plan, ExtractWorkers& workers, ZipRunEvents& events)
        : m_plan(plan), m_workers(workers), m_events(events) {}

    bool allReported() const { return m_next == m_plan.files.size(); }

    void report() {
        while (m_next < m_plan.files.size()) {
            const ExtractItem& item = m_plan.files[m_next];
            m_workers.awaitFile(m_next); // before the state is read, so that its end is not missed
            const ExtractWorkers::State state = m_workers.state(m_next);
            if (state == ExtractWorkers::Waiting)
                return;
            if (!m_announced) {
                m_events.fileStarted(QFile::decodeName(item.target));
                m_announced = true;
                m_last = {-1.0, -1.0};
            }
            const double whole = percentOf(m_workers.totalDone(), m_plan.totalBytes);
            if (state != ExtractWorkers::Finished) {
                statistics(whole, percentOf(m_workers.bytesDone(m_next), item.size));
                return;
            }
            statistics(whole, 100.0);
            ++m_next;
            m_announced = false;
        }
    }

    // A run without files still ends at 100.
    void reportEnd() {
        if (m_plan.files.empty())
            statistics(100.0, 100.0);
    }

private:
    void statistics(double whole, double current) {
        if (std::pair{whole, current} == m_last)
            return;
        m_last = {whole, current};
        m_events.statistics(whole, current);
    }

    const ExtractPlan& m_plan;
    ExtractWorkers& m_workers;
    ZipRunEvents& m_events;
    size_t m_next = 0;
    bool m_announced = false;
    std::pair<double, double> m_last{-1.0, -1.0};
};

size_t entryCount(zip_t* archive) {
    return archive ? static_cast<size_t>(std::max<zip_int64_t>(zip_get_num_entries(archive, 0), 0)) : 0;
}

// Each worker holds its own copy of the archive's directory (some 300 bytes a member), and of the
// outer one for an inner zip read in place: very many members get fewer workers, so that memory
// stays flat.
int threadCount(int requested, size_t members) {
    constexpr size_t MembersForAllWorkers = 16384;
    const int wanted =
        requested > 0 ? requested
                      : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, MaximumThreads);
    const auto affordable = static_cast<int>(
        std::max<size_t>(1, MaximumThreads * MembersForAllWorkers / std::max<size_t>(members, 1)));
    return std::min(wanted, affordable);
}

} // namespace

std::optional<QString> SafeMemberPath(const QString& memberName) {
    const QString name = QString(memberName).replace(u'\\', u'/');
    const bool control =
        std::any_of(name.begin(), name.end(), [](QChar c) { return c < u' ' || c == u'\x7f'; });
    if (control || name.startsWith(u'/') || isDrivePrefix(name))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..")
            return std::nullopt;
        if (part != u".")
            parts << part;
    }
    return parts.join(u'/');
}

ZipExtractor::ZipExtractor(ZipExtractSettings settings, ZipRunEvents& events)
    : m_settings(std::move(settings)), m_events(events) {}

ZipRunOutcome ZipExtractor::run() {
    CancelPacer pacer;
    if (pacer.ask(m_events))
        return ZipRunOutcome::Cancelled;
    ZipArchiveHandle archive = openArchive(m_settings, true);
    ExtractPlan plan = planExtraction(archive.get(), m_settings);
    const size_t directoryEntries = entryCount(archive.get()) + entryCount(archive.get_deleter().outer);
    archive.reset();
    // A folder made just now holds no leftovers of a run that was killed.
    if (!makeFolder(plan.root, 0777))
        platform::removeStaleTemporaries(plan.root.constData(), ".stowline-", "");
    const mode_t allowed = allowedModeBelow(plan.root);
    for (const auto& [folder, folderMode] : plan.folders)
        if (!makeFolder(folder, (folderMode.mode & allowed) | 0700))
            platform::removeStaleTemporaries(folder.constData(), ".stowline-", "");
    // Mail, Favorites and address books never run: no unpacked file is executable, whatever the
    // archive records.
    for (ExtractItem& item : plan.files)
        item.mode = (item.mode & allowed & 0666) | 0600;

    ExtractWorkers workers(m_settings, plan.files, threadCount(m_settings.threads, directoryEntries));
    ExtractReporter reporter(plan, workers, m_events);
    while (!reporter.allReported()) {
        workers.waitForChange(CancelPacer::Interval);
        workers.rethrowFailure();
        reporter.report();
        if (pacer.askIfDue(m_events))
            return ZipRunOutcome::Cancelled;
    }
    reporter.reportEnd();
    return ZipRunOutcome::Completed;
}

} // namespace stowline
