#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace setup {
namespace {

// Narrow literals are compiled to GBK: every Chinese character is two bytes.
TEST(TextTest, LiteralsAreGbkBytes) {
    std::string text = "目标计算机\\Program Files\\";
    EXPECT_EQ(text.size(), 25u);
    EXPECT_EQ(std::string("启用"), std::string("\xC6\xF4\xD3\xC3"));
}

TEST(TextTest, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_EQ(AsciiLowerCase("ABC-xyz-启用"), "abc-xyz-启用");
    EXPECT_EQ(AsciiUpperCase("abc\\ü"), "ABC\\ü");
    EXPECT_TRUE(EqualsNoCase("Program Files", "PROGRAM files"));
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    EXPECT_TRUE(StartsWithNoCase("开始菜单\\Foo", "开始菜单\\"));
    EXPECT_TRUE(EndsWithNoCase("setup.EXE", ".exe"));
    EXPECT_TRUE(ContainsNoCase("C:\\Users\\X\\Microsoft\\Internet Explorer\\Quick Launch\\a.lnk",
                               "\\microsoft\\internet explorer\\quick launch"));
    EXPECT_EQ(FindNoCase("aXbXc", "xC"), 3u);
    EXPECT_EQ(FindNoCase("abc", "abcd"), std::string_view::npos);
    EXPECT_LT(CompareNoCase("apple", "Banana"), 0);
    EXPECT_EQ(CompareNoCase("A", "a"), 0);
    EXPECT_GT(CompareNoCase("\xB0\xA1", "z"), 0);  // bytes compare unsigned
}

TEST(TextTest, SplitOnKeepsEmptyParts) {
    EXPECT_EQ(SplitOn("a\\b\\", '\\'), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(SplitOn("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitOn(",x", ','), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(TrimBlanks(" \t a b \r\n"), "a b");
}

TEST(TextTest, HexDigits8KeepsLeadingZerosAndTheTopNibble) {
    EXPECT_EQ(HexDigits8(0), "00000000");
    EXPECT_EQ(HexDigits8(0xAF), "000000af");
    EXPECT_EQ(HexDigits8(0xFEDCBA98u), "fedcba98");
}

// Characters whose second byte is "\" (誠 D5 5C), "|" (墊 89 7C) or a letter
// (丄 81 41, 乤 81 61, 奪 8A 5A, 妟 8A 7A): no helper takes that byte for a
// character of its own.
TEST(TextTest, DoubleByteCharactersAreSteppedOver) {
    ASSERT_EQ(std::string("誠"), "\xD5\x5C");
    ASSERT_EQ(std::string("墊"), "\x89\x7C");
    ASSERT_EQ(std::string("丄乤"), "\x81\x41\x81\x61");
    EXPECT_EQ(CharLengthAt("誠", 0), 2u);
    EXPECT_EQ(CharLengthAt("\xD5", 0), 1u);      // a lead byte at the end stands alone
    EXPECT_EQ(CharLengthAt("\xD5\x7F", 0), 1u);  // 0x7F is no trail byte
    EXPECT_FALSE(IsCharBoundary("誠", 1));
    EXPECT_TRUE(IsCharBoundary("a誠", 3));

    EXPECT_EQ(FolderPart("C:\\誠\\a誠.txt"), "C:\\誠");
    EXPECT_EQ(FileNamePart("C:\\誠\\a誠.txt"), "a誠.txt");
    EXPECT_EQ(FileNamePart("誠"), "誠");
    EXPECT_EQ(FolderPart("誠"), "");
    EXPECT_EQ(FindLastCharOf("a/誠", "\\/"), 1u);
    EXPECT_EQ(FindChar("墊|", '|'), 2u);
    EXPECT_FALSE(EndsWithChar("C:\\誠", '\\'));
    EXPECT_TRUE(EndsWithChar("C:\\誠\\", '\\'));
    EXPECT_EQ(SplitOn("誠\\墊|b", '\\'), (std::vector<std::string>{"誠", "墊|b"}));
    EXPECT_EQ(SplitOn("墊|b", '|'), (std::vector<std::string>{"墊", "b"}));
    EXPECT_EQ(FindText("誠\\", "\\"), 2u);
    EXPECT_EQ(FindText("\xB0\x5C", "\x5C"), std::string_view::npos);

    // Folding leaves the trail byte alone, so two characters stay two.
    EXPECT_EQ(AsciiLowerCase("丄A"), "丄a");
    EXPECT_EQ(AsciiUpperCase("乤a"), "乤A");
    EXPECT_FALSE(EqualsNoCase("丄", "乤"));
    EXPECT_FALSE(EqualsNoCase("奪.TXT", "妟.txt"));
    EXPECT_TRUE(EqualsNoCase("奪.TXT", "奪.txt"));
    EXPECT_NE(CompareNoCase("奪", "妟"), 0);
    EXPECT_EQ(FindNoCase("丄", "a"), std::string_view::npos);
    EXPECT_EQ(FindNoCase("x丄a", "A"), 3u);
    EXPECT_FALSE(ContainsNoCase("誠", "\\"));
    EXPECT_FALSE(EndsWithNoCase("誠", "\\"));
    EXPECT_FALSE(EndsWithNoCase("x誠", "\x5C"));
    EXPECT_TRUE(EndsWithNoCase("x誠", "誠"));
    EXPECT_FALSE(StartsWithNoCase("\xD5\x5Cx", "\xD5"));  // half a character is no prefix
    // A fragment that ends in a lead byte never matches half a character.
    EXPECT_EQ(FindNoCase("誠", "\xD5"), std::string_view::npos);
}

TEST(TextTest, GbkConvertsBothWays) {
    std::string gbk = "安装向导 Setup";
    std::u16string utf16 = GbkToUtf16(gbk);
    EXPECT_EQ(utf16, u"安装向导 Setup");
    EXPECT_EQ(Utf16ToGbk(utf16), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), "\xE5\xAE\x89\xE8\xA3\x85\xE5\x90\x91\xE5\xAF\xBC Setup");
    EXPECT_EQ(Utf8ToGbk("\xE5\xAE\x89\xE8\xA3\x85"), "安装");
    // Code page 936 maps 0x80 to the euro sign.
    EXPECT_EQ(GbkToUtf16("\x80"), u"\u20AC");
}

TEST(TextTest, InvalidTextRaisesConversionError) {
    auto expectConversionError = [](auto&& f) {
        try {
            f();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Conversion);
        }
    };
    expectConversionError([] { GbkToUtf16("\xB0"); });                      // lead byte without trail
    expectConversionError([] { Utf16ToGbk(u"\u00C5\u0E01"); });             // Thai is not in GBK
    expectConversionError([] { Utf8ToUtf16("\xC3"); });                     // truncated UTF-8
    expectConversionError([] { Utf8ToUtf16("\xC0\xAF"); });                 // overlong form
    expectConversionError([] { Utf16ToUtf8(std::u16string(1, 0xD800)); });  // lone surrogate
    expectConversionError([] { LeBytesToUtf16("abc"); });
}

TEST(TextTest, Utf8AndUtf16RoundTripOutsideTheBasicPlane) {
    std::string utf8 = "a\xF0\x9F\x98\x80z";
    std::u16string utf16 = Utf8ToUtf16(utf8);
    ASSERT_EQ(utf16.size(), 4u);
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(Utf16ToLeBytes(u"A\u4E2D"), std::string("A\0\x2D\x4E", 4));
    EXPECT_EQ(LeBytesToUtf16(std::string("A\0\x2D\x4E", 4)), u"A\u4E2D");
}

}  // namespace
}  // namespace setup
