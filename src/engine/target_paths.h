// Turns the virtual names of a package into real paths on this machine: the
// virtual target folders of packaged files, the registry text macros, the
// component copy macro and the virtual shortcut folders.
#pragma once

#include <string>

#include "package/install_paths.h"

namespace setup {

class TUnInstall;
struct TInstallData;

// The rest of a virtual folder after "目标计算机\Program Files\", grafted onto
// the installation folder where its first folder name already occurs.
std::string GraftOnInstallDir(const std::string& installDir, const std::string& rest);

// A virtual target folder resolved to a real folder; a folder that does not
// exist is created, every created level recorded in the record.
std::string ResolveTargetFolder(const std::string& virtualFolder, const std::string& installDir, TUnInstall& record);

// REG_SZ data: a leading "[Windows]" or "[安装目录]" (and the character after
// it) becomes the Windows folder or the installation folder and "\".
std::string ExpandRegistryText(const std::string& value, const std::string& installDir);

// A component copy destination: "[System Directory]\\" becomes the Windows folder and "\".
std::string ExpandSystemDirectory(const std::string& destination);
// Whether a component copy destination may be used: false for one with a
// ".." level (also spelt "...", ". ." or with "/"), for a drive, share or
// stream name after "[System Directory]\\" or the macro with nothing after
// it, and for a destination without the macro that is a root (a drive, a
// share) or names a stream. Any other destination without the macro is used
// as written.
bool SystemDestinationAllowed(const std::string& destination);

// A virtual shortcut folder ("开始菜单\...", "桌面\...", "快速启动栏\...") as a
// real folder; empty for a folder under none of the three roots.
std::string ResolveShortcutFolder(const std::string& folder, const std::string& startFolder);

}  // namespace setup
