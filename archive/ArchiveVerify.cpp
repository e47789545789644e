#include "archive/ArchiveVerify.h"

#include "archive/ZipCodec.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipFormat.h"
#include "archive/ZipLayout.h"
#include "archive/ZipLibzip.h"
#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"

#include <QFile>
#include <QIODevice>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace stowline {

namespace {

constexpr size_t ChunkSize = 64 * 1024;

struct VerifyFailure {
    QString member;
    int reasonId;
    QString detail;
};

// Why an encrypted member cannot be read: a wrong or missing passphrase, a changed member (its
// authentication code), or damage of another kind.
int ReasonOf(const zip_error_t* error) {
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_NOPASSWD:
        return txtNoPassphrase;
    case ZIP_ER_WRONGPASSWD:
        return txtWrongPassphrase;
    case ZIP_ER_CRC:
        return txtAuthenticationFailed;
    default:
        return txtChecksumWrong;
    }
}

// One member of the outer archive as a stream of its bytes, inflated here (ISA-L where built in);
// finish() checks its CRC and size. Only one chunk's output is ever held.
class MemberStream {
public:
    MemberStream(zip_t* archive, zip_uint64_t index)
        : m_name(QString::fromUtf8(zip_get_name(archive, index, 0))) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, index, 0, &stat) != 0)
            fail(txtNotAZip);
        m_crc = stat.crc;
        m_size = stat.size;
        // An encrypted member is authenticated, decrypted and inflated by its reader.
        const bool encrypted = stat.encryption_method != ZIP_EM_NONE;
        const bool ownInflate =
            !encrypted && (stat.comp_method == ZIP_CM_DEFLATE || stat.comp_method == ZIP_CM_STORE);
        if (ownInflate && stat.comp_method == ZIP_CM_DEFLATE)
            m_inflater = MemberInflater::create();
        // libzip checks the CRC of stored data itself, even read raw: a second sum would only cost.
        m_ownCheck = ownInflate && stat.comp_method == ZIP_CM_DEFLATE;
        m_encrypted = encrypted;
        m_file = std::make_unique<MemberReader>(archive, index, ownInflate ? ZIP_FL_COMPRESSED : 0);
        if (!m_file->isOpen())
            fail(readFailure());
    }

    const QString& name() const { return m_name; }

    // Up to size bytes; 0 only at the end of the member.
    size_t read(char* out, size_t size) {
        while (m_offset == m_pending.size() && !m_atEnd)
            fill();
        const size_t n = std::min(size, m_pending.size() - m_offset);
        std::memcpy(out, m_pending.data() + m_offset, n);
        m_offset += n;
        return n;
    }

    void readExactly(char* out, size_t size, const QString& member) {
        while (size > 0) {
            const size_t n = read(out, size);
            if (n == 0)
                throw VerifyFailure{member, txtInnerZipBroken, {}};
            out += n;
            size -= n;
        }
    }

    void finish() {
        // The rest is only checked, never looked at: it is not kept.
        m_pending.clear();
        m_offset = 0;
        m_discard = true;
        while (!m_atEnd)
            fill();
        if (m_ownCheck &&
            ((m_inflater && !m_inflater->finished()) || m_seenCrc != m_crc || m_seenSize != m_size))
            fail(txtChecksumWrong);
    }

    [[noreturn]] void fail(int reasonId) const { throw VerifyFailure{m_name, reasonId, {}}; }

