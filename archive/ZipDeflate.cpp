#include "archive/ZipDeflate.h"

#include "archive/ZipWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace stowline {

namespace {

// Order-0 entropy above this (bits per byte) means deflate gains a few percent at best.
constexpr double IncompressibleEntropy = 7.8;
constexpr size_t EntropySampleMinimum = 4096;
constexpr size_t EntropySampleBlocks = 16;
constexpr size_t StoredBlockMaximum = 65535;

size_t packedOrRawCap(const ZipChunk& chunk) { return chunk.rawSize - chunk.rawSize / 32; }

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
    if (m_level == 0 || chunk.rawSize == 0 || looksIncompressible(raw, chunk.rawSize))
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
    chunk.packedSize = m_deflater->deflate(buffers.raw.data() + chunk.rawOffset, chunk.rawSize,
                                           buffers.packed.data() + buffers.packedUsed, bound, last);
    return chunk.packedSize > 0;
}

bool looksIncompressible(const char* data, size_t size) {
    if (size < EntropySampleMinimum)
        return false;
    // Evenly spread blocks judge a slice as well as all its bytes do, at a sixteenth of the cost.
    const size_t blocks = std::min(EntropySampleBlocks, size / EntropySampleMinimum);
    const size_t stride = size / blocks;
    std::array<size_t, 256> counts{};
    for (size_t block = 0; block < blocks; ++block) {
        const auto* bytes = reinterpret_cast<const uchar*>(data + block * stride);
        for (size_t i = 0; i < EntropySampleMinimum; ++i)
            ++counts[bytes[i]];
    }
    const double sampled = static_cast<double>(blocks * EntropySampleMinimum);
    double bits = 0;
    for (const size_t count : counts) {
        if (count == 0)
            continue;
        const double p = static_cast<double>(count) / sampled;
        bits -= p * std::log2(p);
    }
    return bits > IncompressibleEntropy;
}

void writeStoredBlocks(ZipWriter& writer, const char* data, size_t size, bool final) {
    do {
        const size_t length = std::min(size, StoredBlockMaximum);
        const bool lastBlock = length == size;
        const auto len = static_cast<quint16>(length);
        const char header[5] = {static_cast<char>(final && lastBlock ? 1 : 0), static_cast<char>(len & 0xFF),
                                static_cast<char>(len >> 8), static_cast<char>(~len & 0xFF),
                                static_cast<char>((~len >> 8) & 0xFF)};
        writer.write(header, sizeof header);
        writer.write(data, length);
        data += length;
        size -= length;
    } while (size > 0);
}

} // namespace stowline
