#include "mail/DbxStore.h"

#include "platform/FileAccess.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QTimeZone>
#include <algorithm>
#include <cstring>
#include <numeric>

namespace stowline::mail {

// Text the store recorded in the system's 8-bit code page, or UTF-8.
QString recordedText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    return ansi.isValid() ? QString(ansi.decode(bytes)) : QString::fromLatin1(bytes);
}

namespace {

constexpr qint64 HeaderSize = 0x24bc;
constexpr qint64 NodeSize = 0x27c;
constexpr int NodeEntries = 0x33;
constexpr qint64 BlockHeaderSize = 0x10;
constexpr quint32 BlockTextSize = 0x200;
constexpr quint32 Magic = 0xfe12adcf;
constexpr quint32 MessageStoreClass = 0x6f74fdc5;
constexpr quint32 FolderStoreClass = 0x6f74fdc6;
constexpr qint64 CountOffset = 0xc4;
constexpr qint64 RootOffset = 0xe4;
// An index record larger than this is damage, not data.
constexpr quint32 LargestRecord = 0x10000;
constexpr qint64 CacheSize = 256 * 1024;
constexpr size_t MaxTreeDepth = 64;
constexpr qint64 FiletimeUnixEpoch = 116444736000000000LL;

quint32 le32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

QString hex(qint64 offset) { return QStringLiteral("0x") + QString::number(offset, 16); }

class FileSource final : public ByteSource {
public:
    FileSource(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    ~FileSource() override { platform::closeFile(m_fd); }
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char* into, qint64 length) override {
        qint64 done = 0;
        while (done < length) {
            const ssize_t n =
                platform::readAt(m_fd, into + done, size_t(length - done), off_t(offset + done));
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

private:
    int m_fd;
    qint64 m_size;
};

// Reads through a window of the source so that the many small objects of a store cost few reads.
class CachedReader {
public:
    explicit CachedReader(ByteSource& source) : m_source(source), m_size(source.size()) {}
    qint64 size() const { return m_size; }
    // False when the range leaves the file or the source fails.
    bool read(qint64 offset, char* into, qint64 length) {
        if (offset < 0 || length < 0 || offset > m_size || length > m_size - offset)
            return false;
        if (length > CacheSize)
            return m_source.readAt(offset, into, length) == length;
        if (offset < m_start || offset + length > m_start + m_cache.size()) {
            // What the window already holds from offset on is kept, so the source is asked only for
            // what follows the window: a source that reads forwards only never has to go back.
            const qint64 kept = offset >= m_start && offset < m_start + m_cache.size()
                                    ? m_start + m_cache.size() - offset
                                    : 0;
            if (kept > 0)
                std::memmove(m_cache.data(), m_cache.constData() + (offset - m_start), size_t(kept));
            m_cache.resize(std::min(CacheSize, m_size - offset));
            const qint64 got = m_source.readAt(offset + kept, m_cache.data() + kept, m_cache.size() - kept);
            if (got < 0 || kept + got < length) {
                m_cache.clear();
                return false;
            }
            m_cache.resize(kept + got);
            m_start = offset;
        }
        std::memcpy(into, m_cache.constData() + (offset - m_start), size_t(length));
        return true;
    }
    bool u32(qint64 offset, quint32* value) {
        char b[4];
        if (!read(offset, b, 4))
            return false;
        *value = le32(b);
        return true;
    }

private:
    ByteSource& m_source;
    qint64 m_size;
    QByteArray m_cache;
    qint64 m_start = 0;
};

// One indexed record: numbered fields that are numbers stored in place or data behind the index.
class IndexedRecord {
public:
    bool load(CachedReader& reader, qint64 offset) {
        char head[12];
        if (!reader.read(offset, head, 12) || le32(head) != quint32(offset))
            return false;
        const quint32 bodyLength = le32(head + 4);
        const int count = static_cast<unsigned char>(head[10]);
        if (bodyLength > LargestRecord || quint32(count) * 4 > bodyLength)
            return false;
        m_body.resize(bodyLength);
        if (!reader.read(offset + 12, m_body.data(), bodyLength))
            return false;
        m_count = count;
        return true;
    }
    std::optional<quint32> number(int field) const {
        const auto entry = find(field);
        if (!entry)
            return std::nullopt;
        if (entry->direct)
            return entry->value;
        const qint64 at = dataStart() + entry->value;
        if (at + 4 > m_body.size())
            return std::nullopt;
        return le32(m_body.constData() + at);
    }
    QByteArrayView bytes(int field) const {
        const auto entry = find(field);
        if (!entry || entry->direct)
            return {};
        const qint64 at = dataStart() + entry->value;
        if (at >= m_body.size())
            return {};
        const QByteArrayView rest = QByteArrayView(m_body).sliced(at);
        const qsizetype end = rest.indexOf('\0');
        return end < 0 ? rest : rest.first(end);
    }
    QString text(int field) const { return recordedText(bytes(field)); }
    QDateTime time(int field) const {
        const auto entry = find(field);
        const qint64 at = entry && !entry->direct ? dataStart() + entry->value : m_body.size();
        if (at + 8 > m_body.size())
            return {};
        const char* raw = m_body.constData() + at;
        const qint64 ticks = qint64(le32(raw)) | qint64(le32(raw + 4)) << 32;
        if (ticks <= FiletimeUnixEpoch)
            return {};
        return QDateTime::fromMSecsSinceEpoch((ticks - FiletimeUnixEpoch) / 10000, QTimeZone::utc());
    }

private:
    struct Entry {
        bool direct;
        quint32 value;
    };
    qint64 dataStart() const { return qint64(m_count) * 4; }
    std::optional<Entry> find(int field) const {
        for (int i = 0; i < m_count; ++i) {
            const quint32 word = le32(m_body.constData() + i * 4);
            if (int(word & 0x7f) == field)
                return Entry{(word & 0x80) != 0, word >> 8};
        }
        return std::nullopt;
    }
    QByteArray m_body;
    int m_count = 0;
};

struct StoreHeader {
    quint32 kind = 0;
    quint32 count = 0;
    quint32 root = 0;
};

std::optional<StoreHeader> readHeader(CachedReader& reader) {
    char head[HeaderSize];
    if (reader.size() < HeaderSize || !reader.read(0, head, HeaderSize) || le32(head) != Magic)
        return std::nullopt;
    return StoreHeader{le32(head + 4), le32(head + CountOffset), le32(head + RootOffset)};
}

// The values of the index tree in order. Every node is visited once at most, so a damaged link
// can neither loop nor lead out of the file; a node that cannot be read is a problem and its
// subtree is left out.
QList<quint32> readTree(CachedReader& reader, quint32 root, QList<StoreProblem>& problems) {
    QList<quint32> values;
    if (root == 0)
        return values;
    struct Frame {
        char node[NodeSize];
        int next = -1; // -1: the node's first child is still to be walked
    };
    std::vector<std::unique_ptr<Frame>> stack;
    QSet<quint32> visited;
    auto push = [&](quint32 offset) {
        if (offset == 0)
            return;
        // A real index is a few levels deep; a deeper one is damage and would only cost memory.
        if (stack.size() >= MaxTreeDepth) {
            problems.append({-1, QStringLiteral("index node at %1 lies too deep").arg(hex(offset))});
            return;
        }
        auto frame = std::make_unique<Frame>();
        if (visited.contains(offset) || !reader.read(offset, frame->node, NodeSize) ||
            le32(frame->node) != offset || static_cast<unsigned char>(frame->node[0x11]) > NodeEntries) {
            problems.append({-1, QStringLiteral("index node at %1 is damaged").arg(hex(offset))});
            return;
        }
        visited.insert(offset);
        stack.push_back(std::move(frame));
    };
    push(root);
    while (!stack.empty()) {
        Frame& top = *stack.back();
        const int entries = static_cast<unsigned char>(top.node[0x11]);
        if (top.next == -1) {
            top.next = 0;
            push(le32(top.node + 8));
            continue;
        }
        if (top.next >= entries) {
            stack.pop_back();
            continue;
        }
        const char* entry = top.node + 0x18 + 12 * top.next++;
        values.append(le32(entry));
        push(le32(entry + 4));
    }
    return values;
}

bool plausibleBlock(const char* head, qint64 offset, qint64 fileSize) {
    const quint32 next = le32(head + 12);
    return le32(head) == quint32(offset) && le32(head + 4) == BlockTextSize &&
           le32(head + 8) <= BlockTextSize &&
           (next == 0 || (next % 4 == 0 && next >= HeaderSize && qint64(next) + BlockHeaderSize <= fileSize &&
                          next != quint32(offset)));
}

} // namespace

std::unique_ptr<ByteSource> openFileSource(const QString& path) {
    const int fd = platform::openToRead(QFile::encodeName(path).constData());
    if (fd < 0)
        return nullptr;
    const off_t size = platform::seekToEnd(fd);
    if (size < 0) {
        platform::closeFile(fd);
        return nullptr;
    }
    platform::adviseSequential(fd);
    return std::make_unique<FileSource>(fd, qint64(size));
}

struct DbxStore::Impl {
    std::unique_ptr<ByteSource> source;
    std::unique_ptr<CachedReader> reader;
    std::optional<StoreHeader> header;
    QList<MessageEntry> messages;
    QList<StoreProblem> problems;
    bool listed = false;

