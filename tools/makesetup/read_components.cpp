// [[component]]: component packages, each a folder of files taken with
// everything below it.
#include "platform/host_files.h"
#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

void ProjectReader::ReadComponents(const toml::table& root) {
    const toml::array* components = root["component"].as_array();
    if (!components) return;
    TCompile& model = *plan_.Model;
    for (const toml::node& entry : *components) {
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
        // The name is the folder the component's files are extracted into.
        Require(nameNode, "component.name", CheckName(name));
        for (const auto& earlier : model.CompList) {
            if (EqualsNoCase(earlier->Name, name)) Fail(nameNode, "component.name", "names a component twice");
        }
        std::string relative = Relative(*sourceNode, "component.source");
        if (!HostFolderExists(HostOf(relative))) {
            Fail(sourceNode, "component.source", "no such folder: " + HostOf(relative));
        }
        std::string base = SourceText(relative, sourceNode, "component.source");
        int64_t total = 0;
        // Every file below the component's folder, walked in name order.
        std::vector<std::string> pending = {relative};
        while (!pending.empty()) {
            std::string folder = pending.front();
            pending.erase(pending.begin());
            std::vector<std::string> subfolders;
            for (const HostEntry& e : ListHostFolder(HostOf(folder))) {
                std::string child = folder + "/" + e.Name;
                if (e.IsFolder) {
                    subfolders.push_back(child);
                    continue;
                }
                TCompileFileData flags;
                flags.Name = name;
                AddFile(child, base, flags, fkCompFile, nullptr, *sourceNode, "component.source");
                model.FileList.back()->Name = name;
                total += model.FileList.back()->FileSize;
            }
            pending.insert(pending.begin(), subfolders.begin(), subfolders.end());
        }
        auto component = std::make_unique<TCompileCompData>();
        component->Name = name;
        component->Size = total;
        if (const toml::node* size = t->get("size")) {
            if (!size->is_integer() || *size->value<int64_t>() < 0)
                Fail(size, "component.size", "must be a byte count");
            component->Size = *size->value<int64_t>();
        }
        model.ComponentList.push_back(name);
        model.CompList.push_back(std::move(component));
    }
}

}  // namespace setup::makesetup
