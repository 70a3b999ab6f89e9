#include "package/install_paths.h"

#include "platform/common.h"
#include "platform/os.h"
#include "platform/text.h"

namespace setup {

std::vector<std::string> SplitPath(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return pieces;
    }
    size_t start = 0;
    for (;;) {
        size_t at = FindNoCase(std::string_view(text).substr(start), separator);
        std::string piece = text.substr(start, at == std::string_view::npos ? std::string::npos : at);
        if (!piece.empty()) pieces.push_back(piece);
        if (at == std::string_view::npos) return pieces;
        start += at + separator.size();
    }
}

std::string StripTrailingSeparator(const std::string& path) {
    if (EndsWithChar(path, '\\')) return path.substr(0, path.size() - 1);
    return path;
}

std::string ExpandInstallPath(const std::string& value, InstallMacros macros) {
    std::vector<std::string> pieces = SplitPath(value);
    if (pieces.empty()) return value;
    std::string result;
    if (EqualsNoCase(pieces[0], "[System ProgramFiles]")) {
        result = GetProgramFilesFolder();
    } else if (macros == InstallMacros::All && EqualsNoCase(pieces[0], "[System Desk]")) {
        result = GetSpecialFolder(kCsidlDesktop);
    } else if (macros == InstallMacros::All && EqualsNoCase(pieces[0], "[Run]")) {
        std::string own = OS().System().GetOwnExecutablePath();
        size_t cut = FindLastChar(own, '\\');
        result = cut == std::string::npos ? own : own.substr(0, cut);
    } else {
        return value;
    }
    for (size_t i = 1; i < pieces.size(); ++i) result += "\\" + pieces[i];
    return result;
}

std::string UninstallKeyPath(const std::string& packageId) {
    return "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + packageId;
}

std::string ReadInstallDir(const std::string& packageId) {
    RegistryApi& registry = OS().Registry();
    std::string key = UninstallKeyPath(packageId);
    // A key that cannot be opened or created reads as no earlier installation.
    if (!registry.CreateKey(kHkeyLocalMachine, key)) return "";
    return registry.ReadString(kHkeyLocalMachine, key, "Install Dir").value_or("");
}

}  // namespace setup
