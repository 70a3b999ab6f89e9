#include "package/codecs.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/errors.h"

namespace setup {
namespace {

std::string Sample(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245 + 12345;
        s[i] = static_cast<char>((i % 64 < 48) ? 'a' + (i % 7) : (x >> 16) & 0xFF);
    }
    return s;
}

void ExpectKind(ErrorKind kind, const std::function<void()>& f) {
    try {
        f();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), kind) << e.what();
    }
}

// The zlib header tells the level: 78 01 stored, 78 DA smallest, 78 9C default.
TEST(CodecsTest, BlockHeadersFollowTheLevel) {
    std::string data = Sample(10000);
    EXPECT_EQ(CompressBlock(data, cplPress).substr(0, 2), "\x78\xDA");
    EXPECT_EQ(CompressBlock(data, cplDefault).substr(0, 2), "\x78\x9C");
    EXPECT_EQ(CompressBlock(data, cplNone).substr(0, 2), "\x78\x01");
    EXPECT_EQ(CompressBlock(data, cplSpeed).substr(0, 2), "\x78\x01");
    EXPECT_EQ(CompressBlock(data, static_cast<TCompressLevelEnum>(9)).substr(0, 2), "\x78\x9C");
    for (TCompressLevelEnum level : {cplNone, cplSpeed, cplPress, cplDefault}) {
        EXPECT_EQ(DecompressBlock(CompressBlock(data, level)), data);
    }
    // Incompressible input larger than the first output guess still fits.
    std::string noise(100000, '\0');
    uint32_t x = 1;
    for (char& c : noise) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
    EXPECT_EQ(DecompressBlock(CompressBlock(noise, cplNone)), noise);
    EXPECT_EQ(DecompressBlock(CompressBlock("", cplPress)), "");
}

TEST(CodecsTest, DamagedBlocksRaiseError) {
    std::string block = CompressBlock(Sample(5000), cplDefault);
    ExpectKind(ErrorKind::Decompression, [] { DecompressBlock(""); });
    ExpectKind(ErrorKind::Decompression, [&] { DecompressBlock(block.substr(0, block.size() - 5)); });
    ExpectKind(ErrorKind::Decompression, [&] { DecompressBlock(block + "x"); });  // bytes after the stream
    std::string flipped = block;
    flipped[flipped.size() / 2] ^= 0x55;
    ExpectKind(ErrorKind::Decompression, [&] { DecompressBlock(flipped); });
    try {
        DecompressBlock("garbage");
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "error");
    }
}

// Blocks are zlib streams both ways: what zlib writes at any level inflates,
// what we write zlib inflates, and the Adler-32 checksum is checked.
TEST(CodecsTest, BlocksAreZlibStreams) {
    std::string data = Sample(200000);
    for (int zlibLevel : {0, 1, 6, 9}) {
        std::string packed(compressBound(data.size()), '\0');
        uLongf packedSize = packed.size();
        ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                            reinterpret_cast<const Bytef*>(data.data()), data.size(), zlibLevel),
                  Z_OK);
        packed.resize(packedSize);
        EXPECT_EQ(DecompressBlock(packed), data) << "zlib level " << zlibLevel;
    }
    for (TCompressLevelEnum level : {cplNone, cplSpeed, cplPress, cplDefault}) {
        std::string block = CompressBlock(data, level);
        std::string out(data.size(), '\0');
        uLongf outSize = out.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &outSize,
                             reinterpret_cast<const Bytef*>(block.data()), block.size()),
                  Z_OK);
        EXPECT_EQ(out, data);
    }
    std::string block = CompressBlock(data, cplPress);
    block.back() ^= 1;  // the last byte of the Adler-32 trailer
    ExpectKind(ErrorKind::Decompression, [&] { DecompressBlock(block); });
}

