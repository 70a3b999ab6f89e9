#include "package/codecs.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "platform/errors.h"
#include "platform/messages.h"

namespace setup {

namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// One compressor per level and one decompressor per thread: they hold only
// scratch state, and making them for every small file would cost more than
// the file.
libdeflate_compressor* CompressorFor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressors[13];
    auto& slot = compressors[level];
    if (!slot) slot.reset(libdeflate_alloc_compressor(level));
    if (!slot) ThrowCompressionError();
    return slot.get();
}

libdeflate_decompressor* Decompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor;
    if (!decompressor) decompressor.reset(libdeflate_alloc_decompressor());
    if (!decompressor) ThrowDecompressionError();
    return decompressor.get();
}

[[noreturn]] void ThrowOversized(size_t maxOutput) { ThrowDamaged(msg::BlockInflatesPastLimit(maxOutput)); }

}  // namespace

int ZlibLevel(TCompressLevelEnum level) {
    // The deflater's levels go beyond zlib's nine; the smallest level gives
    // the smallest packages in the same stream format.
    switch (level) {
        case cplNone:
            return 0;
        case cplSpeed:
            return 1;
        case cplPress:
            return 12;
        default:
            return 6;
    }
}

namespace {

std::string CompressAtLevel(std::string_view input, int zlibLevel) {
    libdeflate_compressor* compressor = CompressorFor(zlibLevel);
    std::string out(libdeflate_zlib_compress_bound(compressor, input.size()), '\0');
    size_t size = libdeflate_zlib_compress(compressor, input.data(), input.size(), out.data(), out.size());
    if (size == 0) ThrowCompressionError();
    out.resize(size);
    return out;
}

// The level of the chunked streams the programs write (the uninstall record):
// zlib's smallest. Its compressor takes a few hundred KB; that of level 12
// takes about 9 MB, more than the whole rest of the setup program, for a
// record a few percent smaller.
constexpr int kStreamLevel = 9;

}  // namespace

std::string CompressBlock(std::string_view input, TCompressLevelEnum level) {
    return CompressAtLevel(input, ZlibLevel(level));
}

namespace {

// The most a zlib stream of this many bytes can inflate to: a deflate symbol of
// two bits at least stands for at most 258 bytes, so no stream expands beyond
// 1032 times its size. A buffer never needs to be larger than that.
size_t MostInflatedSize(size_t compressed) { return compressed > SIZE_MAX / 1032 ? SIZE_MAX : compressed * 1032; }

}  // namespace

std::string DecompressBlock(std::string_view input, size_t maxOutput) {
    if (input.empty()) ThrowDecompressionError();
    // The buffer never grows beyond one byte more than allowed: that byte tells
    // an oversized stream from one that fills the allowance exactly.
    size_t cap = maxOutput == SIZE_MAX ? SIZE_MAX : maxOutput + 1;
    // The whole output must fit in one buffer: a bounded stream gets room for
    // one written chunk (or its bound), an unbounded one a guess. A stream that
    // needs more is inflated again into a buffer twice as large.
    size_t guess = cap != SIZE_MAX                       ? kChunkBlockSize + 1
                   : input.size() <= kChunkBlockSize / 8 ? std::max<size_t>(input.size() * 8, 4096)
                                                         : kChunkBlockSize;
    std::string out(std::min({guess, cap, MostInflatedSize(input.size())}), '\0');
    libdeflate_decompressor* decompressor = Decompressor();
    for (;;) {
        size_t used = 0, produced = 0;
        libdeflate_result rc = libdeflate_zlib_decompress_ex(decompressor, input.data(), input.size(), out.data(),
                                                             out.size(), &used, &produced);
        if (rc == LIBDEFLATE_SUCCESS) {
            // Bytes after the end of the zlib stream mean the length was wrong.
            if (used != input.size()) ThrowDecompressionError();
            if (produced > maxOutput) ThrowOversized(maxOutput);
            out.resize(produced);
            return out;
        }
        if (rc != LIBDEFLATE_INSUFFICIENT_SPACE) ThrowDecompressionError();
        if (out.size() >= cap) ThrowOversized(maxOutput);
        size_t next = out.size() > cap / 2 ? cap : out.size() * 2;
        out.assign(next, '\0');
    }
}

