// The install driver and the passes it runs. Install performs an installation
// once every choice is made: folders, files, post-install actions, registry,
// shortcuts, component packages and the uninstall registration, in that fixed
// order, reporting progress through the model's OnCompile event. An item that
// cannot be completed (a file, folder, registry value, link, component or
// program start) does not stop the others: it is collected in the model's
// Failures with its reason. A fatal failure (the uninstaller or its record
// cannot be written, a component's data is damaged, a registration's
// elevation is refused, the user cancels) undoes the whole run, so that the
// machine is as before, and then reaches the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/uninstall_record.h"
#include "package/compile.h"

namespace setup {

// Installs the loaded model from the package file it holds open
// (TCompile::PackageFile), never from a path: the bytes installed are the
// bytes LoadFromExe checked. Preconditions: the model was loaded, its
// resources were extracted, and InstallData holds the final choices.
// Afterwards model.Failures lists what could not be completed. A failure that
// escapes has been rolled back first; a model that holds no package file
// raises the OS error kind before anything changes.
void Install(TCompile& model);

// Deletes the run's temporary files and folders (TCompile::DeleteTempFiles)
// and then the pointer to the run's journal, in that order, so that a run
// ending in between leaves nothing the next one does not find.
void FinishRun(TCompile& model);

// The text that reports failed items: the first twenty, each with its reason,
// and how many more there are (GBK).
std::string InstallFailureReport(const std::vector<InstallFailure>& failures);
// Shows that report in one warning box captioned with WizardTitle(); shows
// nothing when the model has no failures. The quiet window and the wizard's
// progress page call it once the installation has returned.
void ShowInstallFailures(const TCompile& model);

// The state of one run of the driver, shared by the passes.
struct InstallRun {
    TCompile& Model;
    Stream& SetupFile;
    TUnInstall& Record;
    std::string OsVersion;
    std::string UninstallerPath;
    // Installed paths of the files the file pass could not write; they get no
    // post-install actions.
    std::vector<std::string> FailedFiles;

    void Message(const std::string& hint) const;
    void FileEvent(const std::string& fileName, int64_t position) const;
    // Collects an item that could not be completed.
    void Fail(const std::string& item, const std::string& reason) const;
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
int64_t HexToInteger(const std::string& text);
std::string HexToBytes(const std::string& text);

// Where the uninstall step writes the package's uninstaller (empty when the
// package carries none).
std::string UninstallerPathFor(const TCompile& model);

// Shortcut helpers.
std::string FreeShortcutName(const std::string& folder, const std::string& name, const std::string& extension);
// Both writers return false when the shortcut cannot be saved.
bool WriteInternetShortcut(const std::string& name, const std::string& address, const std::string& folder,
                           const std::string& icon);
bool WriteShellLink(const std::string& folder, const std::string& linkFileName, const std::string& target,
                    const std::string& icon, const std::string& description, const std::string& arguments);

// Component helpers.
std::string FindComponentFile(const TCompile& model, const std::string& componentName, const std::string& fragment);
bool RegistryValuePresent(const std::string& path);
// Starts the program and waits for it; false when it could not be started.
bool RunAndWait(const std::string& program);

}  // namespace setup