// Inflation is bounded: a stream that holds more than allowed is damage, one
// that fills the allowance exactly is not, whatever the first buffer guess.
TEST(CodecsTest, InflationStopsAtTheAllowance) {
    std::string zeros(5 * kChunkBlockSize, '\0');
    std::string block = CompressBlock(zeros, cplPress);
    EXPECT_EQ(DecompressBlock(block, zeros.size()), zeros);
    EXPECT_EQ(DecompressBlock(block), zeros);
    ExpectKind(ErrorKind::Damaged, [&] { DecompressBlock(block, zeros.size() - 1); });
    ExpectKind(ErrorKind::Damaged, [&] { DecompressBlock(block, 10); });
    EXPECT_EQ(DecompressBlock(CompressBlock("abc", cplPress), 3), "abc");
    ExpectKind(ErrorKind::Damaged, [&] { DecompressBlock(CompressBlock("abcd", cplPress), 3); });
}

// A chunk at the highest ratio the deflater reaches still inflates in one
// piece, exactly at its allowance, and one byte less is damage.
TEST(CodecsTest, ChunksAtTheHighestRatioInflateWhole) {
    std::string zeros(kChunkBlockSize, '\0');
    MemoryStream source(zeros), chunks;
    CompressStream(source, chunks);
    ASSERT_LT(chunks.Size(), 4000);
    for (int64_t allowed : {int64_t{-1}, static_cast<int64_t>(zeros.size())}) {
        chunks.Seek(0, SeekOrigin::Begin);
        int pieces = 0;
        std::string out;
        ReadChunks(
            chunks,
            [&](std::string& piece) {
                ++pieces;
                out += piece;
            },
            chunks.Size(), "test", allowed);
        EXPECT_EQ(pieces, 1);
        EXPECT_EQ(out, zeros);
    }
    chunks.Seek(0, SeekOrigin::Begin);
    MemoryStream out;
    ExpectKind(ErrorKind::Damaged,
               [&] { ReadChunks(chunks, out, chunks.Size(), "test", static_cast<int64_t>(zeros.size()) - 1); });
}

// 3,145,728 bytes are one chunk; one byte more makes a second chunk of one byte.
TEST(CodecsTest, ChunkedStreamSplitsAtThreeMebibytes) {
    for (size_t size : {kChunkBlockSize, kChunkBlockSize + 1}) {
        MemoryStream source(Sample(size));
        MemoryStream target;
        CompressStream(source, target);
        MemoryStream chunks(target.Bytes());
        uint32_t first = chunks.ReadU32();
        EXPECT_EQ(chunks.ReadBytes(2), "\x78\xDA");
        chunks.Seek(4 + first, SeekOrigin::Begin);
        if (size == kChunkBlockSize) {
            EXPECT_EQ(chunks.Remaining(), 0);
        } else {
            uint32_t second = chunks.ReadU32();
            EXPECT_EQ(DecompressBlock(chunks.ReadBytes(second)), source.Bytes().substr(kChunkBlockSize));
        }
        MemoryStream decoded;
        decoded.WriteBytes("old");
        decoded.Seek(0, SeekOrigin::End);
        DecompressStream(target, decoded);
        EXPECT_EQ(decoded.Position(), 0);
        EXPECT_EQ(decoded.Bytes(), "old" + source.Bytes());
    }
    MemoryStream empty, out;
    CompressStream(empty, out);
    EXPECT_EQ(out.Size(), 0);
}

// A file whose last chunk is cut short keeps the content of the earlier chunks.
TEST(CodecsTest, TruncatedLastChunkKeepsEarlierContent) {
    MemoryStream source(Sample(kChunkBlockSize + 1000));
    MemoryStream chunks;
    CompressStream(source, chunks);
    std::string bytes = chunks.Bytes();
    MemoryStream cut(bytes.substr(0, bytes.size() - 3));
    MemoryStream decoded;
    ExpectKind(ErrorKind::Damaged, [&] { DecompressStream(cut, decoded); });
    EXPECT_EQ(decoded.Bytes(), source.Bytes().substr(0, kChunkBlockSize));

    // A zero-length chunk does not inflate.
    MemoryStream zero(std::string(4, '\0'));
    MemoryStream out;
    ExpectKind(ErrorKind::Decompression, [&] { DecompressStream(zero, out); });
}