void CompressStream(Stream& source, Stream& target) {
    source.Seek(0, SeekOrigin::Begin);
    // A small record takes a small buffer, not a whole block's.
    int64_t size = source.Size();
    std::string block(static_cast<size_t>(std::min<int64_t>(size, kChunkBlockSize)), '\0');
    while (source.Position() < size) {
        size_t n = source.Read(block.data(), block.size());
        if (n == 0) break;
        std::string compressed = CompressAtLevel(std::string_view(block.data(), n), kStreamLevel);
        target.WriteU32(static_cast<uint32_t>(compressed.size()));
        target.WriteBytes(compressed);
    }
}

namespace {

// A chunk whose content runs past what the caller allows.
struct Oversized {};

// Keeps the content buffer for a later large chunk, in Large, unless Large
// holds one already; frees it otherwise.
void ParkContent(ChunkBuffers& buffers) {
    if (buffers.Large.capacity() < buffers.Content.capacity()) buffers.Content.swap(buffers.Large);
    std::string().swap(buffers.Content);
}

// Gives buffers.Content room for a chunk's content from the buffers kept for
// content that is handed on (see ChunkBuffers::LargeContent).
void PrepareContent(ChunkBuffers& buffers, size_t room) {
    std::string& out = buffers.Content;
    if (room >= buffers.LargeContent) {
        if (out.capacity() > kWholeChunkSize) return;
        std::string().swap(out);
        if (buffers.Large.capacity() <= kWholeChunkSize && buffers.AwaitLarge) buffers.AwaitLarge(buffers.Large);
        if (buffers.Large.capacity() > kWholeChunkSize) {
            out.swap(buffers.Large);
        } else {
            out.reserve(kWholeChunkSize + 1);
        }
    } else if (out.capacity() >= buffers.LargeContent) {
        // A small chunk never waits in a large buffer: the large one is kept
        // for the next large chunk.
        ParkContent(buffers);
    }
}

// Inflates a chunk whose content fits kWholeChunkSize into one buffer. False,
// with nothing produced, when the content is larger than that but within
// allowed: the caller inflates it as a stream instead.
bool InflateWhole(std::string_view input, size_t allowed, ChunkBuffers& buffers) {
    std::string& out = buffers.Content;
    if (input.empty()) ThrowDecompressionError();
    // One byte more than allowed tells an oversized stream from one that fills
    // the allowance exactly. A small chunk gets no more room than it could
    // possibly fill.
    size_t room = std::min(std::min(allowed, kWholeChunkSize) + 1, MostInflatedSize(input.size()));
    if (buffers.LargeContent != 0) PrepareContent(buffers, room);
    ResizeBuffer(out, room);
    size_t used = 0, produced = 0;
    libdeflate_result rc = libdeflate_zlib_decompress_ex(Decompressor(), input.data(), input.size(), out.data(),
                                                         out.size(), &used, &produced);
    if (rc == LIBDEFLATE_INSUFFICIENT_SPACE) {
        if (room <= allowed) return false;
        throw Oversized{};
    }
    if (rc != LIBDEFLATE_SUCCESS) ThrowDecompressionError();
    // Bytes after the end of the zlib stream mean the length was wrong.
    if (used != input.size()) ThrowDecompressionError();
    if (produced > allowed) throw Oversized{};
    out.resize(produced);
    return true;
}

struct InflateEnd {
    void operator()(z_stream* z) const { inflateEnd(z); }
};

// Inflates the length bytes at the source's position as one zlib stream,
// reading and handing out both sides in bounded pieces.
void InflateStreaming(Stream& source, uint32_t length, size_t allowed, const ContentSink& sink, const char* what) {
    if (length == 0) ThrowDecompressionError();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) ThrowDecompressionError();
    std::unique_ptr<z_stream, InflateEnd> end(&z);
    std::string input(std::min<size_t>(length, kInflatePieceSize / 4), '\0');
    size_t unread = length;
    size_t made = 0;
    std::string piece(kInflatePieceSize, '\0');
    z.next_out = reinterpret_cast<Bytef*>(piece.data());
    z.avail_out = static_cast<uInt>(piece.size());
    auto handOut = [&] {
        size_t filled = piece.size() - z.avail_out;
        if (filled == 0) return;
        if (made + filled > allowed) throw Oversized{};
        made += filled;
        piece.resize(filled);
        sink(piece);
        piece.assign(kInflatePieceSize, '\0');
        z.next_out = reinterpret_cast<Bytef*>(piece.data());
        z.avail_out = static_cast<uInt>(piece.size());
    };
    for (;;) {
        if (z.avail_in == 0) {
            // The compressed bytes ran out before the stream ended.
            if (unread == 0) ThrowDecompressionError();
            size_t n = std::min(unread, input.size());
            source.ReadExact(input.data(), n, what);
            unread -= n;
            z.next_in = reinterpret_cast<Bytef*>(input.data());
            z.avail_in = static_cast<uInt>(n);
        }
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) ThrowDecompressionError();
        // Oversized content is damage found as soon as it is inflated, not
        // once a whole piece of it is.
        if (made + (piece.size() - z.avail_out) > allowed) throw Oversized{};
        if (z.avail_out == 0) handOut();
    }
    // Bytes after the end of the zlib stream mean the length was wrong.
    if (z.avail_in != 0 || unread != 0) ThrowDecompressionError();
    handOut();
}

}  // namespace

