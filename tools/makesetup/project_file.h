// The package maker's project file: TOML (UTF-8) describing the settings, the
// files and folders, registry values and keys, shortcuts, components and the
// package identity. Reading it yields a build plan: the project model without
// data offsets, and for each file item the host file holding its data.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/codecs.h"
#include "package/compile.h"

namespace setup::makesetup {

struct BuildPlan {
    std::unique_ptr<TCompile> Model = std::make_unique<TCompile>();
    // Per FileList item: the host file (UTF-8 path) of its data; empty for
    // items without data (folder entries).
    std::vector<std::string> DataFiles;
    // The project file itself (an input the package may never be written over).
    std::string ProjectFile;
    // Where the author's paths are recorded, and the uninstaller's file name.
    std::string SourceRoot;
    std::string UninstallerName;
};

// Makes the host file the package's uninstaller (replacing one the project
// named). Raises an Os error when the file cannot be read.
void SetUninstaller(BuildPlan& plan, const std::string& hostPath);

// Reads the project file. Errors are Format errors naming the file, the line
// and the field: a project whose items would not install what they say (a
// target leaving its root, a name Windows cannot create, a registry key under
// no root, a number that is not one, a switch that is neither true nor false,
// a shortcut to nothing packaged, two items on one path) is refused. The level
// is written into the "压缩类型" setting.
BuildPlan LoadProjectFile(const std::string& path, TCompressLevelEnum level);

// Changes one setting after loading: "table.name=value" with the table and
// English name of the project file ("project.Displayed=false"). Raises a
// Format error naming the setting when the package maker does not know it,
// when it names a file, or when a switch is given anything but true or false.
void OverrideSetting(BuildPlan& plan, const std::string& assignment);

// The text of a fresh, commented project file with a new package identity.
std::string NewProjectFileText();

// The name of a compression level ("none", "speed", "press", "default").
const char* LevelName(TCompressLevelEnum level);

}  // namespace setup::makesetup
