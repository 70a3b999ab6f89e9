// The quiet window's gauge and close rules, driven directly.
#include "wizard/install_form.h"

#include <gtest/gtest.h>

#include "wizard/init_ins_form.h"

namespace setup {
namespace {

// 12 % before the first file event; message-only events leave it; 3 of 4 is 75 %.
TEST(InstallFormTest, GaugeFollowsFileEventsOnly) {
    TfrmInstall window;
    EXPECT_EQ(window.Gauge1.PercentDone(), 12);
    window.CompileProgress("", "正在创建安装文件夹，请稍候...", -1, -1);
    EXPECT_EQ(window.Gauge1.PercentDone(), 12);
    window.CompileProgress("C:\\a", "正在安装文件", 3, 4);
    EXPECT_EQ(window.Gauge1.PercentDone(), 75);
    window.CompileProgress("C:\\b", "正在安装文件", 2, 3);
    EXPECT_EQ(window.Gauge1.PercentDone(), 66);  // truncated
    window.CompileProgress("", "x", -1, 5);
    EXPECT_EQ(window.Gauge1.Progress(), 2);
    window.Gauge1.SetMaxValue(0);
    EXPECT_EQ(window.Gauge1.PercentDone(), 0);
}

// Before the work is done neither window lets itself be closed.
TEST(InstallFormTest, WindowsRefuseToCloseWhileWorking) {
    TfrmInstall quiet;
    EXPECT_FALSE(quiet.QueryClose());
    EXPECT_FALSE(quiet.Timer.Active());  // starts only when the model is set
    EXPECT_EQ(quiet.Caption(), "无选项安装");
    TfrmInitIns loading;
    EXPECT_FALSE(loading.QueryClose());
    EXPECT_TRUE(loading.Timer1.Active());
    EXPECT_EQ(loading.Timer1.Interval(), 1000);
    loading.ShowProgress(3, 7);
    EXPECT_EQ(loading.pRelease.Max(), 7);
    EXPECT_EQ(loading.pRelease.Position(), 3);
}

}  // namespace
}  // namespace setup
