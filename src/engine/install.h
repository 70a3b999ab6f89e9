// The install driver and the passes it runs. Install performs an installation
// once every choice is made: folders, files, post-install actions, registry,
// shortcuts, component packages and the uninstall registration, in that fixed
// order, reporting progress through the model's OnCompile event. It catches
// nothing: a failure ends the sequence and reaches the caller, except the
// failures the steps absorb by design (one file that cannot be written, a key
// or link the system refuses).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/uninstall_record.h"
#include "package/compile.h"

namespace setup {

// Installs the loaded model from its setup program file. Preconditions: the
// model was loaded from this file, its resources were extracted, and
// InstallData holds the final choices.
void Install(TCompile& model, const std::string& setupFile);

// The state of one run of the driver, shared by the passes.
struct InstallRun {
    TCompile& model;
    Stream& setupFile;
    TUnInstall& record;
    std::string osVersion;
    std::string uninstallerPath;

    void Message(const std::string& hint) const;
    void FileEvent(const std::string& fileName, int64_t position) const;
};

void FolderPass(InstallRun& run);
void FilePass(InstallRun& run);
void PostInstallActions(InstallRun& run);
void RegistryPass(InstallRun& run);
void ShortcutPass(InstallRun& run);
void ComponentPackages(InstallRun& run);
void UninstallStep(InstallRun& run);

// Registry helpers. ParseKeyPath returns false for a root that is none of the
// five or a path without a subkey.
bool ParseKeyPath(const std::string& path, uint32_t& root, std::string& subkey);
// The handle of one of the five root names ("HKEY_LOCAL_MACHINE"), any ASCII
// case; 0 for any other name.
uint32_t RootKeyOfName(const std::string& name);
int64_t HexToInteger(const std::string& text);
std::string HexToBytes(const std::string& text);

// Where the uninstall step writes the package's uninstaller (empty when the
// package carries none).
std::string UninstallerPathFor(const TCompile& model);

// Shortcut helpers.
std::string FreeShortcutName(const std::string& folder, const std::string& name, const std::string& extension);
void WriteInternetShortcut(const std::string& name, const std::string& address, const std::string& folder,
                           const std::string& icon);
void WriteShellLink(const std::string& folder, const std::string& linkFileName, const std::string& target,
                    const std::string& icon, const std::string& description, const std::string& arguments);

// Component helpers.
std::string FindComponentFile(const TCompile& model, const std::string& componentName, const std::string& fragment);
bool RegistryValuePresent(const std::string& path);
void RunAndWait(const std::string& program);

}  // namespace setup
