// [package]: the identity, how the author's paths are recorded, one time for
// every file, and the uninstaller the package carries.
#include "package/install_paths.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

void ProjectReader::ReadPackageTable(const toml::table& table) {
    for (auto&& [key, node] : table) {
        std::string field = "package." + std::string(key.str());
        if (key == "id") {
            // Written with or without braces, in either case; the package
            // holds the upper-case form without braces.
            std::string id = AsciiUpperCase(Text(node, field));
            if (id.size() == 38 && id.front() == '{' && id.back() == '}') id = id.substr(1, 36);
            if (!CheckPackageIdentity(id).empty()) {
                Fail(&node, field, "must be a GUID such as 0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
            }
            plan_.Model->PackageId = id;
        } else if (key == "source_root") {
            sourceRoot_ = StripTrailingSeparator(Text(node, field));
            if (sourceRoot_.size() < 2 || sourceRoot_[1] != ':') {
                Fail(&node, field, "must be a Windows folder such as C:\\Project");
            }
        } else if (key == "file_time") {
            fileTime_ = FileTimeOf("", &node);
        } else if (key == "uninstaller" || key == "uninstaller_name") {
            // read after the settings, when the product name is known
        } else {
            Fail(&node, field, "unknown field");
        }
    }
    if (plan_.Model->PackageId.empty()) Fail(&table, "package.id", "is missing (makesetup new makes one)");
}

void ProjectReader::ReadUninstaller(const toml::table& package) {
    plan_.UninstallerName = "UnInstall " + plan_.Model->ItemName + ".exe";
    const toml::node* nameNode = package.get("uninstaller_name");
    if (nameNode) plan_.UninstallerName = Text(*nameNode, "package.uninstaller_name");
    // The name is a file in the installation folder: it follows the rules of
    // every name, and no packaged file may take it.
    const toml::node& where = nameNode ? *nameNode : static_cast<const toml::node&>(package);
    std::string field = nameNode ? "package.uninstaller_name" : "project.Name";
    Require(&where, field, CheckName(plan_.UninstallerName), "the uninstaller's name");
    const TCompileData* enabled = nullptr;
    for (const auto& setting : plan_.Model->InfoList) {
        if (setting->Group == igProject && setting->Key == "卸载程序") enabled = setting.get();
    }
    if (enabled && enabled->Value == kSwitchOn) {
        Claim("目标计算机\\Program Files\\" + plan_.UninstallerName, where, field);
    }
    if (const toml::node* uninstaller = package.get("uninstaller")) {
        std::string relative = Relative(*uninstaller, "package.uninstaller");
        if (!HostFileExists(HostOf(relative))) {
            Fail(uninstaller, "package.uninstaller", "no such file: " + HostOf(relative));
        }
        SetUninstaller(plan_, HostOf(relative));
    }
}

void SetUninstaller(BuildPlan& plan, const std::string& hostPath) {
    TCompile& model = *plan.Model;
    for (size_t i = 0; i < model.FileList.size(); ++i) {
        if (model.FileList[i]->Kind == fkUnInsFile) {
            model.FileList.erase(model.FileList.begin() + static_cast<std::ptrdiff_t>(i));
            plan.DataFiles.erase(plan.DataFiles.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    auto item = std::make_unique<TCompileFileData>();
    item->Kind = fkUnInsFile;
    item->Name = plan.UninstallerName;
    item->Source = plan.SourceRoot + "\\" + plan.UninstallerName;
    item->FileSize = HostFileSize(hostPath);
    item->FileTime = HostFileDateTime(hostPath).value_or(0.0);
    model.FileList.push_back(std::move(item));
    plan.DataFiles.push_back(hostPath);
}

}  // namespace setup::makesetup
