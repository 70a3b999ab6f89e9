#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/sandbox/reg_text.h"
#include "platform/text.h"
#include "platform/sandbox/sandbox_fixture.h"

namespace setup::testing_sandbox {
namespace {

class SandboxRegistryTest : public SandboxTest {};

TEST_F(SandboxRegistryTest, ValuesSurviveARestartAndNamesIgnoreCase) {
    RegistryApi& reg = OS().Registry();
    EXPECT_FALSE(reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "x", "y"));  // no key yet
    ASSERT_TRUE(reg.CreateKey(kHkeyLocalMachine, "\\SOFTWARE\\Demo\\Sub"));
    EXPECT_TRUE(reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "路径", "C:\\Program Files\\演示"));
    EXPECT_TRUE(reg.WriteDword(kHkeyLocalMachine, "SOFTWARE\\Demo", "Count", 0x12345678));
    EXPECT_TRUE(reg.WriteBinary(kHkeyLocalMachine, "SOFTWARE\\Demo", "Blob", std::string("\x00\xFF", 2)));
    EXPECT_TRUE(reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\Demo", "", "default"));
    Reopen();
    RegistryApi& again = OS().Registry();
    EXPECT_EQ(again.ReadString(kHkeyLocalMachine, "software\\DEMO", "路径"), "C:\\Program Files\\演示");
    EXPECT_EQ(again.ReadString(kHkeyLocalMachine, "software\\demo", ""), "default");
    std::optional<RegValue> count = again.ReadValue(kHkeyLocalMachine, "SOFTWARE\\Demo", "COUNT");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->Type, kRegDword);
    EXPECT_EQ(count->Data, "\x78\x56\x34\x12");
    EXPECT_EQ(again.ReadValue(kHkeyLocalMachine, "SOFTWARE\\Demo", "blob")->Data, std::string("\x00\xFF", 2));
    EXPECT_FALSE(again.ReadString(kHkeyLocalMachine, "SOFTWARE\\Demo", "Count"));  // not a string
    EXPECT_TRUE(again.KeyExists(kHkeyLocalMachine, "SOFTWARE\\DEMO\\SUB"));
    EXPECT_EQ(again.ListSubKeys(kHkeyLocalMachine, "SOFTWARE\\Demo"), (std::vector<std::string>{"Sub"}));
}

TEST_F(SandboxRegistryTest, DeleteKeyTakesItsSubkeys) {
    RegistryApi& reg = OS().Registry();
    ASSERT_TRUE(reg.CreateKey(kHkeyCurrentUser, "Software\\A\\B\\C"));
    ASSERT_TRUE(reg.WriteString(kHkeyCurrentUser, "Software\\A\\B", "v", "1"));
    EXPECT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "software\\a"));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\A\\B\\C"));
    EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "Software"));
    EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "Software\\A"));
    EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, ""));  // a root stays
    EXPECT_FALSE(reg.DeleteValue(kHkeyCurrentUser, "Software", "none"));
    EXPECT_FALSE(reg.CreateKey(kHkeyPerformanceData, "x"));  // not one of the five roots
}

// registry.reg is the registry, byte for byte: header, keys sorted, UTF-8.
TEST_F(SandboxRegistryTest, RegistryFileFormat) {
    RegistryApi& reg = OS().Registry();
    ASSERT_TRUE(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Zeta"));
    ASSERT_TRUE(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\alpha"));
    ASSERT_TRUE(reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\alpha", "名称", "a \"q\" \\ b"));
    ASSERT_TRUE(reg.WriteDword(kHkeyLocalMachine, "SOFTWARE\\alpha", "n", 10));
    ASSERT_TRUE(reg.WriteBinary(kHkeyLocalMachine, "SOFTWARE\\Zeta", "", "\x01\xAB"));
    ASSERT_TRUE(reg.CreateKey(kHkeyCurrentUser, "Software"));
    EXPECT_EQ(ReadHostFile("registry.reg"),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\alpha]\r\n"
              "\"\xE5\x90\x8D\xE7\xA7\xB0\"=\"a \\\"q\\\" \\\\ b\"\r\n"
              "\"n\"=dword:0000000a\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\r\n"
              "@=hex:01,ab\r\n\r\n");
}