    // The entry of the record at `offset`, listed at `position` (from 1); null when it is damaged.
    std::optional<MessageEntry> entryAt(quint32 offset, int position) {
        IndexedRecord record;
        const std::optional<quint32> text = record.load(*reader, offset) ? record.number(0x04) : std::nullopt;
        if (!text) {
            problems.append(
                {-1, QStringLiteral("message record %1 (at %2) is damaged").arg(position).arg(hex(offset))});
            return std::nullopt;
        }
        MessageEntry entry;
        entry.index = int(record.number(0x00).value_or(quint32(position)));
        entry.infoOffset = offset;
        entry.firstBlock = *text;
        entry.read = (record.number(0x01).value_or(0) & 0x80) != 0;
        entry.date = record.time(0x12);
        if (!entry.date.isValid())
            entry.date = record.time(0x02);
        entry.subject = record.text(0x08);
        entry.from = record.text(0x09);
        if (entry.from.isEmpty())
            entry.from = record.text(0x0d);
        entry.size = record.number(0x11).value_or(0);
        return entry;
    }

    void checkCount(qsizetype listed) {
        if (quint32(listed) != header->count && problems.isEmpty())
            problems.append(
                {-1, QStringLiteral("the index lists %1 of %2 messages").arg(listed).arg(header->count)});
    }

