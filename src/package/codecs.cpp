#include "package/codecs.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/errors.h"

namespace setup {

int ZlibLevel(TCompressLevelEnum level) {
    switch (level) {
        case cplNone:
            return 0;
        case cplSpeed:
            return 1;
        case cplPress:
            return 9;
        default:
            return Z_DEFAULT_COMPRESSION;
    }
}

std::string CompressBlock(std::string_view input, TCompressLevelEnum level) {
    z_stream z{};
    if (deflateInit(&z, ZlibLevel(level)) != Z_OK) ThrowCompressionError();
    size_t count = input.size();
    std::string out((count + count / 10 + 12 + 255) / 256 * 256, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(count);
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(out.data()) + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        int rc = deflate(&z, Z_FINISH);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            deflateEnd(&z);
            ThrowCompressionError();
        }
        out.resize(out.size() + 256);
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string DecompressBlock(std::string_view input, size_t maxOutput) {
    size_t step = (input.size() + 255) / 256 * 256;
    if (step == 0) ThrowDecompressionError();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) ThrowDecompressionError();
    // The buffer never grows beyond one byte more than allowed: that byte tells
    // an oversized stream from one that fills the allowance exactly.
    size_t cap = maxOutput == SIZE_MAX ? SIZE_MAX : maxOutput + 1;
    std::string out(std::min(step, cap), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(out.data()) + z.total_out;
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        int rc = inflate(&z, Z_FINISH);
        if (rc == Z_STREAM_END) break;
        // Output space ran out: grow and go on. Anything else, or input that
        // ends before the stream does, is a damaged block.
        if ((rc == Z_BUF_ERROR || rc == Z_OK) && z.avail_out == 0) {
            if (out.size() >= cap) {
                inflateEnd(&z);
                ThrowDamaged("A compressed block inflates to more than the " + std::to_string(maxOutput) +
                             " bytes it may hold");
            }
            out.resize(std::min(out.size() + step, cap));
            continue;
        }
        inflateEnd(&z);
        ThrowDecompressionError();
    }
    // Bytes after the end of the zlib stream mean the length was wrong.
    bool trailing = z.avail_in != 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    if (trailing) ThrowDecompressionError();
    if (out.size() > maxOutput) {
        ThrowDamaged("A compressed block inflates to more than the " + std::to_string(maxOutput) + " bytes it may hold");
    }
    return out;
}

void CompressStream(Stream& source, Stream& target) {
    source.Seek(0, SeekOrigin::Begin);
    std::string block(kChunkBlockSize, '\0');
    while (source.Position() < source.Size()) {
        size_t n = source.Read(block.data(), block.size());
        if (n == 0) break;
        std::string compressed = CompressBlock(std::string_view(block.data(), n), cplPress);
        target.WriteU32(static_cast<uint32_t>(compressed.size()));
        target.WriteBytes(compressed);
    }
}

void ReadChunks(Stream& source, Stream& target, int64_t limit, const char* what, int64_t maxOutput) {
    int64_t produced = 0;
    while (source.Position() < limit) {
        int64_t at = source.Position();
        if (limit - at < 4) {
            ThrowDamaged(std::string("The ") + what + " is damaged: a chunk length at offset " + std::to_string(at) +
                         " runs past its end");
        }
        uint32_t length = source.ReadU32(what);
        if (static_cast<int64_t>(length) > limit - at - 4) {
            ThrowDamaged(std::string("The ") + what + " is damaged: the chunk at offset " + std::to_string(at) +
                         " claims " + std::to_string(length) + " bytes, " + std::to_string(limit - at - 4) +
                         " remain");
        }
        std::string compressed = source.ReadBytes(length, what);
        size_t allowed = maxOutput < 0 ? SIZE_MAX : static_cast<size_t>(maxOutput - produced);
        std::string content;
        try {
            content = DecompressBlock(compressed, allowed);
        } catch (const Error& e) {
            if (e.Kind() != ErrorKind::Damaged) throw;
            ThrowDamaged(std::string("The ") + what + " is damaged: the chunk at offset " + std::to_string(at) +
                         " inflates to more than the " + std::to_string(maxOutput) + " bytes promised in all");
        }
        produced += static_cast<int64_t>(content.size());
        target.WriteBytes(content);
    }
}

void DecompressStream(Stream& source, Stream& target) {
    source.Seek(0, SeekOrigin::Begin);
    try {
        ReadChunks(source, target, source.Size(), "compressed file");
    } catch (...) {
        target.Seek(0, SeekOrigin::Begin);
        throw;
    }
    target.Seek(0, SeekOrigin::Begin);
}

}  // namespace setup