// registry.reg is written when someone else can look, not after every change:
// on a flush, and when the machine goes away.
TEST_F(SandboxRegistryTest, RegistryFileIsWrittenOnFlushAndAtTheEnd) {
    auto onDisk = [&] {
        std::ifstream in(HostPath("registry.reg"), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    std::string before = onDisk();
    ASSERT_TRUE(OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\Later"));
    EXPECT_EQ(onDisk(), before);
    Machine().Flush();
    EXPECT_NE(onDisk().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Later]"), std::string::npos);
    ASSERT_TRUE(OS().Registry().WriteDword(kHkeyLocalMachine, "SOFTWARE\\Later", "n", 1));
    EXPECT_EQ(onDisk().find("\"n\"=dword:00000001"), std::string::npos);
    Reopen();
    EXPECT_NE(onDisk().find("\"n\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(OS().Registry().ReadValue(kHkeyLocalMachine, "SOFTWARE\\Later", "n")->Data, std::string("\x01\0\0\0", 4));
}

// A registry file that does not parse names itself and its line.
TEST_F(SandboxRegistryTest, DamagedRegistryFileIsRefusedWithItsLine) {
    WriteHostFile("registry.reg", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\X]\n\"a\"=dword:xyz\n");
    try {
        Reopen();
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Format);
        EXPECT_NE(std::string(e.what()).find("registry.reg, line 4"), std::string::npos) << e.what();
    }
}

struct BadReg {
    const char* text;
    int line;
};

void PrintTo(const BadReg& c, std::ostream* os) { *os << "line " << c.line; }

class RegTextErrorTest : public testing::TestWithParam<BadReg> {};

TEST_P(RegTextErrorTest, NamesTheLine) {
    try {
        sandbox::ParseRegText(GetParam().text, false, "f.reg");
        FAIL() << "accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("f.reg, line " + std::to_string(GetParam().line)), std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegTextErrorTest,
                         testing::Values(BadReg{"", 1}, BadReg{"REGEDIT5\n", 1}, BadReg{"REGEDIT4\n\"a\"=\"b\"\n", 2},
                                         BadReg{"REGEDIT4\n[HKEY_NOWHERE\\x]\n", 2},
                                         BadReg{"REGEDIT4\n[HKEY_USERS\\x\n", 2},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\n\"a\"=\"unclosed\n", 3},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\n\"a\"=dword:123456789\n", 3},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\n\"a\"=hex:zz\n", 3},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\n\"a\"=hex(q):00\n", 3},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\n\n\"a\" \"b\"\n", 4},
                                         BadReg{"REGEDIT4\n[HKCU\\x]\nnoquote=1\n", 3}));

TEST(RegTextTest, HexDataContinuesOverLines) {
    std::vector<sandbox::RegOperation> ops = sandbox::ParseRegText(
        "Windows Registry Editor Version 5.00\n[HKLM\\K]\n\"m\"=hex(7):41,00,00,\\\n  "
        "00,00,00\n\"d\"=-\n[-HKLM\\Old]\n",
        false, "f.reg");
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[1].Kind, sandbox::RegOperation::SetValue);
    EXPECT_EQ(ops[1].Value.Type, kRegMultiSz);
    EXPECT_EQ(ops[1].Value.Data, std::string("A\0\0\0\0\0", 6));
    EXPECT_EQ(ops[2].Kind, sandbox::RegOperation::DeleteValue);
    EXPECT_EQ(ops[3].Kind, sandbox::RegOperation::DeleteKey);
    EXPECT_EQ(ops[3].Path, "Old");
}

// A key that refuses writes keeps its subkeys and values as they are; a value
// of any type writes back with its raw data.
TEST_F(SandboxRegistryTest, ReadOnlyKeysAndRawValues) {
    RegistryApi& reg = OS().Registry();
    ASSERT_TRUE(reg.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Locked\\Sub"));
    ASSERT_TRUE(reg.WriteString(kHkeyLocalMachine, "SOFTWARE\\Locked", "a", "1"));
    Configure("[Faults]\nReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\n");
    RegistryApi& locked = OS().Registry();
    EXPECT_FALSE(locked.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Locked\\New"));
    EXPECT_FALSE(locked.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Locked"));
    EXPECT_FALSE(locked.WriteString(kHkeyLocalMachine, "SOFTWARE\\Locked\\Sub", "b", "2"));
    EXPECT_FALSE(locked.DeleteValue(kHkeyLocalMachine, "SOFTWARE\\Locked", "a"));
    EXPECT_FALSE(locked.DeleteKey(kHkeyLocalMachine, "SOFTWARE\\Locked\\Sub"));
    EXPECT_EQ(locked.ReadString(kHkeyLocalMachine, "SOFTWARE\\Locked", "a"), "1");
    EXPECT_TRUE(locked.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Locked\\Sub"));
    EXPECT_FALSE(locked.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Locked\\New"));
    ASSERT_TRUE(locked.CreateKey(kHkeyLocalMachine, "SOFTWARE\\Open"));
    RegValue multi{"list", kRegMultiSz, std::string("a\0\0\0\0\0", 6)};
    EXPECT_TRUE(locked.WriteValue(kHkeyLocalMachine, "SOFTWARE\\Open", multi));
    std::optional<RegValue> back = locked.ReadValue(kHkeyLocalMachine, "SOFTWARE\\Open", "LIST");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Type, kRegMultiSz);
    EXPECT_EQ(back->Data, multi.Data);
}

}  // namespace
}  // namespace setup::testing_sandbox