private:
    void fill() {
        m_pending.clear();
        m_offset = 0;
        alignas(4096) char raw[ChunkSize]; // as PageBuffer, for the kernel's copy
        const zip_int64_t got = m_file->read(raw, sizeof raw);
        if (got < 0)
            fail(readFailure());
        if (got == 0) {
            m_atEnd = true;
            return;
        }
        const auto keep = [this](const char* data, size_t size) {
            if (!m_discard)
                m_pending.insert(m_pending.end(), data, data + size);
            if (m_ownCheck)
                m_seenCrc = Crc32(m_seenCrc, data, size);
            m_seenSize += size;
        };
        if (!m_inflater)
            keep(raw, static_cast<size_t>(got));
        else if (!m_inflater->feed(raw, static_cast<size_t>(got), keep))
            fail(txtChecksumWrong);
    }

    // Only an encrypted member's failures say more than that its bytes do not check out.
    int readFailure() const { return m_encrypted ? ReasonOf(m_file->error()) : txtChecksumWrong; }

    QString m_name;
    bool m_encrypted = false;
    std::unique_ptr<MemberReader> m_file;
    std::unique_ptr<MemberInflater> m_inflater;
    bool m_ownCheck = false;
    quint32 m_crc = 0;
    quint64 m_size = 0;
    quint32 m_seenCrc = 0;
    quint64 m_seenSize = 0;
    std::vector<char> m_pending;
    size_t m_offset = 0;
    bool m_atEnd = false;
    bool m_discard = false;
};

// A member stream as a sequential device, for the registry file parser.
class MemberDevice : public QIODevice {
public:
    explicit MemberDevice(MemberStream& stream) : m_stream(stream) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const size_t n = m_stream.read(data, static_cast<size_t>(maxSize));
        return n == 0 ? -1 : static_cast<qint64>(n);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    MemberStream& m_stream;
};

// An inner zip read front to back from the outer member: every local entry's data is inflated and
// checked against its CRC, and each central record must point at one of those local headers and
// agree with it, so that a reader going by the directory reads what was checked here.
class InnerZipCheck {
public:
    explicit InnerZipCheck(MemberStream& stream) : m_stream(stream) {}

    void run() {
        std::map<quint64, ziplayout::EntryFields> locals; // by offset
        std::set<quint64> listed;
        std::optional<quint64> directoryStart;
        for (;;) {
            const quint64 at = m_position;
            const quint32 signature = readSignature();
            if (signature == zipformat::LocalHeaderSignature && !directoryStart) {
                locals.emplace(at, checkLocalEntry());
                continue;
            }
            if (!directoryStart)
                directoryStart = at;
            if (signature == zipformat::CentralHeaderSignature) {
                const ziplayout::EntryFields central = readCentralRecord();
                const auto local = locals.find(central.headerOffset);
                if (local == locals.end() || !listed.insert(central.headerOffset).second ||
                    !ziplayout::LocalAgreesWithCentral(local->second, central))
                    broken(QString::fromUtf8(central.name));
            } else if (signature == zipformat::Zip64EndSignature || signature == zipformat::EndSignature) {
                break;
            } else {
                broken({});
            }
        }
        if (listed.size() != locals.size())
            broken({});
    }

private:
    QString label(const QString& inner) const {
        return inner.isEmpty() ? m_stream.name() : m_stream.name() + QStringLiteral(": ") + inner;
    }
    [[noreturn]] void broken(const QString& inner, int reasonId = txtInnerZipBroken) const {
        throw VerifyFailure{label(inner), reasonId, {}};
    }

    void read(char* out, size_t size, const QString& member) {
        m_stream.readExactly(out, size, member);
        m_position += size;
    }

    quint32 readSignature() {
        char bytes[4];
        read(bytes, 4, m_stream.name());
        return zipformat::get32(bytes);
    }

    QByteArray readBytes(quint16 size) {
        QByteArray bytes(size, Qt::Uninitialized);
        read(bytes.data(), size, m_stream.name());
        return bytes;
    }

    ziplayout::EntryFields readLocalHeader() {
        char header[zipformat::LocalHeaderSize - 4];
        read(header, sizeof header, m_stream.name());
        quint16 nameSize = 0;
        quint16 extraSize = 0;
        ziplayout::EntryFields entry = ziplayout::ParseLocalHeader(header, nameSize, extraSize);
        entry.name = readBytes(nameSize);
        ziplayout::ApplyZip64Extra(entry, readBytes(extraSize), false);
        return entry;
    }

