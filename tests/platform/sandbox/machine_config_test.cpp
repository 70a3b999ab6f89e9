#include "platform/sandbox/machine_config.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/text.h"

namespace setup::sandbox {
namespace {

TEST(MachineConfigTest, ReadsEverySetting) {
    MachineConfig c = ParseMachineConfig(
        GbkToUtf8("[Machine]\nOsVersion=5.1\nElevation=refuse\nUser=张三\nUtcOffset=-300\n"
        "[Drives]\nD=removable 5000\ne = cdrom\nF=missing\n"
        "[Answers]\n重新启动=yes\n*=cancel\n"),
        "machine.ini");
    EXPECT_EQ(c.osVersion, "5.1");
    EXPECT_EQ(c.elevation, Elevation::Refuse);
    EXPECT_EQ(c.user, "张三");
    EXPECT_EQ(c.utcOffsetMinutes, -300);
    EXPECT_EQ(c.drives.at('C').type, DriveType::Fixed);  // the default drive stays
    EXPECT_EQ(c.drives.at('D').type, DriveType::Removable);
    EXPECT_EQ(c.drives.at('D').freeBytes, 5000);
    EXPECT_EQ(c.drives.at('E').type, DriveType::CdRom);
    EXPECT_TRUE(c.drives.at('F').missing);
    ASSERT_EQ(c.answers.size(), 2u);
    EXPECT_EQ(c.answers[0].fragment, "重新启动");
    EXPECT_EQ(c.answers[0].answer, kIdYes);
    EXPECT_EQ(c.answers[1].answer, kIdCancel);
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
    testing::Values(BadIni{"[Machine]\nOsVersion=six\n", "/x/machine.ini, line 2"},
                    BadIni{"[Machine]\n\nElevation=maybe\n", "line 3"},
                    BadIni{"[Machine]\nColour=blue\n", "line 2: unknown key"},
                    BadIni{"[Machine]\njust text\n", "line 2"},
                    BadIni{"OsVersion=6.1\n", "line 1"},
                    BadIni{"[Machin]\nOsVersion=6.1\n", "line 2: unknown section"},
                    BadIni{"[Drives]\nC=floppy\n", "line 2"},
                    BadIni{"[Drives]\nC=fixed lots\n", "line 2"},
                    BadIni{"[Drives]\nZ=fixed\n", "line 2"},
                    BadIni{"[Drives]\nCD=fixed\n", "line 2"},
                    BadIni{"[Answers]\nx=perhaps\n", "line 2"},
                    BadIni{"[Machine]\nUser=a\\b\n", "line 2"},
                    BadIni{"[Machine\n", "line 1"},
                    BadIni{"[Machine]\nUser=\xff\n", "not valid UTF-8"}));

TEST(MachineConfigTest, VersionTextsBecomeVersionQueries) {
    EXPECT_FALSE(VersionFromText("0").has_value());
    EXPECT_EQ(VersionFromText("2")->platformId, 1u);
    EXPECT_EQ(VersionFromText("1")->platformId, 0u);
    std::optional<OsVersion> v = VersionFromText("10.0");
    EXPECT_EQ(v->platformId, 2u);
    EXPECT_EQ(v->major, 10u);
    EXPECT_EQ(v->minor, 0u);
}

}  // namespace
}  // namespace setup::sandbox
