// sandboxctl: looks at a simulated Windows machine the way a person would.
//   sandboxctl ROOT show   the machine's settings, files, registry and effects
//   sandboxctl ROOT demo   exercises the system helpers once on the machine
//   sandboxctl ROOT install PACKAGE
//                          installs a setup package quietly with the engine,
//                          printing each progress event
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "engine/install.h"
#include "package/compile.h"
#include "platform/common.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_machine.h"
#include "platform/text.h"

namespace {

using namespace setup;

// Output is UTF-8 for the terminal.
void Say(const std::string& gbk) { std::cout << GbkToUtf8(gbk) << "\n"; }

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void ListTree(const std::string& folder, int depth) {
    for (const FolderEntry& e : OS().Files().ListFolder(folder)) {
        std::string indent(static_cast<size_t>(depth) * 2, ' ');
        std::string path = folder + "\\" + e.Name;
        if (e.Attributes & kAttrDirectory) {
            Say(indent + e.Name + "\\");
            ListTree(path, depth + 1);
        } else {
            char attributes[64];
            std::snprintf(attributes, sizeof attributes, "  %lld bytes, attributes 0x%02X",
                          static_cast<long long>(e.Size), e.Attributes);
            Say(indent + e.Name + attributes);
        }
    }
}

int Show(sandbox::SandboxMachine& machine) {
    const sandbox::MachineConfig& config = machine.Config();
    std::cout << "Machine: Windows " << config.OsVersion << ", user " << GbkToUtf8(config.User) << ", elevation "
              << (config.Elevation == sandbox::Elevation::Accept   ? "accepted"
                  : config.Elevation == sandbox::Elevation::Refuse ? "refused"
                                                                   : "failing")
              << "\n";
    for (const auto& [letter, drive] : config.Drives) {
        if (drive.Missing) continue;
        std::cout << "\n-- Drive " << letter << ": (" << drive.FreeBytes << " bytes free)\n";
        ListTree(std::string(1, letter) + ":", 0);
    }
    std::cout << "\n-- Registry (registry.reg)\n" << ReadHostFile(machine.Root() + "/registry.reg");
    std::cout << "\n-- Effects (effects.jsonl)\n" << ReadHostFile(machine.Root() + "/effects.jsonl");
    return 0;
}

int Demo() {
    WizardTitle() = "“演示”安装向导";
    std::string folder = GetProgramFilesFolder() + "\\演示";
    OS().Files().CreateFolderTree(folder);
    OS().Files().Open(folder + "\\说明.txt", OpenMode::Create)->WriteBytes("这是一个演示文件。\r\n");
    SetFileTimeOf(folder + "\\说明.txt", FileTimeKind::LastWrite, 45356.5);
    ShellLink link;
    link.Path = folder + "\\说明.txt";
    link.WorkingDirectory = folder;
    link.Description = "演示说明";
    OS().Shell().SaveShellLink(link, GetSpecialFolder(kCsidlDesktop) + "\\演示说明.lnk");
    OS().Registry().CreateKey(kHkeyLocalMachine, "SOFTWARE\\演示");
    OS().Registry().WriteString(kHkeyLocalMachine, "SOFTWARE\\演示", "InstallDir", folder);
    SetAutoRun("demo.exe", "\"" + folder + "\\demo.exe\"", AutoRunAction::Add);
    RegisterServer(folder + "\\demo.dll", ServerAction::Register);
    ShowInfo("演示完成。");
    Say("Exercised the system helpers on the machine: a file, a shortcut, registry values, a COM registration and a "
        "message box.");
    return 0;
}

int InstallPackage(sandbox::SandboxMachine& machine, const std::string& hostPackage) {
    // The package is read where it lies on the host, as drive Z: shows it.
    char resolved[4096];
    if (!realpath(hostPackage.c_str(), resolved)) {
        std::cerr << "sandboxctl: no such package " << hostPackage << "\n";
        return 1;
    }
    std::string setupFile = machine.Paths().ToWindows(resolved);
    TCompile model;
    model.LoadFromExe(setupFile);
    WizardTitle() = "“" + model.ItemName + "”安装向导";
    model.ExtractTempFiles(model.PackageFile());
    model.OnCompile = [](const std::string& fileName, const std::string& hint, int64_t position, int64_t max) {
        if (position < 0) {
            Say("  " + hint);
        } else {
            Say("  [" + std::to_string(position) + "/" + std::to_string(max) + "] " + hint + " " + fileName);
        }
    };
    Say("Installing " + model.ItemName + " " + model.Version + " into " + model.InstallData.InstallDir);
    try {
        Install(model);
    } catch (...) {
        FinishRun(model);
        throw;
    }
    FinishRun(model);
    if (!model.Failures.empty()) {
        for (const InstallFailure& f : model.Failures) Say("Not installed: " + f.Item + ": " + f.Reason);
        Say("Installed with " + std::to_string(model.Failures.size()) + " failed items.");
        return 3;
    }
    Say("Installed.");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool install = argc == 4 && std::strcmp(argv[2], "install") == 0;
    bool restart = argc == 3 && std::strcmp(argv[2], "restart") == 0;
    if (!install && !restart &&
        (argc != 3 || (std::strcmp(argv[2], "show") != 0 && std::strcmp(argv[2], "demo") != 0))) {
        std::cerr << "usage: sandboxctl ROOT show|demo|restart|install PACKAGE\n";
        return 2;
    }
    try {
        sandbox::SandboxMachine machine(argv[1], "", {});
        SetPlatform(&machine);
        if (install) return InstallPackage(machine, argv[3]);
        if (restart) {
            // What a restart of Windows does to the files waiting for it.
            for (const std::string& line : machine.ApplyPendingRenames()) Say("Restart: " + line);
            return 0;
        }
        return std::strcmp(argv[2], "show") == 0 ? Show(machine) : Demo();
    } catch (const Error& e) {
        std::cerr << "sandboxctl: " << GbkToUtf8(e.what()) << "\n";
        return 1;
    }
}