    ziplayout::EntryFields checkLocalEntry() {
        const ziplayout::EntryFields entry = readLocalHeader();
        const QString name = QString::fromUtf8(entry.name);
        const bool knownMethod =
            entry.method == zipformat::MethodStore || entry.method == zipformat::MethodDeflate;
        if ((entry.flags & zipformat::FlagDataDescriptor) || !knownMethod)
            broken(name, txtCannotBeChecked);
        const auto inflater = entry.method == zipformat::MethodDeflate ? MemberInflater::create() : nullptr;
        quint32 crc = 0;
        quint64 size = 0;
        const MemberInflater::Sink count = [&](const char* data, size_t n) {
            crc = Crc32(crc, data, n);
            size += n;
        };
        char chunk[ChunkSize];
        for (quint64 left = entry.compressed; left > 0;) {
            const size_t n = static_cast<size_t>(std::min<quint64>(left, sizeof chunk));
            read(chunk, n, label(name));
            if (!inflater)
                count(chunk, n);
            else if (!inflater->feed(chunk, n, count))
                broken(name, txtChecksumWrong);
            left -= n;
        }
        if ((inflater && !inflater->finished()) || crc != entry.crc || size != entry.uncompressed)
            broken(name, txtChecksumWrong);
        return entry;
    }

    ziplayout::EntryFields readCentralRecord() {
        char record[42];
        read(record, sizeof record, m_stream.name());
        quint16 nameSize = 0, extraSize = 0, commentSize = 0;
        ziplayout::EntryFields entry =
            ziplayout::ParseCentralRecord(record, nameSize, extraSize, commentSize);
        entry.name = readBytes(nameSize);
        ziplayout::ApplyZip64Extra(entry, readBytes(extraSize), true);
        readBytes(commentSize);
        return entry;
    }

    MemberStream& m_stream;
    quint64 m_position = 0;
};

void checkRegFile(MemberStream& stream) {
    MemberDevice device(stream);
    try {
        parseRegFile(device, [](const RegFileOp&) {});
    } catch (const RegFileError& error) {
        throw VerifyFailure{stream.name(), txtRegFileBroken, error.message()};
    }
}

// A stored member's bytes, summed here: libzip sums only a member read whole, with zlib's CRC, so it
// is read in windows and summed with ISA-L's, about twice as fast for an inner zip of 100 MiB.
void checkStoredBytes(zip_t* archive, zip_uint64_t index) {
    constexpr quint64 Window = 16 * 1024 * 1024;
    const QString name = QString::fromUtf8(zip_get_name(archive, index, 0));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || stat.comp_method != ZIP_CM_STORE)
        throw VerifyFailure{name, txtChecksumWrong, {}};
    if (stat.encryption_method != ZIP_EM_NONE) {
        // Its authentication code covers every byte, and is checked before it can be opened, unless this
        // process wrote it and the bytes on disk are the ones it wrote (keyed tags, a fifth of the cost).
        if (MatchesWrittenMember(archive, index)) {
            if (name.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive) &&
                !OpenStoredInnerZip(archive, index, false))
                throw VerifyFailure{name, txtInnerZipBroken, {}};
            return;
        }
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* packed = OpenPackedMember(archive, index, &error);
        const int reason = ReasonOf(&error);
        zip_error_fini(&error);
        if (!packed)
            throw VerifyFailure{name, reason, {}};
        zip_source_free(packed);
        if (name.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive) &&
            !OpenStoredInnerZip(archive, index, false))
            throw VerifyFailure{name, txtInnerZipBroken, {}};
        return;
    }
    PageBuffer buffer(ChunkSize);
    quint32 crc = 0;
    for (quint64 start = 0; start < stat.size; start += Window) {
        const quint64 length = std::min(Window, stat.size - start);
        zip_source_t* window =
            zip_source_zip(archive, archive, index, 0, start, static_cast<zip_int64_t>(length));
        const bool opened = window && zip_source_open(window) == 0;
        quint64 read = 0;
        for (zip_int64_t n = 0; opened && (n = zip_source_read(window, buffer.data(), buffer.size())) > 0;
             read += static_cast<quint64>(n))
            crc = Crc32(crc, buffer.data(), static_cast<size_t>(n));
        if (opened)
            zip_source_close(window);
        zip_source_free(window);
        if (!opened || read != length)
            throw VerifyFailure{name, txtChecksumWrong, {}};
    }
    if (crc != stat.crc)
        throw VerifyFailure{name, txtChecksumWrong, {}};
}

