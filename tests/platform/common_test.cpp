// The pure rules of the system helpers: size texts, version texts and DOS
// date-times. The helpers that call the OS are tested against the sandbox.
#include "platform/common.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

struct SizeCase {
    int64_t bytes;
    const char* text;
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.bytes; }

class FormatSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeTest, ThresholdsAreExclusiveBelow) { EXPECT_EQ(FormatSize(GetParam().bytes), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Thresholds, FormatSizeTest,
                         testing::Values(SizeCase{-1, "-1"}, SizeCase{0, "0"}, SizeCase{1024, "1024"},
                                         SizeCase{1025, "1.00KB"}, SizeCase{1536, "1.50KB"},
                                         SizeCase{1048576, "1024.00KB"}, SizeCase{1048577, "1.00MB"},
                                         SizeCase{1073741824, "1024.00MB"}, SizeCase{1073741825, "1.00GB"},
                                         SizeCase{5368709120, "5.00GB"}, SizeCase{1047552 + 512, "1023.50KB"},
                                         SizeCase{1048575, "1024.00KB"}));

// The version text is read as a number, never compared as text.
TEST(VersionTest, VistaTestReadsTheTextAsADecimalNumber) {
    EXPECT_FALSE(IsVistaOrLater("0"));
    EXPECT_FALSE(IsVistaOrLater("2"));
    EXPECT_FALSE(IsVistaOrLater("5.1"));
    EXPECT_FALSE(IsVistaOrLater("5.2"));
    EXPECT_TRUE(IsVistaOrLater("6.0"));
    EXPECT_TRUE(IsVistaOrLater("6.1"));
    EXPECT_TRUE(IsVistaOrLater("10.0"));
    EXPECT_DOUBLE_EQ(VersionNumber("10.0"), 10.0);
    EXPECT_DOUBLE_EQ(VersionNumber("6.1"), 6.1);
    EXPECT_DOUBLE_EQ(VersionNumber("6,1"), 0.0);  // a decimal comma is not a number here
}

TEST(DosDateTimeTest, TwoSecondResolutionAndDosRange) {
    // 2024-03-05 13:14:15.600 is day 45356 since 1899-12-30.
    double dateTime = 45356 + (13 * 3600 + 14 * 60 + 15.6) / 86400.0;
    uint32_t dos = DateTimeToDosDateTime(dateTime);
    EXPECT_EQ(dos >> 16, static_cast<uint32_t>(((2024 - 1980) << 9) | (3 << 5) | 5));
    EXPECT_EQ(dos & 0xFFFF, static_cast<uint32_t>((13 << 11) | (14 << 5) | 7));  // 15 s -> 14 s
    uint64_t local = 0;
    ASSERT_TRUE(DosDateTimeToLocalFileTime(dos, local));
    // 2024-03-05 13:14:14 as 100 ns intervals since 1601.
    EXPECT_EQ(local, 133541180540000000ull);

    EXPECT_EQ(DateTimeToDosDateTime(29220.0), 0u);           // 1979-12-31
    EXPECT_NE(DateTimeToDosDateTime(29221.0), 0u);           // 1980-01-01
    EXPECT_EQ(DateTimeToDosDateTime(-1.0), 0u);              // folder entries carry -1.0
    EXPECT_FALSE(DosDateTimeToLocalFileTime(0, local));      // month 0 is no date
}

// Rounding to whole milliseconds can carry into the next day.
TEST(DosDateTimeTest, MillisecondRoundingCarriesIntoTheNextDay) {
    double justBeforeMidnight = 45356 + (86400.0 - 0.0004) / 86400.0;
    uint32_t dos = DateTimeToDosDateTime(justBeforeMidnight);
    EXPECT_EQ(dos >> 16, static_cast<uint32_t>(((2024 - 1980) << 9) | (3 << 5) | 6));
    EXPECT_EQ(dos & 0xFFFF, 0u);
}

}  // namespace
}  // namespace setup
