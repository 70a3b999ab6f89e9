// The install-path operations the project model needs at load: splitting a
// path into its pieces, dropping a trailing separator, expanding the macros
// of the default install folder, and finding the folder an earlier
// installation of the same package recorded.
#pragma once

#include <string>
#include <vector>

namespace setup {

// The non-empty pieces of text between occurrences of separator (matched
// without regard to ASCII case).
std::vector<std::string> SplitPath(const std::string& text, const std::string& separator = "\\");
// The path without one final "\", if it ends with one.
std::string StripTrailingSeparator(const std::string& path);

enum class InstallMacros {
    ProgramFilesOnly,  // "[System ProgramFiles]", as the model expands at load
    All,               // also "[System Desk]" and "[Run]", as the install folder page does
};

// Replaces a macro standing as the first piece of value by its folder and
// rebuilds the path with single separators; any other value is unchanged.
std::string ExpandInstallPath(const std::string& value, InstallMacros macros);

// The key under HKEY_LOCAL_MACHINE where a product's uninstall entry lives.
std::string UninstallKeyPath(const std::string& packageId);
// The "Install Dir" recorded for the package identity, or empty. Creates the
// key when it is missing, as the system does.
std::string ReadInstallDir(const std::string& packageId);

}  // namespace setup
