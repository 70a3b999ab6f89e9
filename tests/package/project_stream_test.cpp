#include "package/project_stream.h"

#include <gtest/gtest.h>

#include "package/compile.h"
#include "package/package_writer.h"
#include "platform/errors.h"

namespace setup {
namespace {

void Str(std::string& out, const std::string& s) {
    AppendU32(out, static_cast<uint32_t>(s.size()));
    out += s;
}

// A project stream assembled field by field from the byte layout.
std::string HandBuiltStream() {
    std::string s;
    AppendU32(s, 2);
    Str(s, "项目名称");
    Str(s, "演示");
    s.push_back(0);
    Str(s, "欢迎");
    Str(s, "启用");
    s.push_back(1);
    Str(s, "\"目标计算机\\Program Files\\a b\",docs");
    AppendU32(s, 1);  // one file item
    Str(s, "a.exe");
    Str(s, "D:\\p\\a.exe");
    Str(s, "目标计算机\\Program Files\\");
    s += std::string("\x01\x00\x01\x00\x00\x01\x00", 7);  // startup, keep, no-overwrite, com, service, run, patch
    Str(s, "6.1");
    AppendU64(s, 100);                    // DataStart
    AppendU64(s, 200);                    // DataEnd
    AppendU64(s, 4096);                   // FileSize
    s.push_back(0);                       // Kind, between FileSize and FileTime
    AppendU64(s, 0x40E6260000000000ull);  // FileTime 45360.0
    s.push_back('\x7F');                  // reserved, the item's last byte
    Str(s, "");                           // no registry keys
    AppendU32(s, 1);
    Str(s, "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\x");
    Str(s, "v");
    Str(s, "10");
    Str(s, "");
    s.push_back(1);
    Str(s, "开始菜单\\");
    AppendU32(s, 1);
    Str(s, "开始菜单\\");
    Str(s, "演示");
    Str(s, "D:\\p\\a.exe");
    Str(s, "");
    Str(s, "-x");
    Str(s, "说明");
    s.push_back(2);
    AppendU32(s, 1);
    Str(s, "组件");
    AppendU64(s, 12345);
    Str(s, "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F");
    return s;
}

TEST(ProjectStreamTest, ParsesTheByteLayoutExactly) {
    MemoryStream stream(HandBuiltStream());
    TCompile model;
    ParseProjectStream(stream, model);
    EXPECT_EQ(stream.Remaining(), 0);  // the identity ends at the last byte
    EXPECT_EQ(model.ItemName, "演示");
    ASSERT_EQ(model.InfoList.size(), 2u);
    EXPECT_EQ(model.InfoList[1]->Group, igPageSwitch);
    EXPECT_EQ(model.FileFolderList, (std::vector<std::string>{"目标计算机\\Program Files\\a b", "docs"}));
    ASSERT_EQ(model.FileList.size(), 1u);
    const TCompileFileData& f = *model.FileList[0];
    EXPECT_TRUE(f.RunAtStartup);
    EXPECT_FALSE(f.KeepOnUninstall);
    EXPECT_TRUE(f.NoOverwrite);
    EXPECT_TRUE(f.RunAfterInstall);
    EXPECT_FALSE(f.IsPatch);
    EXPECT_EQ(f.TargetOs, "6.1");
    EXPECT_EQ(f.DataStart, 100);
    EXPECT_EQ(f.DataEnd, 200);
    EXPECT_EQ(f.FileSize, 4096);
    EXPECT_EQ(f.Kind, fkFile);
    EXPECT_DOUBLE_EQ(f.FileTime, 45360.0);
    EXPECT_EQ(f.Reserved, 0x7F);
    EXPECT_TRUE(model.RegFolderList.empty());
    ASSERT_EQ(model.RegList.size(), 1u);
    EXPECT_EQ(model.RegList[0]->ValueType, 1);
    ASSERT_EQ(model.ShotCutList.size(), 1u);
    EXPECT_EQ(model.ShotCutList[0]->Description, "说明");
    EXPECT_EQ(model.ShotCutList[0]->Kind, 2);
    ASSERT_EQ(model.CompList.size(), 1u);
    EXPECT_EQ(model.CompList[0]->Size, 12345);
    EXPECT_EQ(model.ComponentList, (std::vector<std::string>{"组件"}));
    EXPECT_EQ(model.PackageId, "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F");

    // The writer is the exact inverse of the parser (the reserved byte aside,
    // which it keeps as read).
    EXPECT_EQ(SerializeProjectStream(model), HandBuiltStream());
}

// A stream that ends anywhere early is damaged; what was read before stays.
TEST(ProjectStreamTest, EveryTruncationIsReportedAsDamage) {
    std::string full = HandBuiltStream();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        MemoryStream stream(full.substr(0, cut));
        TCompile model;
        try {
            ParseProjectStream(stream, model);
            ADD_FAILURE() << "accepted a stream cut at " << cut;
        } catch (const Error& e) {
            ASSERT_EQ(e.Kind(), ErrorKind::Damaged) << cut;
        }
        if (cut > 40) {
            EXPECT_EQ(model.ItemName, "演示");
        }
    }
    // A length far beyond the stream is refused without reading.
    std::string huge;
    AppendU32(huge, 1);
    AppendU32(huge, 0x7FFFFFFF);
    MemoryStream stream(huge);
    TCompile model;
    EXPECT_THROW(ParseProjectStream(stream, model), Error);
}

TEST(ProjectStreamTest, NegativeCountsAndLengthsReadNothing) {
    std::string s;
    AppendU32(s, 0xFFFFFFFF);  // info count -1
    AppendU32(s, 0xFFFFFFF0);  // folder list length -16: empty
    AppendU32(s, 0);
    AppendU32(s, 0);
    AppendU32(s, 0);
    AppendU32(s, 0);
    AppendU32(s, 0);
    AppendU32(s, 0);
    AppendU32(s, 0);  // empty identity
    MemoryStream stream(s);
    TCompile model;
    ParseProjectStream(stream, model);
    EXPECT_TRUE(model.InfoList.empty());
    EXPECT_EQ(model.PackageId, "");
    EXPECT_EQ(stream.Remaining(), 0);
}

struct CommaCase {
    const char* text;
    std::vector<std::string> items;
};

void PrintTo(const CommaCase& c, std::ostream* os) { *os << c.text; }

class CommaTextTest : public testing::TestWithParam<CommaCase> {};

TEST_P(CommaTextTest, Reads) { EXPECT_EQ(ReadCommaText(GetParam().text), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(Cases, CommaTextTest,
                         testing::Values(CommaCase{"", {}}, CommaCase{"a", {"a"}}, CommaCase{"a,b,", {"a", "b", ""}},
                                         CommaCase{"\"C:\\Program Files\\x\",docs", {"C:\\Program Files\\x", "docs"}},
                                         CommaCase{"  a ,  b", {"a", "b"}}, CommaCase{"a b", {"a", "b"}},
                                         CommaCase{"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
                                         CommaCase{"\"open", {"open"}}, CommaCase{"a,,b", {"a", "", "b"}},
                                         CommaCase{"演示,开始菜单\\工具", {"演示", "开始菜单\\工具"}}));

TEST(CommaTextTest, WriterQuotesWhatTheReaderNeedsQuoted) {
    std::vector<std::vector<std::string>> lists = {
        {}, {""}, {"a"}, {"a b", "c"}, {"x,y", "q\"uote", "tab\there"}, {"", "a", ""}, {"演示 程序", "开始菜单\\工具"}};
    for (const auto& list : lists) EXPECT_EQ(ReadCommaText(WriteCommaText(list)), list);
    // Whatever the reader makes of any text, even text that is not valid GBK
    // (a lead byte before a quote or comma), survives a round trip.
    for (const char* text : {"\"C:\\Prog\"^m F\x9b\x90\x9c\"\xd3,\"q\"\"xd", "\x81,\x81\"", "\"\x81\"\"\",b"}) {
        std::vector<std::string> items = ReadCommaText(text);
        EXPECT_EQ(ReadCommaText(WriteCommaText(items)), items) << text;
    }
    EXPECT_EQ(WriteCommaText({"C:\\Program Files\\x", "docs"}), "\"C:\\Program Files\\x\",docs");
}

TEST(StrToBoolTest, NumbersAndWords) {
    EXPECT_TRUE(StrToBool("1"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_TRUE(StrToBool("-2"));
    EXPECT_FALSE(StrToBool("0.0"));
    EXPECT_TRUE(StrToBool("true"));
    EXPECT_FALSE(StrToBool("FALSE"));
    for (const char* bad : {"yes", "", " 1", "1 ", "on"}) {
        try {
            StrToBool(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Conversion);
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid boolean value");
        }
    }
}

// "Patch" is matched byte for byte at load: "patch" is just another setting.
TEST(ProjectStreamTest, PatchKeyIsCaseSensitiveAndAValueMustBeBoolean) {
    TCompile source;
    for (auto [key, value] : {std::pair<const char*, const char*>{"patch", "yes"}, {"Patch", "true"}}) {
        auto item = std::make_unique<TCompileData>();
        item->Key = key;
        item->Value = value;
        source.InfoList.push_back(std::move(item));
    }
    MemoryStream stream(SerializeProjectStream(source));
    TCompile model;
    ParseProjectStream(stream, model);
    EXPECT_TRUE(model.Patched());
    EXPECT_EQ(model.InfoList.size(), 2u);

    source.InfoList[1]->Value = "yes";
    MemoryStream bad(SerializeProjectStream(source));
    TCompile failed;
    EXPECT_THROW(ParseProjectStream(bad, failed), Error);
    EXPECT_EQ(failed.InfoList.size(), 2u);  // items read before the failure stay
    EXPECT_FALSE(failed.Patched());
}

}  // namespace
}  // namespace setup