void checkMember(zip_t* archive, zip_uint64_t index) {
    MemberStream stream(archive, index);
    if (stream.name().endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive))
        InnerZipCheck(stream).run();
    else if (stream.name().endsWith(QStringLiteral(".reg"), Qt::CaseInsensitive))
        checkRegFile(stream);
    stream.finish();
}

} // namespace

namespace {

ZipArchiveHandle openChecked(const QString& archivePath) {
    return TryOpenZip(archivePath, ZIP_RDONLY | ZIP_CHECKCONS);
}

bool isStoredZip(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    return zip_stat_index(archive, index, 0, &stat) == 0 && stat.comp_method == ZIP_CM_STORE &&
           QString::fromUtf8(stat.name).endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive);
}

// One piece of the check: an outer member, or one member of a stored inner zip.
struct Task {
    quint64 size = 0;
    zip_uint64_t outer = 0;
    std::optional<zip_uint64_t> inner;
    bool wholeMember = true;    // false: only the outer CRC, its inner members are tasks of their own
    bool layoutRefused = false; // a stored inner zip that cannot be read one way only
    bool operator>(const Task& other) const { return size > other.size; }
};

// The pieces are checked by a few workers, each with its own handles, largest first so that they end
// together; a failure stops them, and of the failures found the first in archive order is reported.
class ParallelCheck {
public:
    ParallelCheck(const QString& archivePath, zip_t* archive, VerifyDepth depth, const QStringList& only)
        : m_path(archivePath), m_depth(depth) {
        const zip_int64_t count = std::max<zip_int64_t>(zip_get_num_entries(archive, 0), 0);
        m_results.resize(static_cast<size_t>(count));
        const QSet<QString> wanted(only.begin(), only.end());
        for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i)
            if (wanted.isEmpty() || wanted.contains(QString::fromUtf8(zip_get_name(archive, i, 0))))
                addTasks(archive, i);
        std::sort(m_tasks.begin(), m_tasks.end(), std::greater<>());
    }

    VerifyResult run() {
        const int workers = std::clamp(QThread::idealThreadCount(), 1, 4);
        std::vector<std::thread> threads;
        for (int i = 0; i < workers; ++i)
            threads.emplace_back([this] { work(); });
        for (std::thread& thread : threads)
            thread.join();
        for (const std::optional<VerifyFailure>& failure : m_results)
            if (failure)
                return {failure->member, failure->reasonId, failure->detail};
        return {};
    }