TEST(CodecsTest, ReadChunksStopsAtTheLimit) {
    std::string a = CompressBlock("first", cplDefault), b = CompressBlock("second", cplDefault);
    MemoryStream s;
    s.WriteU32(static_cast<uint32_t>(a.size()));
    s.WriteBytes(a);
    s.WriteU32(static_cast<uint32_t>(b.size()));
    s.WriteBytes(b);
    MemoryStream out;
    s.Seek(0, SeekOrigin::Begin);
    ReadChunks(s, out, static_cast<int64_t>(4 + a.size()), "test");
    EXPECT_EQ(out.Bytes(), "first");
    EXPECT_EQ(s.Position(), static_cast<int64_t>(4 + a.size()));
    // A chunk that would cross the limit is refused before it is read.
    s.Seek(0, SeekOrigin::Begin);
    MemoryStream none;
    ExpectKind(ErrorKind::Damaged, [&] { ReadChunks(s, none, static_cast<int64_t>(4 + a.size() - 1), "test"); });
    EXPECT_EQ(none.Size(), 0);
}

// Chunks larger than one buffer (made with bigger chunks than ours, or as one
// zlib stream for a whole file) inflate as a stream: the same content, handed
// out in bounded pieces, with the same rules for damage, trailing bytes and
// the promised size.
TEST(CodecsTest, LargeChunksInflateInBoundedPieces) {
    std::string content = Sample(kWholeChunkSize * 2 + 12345);
    // A chunk whose compressed bytes are small and one that stays larger than
    // one buffer: both sides of the stream are read in pieces.
    for (int level : {Z_BEST_COMPRESSION, Z_NO_COMPRESSION}) {
        std::string block(compressBound(static_cast<uLong>(content.size())), '\0');
        uLongf size = static_cast<uLongf>(block.size());
        ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(block.data()), &size,
                            reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()), level),
                  Z_OK);
        block.resize(size);
        auto framed = [](const std::string& zlib) {
            MemoryStream s;
            s.WriteU32(static_cast<uint32_t>(zlib.size()));
            s.WriteBytes(zlib);
            s.Seek(0, SeekOrigin::Begin);
            return s;
        };
        std::string out;
        size_t largest = 0;
        ContentSink collect = [&](std::string& piece) {
            largest = std::max(largest, piece.size());
            out += piece;
        };
        MemoryStream whole = framed(block);
        ReadChunks(whole, collect, whole.Size(), "test", static_cast<int64_t>(content.size()));
        EXPECT_EQ(out, content) << level;
        EXPECT_LE(largest, kInflatePieceSize);
        EXPECT_EQ(whole.Position(), whole.Size());

        // One byte less promised than the content holds is damage.
        MemoryStream again = framed(block);
        out.clear();
        ExpectKind(ErrorKind::Damaged,
                   [&] { ReadChunks(again, collect, again.Size(), "test", static_cast<int64_t>(content.size()) - 1); });
        EXPECT_LE(out.size(), content.size() - 1);

        // A flipped byte near the end fails the check sum: "error", after the
        // content before it was handed out.
        std::string flipped = block;
        flipped[flipped.size() - 2] ^= 0x40;
        MemoryStream bad = framed(flipped);
        out.clear();
        ExpectKind(ErrorKind::Decompression, [&] { ReadChunks(bad, collect, bad.Size(), "test"); });
        EXPECT_EQ(out, content.substr(0, out.size()));

        // Bytes after the end of the zlib stream, and a stream cut short.
        MemoryStream trailing = framed(block + "xy");
        ExpectKind(ErrorKind::Decompression, [&] { ReadChunks(trailing, collect, trailing.Size(), "test"); });
        MemoryStream cut = framed(block.substr(0, block.size() - 3));
        ExpectKind(ErrorKind::Decompression, [&] { ReadChunks(cut, collect, cut.Size(), "test"); });
    }
}

}  // namespace
}  // namespace setup
