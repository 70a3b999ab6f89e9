#include "scale/project_generator.h"

#include <random>

#include "package/item_rules.h"
#include "platform/sandbox/reg_text.h"
#include "platform/text.h"

namespace setup::scale {

namespace {

// Name pieces: 誠 ends in the byte "\", 墊 in "|", 丄 and 乤 in the letters A
// and a; the rest are ordinary Chinese and ASCII names.
const char* const kPieces[] = {"誠",  "墊",   "丄A",     "乤a", "數據", "文档", "配置",
                               "bin", "Data", "read me", "表",  "能",   "设置", "x.y"};
const char* const kExtensions[] = {".txt", ".dll", ".exe", ".dat", ".ini", ""};

class Generator {
public:
    Generator(uint64_t seed, const std::string& uninstaller) : random_(seed), uninstaller_(uninstaller) {
        scenario_.seed = seed;
    }

    Scenario Make() {
        Scenario& s = scenario_;
        s.project = std::make_unique<TCompile>();
        TCompile& p = *s.project;
        s.osVersion = Chance(50) ? "6.1" : "5.1";
        s.level = static_cast<TCompressLevelEnum>(Below(4));
        s.chunk = Chance(30) ? 1 + Below(9000) : kChunkBlockSize;
        s.installs = Chance(30) ? 2 + static_cast<int>(Below(2)) : 1;
        s.product = "产品" + Piece() + std::to_string(s.seed % 1000);
        s.installDir = "C:\\Program Files\\" + s.product;
        s.uninstallerName = "UnInstall " + s.product + ".exe";
        p.PackageId = Guid();
        Setting(igProject, "项目名称", s.product);
        Setting(igProject, "显示安装界面", kSwitchOff);
        Setting(igProject, "卸载程序", kSwitchOn);
        Setting(igProject, "版本号", "1." + std::to_string(Below(10)));
        Setting(igInstallDir, "默认安装路径", "[System ProgramFiles]\\" + s.product);
        Setting(igStartFolder, "默认文件夹名称", s.product);
        desktop_ = Chance(60);
        quickLaunch_ = Chance(60);
        Setting(igAddonsTask, "创建桌面快捷方式", desktop_ ? kSwitchOn : kSwitchOff);
        Setting(igAddonsTask, "创建快速启栏快捷方式", quickLaunch_ ? kSwitchOn : kSwitchOff);
        Folders();
        Files();
        Registry();
        Shortcuts();
        Components();
        Add(fkUnInsFile, s.uninstallerName, "D:\\src\\" + s.uninstallerName, "", uninstaller_);
        return std::move(s);
    }

private:
    uint64_t Below(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(random_); }
    bool Chance(int percent) { return Below(100) < static_cast<uint64_t>(percent); }
    std::string Piece() { return kPieces[Below(std::size(kPieces))]; }
    // A name no other of this project has, whatever the ASCII case.
    std::string UniqueName() { return Piece() + std::to_string(++names_); }
    std::string Guid() {
        const char* digits = "0123456789ABCDEF";
        std::string id;
        for (int group : {8, 4, 4, 4, 12}) {
            if (!id.empty()) id += '-';
            for (int i = 0; i < group; ++i) id += digits[Below(16)];
        }
        return id;
    }
    std::string Bytes(size_t size) {
        std::string bytes(size, '\0');
        // Runs of one byte and random stretches: some of it compresses.
        for (size_t i = 0; i < size;) {
            size_t run = std::min<size_t>(size - i, 1 + Below(600));
            if (Chance(50)) {
                std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(i), run, static_cast<char>(Below(256)));
            } else {
                for (size_t k = 0; k < run; ++k) bytes[i + k] = static_cast<char>(Below(256));
            }
            i += run;
        }
        return bytes;
    }
    void Setting(uint8_t group, const std::string& key, const std::string& value) {
        auto item = std::make_unique<TCompileData>();
        item->Key = key;
        item->Value = value;
        item->Group = group;
        scenario_.project->InfoList.push_back(std::move(item));
    }
    TCompileFileData& Add(uint8_t kind, const std::string& name, const std::string& source,
                          const std::string& targetDir, std::string data) {
        auto item = std::make_unique<TCompileFileData>();
        item->Kind = kind;
        item->Name = name;
        item->Source = source;
        item->TargetDir = targetDir;
        item->FileTime = kind == fkFolder ? -1.0 : 45356.5;
        scenario_.project->FileList.push_back(std::move(item));
        scenario_.data.push_back(std::move(data));
        return *scenario_.project->FileList.back();
    }