private:
    void addTasks(zip_t* archive, zip_uint64_t index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_stat_index(archive, index, 0, &stat);
        // An encrypted one is authenticated on a worker, beside the others, before it is opened: its
        // authentication code covers its bytes, and after a backup it need only open as a zip then.
        if (m_depth == VerifyDepth::Placed && IsEncryptedMember(archive, index) &&
            isStoredZip(archive, index)) {
            m_tasks.push_back({stat.comp_size, index, std::nullopt, false});
            return;
        }
        // After a backup its inner zips need only open as zips: the outer CRC covers their bytes.
        const bool strict = m_depth != VerifyDepth::Placed;
        const bool stored = isStoredZip(archive, index);
        const ZipArchiveHandle inner = stored ? OpenStoredInnerZip(archive, index, strict) : nullptr;
        if (!inner) {
            m_tasks.push_back({stat.comp_size, index, std::nullopt, true, stored && strict});
            return;
        }
        m_tasks.push_back({stat.comp_size / 16, index, std::nullopt, false});
        if (m_depth == VerifyDepth::Placed)
            return;
        const zip_int64_t innerCount = zip_get_num_entries(inner.get(), 0);
        for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(std::max<zip_int64_t>(innerCount, 0)); ++i) {
            zip_stat_t innerStat;
            zip_stat_init(&innerStat);
            zip_stat_index(inner.get(), i, 0, &innerStat);
            m_tasks.push_back({innerStat.size, index, i, true});
        }
    }

    void check(zip_t* archive, std::map<zip_uint64_t, ZipArchiveHandle>& inners, const Task& task) {
        if (task.layoutRefused) {
            checkMember(archive, task.outer); // a wrong passphrase or a changed byte is said as such
            throw VerifyFailure{
                QString::fromUtf8(zip_get_name(archive, task.outer, 0)), txtInnerZipBroken, {}};
        }
        if (!task.inner) {
            if (task.wholeMember)
                checkMember(archive, task.outer);
            else
                checkStoredBytes(archive, task.outer);
            return;
        }
        ZipArchiveHandle& inner = inners[task.outer];
        if (!inner) // its layout was checked when the tasks were made
            inner = OpenStoredInnerZip(archive, task.outer, false);
        const QString outerName = QString::fromUtf8(zip_get_name(archive, task.outer, 0));
        if (!inner)
            throw VerifyFailure{outerName, txtInnerZipBroken, {}};
        try {
            MemberStream stream(inner.get(), *task.inner);
            stream.finish();
        } catch (const VerifyFailure& failure) {
            throw VerifyFailure{outerName + QStringLiteral(": ") + failure.member, failure.reasonId,
                                failure.detail};
        }
    }

    void work() {
        // The layout was checked when the tasks were made: each worker only reads by it.
        const ZipArchiveHandle archive = TryOpenZip(m_path, ZIP_RDONLY);
        std::map<zip_uint64_t, ZipArchiveHandle> inners; // let go before the archive they lie in
        for (size_t next = m_next++; next < m_tasks.size() && !m_failed; next = m_next++) {
            const Task& task = m_tasks[next];
            try {
                if (!archive)
                    throw VerifyFailure{QString(), txtNotAZip, {}};
                check(archive.get(), inners, task);
            } catch (const VerifyFailure& failure) {
                const std::lock_guard lock(m_mutex);
                if (!m_results[task.outer])
                    m_results[task.outer] = failure;
                m_failed = true;
            }
        }
        inners.clear();
    }

    const QString m_path;
    const VerifyDepth m_depth;
    std::vector<Task> m_tasks;
    std::vector<std::optional<VerifyFailure>> m_results; // by outer member, under m_mutex
    std::mutex m_mutex;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_failed{false};
};

} // namespace

VerifyResult VerifyArchive(const QString& archivePath, VerifyDepth depth, const QStringList& members) {
    ZipArchiveHandle archive = openChecked(archivePath);
    if (!archive)
        return {QString(), txtNotAZip, {}};
    ParallelCheck check(archivePath, archive.get(), depth, members);
    archive.reset(); // each worker opens its own: a big directory is not held once more meanwhile
    return check.run();
}

bool ParseRegMember(const QString& archivePath, const QString& memberName, const RegFileSink& sink) {
    const ZipArchiveHandle archive = TryOpenZip(archivePath, ZIP_RDONLY);
    if (!archive)
        return false;
    const zip_int64_t index = zip_name_locate(archive.get(), memberName.toUtf8().constData(), 0);
    if (index < 0)
        return false;
    try {
        MemberStream stream(archive.get(), static_cast<zip_uint64_t>(index));
        MemberDevice device(stream);
        parseRegFile(device, sink);
        stream.finish();
    } catch (const VerifyFailure&) {
        return false;
    } catch (const RegFileError&) {
        return false;
    }
    return true;
}

QString VerifyFailureText(const QString& archivePath, const VerifyResult& result) {
    QString text = Str(txtVerifyFailed) + u' ' + archivePath;
    if (!result.member.isEmpty())
        text += QStringLiteral(": ") + result.member;
    text += u' ' + Str(result.reasonId);
    if (!result.detail.isEmpty())
        text += u' ' + result.detail;
    return text;
}

} // namespace stowline
