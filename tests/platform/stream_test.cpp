#include "platform/stream.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace setup {
namespace {

TEST(StreamTest, FixedFieldsAreLittleEndian) {
    MemoryStream s;
    s.WriteU8(0x01);
    s.WriteU16(0x0302);
    s.WriteU32(0x07060504);
    s.WriteI64(-2);
    s.WriteDouble(-1.0);
    EXPECT_EQ(s.Bytes().substr(0, 7), std::string("\x01\x02\x03\x04\x05\x06\x07", 7));
    EXPECT_EQ(s.Bytes().substr(7, 8), std::string(8, '\xFF').replace(0, 1, "\xFE"));
    EXPECT_EQ(s.Bytes().substr(15), std::string("\0\0\0\0\0\0\xF0\xBF", 8));
    s.Seek(0, SeekOrigin::Begin);
    EXPECT_EQ(s.ReadU8(), 0x01);
    EXPECT_EQ(s.ReadU16(), 0x0302);
    EXPECT_EQ(s.ReadU32(), 0x07060504u);
    EXPECT_EQ(s.ReadI64(), -2);
    EXPECT_EQ(s.ReadDouble(), -1.0);
    EXPECT_EQ(s.Remaining(), 0);
}

// A fixed-size read past the end is damage, and consumes nothing.
TEST(StreamTest, ReadPastTheEndIsDamageAndKeepsThePosition) {
    MemoryStream s(std::string("\x01\x02\x03", 3));
    s.ReadU8();
    try {
        s.ReadU32("package tail");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Damaged);
        EXPECT_NE(std::string(e.what()).find("package tail"), std::string::npos);
    }
    EXPECT_EQ(s.Position(), 1);
    EXPECT_EQ(s.ReadU16(), 0x0302);
}

// A damaged length must not make the reader allocate what it claims.
TEST(StreamTest, HugeLengthIsRefusedBeforeAllocating) {
    MemoryStream s(std::string(10, 'x'));
    EXPECT_THROW(s.ReadBytes(size_t(0xFFFFFFF0u)), Error);
    EXPECT_EQ(s.Position(), 0);
}

TEST(StreamTest, MemoryStreamSeeksAndGrows) {
    MemoryStream s;
    s.Seek(4, SeekOrigin::Begin);
    s.WriteBytes("ab");
    EXPECT_EQ(s.Bytes(), std::string("\0\0\0\0ab", 6));
    EXPECT_EQ(s.Seek(-1, SeekOrigin::End), 5);
    EXPECT_THROW(s.Seek(-7, SeekOrigin::Current), Error);
    s.SetSize(2);
    EXPECT_EQ(s.Size(), 2);
    MemoryStream copy;
    s.Seek(0, SeekOrigin::Begin);
    copy.CopyFrom(s, -1);
    EXPECT_EQ(copy.Bytes(), std::string(2, '\0'));
}

// A memory stream that counts what is asked of it.
class CountedSource : public MemoryStream {
public:
    using MemoryStream::MemoryStream;
    size_t Read(void* buffer, size_t count) override {
        ++reads;
        return MemoryStream::Read(buffer, count);
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        ++seeks;
        return MemoryStream::Seek(offset, origin);
    }
    int reads = 0;
    int seeks = 0;
};

// Reads and seeks of every kind through the view give the bytes and the
// positions that the stream itself gives: across block edges, backwards,
// from the end, past the end, and reads larger than a block.
TEST(ReadAheadStreamTest, GivesWhatTheStreamGives) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 7 + i / 251));
    MemoryStream direct(bytes);
    MemoryStream under(bytes);
    ReadAheadStream view(under, 16);
    struct Step {
        int64_t seek;
        SeekOrigin origin;
        size_t count;
    };
    const Step steps[] = {{0, SeekOrigin::Current, 3},   {0, SeekOrigin::Current, 13},  {0, SeekOrigin::Current, 1},
                          {0, SeekOrigin::Current, 40},  {-20, SeekOrigin::Current, 5}, {100, SeekOrigin::Begin, 16},
                          {-3, SeekOrigin::End, 10},     {2000, SeekOrigin::Begin, 4},  {15, SeekOrigin::Begin, 2},
                          {990, SeekOrigin::Begin, 100}, {0, SeekOrigin::Begin, 1000},  {500, SeekOrigin::Begin, 17}};
    for (const Step& step : steps) {
        EXPECT_EQ(view.Seek(step.seek, step.origin), direct.Seek(step.seek, step.origin));
        std::string want(step.count, '\0'), got(step.count, '\0');
        size_t wantRead = direct.Read(want.data(), want.size());
        ASSERT_EQ(view.Read(got.data(), got.size()), wantRead) << "at " << direct.Position();
        EXPECT_EQ(got.substr(0, wantRead), want.substr(0, wantRead));
        EXPECT_EQ(view.Position(), direct.Position());
    }
    EXPECT_EQ(view.Size(), 1000);
    EXPECT_THROW(view.Seek(-1, SeekOrigin::Begin), Error);
}

TEST(ReadAheadStreamTest, SmallReadsAndQueriesCostOneReadPerBlock) {
    CountedSource under(std::string(4096, 'x'));
    ReadAheadStream view(under, 1024);
    int before = under.reads;
    for (int i = 0; i < 256; ++i) {
        view.ReadU32("test");
        EXPECT_EQ(view.Position(), 4 * (i + 1));
        EXPECT_EQ(view.Remaining(), 4096 - 4 * (i + 1));
    }
    EXPECT_EQ(under.reads - before, 1);
    EXPECT_EQ(under.seeks, 1);  // the position, asked once at the start
    // A read past the end raises and leaves the position; nothing can be written.
    view.Seek(-2, SeekOrigin::End);
    EXPECT_THROW(view.ReadU32("test"), Error);
    EXPECT_EQ(view.Position(), 4094);
    EXPECT_THROW(view.WriteU8(1), Error);
    EXPECT_THROW(view.SetSize(0), Error);
}

// A buffer handed back to ReadBytes keeps its memory from read to read.
TEST(StreamTest, ReadBytesIntoReusesTheBuffer) {
    MemoryStream s(std::string(100, 'a') + std::string(50, 'b'));
    std::string into;
    s.ReadBytes(into, 100);
    const char* memory = into.data();
    s.ReadBytes(into, 50);
    EXPECT_EQ(into, std::string(50, 'b'));
    EXPECT_EQ(into.data(), memory);
    EXPECT_THROW(s.ReadBytes(into, 1), Error);
}

}  // namespace
}  // namespace setup
