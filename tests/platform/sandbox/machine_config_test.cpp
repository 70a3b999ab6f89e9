#include "platform/sandbox/machine_config.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/text.h"

namespace setup::sandbox {
namespace {

TEST(MachineConfigTest, ReadsEverySetting) {
    MachineConfig c =
        ParseMachineConfig(GbkToUtf8("[Machine]\nOsVersion=5.1\nElevation=refuse\nUser=张三\nUtcOffset=-300\n"
                                     "[Drives]\nD=removable 5000\ne = cdrom\nF=missing\n"
                                     "[Answers]\n重新启动=yes\n*=cancel\n"),
                           "machine.ini");
    EXPECT_EQ(c.OsVersion, "5.1");
    EXPECT_EQ(c.Elevation, Elevation::Refuse);
    EXPECT_EQ(c.User, "张三");
    EXPECT_EQ(c.UtcOffsetMinutes, -300);
    EXPECT_EQ(c.Drives.at('C').Type, DriveType::Fixed);  // the default drive stays
    EXPECT_EQ(c.Drives.at('D').Type, DriveType::Removable);
    EXPECT_EQ(c.Drives.at('D').FreeBytes, 5000);
    EXPECT_EQ(c.Drives.at('E').Type, DriveType::CdRom);
    EXPECT_TRUE(c.Drives.at('F').Missing);
    ASSERT_EQ(c.Answers.size(), 2u);
    EXPECT_EQ(c.Answers[0].Fragment, "重新启动");
    EXPECT_EQ(c.Answers[0].Answer, kIdYes);
    EXPECT_EQ(c.Answers[1].Answer, kIdCancel);
}

struct BadIni {
    const char* text;
    const char* where;
};

void PrintTo(const BadIni& c, std::ostream* os) { *os << c.where; }

class MachineConfigErrorTest : public testing::TestWithParam<BadIni> {};

// A malformed file is refused with its name and the line at fault.
TEST_P(MachineConfigErrorTest, NamesFileAndLine) {
    try {
        ParseMachineConfig(GetParam().text, "/x/machine.ini");
        FAIL() << "accepted: " << GetParam().text;
    } catch (const Error& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::Format);
        EXPECT_NE(std::string(e.what()).find(GetParam().where), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MachineConfigErrorTest,
    testing::Values(
        BadIni{"[Machine]\nOsVersion=six\n", "/x/machine.ini, line 2"},
        BadIni{"[Machine]\n\nElevation=maybe\n", "line 3"}, BadIni{"[Machine]\nColour=blue\n", "line 2: unknown key"},
        BadIni{"[Machine]\njust text\n", "line 2"}, BadIni{"OsVersion=6.1\n", "line 1"},
        BadIni{"[Machin]\nOsVersion=6.1\n", "line 2: unknown section"}, BadIni{"[Drives]\nC=floppy\n", "line 2"},
        BadIni{"[Drives]\nC=fixed lots\n", "line 2"}, BadIni{"[Drives]\nZ=fixed\n", "line 2"},
        BadIni{"[Drives]\nCD=fixed\n", "line 2"}, BadIni{"[Answers]\nx=perhaps\n", "line 2"},
        BadIni{"[Machine]\nUser=a\\b\n", "line 2"}, BadIni{"[Machine\n", "line 1"},
        BadIni{"[Machine]\nUser=\xff\n", "not valid UTF-8"}, BadIni{"[Faults]\nDiskFull=C\n", "line 2: DiskFull"},
        BadIni{"[Faults]\nDiskFull=CD 100\n", "line 2"}, BadIni{"[Faults]\nLocked=demo.exe\n", "line 2: Locked"},
        BadIni{"[Faults]\nReadOnlyKey=HKEY_NOWHERE\\x\n", "line 2: ReadOnlyKey"},
        BadIni{"[Faults]\nFailStart=\n", "line 2"}, BadIni{"[Faults]\nCrash=now\n", "line 2: unknown key"}));

TEST(MachineConfigTest, ReadsFaults) {
    MachineConfig c = ParseMachineConfig(
        GbkToUtf8("[Faults]\nDiskFull=d: 4096\nLocked=C:\\Program Files\\演示\\app.exe\nLocked=C:\\Busy\\*\n"
                  "ReadOnlyKey=HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked\nFailStart=regsvr32.exe\n"),
        "machine.ini");
    const FaultConfig& f = c.Faults;
    EXPECT_EQ(f.WritableBytes.at('D'), 4096);
    EXPECT_TRUE(IsLockedPath(f, "c:\\program files\\演示\\APP.EXE"));
    EXPECT_FALSE(IsLockedPath(f, "C:\\Program Files\\演示\\app.exe2"));
    EXPECT_TRUE(IsLockedPath(f, "C:\\Busy\\a\\b.txt"));
    EXPECT_FALSE(IsLockedPath(f, "C:\\Busy"));
    EXPECT_FALSE(IsLockedPath(f, "C:\\Busybody.txt"));
    EXPECT_TRUE(IsReadOnlyKey(f, kHkeyLocalMachine, "\\software\\locked"));
    EXPECT_TRUE(IsReadOnlyKey(f, kHkeyLocalMachine, "SOFTWARE\\Locked\\Sub"));
    EXPECT_FALSE(IsReadOnlyKey(f, kHkeyLocalMachine, "SOFTWARE\\LockedOut"));
    EXPECT_FALSE(IsReadOnlyKey(f, kHkeyCurrentUser, "SOFTWARE\\Locked"));
    EXPECT_TRUE(IsFailedStart(f, "C:\\Windows\\System32\\REGSVR32.EXE"));
    EXPECT_FALSE(IsFailedStart(f, "C:\\Windows\\regedit.exe"));
}

TEST(MachineConfigTest, VersionTextsBecomeVersionQueries) {
    EXPECT_FALSE(VersionFromText("0").has_value());
    EXPECT_EQ(VersionFromText("2")->PlatformId, 1u);
    EXPECT_EQ(VersionFromText("1")->PlatformId, 0u);
    std::optional<OsVersion> v = VersionFromText("10.0");
    EXPECT_EQ(v->PlatformId, 2u);
    EXPECT_EQ(v->Major, 10u);
    EXPECT_EQ(v->Minor, 0u);
}

}  // namespace
}  // namespace setup::sandbox
