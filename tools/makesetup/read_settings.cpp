// The settings tables ([project], [pages], [welcome], ... [finish]), the files
// their settings name, and settings changed from the command line (--set).
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"
#include "project_reader.h"

namespace setup::makesetup {

std::string ProjectReader::SettingValue(const toml::node& node, const std::string& field, SettingKind kind) const {
    if (kind == SettingKind::Switch || kind == SettingKind::Boolean) {
        // A switch is on or off: any other text would silently read as off.
        if (!node.is_boolean()) Fail(&node, field, "must be true or false");
        bool on = *node.value<bool>();
        if (kind == SettingKind::Boolean) return on ? "True" : "False";
        return on ? kSwitchOn : kSwitchOff;
    }
    if (node.is_boolean()) return *node.value<bool>() ? kSwitchOn : kSwitchOff;
    if (node.is_integer()) return std::to_string(*node.value<int64_t>());
    return Text(node, field);
}

void ProjectReader::ReadSettings(const toml::table& root) {
    TCompile& model = *plan_.Model;
    for (const SettingGroupDef& group : Groups()) {
        const toml::table* table = root[group.Table].as_table();
        if (root.contains(group.Table) && !table) Fail(root.get(group.Table), group.Table, "must be a table");
        std::set<std::string> known;
        for (const SettingDef& def : group.Settings) {
            known.insert(def.English);
            auto setting = std::make_unique<TCompileData>();
            setting->Key = def.Key;
            setting->Group = group.Group;
            setting->Value = def.DefaultValue;
            const toml::node* node = table ? table->get(def.English) : nullptr;
            if (!node && table) node = table->get(GbkToUtf8(def.Key));  // the setting's own key
            std::string field = std::string(group.Table) + "." + def.English;
            if (group.Group == igProject && std::string(def.English) == "Kind") setting->Value = LevelName(level_);
            if (node) {
                known.insert(GbkToUtf8(def.Key));
                if (def.Kind == SettingKind::Resource || def.Kind == SettingKind::Installed) {
                    fileSettings_.push_back({setting.get(), Relative(*node, field), node, def.Kind, field});
                } else {
                    setting->Value = SettingValue(*node, field, def.Kind);
                }
            }
            // The parser takes these into the model at load; so does the maker.
            if (group.Group == igProject) {
                if (std::string(def.English) == "Name") model.ItemName = setting->Value;
                if (std::string(def.English) == "Author") model.Author = setting->Value;
                if (std::string(def.English) == "Version") model.Version = setting->Value;
                if (std::string(def.English) == "Address") model.Url = setting->Value;
            }
            model.InfoList.push_back(std::move(setting));
        }
        if (!table) continue;
        // Keys that are none of the known names are settings of their own.
        for (auto&& [key, node] : *table) {
            std::string name(key.str());
            if (known.count(name)) continue;
            auto setting = std::make_unique<TCompileData>();
            setting->Key = Gbk(&node, std::string(group.Table) + "." + name, name);
            setting->Group = group.Group;
            setting->Value = SettingValue(node, std::string(group.Table) + "." + name, SettingKind::Text);
            model.InfoList.push_back(std::move(setting));
        }
    }
}

void ProjectReader::ApplyResources() {
    TCompile& model = *plan_.Model;
    for (FileSetting& fs : fileSettings_) {
        auto it = packaged_.find(fs.Relative);
        if (fs.Kind == SettingKind::Installed) {
            if (it == packaged_.end() || model.FileList[it->second]->Kind != fkFile) {
                Fail(fs.Node, fs.Field, "must name a file that the package installs: " + fs.Relative);
            }
            fs.Setting->Value = model.FileList[it->second]->Source;
            continue;
        }
        // A resource: packed once, however many settings name it.
        if (it == packaged_.end()) {
            if (!HostFileExists(HostOf(fs.Relative))) Fail(fs.Node, fs.Field, "no such file: " + HostOf(fs.Relative));
            AddFile(fs.Relative, "", TCompileFileData(), fkInfoFile, nullptr, *fs.Node, fs.Field);
            it = packaged_.find(fs.Relative);
        }
        fs.Setting->Value = model.FileList[it->second]->Source;
    }
}

void OverrideSetting(BuildPlan& plan, const std::string& assignment) {
    size_t dot = assignment.find('.');
    size_t eq = assignment.find('=');
    if (dot == std::string::npos || eq == std::string::npos || eq < dot) {
        ThrowFormatError("--set takes table.name=value, not " + assignment);
    }
    std::string table = assignment.substr(0, dot), name = assignment.substr(dot + 1, eq - dot - 1);
    std::string field = "--set " + assignment.substr(0, eq);
    std::string value = assignment.substr(eq + 1);
    for (const SettingGroupDef& group : Groups()) {
        if (table != group.Table) continue;
        for (const SettingDef& def : group.Settings) {
            if (name != def.English) continue;
            if (def.Kind == SettingKind::Resource || def.Kind == SettingKind::Installed) {
                ThrowFormatError(field + ": names a file, which --set cannot change");
            }
            std::string text;
            if (def.Kind == SettingKind::Switch || def.Kind == SettingKind::Boolean) {
                if (value != "true" && value != "false")
                    ThrowFormatError(field + ": must be true or false, not " + value);
                bool on = value == "true";
                text = def.Kind == SettingKind::Boolean ? (on ? "True" : "False") : (on ? kSwitchOn : kSwitchOff);
            } else {
                try {
                    text = Utf8ToGbk(value);
                } catch (const Error&) {
                    ThrowFormatError(field + ": holds a character that code page 936 cannot hold");
                }
            }
            for (const auto& setting : plan.Model->InfoList) {
                if (setting->Group == group.Group && setting->Key == def.Key) setting->Value = text;
            }
            if (group.Group == igProject && name == "Name") plan.Model->ItemName = text;
            if (group.Group == igProject && name == "Author") plan.Model->Author = text;
            if (group.Group == igProject && name == "Version") plan.Model->Version = text;
            if (group.Group == igProject && name == "Address") plan.Model->Url = text;
            return;
        }
    }
    ThrowFormatError(field + ": no such setting");
}

}  // namespace setup::makesetup