void ReadChunks(Stream& source, const ContentSink& sink, int64_t limit, const char* what, int64_t maxOutput,
                ChunkBuffers* buffers) {
    ChunkBuffers own;
    ChunkBuffers& kept = buffers ? *buffers : own;
    int64_t produced = 0;
    while (source.Position() < limit) {
        int64_t at = source.Position();
        if (limit - at < 4) {
            ThrowDamaged(msg::ChunkLengthPastEnd(what, at));
        }
        uint32_t length = source.ReadU32(what);
        if (static_cast<int64_t>(length) > limit - at - 4) {
            ThrowDamaged(msg::ChunkLongerThanRest(what, at, length, limit - at - 4));
        }
        size_t allowed = maxOutput < 0 ? SIZE_MAX : static_cast<size_t>(maxOutput - produced);
        try {
            bool whole = false;
            // Content that does not compress is stored with a few bytes of
            // framing per block: such a chunk still inflates in one piece.
            if (length <= kWholeChunkSize + kWholeChunkSize / 16) {
                source.ReadBytes(kept.Input, length, what);
                whole = InflateWhole(kept.Input, allowed, kept);
                if (whole) {
                    produced += static_cast<int64_t>(kept.Content.size());
                    sink(kept.Content);
                } else {
                    source.Seek(at + 4, SeekOrigin::Begin);
                    // The chunk is inflated in pieces of their own: a whole-chunk
                    // buffer is not held beside them.
                    if (kept.LargeContent != 0) ParkContent(kept);
                }
            }
            if (!whole) {
                InflateStreaming(
                    source, length, allowed,
                    [&](std::string& piece) {
                        produced += static_cast<int64_t>(piece.size());
                        sink(piece);
                    },
                    what);
            }
        } catch (const Oversized&) {
            ThrowDamaged(msg::ChunkInflatesPastTotal(what, at, maxOutput));
        }
    }
}

void ReadChunks(Stream& source, Stream& target, int64_t limit, const char* what, int64_t maxOutput) {
    ReadChunks(
        source, [&target](std::string& piece) { target.WriteBytes(piece); }, limit, what, maxOutput);
}

void DecompressStream(Stream& source, Stream& target) {
    source.Seek(0, SeekOrigin::Begin);
    try {
        ReadChunks(source, target, source.Size(), msg::kWhatCompressedFile);
    } catch (...) {
        target.Seek(0, SeekOrigin::Begin);
        throw;
    }
    target.Seek(0, SeekOrigin::Begin);
}

}  // namespace setup
