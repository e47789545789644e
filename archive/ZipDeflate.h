#pragma once

#include "archive/ZipCodec.h"

#include <QtGlobal>
#include <memory>
#include <vector>

namespace stowline {

class ZipWriter;

// The bytes of one job's slices one after another, and their deflate forms likewise.
struct ChunkBuffers {
    PageBuffer raw;
    std::vector<char> packed;
    size_t packedUsed = 0;
};

// One slice of a source file in its job's buffers: its CRC-32 and, when deflating pays, its raw
// deflate form. Slices of one file are deflated independently and joined: each but the last ends
// with an empty stored block (a sync flush), so the joined stream is one valid deflate stream.
// Within a slice, stretches that look random (attachments, pictures) become stored blocks and the
// rest is deflated stretch by stretch, joined the same way.
struct ZipChunk {
    size_t rawOffset = 0;
    size_t rawSize = 0;
    size_t packedOffset = 0;
    size_t packedSize = 0;
    bool deflated = false;
    quint32 crc = 0;
};

class ChunkDeflater {
public:
    explicit ChunkDeflater(int level);
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    // Sets crc, and deflated with the packed bytes appended to the buffers unless the level is 0 or
    // the bytes would not shrink enough.
    void process(ChunkBuffers& buffers, ZipChunk& chunk, bool last);

private:
    // A run of the slice's bytes that is either deflated or stored.
    struct Stretch {
        size_t offset = 0;
        size_t size = 0;
        bool incompressible = false;
    };

    // Splits the bytes into stretches of blocks judged alike, each block by a sample of its start.
    void splitIntoStretches(const char* data, size_t size);
    bool deflate(ChunkBuffers& buffers, ZipChunk& chunk, bool last);

    int m_level;
    std::unique_ptr<SliceDeflater> m_deflater;
    std::vector<Stretch> m_stretches;
};

// Writes bytes as deflate stored blocks; the last block carries the final mark when final is set.
void writeStoredBlocks(ZipWriter& writer, const char* data, size_t size, bool final);

} // namespace stowline
