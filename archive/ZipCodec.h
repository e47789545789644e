#pragma once

#include <QtGlobal>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace stowline {

// Memory that starts on a page, as the page cache's pages do: the kernel copies between the two with
// `rep movsb`, which on this project's CPUs took three times as long at malloc's 16-byte offset.
template <typename T> struct PageAligned {
    using value_type = T;
    static constexpr std::align_val_t Page{4096};
    PageAligned() = default;
    template <typename U> PageAligned(const PageAligned<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), Page)); }
    void deallocate(T* p, size_t n) { ::operator delete(p, n * sizeof(T), Page); }
    template <typename U> bool operator==(const PageAligned<U>&) const { return true; }
};
using PageBuffer = std::vector<char, PageAligned<char>>;

// Which deflate implementation the zip component uses: ISA-L where the build has it (several times
// faster than zlib at comparable sizes), zlib otherwise or when STOWLINE_DEFLATE=zlib asks for it.
bool UsesIsal();

// CRC-32 as zip stores it, continued from crc.
quint32 Crc32(quint32 crc, const char* data, size_t size);

// Raw deflate compression of independent slices: each call compresses one whole slice; the slice
// ends with a sync flush (an empty stored block) unless it is the last, so slices join into one
// deflate stream. level is the zip component's level, 1 to 9.
class SliceDeflater {
public:
    virtual ~SliceDeflater() = default;
    // Returns the compressed size, or 0 when the output did not fit in capacity.
    virtual size_t deflate(const char* in, size_t size, char* out, size_t capacity, bool last) = 0;
    static std::unique_ptr<SliceDeflater> create(int level);
};

// Streaming raw deflate decompression of one member at a time: feed() compressed bytes as they are
// read; every piece of output goes to sink. reset() readies it for the next member.
class MemberInflater {
public:
    using Sink = std::function<void(const char* data, size_t size)>;
    virtual ~MemberInflater() = default;
    // Returns false for data that is not a valid deflate stream.
    virtual bool feed(const char* in, size_t size, const Sink& sink) = 0;
    virtual bool finished() const = 0;
    virtual void reset() = 0;
    static std::unique_ptr<MemberInflater> create();
};

} // namespace stowline
