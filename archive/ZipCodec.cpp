#include "archive/ZipCodec.h"

#include <QByteArray>
#include <new>
#include <vector>
#include <zlib.h>

#ifdef STOWLINE_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

namespace stowline {

namespace {

constexpr size_t InflateOutput = 256 * 1024;

class ZlibDeflater : public SliceDeflater {
public:
    explicit ZlibDeflater(int level) {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
    }
    ~ZlibDeflater() override { deflateEnd(&m_stream); }

    size_t deflate(const char* in, size_t size, char* out, size_t capacity, bool last) override {
        deflateReset(&m_stream);
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        m_stream.avail_in = static_cast<uInt>(size);
        m_stream.next_out = reinterpret_cast<Bytef*>(out);
        m_stream.avail_out = static_cast<uInt>(capacity);
        const int result = ::deflate(&m_stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        const bool complete = last ? result == Z_STREAM_END : result == Z_OK && m_stream.avail_in == 0;
        return complete ? capacity - m_stream.avail_out : 0;
    }

private:
    z_stream m_stream{};
};

class ZlibInflater : public MemberInflater {
public:
    ZlibInflater() : m_output(InflateOutput) {
        if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    ~ZlibInflater() override { inflateEnd(&m_stream); }

    bool feed(const char* in, size_t size, const Sink& sink) override {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        m_stream.avail_in = static_cast<uInt>(size);
        while (!m_finished && (m_stream.avail_in > 0 || m_stream.avail_out == 0)) {
            m_stream.next_out = reinterpret_cast<Bytef*>(m_output.data());
            m_stream.avail_out = static_cast<uInt>(m_output.size());
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return false;
            sink(m_output.data(), m_output.size() - m_stream.avail_out);
            m_finished = result == Z_STREAM_END;
            if (result == Z_BUF_ERROR && m_stream.avail_in == 0)
                break;
        }
        return true;
    }
    bool finished() const override { return m_finished; }
    void reset() override {
        inflateReset(&m_stream);
        m_finished = false;
    }

private:
    z_stream m_stream{};
    PageBuffer m_output;
    bool m_finished = false;
};

#ifdef STOWLINE_HAVE_ISAL
// ISA-L's level 2 for the fastest position (on mail with attachments 0.7 % smaller than its level 1,
// below `zip -1`, in the same time of a whole backup), its level 3 (smaller than zlib's level 1 at a
// fifth of its time) for the next; the positions above ask for size, which only zlib's slow levels give.
int isalLevel(int level) { return level <= 1 ? 2 : 3; }

// Level 1 ends a block (and fits a new Huffman code) every 32 Ki symbols rather than the default 64 Ki:
// mail that changes between text and binary parts comes out about 1 % smaller at the same speed.
size_t levelBufferSize(int isal) {
    return isal == 1 ? ISAL_DEF_LVL1_MEDIUM : isal == 2 ? ISAL_DEF_LVL2_DEFAULT : ISAL_DEF_LVL3_DEFAULT;
}

constexpr size_t SmallSlice = 8 * 1024;

class IsalDeflater : public SliceDeflater {
public:
    explicit IsalDeflater(int level) : m_level(isalLevel(level)), m_levelBuffer(levelBufferSize(m_level)) {}

    size_t deflate(const char* in, size_t size, char* out, size_t capacity, bool last) override {
        isal_deflate_init(&m_stream);
        // A small file costs more in building its own Huffman code than the code saves: it is
        // coded with the library's ready-made one.
        if (size >= SmallSlice) {
            m_stream.level = static_cast<uint32_t>(m_level);
            m_stream.level_buf = m_levelBuffer.data();
            m_stream.level_buf_size = static_cast<uint32_t>(m_levelBuffer.size());
        }
        m_stream.gzip_flag = IGZIP_DEFLATE;
        m_stream.flush = last ? NO_FLUSH : SYNC_FLUSH;
        m_stream.end_of_stream = last ? 1 : 0;
        m_stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(in));
        m_stream.avail_in = static_cast<uint32_t>(size);
        m_stream.next_out = reinterpret_cast<uint8_t*>(out);
        m_stream.avail_out = static_cast<uint32_t>(capacity);
        if (isal_deflate(&m_stream) != COMP_OK || m_stream.avail_in != 0)
            return 0;
        const bool complete = last ? m_stream.internal_state.state == ZSTATE_END : m_stream.avail_out > 0;
        return complete ? capacity - m_stream.avail_out : 0;
    }

private:
    int m_level;
    std::vector<uint8_t> m_levelBuffer;
    isal_zstream m_stream{};
};

class IsalInflater : public MemberInflater {
public:
    IsalInflater() : m_output(InflateOutput) { reset(); }

    bool feed(const char* in, size_t size, const Sink& sink) override {
        m_state.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(in));
        m_state.avail_in = static_cast<uint32_t>(size);
        do {
            m_state.next_out = reinterpret_cast<uint8_t*>(m_output.data());
            m_state.avail_out = static_cast<uint32_t>(m_output.size());
            if (isal_inflate(&m_state) != ISAL_DECOMP_OK)
                return false;
            sink(m_output.data(), m_output.size() - m_state.avail_out);
        } while (!finished() && (m_state.avail_in > 0 || m_state.avail_out == 0));
        return true;
    }
    bool finished() const override { return m_state.block_state == ISAL_BLOCK_FINISH; }
    void reset() override {
        isal_inflate_init(&m_state);
        m_state.crc_flag = ISAL_DEFLATE;
    }

private:
    inflate_state m_state{};
    PageBuffer m_output;
};
#endif

} // namespace

bool UsesIsal() {
#ifdef STOWLINE_HAVE_ISAL
    return qgetenv("STOWLINE_DEFLATE") != "zlib";
#else
    return false;
#endif
}

// The same sum either way, so ISA-L's whatever STOWLINE_DEFLATE says: asked on every call, the setting
// took the environment's lock once per file and per slice, on every thread.
quint32 Crc32(quint32 crc, const char* data, size_t size) {
#ifdef STOWLINE_HAVE_ISAL
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(data), size);
#else
    return static_cast<quint32>(crc32_z(crc, reinterpret_cast<const Bytef*>(data), size));
#endif
}

std::unique_ptr<SliceDeflater> SliceDeflater::create(int level) {
#ifdef STOWLINE_HAVE_ISAL
    if (UsesIsal() && level <= 3)
        return std::make_unique<IsalDeflater>(level);
#endif
    return std::make_unique<ZlibDeflater>(level);
}

std::unique_ptr<MemberInflater> MemberInflater::create() {
#ifdef STOWLINE_HAVE_ISAL
    if (UsesIsal())
        return std::make_unique<IsalInflater>();
#endif
    return std::make_unique<ZlibInflater>();
}

} // namespace stowline