    static std::string Join(const std::string& folder, const std::string& name) {
        return folder.back() == '\\' ? folder + name : folder + "\\" + name;
    }

    // A folder of the project: its virtual form and where it lands.
    struct Folder {
        std::string virtualPath;  // without a final "\"
        std::string path;
    };

    void Folders() {
        Scenario& s = scenario_;
        folders_.push_back({"目标计算机\\Program Files\\", s.installDir});
        size_t count = Below(7);
        for (size_t i = 0; i < count; ++i) {
            const Folder parent = folders_[Below(folders_.size())];
            std::string name = UniqueName();
            Folder folder{Join(parent.virtualPath, name), parent.path + "\\" + name};
            switch (Below(3)) {
                case 0:
                    s.project->FileFolderList.push_back(folder.virtualPath);
                    break;
                case 1:
                    Add(fkFolder, name, "D:\\src\\" + name, parent.virtualPath, "");
                    break;
                default:
                    break;  // made when a file lands in it, or never
            }
            folders_.push_back(folder);
        }
        // The Windows folder and an absolute folder as roots.
        if (Chance(20)) {
            std::string name = UniqueName();
            folders_.push_back({"目标计算机\\Windows\\" + name, "C:\\Windows\\" + name});
        }
        if (Chance(20)) {
            std::string name = UniqueName();
            folders_.push_back({"指定目录\\C:\\" + name, "C:\\" + name});
        }
        // An empty folder listed for creation.
        if (Chance(30)) s.project->FileFolderList.push_back(Join(folders_.back().virtualPath, UniqueName()));
    }

    void Files() {
        Scenario& s = scenario_;
        size_t count = 1 + Below(12);
        bool large = Chance(20);
        for (size_t i = 0; i < count; ++i) {
            const Folder& folder = folders_[Below(folders_.size())];
            std::string name = UniqueName() + kExtensions[Below(std::size(kExtensions))];
            size_t size = Chance(20) ? 0 : Below(Chance(10) ? 70000 : 2000);
            if (large && i == 0) size = 300000 + Below(2500000);
            TCompileFileData& item =
                Add(fkFile, name, "D:\\src\\" + std::to_string(i) + "\\" + name, folder.virtualPath, Bytes(size));
            // Whole even seconds between 2000 and 2030, so that the two-second
            // resolution of the file time loses nothing.
            item.FileTime =
                36526.0 + static_cast<double>(Below(11000)) + static_cast<double>(2 * Below(43200)) / 86400.0;
            item.KeepOnUninstall = Chance(15);
            item.NoOverwrite = Chance(15);
            item.RunAtStartup = Chance(5);
            item.IsService = Chance(5);
            item.IsComponent = Chance(5);
            item.RunAfterInstall = Chance(5);
            item.IsPatch = Chance(5);
            if (Chance(15)) item.TargetOs = Chance(50) ? "6.1" : "5.1";
            std::string path = folder.path + "\\" + name;
            s.files.push_back(
                {s.project->FileList.size() - 1, path, item.TargetOs.empty() || item.TargetOs == s.osVersion});
            // The machine may hold the same file already, or something of the
            // user's beside it.
            if (Chance(20)) {
                PresentFolders(folder.path);
                uint32_t attributes = Chance(30) ? kAttrReadOnly : Chance(30) ? kAttrHidden : kAttrNormal;
                s.presentFiles.push_back({path, "用户的" + Bytes(Below(300)), attributes});
            }
            if (Chance(10)) {
                PresentFolders(folder.path);
                s.presentFiles.push_back(
                    {folder.path + "\\用户" + std::to_string(++names_) + ".txt", Bytes(50), kAttrNormal});
            }
        }
    }

