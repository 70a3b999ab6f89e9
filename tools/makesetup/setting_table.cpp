#include "setting_table.h"

#include "package/compile.h"

namespace setup::makesetup {

namespace {
const char kTitle[] = "标题图片";

}  // namespace

const std::vector<SettingGroupDef>& Groups() {
    static const std::vector<SettingGroupDef> groups = {
        {igProject,
         "project",
         {
             {"Name", "项目名称", SettingKind::Text, ""},
             {"Author", "作者名称", SettingKind::Text, ""},
             {"Version", "版本号", SettingKind::Text, ""},
             {"Address", "作者网址", SettingKind::Text, ""},
             {"Kind", "压缩类型", SettingKind::Text, ""},
             {"InsIco", "安装程序图标", SettingKind::Text, ""},
             {"unInsIco", "卸载程序图标", SettingKind::Text, ""},
             {"Displayed", "显示安装界面", SettingKind::Switch, kSwitchOn},
             {"Loaded", "显示加载进度", SettingKind::Switch, kSwitchOff},
             {"BackPictureflag", "显示安装背景窗口", SettingKind::Switch, kSwitchOff},
             {"BackPicture", "安装背景图片", SettingKind::Resource, ""},
             {"BakMusic", "背景音乐", SettingKind::Resource, ""},
             {"RebootOs", "安装完成后，重启操作系统", SettingKind::Switch, kSwitchOff},
             {"HintMsg", "安装完成后弹出信息提示", SettingKind::Text, ""},
             {"WebHint", "安装完成后弹出网页链接", SettingKind::Text, ""},
             {"DefaultHtml", "安装完成后设置IE默认主页", SettingKind::Text, ""},
             {"EnableUnIns", "卸载程序", SettingKind::Switch, kSwitchOn},
             {"BeforeHintMsg", "安装前弹出信息提示", SettingKind::Text, ""},
             {"Patch", "Patch", SettingKind::Boolean, "False"},
         }},
        {igPageSwitch,
         "pages",
         {
             {"welcome", "欢迎", SettingKind::Switch, kSwitchOn},
             {"agreement", "安装协议", SettingKind::Switch, kSwitchOn},
             {"readme", "软件使用说明", SettingKind::Switch, kSwitchOn},
             {"startfolder", "选择开始菜单文件夹", SettingKind::Switch, kSwitchOn},
             {"components", "选择安装组件包", SettingKind::Switch, kSwitchOn},
             {"installdir", "选择安装文件夹", SettingKind::Switch, kSwitchOn},
             {"tasks", "附加任务", SettingKind::Switch, kSwitchOn},
             {"ready", "确认安装", SettingKind::Switch, kSwitchOn},
             {"progress", "安装进程", SettingKind::Switch, kSwitchOn},
             {"finish", "安装完毕", SettingKind::Switch, kSwitchOn},
         }},
        {igWelcome,
         "welcome",
         {
             {"picture", "背景图片", SettingKind::Resource, ""},
             {"company", "公司名称", SettingKind::Text, ""},
             {"address", "网址", SettingKind::Text, ""},
         }},
        {igProtocol,
         "agreement",
         {{"title_picture", kTitle, SettingKind::Resource, ""}, {"file", "协议文件", SettingKind::Resource, ""}}},
        {igExplain,
         "readme",
         {{"title_picture", kTitle, SettingKind::Resource, ""}, {"file", "说明文件", SettingKind::Resource, ""}}},
        {igStartFolder,
         "startfolder",
         {
             {"title_picture", kTitle, SettingKind::Resource, ""},
             {"default_folder", "默认文件夹名称", SettingKind::Text, ""},
             {"allow_change", "允许用户修改文件夹名称", SettingKind::Switch, kSwitchOn},
             {"show_option", "显示用户选择选项", SettingKind::Switch, kSwitchOn},
         }},
        {igComponent, "components", {{"title_picture", kTitle, SettingKind::Resource, ""}}},
        {igInstallDir,
         "installdir",
         {
             {"title_picture", kTitle, SettingKind::Resource, ""},
             {"default_path", "默认安装路径", SettingKind::Text, ""},
             {"allow_change", "允许用户修改安装路径", SettingKind::Switch, kSwitchOn},
             {"search_keys", "搜索关键字", SettingKind::Text, ""},
         }},
        {igAddonsTask,
         "tasks",
         {
             {"title_picture", kTitle, SettingKind::Resource, ""},
             {"desktop", "创建桌面快捷方式", SettingKind::Switch, kSwitchOn},
             {"quicklaunch", "创建快速启栏快捷方式", SettingKind::Switch, kSwitchOff},
         }},
        {igReadyIns, "ready", {{"title_picture", kTitle, SettingKind::Resource, ""}}},
        {igBeginIns,
         "progress",
         {{"title_picture", kTitle, SettingKind::Resource, ""},
          {"details", "安装详细信息", SettingKind::Switch, kSwitchOn}}},
        {igEndIns,
         "finish",
         {
             {"picture", "背景图片", SettingKind::Resource, ""},
             {"app_file", "应用程序文件", SettingKind::Installed, ""},
             {"readme_file", "Readme文件", SettingKind::Installed, ""},
             {"home_page", "默认主页链接", SettingKind::Text, ""},
         }},
    };
    return groups;
}

const SettingDef* FindSettingDef(uint8_t group, const std::string& key) {
    for (const SettingGroupDef& g : Groups()) {
        if (g.Group != group) continue;
        for (const SettingDef& def : g.Settings) {
            if (key == def.Key) return &def;
        }
    }
    return nullptr;
}

}  // namespace setup::makesetup