    void list() {
        const QList<quint32> records = readTree(*reader, header->root, problems);
        for (int position = 0; position < records.size(); ++position)
            if (std::optional<MessageEntry> entry = entryAt(records[position], position + 1))
                messages.append(*entry);
        checkCount(records.size());
    }
};

DbxStore::DbxStore(std::unique_ptr<ByteSource> source) : d(std::make_unique<Impl>()) {
    d->source = std::move(source);
    if (!d->source)
        return;
    d->reader = std::make_unique<CachedReader>(*d->source);
    d->header = readHeader(*d->reader);
    if (!d->header || d->header->kind != MessageStoreClass) {
        d->header.reset();
        d->problems.append({-1, QStringLiteral("not a message store")});
    }
}

DbxStore::~DbxStore() = default;

bool DbxStore::isMessageStore() const { return d->header.has_value(); }
const QList<MessageEntry>& DbxStore::messages() const {
    if (d->header && !d->listed) {
        d->listed = true;
        d->list();
    }
    return d->messages;
}

bool DbxStore::visitInFileOrder(const std::function<bool(const MessageEntry&)>& visit) {
    if (!d->header)
        return true;
    const QList<quint32> records = readTree(*d->reader, d->header->root, d->problems);
    std::vector<int> byOffset(size_t(records.size()));
    std::iota(byOffset.begin(), byOffset.end(), 0);
    std::stable_sort(byOffset.begin(), byOffset.end(), [&](int a, int b) { return records[a] < records[b]; });
    std::vector<std::optional<MessageEntry>> found(size_t(records.size()));
    for (const int position : byOffset) {
        found[size_t(position)] = d->entryAt(records[position], position + 1);
        if (found[size_t(position)] && !visit(*found[size_t(position)]))
            return false;
    }
    d->checkCount(records.size());
    // The listing in index order comes with the pass, so messages() need not read the store again.
    d->messages.clear();
    for (const std::optional<MessageEntry>& entry : found)
        if (entry)
            d->messages.append(*entry);
    d->listed = true;
    return true;
}

int DbxStore::recordedCount() const { return d->header ? int(d->header->count) : 0; }
const QList<StoreProblem>& DbxStore::problems() const { return d->problems; }

bool DbxStore::readMessage(const MessageEntry& message, const ByteSink& sink) {
    if (!d->header)
        return false;
    const qint64 fileSize = d->reader->size();
    QSet<qint64> visited;
    char block[BlockHeaderSize + BlockTextSize];
    qint64 at = message.firstBlock;
    auto fail = [&](const QString& why) {
        d->problems.append({message.index, why});
        return false;
    };
    while (at != 0) {
        if (!d->reader->read(at, block, BlockHeaderSize))
            return fail(QStringLiteral("text block at %1 lies outside the file").arg(hex(at)));
        if (!plausibleBlock(block, at, fileSize))
            return fail(QStringLiteral("text block at %1 is damaged").arg(hex(at)));
        if (visited.contains(at))
            return fail(QStringLiteral("text blocks run in a circle at %1").arg(hex(at)));
        visited.insert(at);
        const quint32 used = le32(block + 8);
        if (!d->reader->read(at + BlockHeaderSize, block + BlockHeaderSize, used))
            return fail(QStringLiteral("text block at %1 is cut off").arg(hex(at)));
        if (used > 0 && !sink(block + BlockHeaderSize, used))
            return false;
        at = le32(block + 12);
    }
    return true;
}

QList<MessageEntry> DbxStore::recoverable() {
    QList<MessageEntry> found;
    if (!d->header)
        return found;
    // Every well-formed text block in the file, found by a front-to-back scan.
    struct Block {
        quint32 offset;
        quint32 next;
    };
    std::vector<Block> blocks;
    const qint64 fileSize = d->reader->size();
    constexpr qint64 Chunk = 1 << 20;
    QByteArray window(Chunk + BlockHeaderSize, Qt::Uninitialized);
    for (qint64 start = HeaderSize - HeaderSize % 4; start + BlockHeaderSize <= fileSize; start += Chunk) {
        const qint64 length = std::min<qint64>(Chunk + BlockHeaderSize, fileSize - start);
        if (d->source->readAt(start, window.data(), length) != length)
            break;
        for (qint64 i = 0; i + BlockHeaderSize <= length && i < Chunk; i += 4)
            if (plausibleBlock(window.constData() + i, start + i, fileSize))
                blocks.push_back({quint32(start + i), le32(window.constData() + i + 12)});
    }
    auto blockAt = [&](quint32 offset) -> Block* {
        auto it = std::lower_bound(blocks.begin(), blocks.end(), offset,
                                   [](const Block& b, quint32 o) { return b.offset < o; });
        return it != blocks.end() && it->offset == offset ? &*it : nullptr;
    };
    // Blocks of listed messages and blocks some other block continues into are not starts.
    std::vector<bool> taken(blocks.size()), continued(blocks.size());
    auto index = [&](const Block* b) { return size_t(b - blocks.data()); };
    auto claim = [&](quint32 first) {
        for (Block* b = blockAt(first); b && !taken[index(b)]; b = b->next ? blockAt(b->next) : nullptr)
            taken[index(b)] = true;
    };
    for (const MessageEntry& message : messages())
        claim(quint32(message.firstBlock));
    for (const Block& b : blocks)
        if (Block* next = b.next ? blockAt(b.next) : nullptr)
            continued[index(next)] = true;
    int number = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (taken[i] || continued[i])
            continue;
        claim(blocks[i].offset);
        MessageEntry entry;
        entry.index = ++number;
        entry.firstBlock = blocks[i].offset;
        found.append(entry);
    }
    return found;
}

QList<FolderRecord> readFolderTree(ByteSource& source, QList<StoreProblem>* problems) {
    QList<StoreProblem> local;
    QList<StoreProblem>& out = problems ? *problems : local;
    CachedReader reader(source);
    const std::optional<StoreHeader> header = readHeader(reader);
    QList<FolderRecord> folders;
    if (!header || header->kind != FolderStoreClass) {
        out.append({-1, QStringLiteral("not a folder list")});
        return folders;
    }
    for (const quint32 offset : readTree(reader, header->root, out)) {
        IndexedRecord record;
        if (!record.load(reader, offset) || !record.number(0x00)) {
            out.append({-1, QStringLiteral("folder record at %1 is damaged").arg(hex(offset))});
            continue;
        }
        FolderRecord folder;
        folder.id = int(*record.number(0x00));
        folder.parentId = int(record.number(0x01).value_or(0xffffffff));
        folder.name = record.text(0x02);
        folder.storeFile = record.text(0x03);
        folders.append(folder);
    }
    return folders;
}

} // namespace stowline::mail
