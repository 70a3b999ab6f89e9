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

}  // namespace
}  // namespace setup
