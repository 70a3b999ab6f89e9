// The reader of a project file: one context (the file, its folder, the plan
// being built, what was packaged where) shared by small readers, one per
// table of the file. Read() calls them in the one order that works: the
// identity first, then the settings (which give the folders the length of a
// target is measured with), files and folders, the resources settings name,
// registry, shortcuts (which point at packaged files), components, and the
// uninstaller. Every refusal names the file, the line and the field.
#pragma once

#include <toml++/toml.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "package/item_rules.h"
#include "project_file.h"
#include "setting_table.h"

namespace setup::makesetup {

class ProjectReader {
public:
    ProjectReader(std::string path, TCompressLevelEnum level);

    BuildPlan Read();

private:
    // Context shared by the readers (project_reader.cpp).
    [[noreturn]] void Fail(const toml::node* node, const std::string& field, const std::string& message) const;
    // Fails when a rule of the package is broken: problem is the rule's GBK
    // sentence, subject (UTF-8) what it is about when the field alone does
    // not say it.
    void Require(const toml::node* node, const std::string& field, const std::string& problem,
                 const std::string& subject = "") const;
    std::string Gbk(const toml::node* node, const std::string& field, const std::string& utf8) const;
    // A text field (UTF-8 in the file, GBK in the result).
    std::string Text(const toml::node& node, const std::string& field) const;
    bool Flag(const toml::node& node, const std::string& field) const;
    // The author's path of a project-relative path, as the package records it.
    std::string SourceText(const std::string& relativeUtf8, const toml::node* node, const std::string& field) const;
    // A project-relative path made canonical ("a/./b/../c" -> "a/c"); refuses
    // absolute paths and paths that leave the project folder.
    std::string Relative(const toml::node& node, const std::string& field) const;
    std::string HostOf(const std::string& relative) const { return baseDir_ + "/" + relative; }
    double FileTimeOf(const std::string& host, const toml::node* timeNode) const;
    // Adds a file item with its data; the item must keep the rules of its kind.
    void AddFile(const std::string& relative, const std::string& virtualFolder, const TCompileFileData& flags,
                 uint8_t kind, const toml::node* timeNode, const toml::node& node, const std::string& field);
    void AddFolderName(const std::string& folder);
    // Records that an item installs to path (GBK); two items may not install
    // to one path. A registry value gives its value name apart from its key.
    void Claim(const std::string& path, const toml::node& node, const std::string& field,
               const std::string& valueName = "", const std::string& subject = "");

    // The readers, one per table (read_*.cpp).
    void ReadPackageTable(const toml::table& table);
    void ReadUninstaller(const toml::table& package);
    void ReadSettings(const toml::table& root);
    std::string SettingValue(const toml::node& node, const std::string& field, SettingKind kind) const;
    void ApplyResources();
    void ReadFolders(const toml::table& root);
    void ReadFiles(const toml::table& root);
    void AddTree(const std::string& relative, const std::string& virtualFolder, const TCompileFileData& flags,
                 const toml::node* timeNode, const toml::node& node);
    void ReadRegistry(const toml::table& root);
    void ReadShortcuts(const toml::table& root);
    void ReadComponents(const toml::table& root);

    std::string path_;
    std::string baseDir_;
    TCompressLevelEnum level_;
    std::string sourceRoot_ = "C:\\Project";
    std::optional<double> fileTime_;
    BuildPlan plan_;
    TargetLimits limits_;
    std::map<std::string, size_t> packaged_;      // project-relative path -> FileList index
    std::set<std::string> folderNames_;           // lower-case, for FileFolderList without repeats
    std::map<std::string, std::string> claimed_;  // comparable path -> where it was claimed
    // Settings whose values name files: (setting, relative path, node, kind).
    struct FileSetting {
        TCompileData* Setting;
        std::string Relative;
        const toml::node* Node;
        SettingKind Kind;
        std::string Field;
    };
    std::vector<FileSetting> fileSettings_;
};

}  // namespace setup::makesetup
