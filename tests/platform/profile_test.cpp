#include "platform/profile.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

TEST(ProfileTest, WindowsSemantics) {
    IniDocument doc = ParseIni(
        "; comment\r\n"
        "[Setup]\r\n"
        "  Name = 组件 A  \r\n"
        "Quoted=\"  kept blanks  \"\r\n"
        "Single='x'\r\n"
        "Mismatched=\"x'\r\n"
        "name=second wins never\r\n"
        "BareKey\r\n"
        "[setup]\r\n"
        "Later=from a repeated section\r\n"
        "[Other]\r\n"
        "Regtype=System\r\n");
    EXPECT_EQ(IniValue(doc, "SETUP", "name"), "组件 A");
    EXPECT_EQ(IniValue(doc, "Setup", "Quoted"), "  kept blanks  ");
    EXPECT_EQ(IniValue(doc, "Setup", "Single"), "x");
    EXPECT_EQ(IniValue(doc, "Setup", "Mismatched"), "\"x'");
    EXPECT_EQ(IniValue(doc, "Setup", "Missing", "dflt"), "dflt");
    EXPECT_EQ(IniValue(doc, "Nowhere", "Name", "dflt"), "dflt");
    EXPECT_EQ(IniValue(doc, "other", "REGTYPE"), "System");
    EXPECT_EQ(IniKeys(doc, "Setup"),
              (std::vector<std::string>{"Name", "Quoted", "Single", "Mismatched", "BareKey", "Later"}));
    EXPECT_TRUE(IniHasSection(doc, "OTHER"));
    EXPECT_TRUE(doc.JunkLines.empty());
}

TEST(ProfileTest, JunkLinesAreReportedWithTheirNumbers) {
    IniDocument doc = ParseIni("key=before any section\n[ok]\n[broken\n");
    EXPECT_EQ(doc.JunkLines, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace setup
