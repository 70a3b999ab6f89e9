// [[shortcut_folder]] and [[shortcut]]: folders on the Start menu, the
// desktop and the quick-launch bar, and the links and internet shortcuts in
// them. A link points at a file the package installs; an internet shortcut at
// an address.
#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

void ProjectReader::ReadShortcuts(const toml::table& root) {
    TCompile& model = *plan_.Model;
    if (const toml::array* folders = root["shortcut_folder"].as_array()) {
        for (const toml::node& entry : *folders) {
            const toml::table* t = entry.as_table();
            const toml::node* folder = t ? t->get("folder") : nullptr;
            if (!folder || t->size() != 1) Fail(&entry, "shortcut_folder", "each entry has exactly one field, folder");
            std::string text = Text(*folder, "shortcut_folder.folder");
            Require(folder, "shortcut_folder.folder", CheckShortcutFolder(text));
            model.ShotCutFolderList.push_back(text);
        }
    }
    const toml::array* shortcuts = root["shortcut"].as_array();
    if (!shortcuts) return;
    for (const toml::node& entry : *shortcuts) {
        const toml::table* t = entry.as_table();
        if (!t) Fail(&entry, "shortcut", "each [[shortcut]] entry must be a table");
        auto item = std::make_unique<TShotCutData>();
        const toml::node* folderNode = nullptr;
        const toml::node* nameNode = nullptr;
        const toml::node* targetNode = nullptr;
        for (auto&& [key, node] : *t) {
            std::string field = "shortcut." + std::string(key.str());
            if (key == "folder") {
                item->Folder = Text(node, field);
                folderNode = &node;
            } else if (key == "name") {
                item->Name = Text(node, field);
                nameNode = &node;
            } else if (key == "target") {
                item->Target = Text(node, field);
                targetNode = &node;
            } else if (key == "icon") {
                // An icon naming a packaged file points at its recorded path,
                // which the installation re-points to the installed copy.
                item->IconFile = Text(node, field);
                auto it = packaged_.find(*node.value<std::string>());
                if (it != packaged_.end()) item->IconFile = model.FileList[it->second]->Source;
            } else if (key == "arguments") {
                item->Arguments = Text(node, field);
            } else if (key == "description") {
                item->Description = Text(node, field);
            } else if (key == "kind") {
                std::string kind = Text(node, field);
                if (kind == "link") {
                    item->Kind = skShellLink;
                } else if (kind == "url") {
                    item->Kind = skInternetShortcut;
                } else if (kind == "folder") {
                    item->Kind = skFolderLink;
                } else {
                    Fail(&node, field, "must be link, url or folder");
                }
            } else {
                Fail(&node, field, "unknown field");
            }
        }
        if (!folderNode || !nameNode || !targetNode) Fail(&entry, "shortcut", "needs folder, name and target");
        Require(folderNode, "shortcut.folder", CheckShortcutFolder(item->Folder));
        Require(nameNode, "shortcut.name", CheckName(item->Name));
        if (item->Kind == skInternetShortcut) {
            if (!IsAddress(item->Target)) {
                Fail(targetNode, "shortcut.target", "must be an address such as http://www.example.com/");
            }
        } else {
            // The target is the file's recorded path, which the installation
            // re-points to the installed copy.
            auto it = packaged_.find(*targetNode->value<std::string>());
            if (it == packaged_.end() || model.FileList[it->second]->Kind != fkFile) {
                Fail(targetNode, "shortcut.target",
                     "must name a file the package installs, by its path relative to the project file (an address "
                     "takes kind = \"url\")");
            }
            item->Target = model.FileList[it->second]->Source;
        }
        Require(nameNode, "shortcut.name", CheckShortcutPlacement(*item, limits_));
        Claim(item->Folder + "\\" + item->Name + (item->Kind == skInternetShortcut ? ".url" : ".lnk"), *nameNode,
              "shortcut.name");
        model.ShotCutList.push_back(std::move(item));
    }
}

}  // namespace setup::makesetup
