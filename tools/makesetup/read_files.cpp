// [[files]] and [[folder]]: the files and folder trees to install, registry
// scripts to import, and empty folders to create.
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

namespace {
const char kProgramFilesRoot[] = "目标计算机\\Program Files\\";
}  // namespace

void ProjectReader::ReadFolders(const toml::table& root) {
    const toml::array* folders = root["folder"].as_array();
    if (!folders) return;
    for (const toml::node& entry : *folders) {
        const toml::table* t = entry.as_table();
        const toml::node* target = t ? t->get("target") : nullptr;
        if (!target || t->size() != 1) Fail(&entry, "folder", "each entry has exactly one field, target");
        std::string folder = Text(*target, "folder.target");
        Require(target, "folder.target", CheckTargetPath(folder, "", limits_));
        AddFolderName(folder);
    }
}

void ProjectReader::ReadFiles(const toml::table& root) {
    if (!root.contains("files")) return;
    const toml::array* files = root["files"].as_array();
    if (!files) Fail(root.get("files"), "files", "must be written as [[files]] entries");
    static const std::set<std::string> kFields = {
        "source",    "target",  "kind",           "keep_on_uninstall", "no_overwrite",
        "component", "service", "run_at_startup", "run_after_install", "patch",
        "target_os", "time"};
    for (const toml::node& entry : *files) {
        const toml::table* table = entry.as_table();
        if (!table) Fail(&entry, "files", "each [[files]] entry must be a table");
        for (auto&& [key, node] : *table) {
            if (!kFields.count(std::string(key.str()))) Fail(&node, "files." + std::string(key.str()), "unknown field");
        }
        const toml::node* sourceNode = table->get("source");
        if (!sourceNode) Fail(&entry, "files.source", "is missing");
        std::string relative = Relative(*sourceNode, "files.source");
        std::string target = kProgramFilesRoot;
        if (const toml::node* n = table->get("target")) {
            target = Text(*n, "files.target");
            Require(n, "files.target", CheckTargetPath(target, "", limits_));
        }
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
            AddFile(relative, kind == fkFile ? target : "", flags, kind, timeNode, *sourceNode, "files.source");
        } else {
            Fail(sourceNode, "files.source", "no such file or folder: " + host);
        }
    }
}

void ProjectReader::AddTree(const std::string& relative, const std::string& virtualFolder,
                            const TCompileFileData& flags, const toml::node* timeNode, const toml::node& node) {
    std::string host = HostOf(relative);
    std::vector<HostEntry> entries;
    try {
        entries = ListHostFolder(host);
    } catch (const Error& e) {
        Fail(&node, "files.source", e.what());
    }
    std::string folder = virtualFolder;
    if (!folder.empty() && folder.back() != '\\') folder += "\\";
    for (const HostEntry& entry : entries) {
        std::string child = relative + "/" + entry.Name;
        if (entry.IsFolder) {
            // A folder entry of the author's tree: no data, a virtual folder to create.
            auto item = std::make_unique<TCompileFileData>();
            item->Name = Gbk(&node, "files.source", entry.Name);
            item->Source = SourceText(child, &node, "files.source");
            item->TargetDir = virtualFolder;
            item->Kind = fkFolder;
            item->FileTime = -1.0;
            std::string sub = folder + item->Name;
            Require(&node, "files.source", CheckTargetPath(sub, "", limits_), child);
            plan_.Model->FileList.push_back(std::move(item));
            plan_.DataFiles.emplace_back();
            AddFolderName(sub);
            AddTree(child, sub, flags, timeNode, node);
        } else {
            AddFile(child, virtualFolder, flags, fkFile, timeNode, node, "files.source");
        }
    }
}

}  // namespace setup::makesetup
