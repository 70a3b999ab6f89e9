// The pure rules of the system helpers: size texts, version texts, DOS
// date-times and the error report. The helpers that call the OS are tested
// against the sandbox.
#include "platform/common.h"

#include <gtest/gtest.h>

#include <new>

#include "platform/errors.h"

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

// A date-time reaches a file through its DOS value: two-second steps, the odd
// second dropped. The value is the one FAT and ZIP store for that time.
TEST(DosDateTimeTest, FileTimeHasTwoSecondResolution) {
    double dateTime = EncodeDateTime(2024, 3, 5, 13, 14, 15) + 0.6 / 86400.0;
    uint32_t dos = DateTimeToDosDateTime(dateTime);
    EXPECT_EQ(dos, 0x586569C7u);
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime(2024, 3, 5, 13, 14, 14)), dos);
    uint64_t local = 0;
    ASSERT_TRUE(DosDateTimeToLocalFileTime(dos, local));
    EXPECT_EQ(local, 133541180540000000ull);  // 2024-03-05 13:14:14 in 100 ns steps since 1601
}

// Only 1980-01-01 to 2107-12-31 has a DOS date; a date outside sets no time.
TEST(DosDateTimeTest, RangeEdges) {
    uint64_t local = 0;
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime(1979, 12, 31, 23, 59, 59)), 0u);
    ASSERT_TRUE(DosDateTimeToLocalFileTime(DateTimeToDosDateTime(EncodeDateTime(1980, 1, 1, 0, 0, 0)), local));
    EXPECT_EQ(local, 119600064000000000ull);  // 1980-01-01 00:00:00
    ASSERT_TRUE(DosDateTimeToLocalFileTime(DateTimeToDosDateTime(EncodeDateTime(2107, 12, 31, 23, 59, 59)), local));
    EXPECT_EQ(local, 159992927980000000ull);  // 2107-12-31 23:59:58
    EXPECT_EQ(DateTimeToDosDateTime(EncodeDateTime(2108, 1, 1, 0, 0, 0)), 0u);
    EXPECT_EQ(DateTimeToDosDateTime(-1.0), 0u);          // folder entries carry -1.0
    EXPECT_FALSE(DosDateTimeToLocalFileTime(0, local));  // month 0 is no date
}

// Rounding to whole milliseconds can carry into the next day.
TEST(DosDateTimeTest, MillisecondRoundingCarriesIntoTheNextDay) {
    double justBeforeMidnight = EncodeDateTime(2024, 3, 5, 0, 0, 0) + (86400.0 - 0.0004) / 86400.0;
    uint64_t local = 0;
    ASSERT_TRUE(DosDateTimeToLocalFileTime(DateTimeToDosDateTime(justBeforeMidnight), local));
    EXPECT_EQ(local, 133541568000000000ull);  // 2024-03-06 00:00:00
}

struct ReportCase {
    const char* name;
    ErrorKind kind;
    const char* message;
    const char* report;  // after "安装程序因错误而终止。\r\n\r\n"
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class ErrorReportTextTest : public testing::TestWithParam<ReportCase> {};

// The report names the kind once and gives the message; the codecs' bare
// "error" becomes a sentence, also above a rollback's list.
TEST_P(ErrorReportTextTest, NamesTheKindOnce) {
    const ReportCase& c = GetParam();
    EXPECT_EQ(ErrorReportText(Error(c.kind, c.message)), std::string("安装程序因错误而终止。\r\n\r\n") + c.report);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ErrorReportTextTest,
    testing::Values(
        ReportCase{"os", ErrorKind::Os, "无法打开文件“C:\\a”：拒绝访问。",
                   "操作系统错误：无法打开文件“C:\\a”：拒绝访问。"},
        ReportCase{"damageNamed", ErrorKind::Damaged, "安装包已损坏：安装包的项目流无法解压",
                   "安装包已损坏：安装包的项目流无法解压"},
        ReportCase{"damageUnnamed", ErrorKind::Damaged, "安装包意外结束", "安装包已损坏：安装包意外结束"},
        ReportCase{"bareError", ErrorKind::Decompression, "error",
                   "解压数据失败：安装包中的数据无法解压，安装包可能已损坏或不完整"},
        ReportCase{
            "bareErrorAboveList", ErrorKind::Decompression, "error\r\n未能撤销的更改：\r\n新建的文件 C:\\a",
            "解压数据失败：安装包中的数据无法解压，安装包可能已损坏或不完整\r\n未能撤销的更改：\r\n新建的文件 C:\\a"},
        ReportCase{"errorInAWord", ErrorKind::Decompression, "errors", "解压数据失败：errors"},
        ReportCase{"cancelled", ErrorKind::SilentAbort, "用户取消了这项操作", "操作已取消：用户取消了这项操作"}),
    [](const testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

// Memory running out is said in words, not in the library's class name.
TEST(ErrorReportTest, OutOfMemoryIsSaidInWords) {
    EXPECT_EQ(ErrorReportText(std::bad_alloc()), "安装程序因错误而终止。\r\n\r\n程序错误：内存不足");
}

}  // namespace
}  // namespace setup
