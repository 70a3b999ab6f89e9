#include "project_file.h"

#include <toml++/toml.h>

#include <map>
#include <random>
#include <set>

#include "package/install_paths.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace setup::makesetup {

namespace {

enum class SettingKind { Text, Switch, Resource, Installed, Boolean };

struct SettingSpec {
    const char* english;
    const char* key;  // GBK
    SettingKind kind;
    const char* defaultValue;  // GBK
};

struct GroupSpec {
    uint8_t group;
    const char* table;
    std::vector<SettingSpec> settings;
};

const char kTitle[] = "标题图片";

// Every setting the package maker writes, group by group in the order 0, 1, 2,
// 3, 5, ..., 12, and within a group in this order.
const std::vector<GroupSpec>& Groups() {
    static const std::vector<GroupSpec> groups = {
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

const char kProgramFilesRoot[] = "目标计算机\\Program Files\\";

class ProjectReader {
public:
    ProjectReader(std::string path, TCompressLevelEnum level) : path_(std::move(path)), level_(level) {
        size_t slash = path_.find_last_of('/');
        baseDir_ = slash == std::string::npos ? "." : path_.substr(0, slash);
    }

    BuildPlan Read();

private:
    [[noreturn]] void Fail(const toml::node* node, const std::string& field, const std::string& message) const {
        std::string where = path_;
        if (node && node->source().begin.line > 0) where += ", line " + std::to_string(node->source().begin.line);
        ThrowFormatError(where + ": " + field + ": " + message);
    }

    std::string Gbk(const toml::node* node, const std::string& field, const std::string& utf8) const {
        try {
            return Utf8ToGbk(utf8);
        } catch (const Error&) {
            Fail(node, field, "holds a character that code page 936 cannot hold");
        }
    }

    // A text field (UTF-8 in the file, GBK in the result).
    std::string Text(const toml::node& node, const std::string& field) const {
        if (!node.is_string()) Fail(&node, field, "must be a text");
        return Gbk(&node, field, *node.value<std::string>());
    }
    bool Flag(const toml::node& node, const std::string& field) const {
        if (!node.is_boolean()) Fail(&node, field, "must be true or false");
        return *node.value<bool>();
    }
    // A setting value: a text, a number, or true/false for a switch.
    std::string SettingValue(const toml::node& node, const std::string& field, SettingKind kind) const {
        if (node.is_boolean()) {
            bool on = *node.value<bool>();
            if (kind == SettingKind::Boolean) return on ? "True" : "False";
            return on ? kSwitchOn : kSwitchOff;
        }
        if (node.is_integer()) return std::to_string(*node.value<int64_t>());
        return Text(node, field);
    }

    // The author's path of a project-relative path, as the package records it.
    std::string SourceText(const std::string& relativeUtf8, const toml::node* node, const std::string& field) const {
        std::string rel = relativeUtf8;
        for (char& c : rel) {
            if (c == '/') c = '\\';
        }
        return sourceRoot_ + "\\" + Gbk(node, field, rel);
    }
    // A project-relative path made canonical ("a/./b/../c" -> "a/c"); refuses
    // absolute paths and paths that leave the project folder.
    std::string Relative(const toml::node& node, const std::string& field) const;
    std::string HostOf(const std::string& relative) const { return baseDir_ + "/" + relative; }
    double FileTimeOf(const std::string& host, const toml::node* timeNode) const;

    void ReadPackageTable(const toml::table& table);
    void ReadSettings(const toml::table& root);
    void ReadFiles(const toml::array& files);
    void AddTree(const std::string& relative, const std::string& virtualFolder, const TCompileFileData& flags,
                 const toml::node* timeNode, const toml::node& node);
    void AddFile(const std::string& relative, const std::string& virtualFolder, const TCompileFileData& flags,
                 uint8_t kind, const toml::node* timeNode);
    void AddFolderName(const std::string& folder);
    void ReadRegistry(const toml::table& root);
    void ReadShortcuts(const toml::table& root);
    void ReadComponents(const toml::array& components);
    void ApplyResources();

    std::string path_;
    std::string baseDir_;
    TCompressLevelEnum level_;
    std::string sourceRoot_ = "C:\\Project";
    std::optional<double> fileTime_;
    BuildPlan plan_;
    std::map<std::string, size_t> packaged_;  // project-relative path -> FileList index
    std::set<std::string> folderNames_;       // lower-case, for FileFolderList without repeats
    // Settings whose values name files: (setting, relative path, node, kind).
    struct FileSetting {
        TCompileData* setting;
        std::string relative;
        const toml::node* node;
        SettingKind kind;
        std::string field;
    };
    std::vector<FileSetting> fileSettings_;
};

std::string ProjectReader::Relative(const toml::node& node, const std::string& field) const {
    if (!node.is_string()) Fail(&node, field, "must be a path relative to the project file");
    std::string text = *node.value<std::string>();
    if (text.empty() || text[0] == '/' || text.find('\\') != std::string::npos || text.find(':') != std::string::npos) {
        Fail(&node, field, "must be a path relative to the project file, with \"/\" between folders");
    }
    std::vector<std::string> parts;
    for (const std::string& part : SplitOn(text, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) Fail(&node, field, "leaves the project folder");
            parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    if (parts.empty()) Fail(&node, field, "names the project folder itself");
    std::string result;
    for (const std::string& part : parts) result += (result.empty() ? "" : "/") + part;
    return result;
}

double ProjectReader::FileTimeOf(const std::string& host, const toml::node* timeNode) const {
    if (timeNode) {
        const toml::date_time* dt = timeNode->as_date_time() ? &timeNode->as_date_time()->get() : nullptr;
        if (!dt || dt->offset) Fail(timeNode, "time", "must be a local date-time such as 2024-01-31T08:00:00");
        return EncodeDateTime(dt->date.year, dt->date.month, dt->date.day, dt->time.hour, dt->time.minute,
                              dt->time.second);
    }
    if (fileTime_) return *fileTime_;
    return HostFileDateTime(host).value_or(0.0);
}

void ProjectReader::AddFolderName(const std::string& folder) {
    if (folderNames_.insert(AsciiLowerCase(folder)).second) plan_.model->FileFolderList.push_back(folder);
}

void ProjectReader::AddFile(const std::string& relative, const std::string& virtualFolder,
                            const TCompileFileData& flags, uint8_t kind, const toml::node* timeNode) {
    std::string host = HostOf(relative);
    auto item = std::make_unique<TCompileFileData>(flags);
    std::string name = relative.substr(relative.find_last_of('/') == std::string::npos ? 0
                                                                                      : relative.find_last_of('/') + 1);
    item->Name = Gbk(nullptr, relative, name);
    item->Source = SourceText(relative, nullptr, relative);
    item->TargetDir = virtualFolder;
    item->Kind = kind;
    item->FileSize = static_cast<int64_t>(HostFileSize(host));
    item->FileTime = FileTimeOf(host, timeNode);
    packaged_[relative] = plan_.model->FileList.size();
    plan_.model->FileList.push_back(std::move(item));
    plan_.dataFiles.push_back(host);
}

void ProjectReader::AddTree(const std::string& relative, const std::string& virtualFolder,
                            const TCompileFileData& flags, const toml::node* timeNode, const toml::node& node) {
    std::string host = HostOf(relative);
    std::vector<HostEntry> entries;
    try {
        entries = ListHostFolder(host);
    } catch (const Error& e) {
        Fail(&node, "source", e.what());
    }
    std::string folder = virtualFolder;
    if (!folder.empty() && folder.back() != '\\') folder += "\\";
    for (const HostEntry& entry : entries) {
        std::string child = relative + "/" + entry.name;
        if (entry.isFolder) {
            // A folder entry of the author's tree: no data, a virtual folder to create.
            auto item = std::make_unique<TCompileFileData>();
            item->Name = Gbk(&node, child, entry.name);
            item->Source = SourceText(child, &node, "source");
            item->TargetDir = virtualFolder;
            item->Kind = fkFolder;
            item->FileTime = -1.0;
            plan_.model->FileList.push_back(std::move(item));
            plan_.dataFiles.emplace_back();
            std::string sub = folder + Gbk(&node, child, entry.name);
            AddFolderName(sub);
            AddTree(child, sub, flags, timeNode, node);
        } else {
            AddFile(child, virtualFolder, flags, fkFile, timeNode);
        }
    }
}

void ProjectReader::ReadPackageTable(const toml::table& table) {
    for (auto&& [key, node] : table) {
        std::string field = "package." + std::string(key.str());
        if (key == "id") {
            std::string id = AsciiUpperCase(Text(node, field));
            bool ok = id.size() == 36;
            for (size_t i = 0; ok && i < id.size(); ++i) {
                bool dash = i == 8 || i == 13 || i == 18 || i == 23;
                ok = dash ? id[i] == '-' : std::isxdigit(static_cast<unsigned char>(id[i])) != 0;
            }
            if (!ok) Fail(&node, field, "must be a GUID such as 0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
            plan_.model->PackageId = id;
        } else if (key == "source_root") {
            sourceRoot_ = StripTrailingSeparator(Text(node, field));
            if (sourceRoot_.size() < 2 || sourceRoot_[1] != ':') Fail(&node, field, "must be a Windows folder such as C:\\Project");
        } else if (key == "file_time") {
            fileTime_ = FileTimeOf("", &node);
        } else if (key == "uninstaller" || key == "uninstaller_name") {
            // read after the settings, when the product name is known
        } else {
            Fail(&node, field, "unknown field");
        }
    }
    if (plan_.model->PackageId.empty()) Fail(&table, "package.id", "is missing (makesetup new makes one)");
}

void ProjectReader::ReadSettings(const toml::table& root) {
    TCompile& model = *plan_.model;
    for (const GroupSpec& group : Groups()) {
        const toml::table* table = root[group.table].as_table();
        if (root.contains(group.table) && !table) Fail(root.get(group.table), group.table, "must be a table");
        std::set<std::string> known;
        for (const SettingSpec& spec : group.settings) {
            known.insert(spec.english);
            auto setting = std::make_unique<TCompileData>();
            setting->Key = spec.key;
            setting->Group = group.group;
            setting->Value = spec.defaultValue;
            const toml::node* node = table ? table->get(spec.english) : nullptr;
            if (!node && table) node = table->get(GbkToUtf8(spec.key));  // the setting's own key
            std::string field = std::string(group.table) + "." + spec.english;
            if (group.group == igProject && std::string(spec.english) == "Kind") setting->Value = LevelName(level_);
            if (node) {
                known.insert(GbkToUtf8(spec.key));
                if (spec.kind == SettingKind::Resource || spec.kind == SettingKind::Installed) {
                    fileSettings_.push_back({setting.get(), Relative(*node, field), node, spec.kind, field});
                } else {
                    setting->Value = SettingValue(*node, field, spec.kind);
                    if (spec.kind == SettingKind::Boolean) {
                        try {
                            StrToBool(setting->Value);
                        } catch (const Error& e) {
                            Fail(node, field, e.what());
                        }
                    }
                }
            }
            // The parser takes these into the model at load; so does the maker.
            if (group.group == igProject) {
                if (std::string(spec.english) == "Name") model.ItemName = setting->Value;
                if (std::string(spec.english) == "Author") model.Author = setting->Value;
                if (std::string(spec.english) == "Version") model.Version = setting->Value;
                if (std::string(spec.english) == "Address") model.Url = setting->Value;
            }
            model.InfoList.push_back(std::move(setting));
        }
        if (!table) continue;
        // Keys that are none of the known names are settings of their own.
        for (auto&& [key, node] : *table) {
            std::string name(key.str());
            if (known.count(name)) continue;
            auto setting = std::make_unique<TCompileData>();
            setting->Key = Gbk(&node, std::string(group.table) + "." + name, name);
            setting->Group = group.group;
            setting->Value = SettingValue(node, std::string(group.table) + "." + name, SettingKind::Switch);
            model.InfoList.push_back(std::move(setting));
        }
    }
}

void ProjectReader::ReadFiles(const toml::array& files) {
    static const std::set<std::string> kFields = {"source",       "target",         "kind",      "keep_on_uninstall",
                                                  "no_overwrite", "component",      "service",   "run_at_startup",
                                                  "run_after_install", "patch",     "target_os", "time"};
    for (const toml::node& entry : files) {
        const toml::table* table = entry.as_table();
        if (!table) Fail(&entry, "files", "each [[files]] entry must be a table");
        for (auto&& [key, node] : *table) {
            if (!kFields.count(std::string(key.str()))) Fail(&node, "files." + std::string(key.str()), "unknown field");
        }
        const toml::node* sourceNode = table->get("source");
        if (!sourceNode) Fail(&entry, "files.source", "is missing");
        std::string relative = Relative(*sourceNode, "files.source");
        std::string target = kProgramFilesRoot;
        if (const toml::node* n = table->get("target")) target = Text(*n, "files.target");
        TCompileFileData flags;
        auto flag = [&](const char* name, bool& out) {
            if (const toml::node* n = table->get(name)) out = Flag(*n, std::string("files.") + name);
        };
        flag("keep_on_uninstall", flags.KeepOnUninstall);
        flag("no_overwrite", flags.NoOverwrite);
        flag("component", flags.IsComponent);
        flag("service", flags.IsService);
        flag("run_at_startup", flags.RunAtStartup);
        flag("run_after_install", flags.RunAfterInstall);
        flag("patch", flags.IsPatch);
        if (const toml::node* n = table->get("target_os")) flags.TargetOs = Text(*n, "files.target_os");
        uint8_t kind = fkFile;
        if (const toml::node* n = table->get("kind")) {
            std::string k = Text(*n, "files.kind");
            if (k == "regfile") {
                kind = fkRegFile;
            } else if (k != "file") {
                Fail(n, "files.kind", "must be file or regfile");
            }
        }
        const toml::node* timeNode = table->get("time");
        std::string host = HostOf(relative);
        if (HostFolderExists(host)) {
            if (kind != fkFile) Fail(sourceNode, "files.source", "a registry file must be a file, not a folder");
            AddTree(relative, target, flags, timeNode, *sourceNode);
        } else if (HostFileExists(host)) {
            AddFile(relative, kind == fkFile ? target : "", flags, kind, timeNode);
        } else {
            Fail(sourceNode, "files.source", "no such file or folder: " + host);
        }
    }
}

void ProjectReader::ReadRegistry(const toml::table& root) {
    TCompile& model = *plan_.model;
    if (const toml::array* keys = root["registry_key"].as_array()) {
        for (const toml::node& entry : *keys) {
            const toml::table* t = entry.as_table();
            const toml::node* key = t ? t->get("key") : nullptr;
            if (!key || t->size() != 1) Fail(&entry, "registry_key", "each entry has exactly one field, key");
            model.RegFolderList.push_back(Text(*key, "registry_key.key"));
        }
    }
    const toml::array* values = root["registry"].as_array();
    if (!values) return;
    for (const toml::node& entry : *values) {
        const toml::table* t = entry.as_table();
        if (!t) Fail(&entry, "registry", "each [[registry]] entry must be a table");
        auto item = std::make_unique<TRegInfoData>();
        for (auto&& [key, node] : *t) {
            std::string field = "registry." + std::string(key.str());
            if (key == "key") {
                item->Key = Text(node, field);
            } else if (key == "name") {
                item->ValueName = Text(node, field);
            } else if (key == "data") {
                item->Data = node.is_integer() ? std::to_string(*node.value<int64_t>()) : Text(node, field);
            } else if (key == "target_os") {
                item->TargetOs = Text(node, field);
            } else if (key == "type") {
                std::string type = Text(node, field);
                if (type == "string") {
                    item->ValueType = 0;
                } else if (type == "dword") {
                    item->ValueType = 1;
                } else if (type == "binary") {
                    item->ValueType = 2;
                } else {
                    Fail(&node, field, "must be string, dword or binary");
                }
            } else {
                Fail(&node, field, "unknown field");
            }
        }
        if (item->Key.empty()) Fail(&entry, "registry.key", "is missing");
        model.RegList.push_back(std::move(item));
    }
}

void ProjectReader::ReadShortcuts(const toml::table& root) {
    TCompile& model = *plan_.model;
    if (const toml::array* folders = root["shortcut_folder"].as_array()) {
        for (const toml::node& entry : *folders) {
            const toml::table* t = entry.as_table();
            const toml::node* folder = t ? t->get("folder") : nullptr;
            if (!folder || t->size() != 1) Fail(&entry, "shortcut_folder", "each entry has exactly one field, folder");
            model.ShotCutFolderList.push_back(Text(*folder, "shortcut_folder.folder"));
        }
    }
    const toml::array* shortcuts = root["shortcut"].as_array();
    if (!shortcuts) return;
    for (const toml::node& entry : *shortcuts) {
        const toml::table* t = entry.as_table();
        if (!t) Fail(&entry, "shortcut", "each [[shortcut]] entry must be a table");
        auto item = std::make_unique<TShotCutData>();
        // A target or icon naming a packaged file points at its recorded path,
        // which the installation re-points to the installed copy.
        auto fileOrText = [&](const toml::node& node, const std::string& field) {
            std::string text = Text(node, field);
            auto it = packaged_.find(*node.value<std::string>());
            return it != packaged_.end() ? model.FileList[it->second]->Source : text;
        };
        for (auto&& [key, node] : *t) {
            std::string field = "shortcut." + std::string(key.str());
            if (key == "folder") {
                item->Folder = Text(node, field);
            } else if (key == "name") {
                item->Name = Text(node, field);
            } else if (key == "target") {
                item->Target = fileOrText(node, field);
            } else if (key == "icon") {
                item->IconFile = fileOrText(node, field);
            } else if (key == "arguments") {
                item->Arguments = Text(node, field);
            } else if (key == "description") {
                item->Description = Text(node, field);
            } else if (key == "kind") {
                std::string kind = Text(node, field);
                if (kind == "link") {
                    item->Kind = 0;
                } else if (kind == "url") {
                    item->Kind = 1;
                } else if (kind == "folder") {
                    item->Kind = 2;
                } else {
                    Fail(&node, field, "must be link, url or folder");
                }
            } else {
                Fail(&node, field, "unknown field");
            }
        }
        if (item->Folder.empty() || item->Name.empty() || item->Target.empty()) {
            Fail(&entry, "shortcut", "needs folder, name and target");
        }
        model.ShotCutList.push_back(std::move(item));
    }
}

void ProjectReader::ReadComponents(const toml::array& components) {
    TCompile& model = *plan_.model;
    for (const toml::node& entry : components) {
        const toml::table* t = entry.as_table();
        if (!t) Fail(&entry, "component", "each [[component]] entry must be a table");
        const toml::node* nameNode = t->get("name");
        const toml::node* sourceNode = t->get("source");
        if (!nameNode || !sourceNode) Fail(&entry, "component", "needs name and source");
        for (auto&& [key, node] : *t) {
            if (key != "name" && key != "source" && key != "size") {
                Fail(&node, "component." + std::string(key.str()), "unknown field");
            }
        }
        std::string name = Text(*nameNode, "component.name");
        std::string relative = Relative(*sourceNode, "component.source");
        if (!HostFolderExists(HostOf(relative))) Fail(sourceNode, "component.source", "no such folder: " + HostOf(relative));
        std::string base = SourceText(relative, sourceNode, "component.source");
        int64_t total = 0;
        // Every file below the component's folder, walked in name order.
        std::vector<std::string> pending = {relative};
        while (!pending.empty()) {
            std::string folder = pending.front();
            pending.erase(pending.begin());
            std::vector<std::string> subfolders;
            for (const HostEntry& e : ListHostFolder(HostOf(folder))) {
                std::string child = folder + "/" + e.name;
                if (e.isFolder) {
                    subfolders.push_back(child);
                    continue;
                }
                TCompileFileData flags;
                AddFile(child, base, flags, fkCompFile, nullptr);
                model.FileList.back()->Name = name;
                total += model.FileList.back()->FileSize;
            }
            pending.insert(pending.begin(), subfolders.begin(), subfolders.end());
        }
        auto component = std::make_unique<TCompileCompData>();
        component->Name = name;
        component->Size = total;
        if (const toml::node* size = t->get("size")) {
            if (!size->is_integer() || *size->value<int64_t>() < 0) Fail(size, "component.size", "must be a byte count");
            component->Size = *size->value<int64_t>();
        }
        model.ComponentList.push_back(name);
        model.CompList.push_back(std::move(component));
    }
}

void ProjectReader::ApplyResources() {
    TCompile& model = *plan_.model;
    for (FileSetting& fs : fileSettings_) {
        auto it = packaged_.find(fs.relative);
        if (fs.kind == SettingKind::Installed) {
            if (it == packaged_.end() || model.FileList[it->second]->Kind != fkFile) {
                Fail(fs.node, fs.field, "must name a file that the package installs: " + fs.relative);
            }
            fs.setting->Value = model.FileList[it->second]->Source;
            continue;
        }
        // A resource: packed once, however many settings name it.
        if (it == packaged_.end()) {
            if (!HostFileExists(HostOf(fs.relative))) Fail(fs.node, fs.field, "no such file: " + HostOf(fs.relative));
            AddFile(fs.relative, "", TCompileFileData(), fkInfoFile, nullptr);
            it = packaged_.find(fs.relative);
        }
        fs.setting->Value = model.FileList[it->second]->Source;
    }
}

BuildPlan ProjectReader::Read() {
    std::string text;
    try {
        text = ReadHostFile(path_);
    } catch (const Error& e) {
        ThrowFormatError(std::string("Cannot read the project file: ") + e.what());
    }
    toml::table root;
    try {
        root = toml::parse(text, path_);
    } catch (const toml::parse_error& e) {
        ThrowFormatError(path_ + ", line " + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
    }
    static const std::set<std::string> kTables = {
        "package", "project", "pages",  "welcome",  "agreement",       "readme",   "startfolder",  "components",
        "installdir", "tasks", "ready", "progress", "finish",          "files",    "folder",       "registry",
        "registry_key", "shortcut_folder", "shortcut", "component"};
    for (auto&& [key, node] : root) {
        if (!kTables.count(std::string(key.str()))) Fail(&node, std::string(key.str()), "unknown table");
    }
    const toml::table* package = root["package"].as_table();
    if (!package) Fail(nullptr, "package", "the [package] table with the package id is missing");
    ReadPackageTable(*package);
    ReadSettings(root);
    if (const toml::array* folders = root["folder"].as_array()) {
        for (const toml::node& entry : *folders) {
            const toml::table* t = entry.as_table();
            const toml::node* target = t ? t->get("target") : nullptr;
            if (!target || t->size() != 1) Fail(&entry, "folder", "each entry has exactly one field, target");
            AddFolderName(Text(*target, "folder.target"));
        }
    }
    if (root.contains("files")) {
        const toml::array* files = root["files"].as_array();
        if (!files) Fail(root.get("files"), "files", "must be written as [[files]] entries");
        ReadFiles(*files);
    }
    ApplyResources();
    ReadRegistry(root);
    ReadShortcuts(root);
    if (const toml::array* components = root["component"].as_array()) ReadComponents(*components);
    plan_.sourceRoot = sourceRoot_;
    plan_.uninstallerName = "UnInstall " + plan_.model->ItemName + ".exe";
    if (const toml::node* n = package->get("uninstaller_name")) {
        plan_.uninstallerName = Text(*n, "package.uninstaller_name");
    }
    if (const toml::node* uninstaller = package->get("uninstaller")) {
        std::string relative = Relative(*uninstaller, "package.uninstaller");
        if (!HostFileExists(HostOf(relative))) Fail(uninstaller, "package.uninstaller", "no such file: " + HostOf(relative));
        SetUninstaller(plan_, HostOf(relative));
    }
    return std::move(plan_);
}

}  // namespace

void SetUninstaller(BuildPlan& plan, const std::string& hostPath) {
    TCompile& model = *plan.model;
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        if (model.FileList[i]->Kind == fkUnInsFile) {
            model.FileList.erase(model.FileList.begin() + static_cast<std::ptrdiff_t>(i));
            plan.dataFiles.erase(plan.dataFiles.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    auto item = std::make_unique<TCompileFileData>();
    item->Kind = fkUnInsFile;
    item->Name = plan.uninstallerName;
    item->Source = plan.sourceRoot + "\\" + plan.uninstallerName;
    item->FileSize = HostFileSize(hostPath);
    item->FileTime = HostFileDateTime(hostPath).value_or(0.0);
    model.FileList.push_back(std::move(item));
    plan.dataFiles.push_back(hostPath);
}

void OverrideSetting(BuildPlan& plan, const std::string& assignment) {
    size_t dot = assignment.find('.');
    size_t eq = assignment.find('=');
    if (dot == std::string::npos || eq == std::string::npos || eq < dot) {
        ThrowFormatError("--set takes table.name=value, not " + assignment);
    }
    std::string table = assignment.substr(0, dot), name = assignment.substr(dot + 1, eq - dot - 1);
    std::string value = assignment.substr(eq + 1);
    for (const GroupSpec& group : Groups()) {
        if (table != group.table) continue;
        for (const SettingSpec& spec : group.settings) {
            if (name != spec.english) continue;
            if (spec.kind == SettingKind::Resource || spec.kind == SettingKind::Installed) {
                ThrowFormatError("--set cannot change " + assignment.substr(0, eq) + ", which names a file");
            }
            std::string text = Utf8ToGbk(value);
            if (spec.kind == SettingKind::Switch && (value == "true" || value == "false")) {
                text = value == "true" ? kSwitchOn : kSwitchOff;
            }
            if (spec.kind == SettingKind::Boolean) StrToBool(text);
            for (const auto& setting : plan.model->InfoList) {
                if (setting->Group == group.group && setting->Key == spec.key) setting->Value = text;
            }
            if (group.group == igProject && name == "Name") plan.model->ItemName = text;
            return;
        }
    }
    ThrowFormatError("--set: no setting " + assignment.substr(0, eq));
}

const char* LevelName(TCompressLevelEnum level) {
    switch (level) {
        case cplNone:
            return "none";
        case cplSpeed:
            return "speed";
        case cplPress:
            return "press";
        default:
            return "default";
    }
}

BuildPlan LoadProjectFile(const std::string& path, TCompressLevelEnum level) {
    return ProjectReader(path, level).Read();
}

std::string NewProjectFileText() {
    std::random_device random;
    char id[40];
    unsigned parts[8];
    for (unsigned& p : parts) p = random() & 0xFFFF;
    std::snprintf(id, sizeof id, "%04X%04X-%04X-%04X-%04X-%04X%04X%04X", parts[0], parts[1], parts[2],
                  (parts[3] & 0x0FFF) | 0x4000, (parts[4] & 0x3FFF) | 0x8000, parts[5], parts[6], parts[7]);
    // Literals are GBK; the project file is UTF-8.
    return GbkToUtf8(std::string("# A setup project for makesetup. Paths are relative to this file, with \"/\".\n"
                       "\n"
                       "[package]\n"
                       "id = \"") +
           id +
           "\"                  # the package identity; keep it for every version\n"
           "source_root = 'C:\\Project'    # how the author's paths are recorded\n"
           "# file_time = 2024-01-01T00:00:00   # one time for every file (else each file's own)\n"
           "# uninstaller = \"uninstall.exe\"     # the uninstaller program to carry\n"
           "\n"
           "[project]\n"
           "Name = \"My Product\"\n"
           "Version = \"1.0\"\n"
           "Author = \"\"\n"
           "Address = \"\"\n"
           "Displayed = true              # the wizard (false: a quiet installation)\n"
           "Loaded = false                # a loading window while resources are extracted\n"
           "EnableUnIns = true            # install an uninstaller\n"
           "\n"
           "[pages]                        # which wizard pages are shown\n"
           "welcome = true\nagreement = false\nreadme = false\nstartfolder = true\ncomponents = false\n"
           "installdir = true\ntasks = true\nready = true\nprogress = true\nfinish = true\n"
           "\n"
           "[startfolder]\ndefault_folder = \"My Product\"\n"
           "\n"
           "[installdir]\ndefault_path = '[System ProgramFiles]\\My Product'\n"
           "\n"
           "# [[files]]\n"
           "# source = \"files\"              # a file, or a folder taken with everything below it\n"
           "# target = '目标计算机\\Program Files\\'\n"
           "\n"
           "# [[registry]]\n"
           "# key = '目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\My Product'\n"
           "# name = \"Path\"\n"
           "# data = '[安装目录]'\n"
           "# type = \"string\"                # string, dword or binary\n"
           "\n"
           "# [[shortcut]]\n"
           "# folder = '开始菜单\\'\n"
           "# name = \"My Product\"\n"
           "# target = \"files/app.exe\"\n"
           "# kind = \"link\"                  # link, url or folder\n");
}

}  // namespace setup::makesetup
