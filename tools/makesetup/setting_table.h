// The settings the package maker knows: for each group of the project model,
// the table of the project file that holds it and, setting by setting, the
// English name, the model's own key, what kind of value it takes and its
// default. The project reader, --set and verify read the same table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace setup::makesetup {

enum class SettingKind {
    Text,       // any text
    Switch,     // true or false, stored as the on and off values
    Resource,   // a file packed as a setup resource
    Installed,  // a file the package installs
    Boolean,    // true or false, stored as boolean text ("True", "False")
};

struct SettingDef {
    const char* English;
    const char* Key;  // GBK
    SettingKind Kind;
    const char* DefaultValue;  // GBK
};

struct SettingGroupDef {
    uint8_t Group;
    const char* Table;
    std::vector<SettingDef> Settings;
};

// Every setting the package maker writes, group by group in the order 0, 1,
// 2, 3, 5, ..., 12, and within a group in the order it writes them.
const std::vector<SettingGroupDef>& Groups();

// The setting of a group with the model's key, or null.
const SettingDef* FindSettingDef(uint8_t group, const std::string& key);

}  // namespace setup::makesetup