    void PresentFolders(const std::string& path) { scenario_.presentFolders.push_back(path); }

    struct Key {
        uint32_t root;
        std::string rootName;
        std::string path;
    };

    Key NewKeyBase() {
        switch (Below(5)) {
            case 0:
                return {kHkeyClassesRoot, "HKEY_CLASSES_ROOT",
                        scenario_.product + ".Document" + std::to_string(++names_)};
            case 1:
                return {kHkeyCurrentUser, "HKEY_CURRENT_USER", "Software\\" + scenario_.product};
            case 2:
                return {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", "SOFTWARE\\" + scenario_.product};
            case 3:
                return {kHkeyUsers, "HKEY_USERS", ".DEFAULT\\Software\\" + scenario_.product};
            default:
                return {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG", "Software\\" + scenario_.product};
        }
    }
    static std::string Virtual(const Key& key) { return "目标计算机\\" + key.rootName + "\\" + key.path; }

    void Registry() {
        Scenario& s = scenario_;
        TCompile& p = *s.project;
        std::vector<Key> keys;
        size_t count = Below(5);
        for (size_t i = 0; i < count; ++i) {
            Key key = NewKeyBase();
            for (size_t depth = Below(3); depth > 0; --depth) key.path += "\\" + UniqueName();
            bool used = false;
            for (const Key& k : keys) used = used || (k.root == key.root && EqualsNoCase(k.path, key.path));
            if (used) key.path += "\\" + UniqueName();
            keys.push_back(key);
            if (Chance(30)) {
                // A key of the machine's, holding data of its own.
                s.presentKeys.push_back({key.root, key.path});
                s.presentValues.push_back({key.root, key.path, {"用户值", kRegSz, sandbox::StringValueData("保留")}});
                if (Chance(50)) {
                    s.presentValues.push_back(
                        {key.root, key.path, {"", kRegSz, sandbox::StringValueData("原有默认值")}});
                }
            } else if (Chance(50)) {
                p.RegFolderList.push_back(Virtual(key));
            }
        }
        // A key to create, with nothing in it.
        if (Chance(30)) {
            Key key = NewKeyBase();
            key.path += "\\" + UniqueName() + "\\" + UniqueName();
            p.RegFolderList.push_back(Virtual(key));
        }
        for (const Key& key : keys) {
            bool defaultTaken = false;
            bool userTaken = false;
            for (size_t n = 1 + Below(4); n > 0; --n) {
                auto value = std::make_unique<TRegInfoData>();
                value->Key = Virtual(key);
                if (!defaultTaken && Chance(25)) {
                    defaultTaken = true;
                } else {
                    // Now and then the name of a value the machine's key holds already.
                    bool user = !userTaken && Chance(10);
                    userTaken = userTaken || user;
                    value->ValueName = user ? "用户值" : "值" + std::to_string(++names_);
                }
                value->ValueType = static_cast<uint8_t>(Below(3));
                switch (value->ValueType) {
                    case 0:
                        value->Data = Chance(30) ? "[安装目录]\\" + UniqueName() + ".exe" : "数据" + UniqueName();
                        break;
                    case 1: {
                        const char* digits = Chance(50) ? "0123456789ABCDEF" : "0123456789abcdef";
                        for (size_t d = 1 + Below(8); d > 0; --d) value->Data += digits[Below(16)];
                        break;
                    }
                    default:
                        for (size_t b = 2 * Below(17); b > 0; --b) value->Data += "0123456789ABCDEF"[Below(16)];
                        break;
                }
                if (Chance(10)) value->TargetOs = Chance(50) ? "6.1" : "5.1";
                p.RegList.push_back(std::move(value));
            }
        }
    }

    void Shortcuts() {
        Scenario& s = scenario_;
        TCompile& p = *s.project;
        std::vector<std::string> subfolders;
        if (Chance(40)) {
            subfolders.push_back("开始菜单\\" + UniqueName());
            p.ShotCutFolderList.push_back(subfolders.back());
        }
        size_t count = Below(6);
        for (size_t i = 0; i < count; ++i) {
            auto shortcut = std::make_unique<TShotCutData>();
            switch (Below(4)) {
                case 0:
                    shortcut->Folder = "开始菜单\\";
                    break;
                case 1:
                    shortcut->Folder = subfolders.empty() ? "开始菜单\\" : subfolders[0];
                    break;
                case 2:
                    shortcut->Folder = "桌面\\";
                    break;
                default:
                    shortcut->Folder = "快速启动栏\\";
                    break;
            }
            shortcut->Name = "快捷" + UniqueName();
            shortcut->Kind = static_cast<uint8_t>(Below(3));
            const TCompileFileData& target = *p.FileList[s.files[Below(s.files.size())].item];
            shortcut->Target =
                shortcut->Kind == skInternetShortcut ? "http://www.example.com/" + std::to_string(i) : target.Source;
            if (Chance(30)) shortcut->IconFile = target.Source;
            if (Chance(30)) shortcut->Arguments = "-x " + std::to_string(i);
            if (Chance(30)) shortcut->Description = "说明" + std::to_string(i);
            // A link of the same name the user already has on the desktop.
            if (shortcut->Folder == "桌面\\" && desktop_ && shortcut->Kind != skInternetShortcut && Chance(30)) {
                s.presentFiles.push_back(
                    {"C:\\Users\\User\\Desktop\\" + shortcut->Name + ".lnk", "not a link of ours", kAttrNormal});
            }
            p.ShotCutList.push_back(std::move(shortcut));
        }
    }

    void Components() {
        Scenario& s = scenario_;
        TCompile& p = *s.project;
        for (size_t n = Chance(40) ? 1 + Below(2) : 0; n > 0; --n) {
            std::string name = "组件" + std::to_string(++names_);
            std::string dir = "D:\\src\\comp\\" + name + "\\";
            std::string ini;
            std::string program = Bytes(Below(3000));
            std::string library = Bytes(Below(3000));
            if (Chance(50)) {
                ini = "[RegistryList]\r\nRegtype=System\r\n[Option]\r\nExeFile=setup.exe\r\n";
            } else {
                std::string copy = "C:\\Windows\\" + s.product + name + ".dll";
                ini = "[RegistryList]\r\nRegtype=Copy\r\n[SysDirList]\r\nlib\\x.dll=[System Directory]\\\\" +
                      s.product + name + ".dll\r\n";
                s.componentCopies.push_back(copy);
            }
            auto component = std::make_unique<TCompileCompData>();
            component->Name = name;
            component->Size = static_cast<int64_t>(ini.size() + program.size() + library.size());
            p.CompList.push_back(std::move(component));
            Add(fkCompFile, name, dir + name + ".ini", dir, ini);
            Add(fkCompFile, name, dir + "setup.exe", dir, program);
            Add(fkCompFile, name, dir + "lib\\x.dll", dir, library);
        }
    }

    std::mt19937_64 random_;
    const std::string& uninstaller_;
    Scenario scenario_;
    std::vector<Folder> folders_;
    int names_ = 0;
    bool desktop_ = false;
    bool quickLaunch_ = false;
};

}  // namespace

Scenario GenerateScenario(uint64_t seed, const std::string& uninstaller) { return Generator(seed, uninstaller).Make(); }

}  // namespace setup::scale
