#include "archive/ZipDeflate.h"

#include "archive/ZipWriter.h"

#include <algorithm>
#include <array>

namespace stowline {

namespace {

// Random bytes come in attachments of tens of KiB: blocks this size find their edges closely
// enough, and a sample of each block's start judges it for a sixteenth of reading it all.
constexpr size_t StretchBlock = 16 * 1024;
constexpr size_t SampleSize = 1024;
constexpr size_t SampleMinimum = 512;
// A sample whose chance that two bytes match is below 1/200 (Renyi entropy above 7.6 bits per
// byte) leaves deflate a few percent at best; random bytes give 1/256, text about 1/20.
constexpr quint64 IncompressibleCollisions = 200;
constexpr size_t StoredBlockMaximum = 65535;
constexpr size_t StoredHeaderSize = 5;
using StoredHeader = std::array<char, StoredHeaderSize>;

size_t packedOrRawCap(const ZipChunk& chunk) { return chunk.rawSize - chunk.rawSize / 32; }

bool looksIncompressible(const char* data, size_t size) {
    const size_t sampled = std::min(size, SampleSize) & ~size_t{3};
    if (sampled < SampleMinimum)
        return false;
    // Four tables, so that a byte that repeats in text does not wait for its count to be stored.
    std::array<std::array<quint16, 256>, 4> counts{};
    const auto* bytes = reinterpret_cast<const uchar*>(data);
    for (size_t i = 0; i < sampled; i += 4)
        for (size_t table = 0; table < 4; ++table)
            ++counts[table][bytes[i + table]];
    quint64 squares = 0;
    for (size_t value = 0; value < 256; ++value) {
        const quint64 count =
            quint64{counts[0][value]} + counts[1][value] + counts[2][value] + counts[3][value];
        squares += count * count;
    }
    const quint64 matchingPairs = squares - sampled; // of distinct positions, in either order
    return matchingPairs * IncompressibleCollisions < quint64{sampled} * (sampled - 1);
}

StoredHeader storedBlockHeader(size_t length, bool final) {
    const auto len = static_cast<quint16>(length);
    return {static_cast<char>(final ? 1 : 0), static_cast<char>(len & 0xFF), static_cast<char>(len >> 8),
            static_cast<char>(~len & 0xFF), static_cast<char>((~len >> 8) & 0xFF)};
}

// Calls put(header, bytes, length) for each stored block that holds the bytes.
template <typename Put> void forEachStoredBlock(const char* data, size_t size, bool final, Put&& put) {
    do {
        const size_t length = std::min(size, StoredBlockMaximum);
        put(storedBlockHeader(length, final && length == size), data, length);
        data += length;
        size -= length;
    } while (size > 0);
}

// Returns the bytes put, or 0 when they would not fit in capacity.
size_t putStoredBlocks(const char* data, size_t size, bool final, char* out, size_t capacity) {
    const size_t blocks = std::max<size_t>(1, (size + StoredBlockMaximum - 1) / StoredBlockMaximum);
    if (size + blocks * StoredHeaderSize > capacity)
        return 0;
    char* const start = out;
    forEachStoredBlock(data, size, final, [&](const StoredHeader& header, const char* bytes, size_t length) {
        out = std::copy(header.begin(), header.end(), out);
        out = std::copy_n(bytes, length, out);
    });
    return static_cast<size_t>(out - start);
}

} // namespace

ChunkDeflater::ChunkDeflater(int level) : m_level(level) {
    if (m_level > 0)
        m_deflater = SliceDeflater::create(m_level);
}

ChunkDeflater::~ChunkDeflater() = default;

void ChunkDeflater::process(ChunkBuffers& buffers, ZipChunk& chunk, bool last) {
    const char* raw = buffers.raw.data() + chunk.rawOffset;
    chunk.crc = Crc32(0, raw, chunk.rawSize);
    chunk.deflated = false;
    chunk.packedOffset = buffers.packedUsed;
    chunk.packedSize = 0;
    if (m_level == 0 || chunk.rawSize == 0)
        return;
    splitIntoStretches(raw, chunk.rawSize);
    if (m_stretches.size() == 1 && m_stretches.front().incompressible)
        return;
    chunk.deflated = deflate(buffers, chunk, last) && chunk.packedSize <= packedOrRawCap(chunk);
    if (chunk.deflated)
        buffers.packedUsed += chunk.packedSize;
}

bool ChunkDeflater::deflate(ChunkBuffers& buffers, ZipChunk& chunk, bool last) {
    // Room for data that does not shrink: stored blocks and flush marks add a few bytes per 64 KiB.
    const size_t bound = chunk.rawSize + chunk.rawSize / 16 + 4096;
    if (buffers.packed.size() < buffers.packedUsed + bound)
        buffers.packed.resize(buffers.packedUsed + bound);
    const char* raw = buffers.raw.data() + chunk.rawOffset;
    char* out = buffers.packed.data() + buffers.packedUsed;
    size_t used = 0;
    for (const Stretch& stretch : m_stretches) {
        const bool final = last && &stretch == &m_stretches.back();
        const size_t written =
            stretch.incompressible
                ? putStoredBlocks(raw + stretch.offset, stretch.size, final, out + used, bound - used)
                : m_deflater->deflate(raw + stretch.offset, stretch.size, out + used, bound - used, final);
        if (written == 0)
            return false;
        used += written;
    }
    chunk.packedSize = used;
    return true;
}

void ChunkDeflater::splitIntoStretches(const char* data, size_t size) {
    m_stretches.clear();
    for (size_t offset = 0; offset < size; offset += StretchBlock) {
        const size_t length = std::min(StretchBlock, size - offset);
        const bool incompressible = looksIncompressible(data + offset, length);
        if (!m_stretches.empty() && m_stretches.back().incompressible == incompressible)
            m_stretches.back().size += length;
        else
            m_stretches.push_back({offset, length, incompressible});
    }
}

void writeStoredBlocks(ZipWriter& writer, const char* data, size_t size, bool final) {
    forEachStoredBlock(data, size, final, [&](const StoredHeader& header, const char* bytes, size_t length) {
        writer.write(header.data(), header.size());
        writer.write(bytes, length);
    });
}

} // namespace stowline
