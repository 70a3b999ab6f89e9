// Loading pictures of the simulated machine through the OS seam: what a page
// gets for a good, missing, unknown or damaged file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"
#include "ui/picture.h"

namespace setup::ui {
namespace {

class PictureLoadTest : public testing_sandbox::SandboxTest {
protected:
    // Puts a file of tests/data/pictures on the machine at the GBK path given
    // below drive C (host names are UTF-8).
    void PutPicture(const std::string& source, const std::string& underC) {
        std::ifstream in(std::string(PICTURE_DATA_DIR) + "/" + source, std::ios::binary);
        ASSERT_TRUE(in.good()) << source;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::string relative = "C/" + underC;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        std::filesystem::create_directories(std::filesystem::path(HostPath(GbkToUtf8(relative))).parent_path());
        WriteHostFile(GbkToUtf8(relative), bytes.str());
    }
};

TEST_F(PictureLoadTest, LoadsAPictureUnderAChinesePathWithAnyCaseOfExtension) {
    PutPicture("rgb.png", "安装\\背景图片.PNG");
    std::shared_ptr<const Picture> picture = LoadPicture("C:\\安装\\背景图片.PNG");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Format, PictureFormat::Png);
    EXPECT_EQ(picture->Width, 3);
    EXPECT_EQ(picture->Pixels.size(), 6u);

    PutPicture("icon.ico", "安装\\图标.Ico");
    picture = LoadPicture("c:\\安装\\图标.ico");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->Width, 32);
    EXPECT_EQ(picture->Bytes.size(), 518u);
}

// Missing, unknown type, damaged, content of another type, an empty file and
// a folder: no picture, and no error reaches the page.
TEST_F(PictureLoadTest, AnyFailureGivesNoPicture) {
    EXPECT_EQ(LoadPicture("C:\\missing.png"), nullptr);
    EXPECT_EQ(LoadPicture("Q:\\no drive\\a.jpg"), nullptr);
    EXPECT_EQ(LoadPicture(""), nullptr);

    PutPicture("rgb.png", "pic.gif");
    EXPECT_EQ(LoadPicture("C:\\pic.gif"), nullptr);

    PutPicture("rgb.png", "png-named.jpg");
    EXPECT_EQ(LoadPicture("C:\\png-named.jpg"), nullptr);

    WriteHostFile("C/empty.bmp", "");
    EXPECT_EQ(LoadPicture("C:\\empty.bmp"), nullptr);

    WriteHostFile("C/cut.png", std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(LoadPicture("C:\\cut.png"), nullptr);

    std::filesystem::create_directories(HostPath("C/folder.png"));
    EXPECT_EQ(LoadPicture("C:\\folder.png"), nullptr);
}

}  // namespace
}  // namespace setup::ui
