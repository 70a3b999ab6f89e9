// makesetup: the package maker.
//   makesetup build PROJECT.toml -o OUTPUT [--stub PATH] [--level none|speed|press|default] [--chunk BYTES]
//                   [--jobs N] [--uninstaller PATH] [--set TABLE.NAME=VALUE]... [--sign CERT.pem KEY.pem]
//   makesetup sign PACKAGE CERT.pem KEY.pem
//   makesetup inspect PACKAGE
//   makesetup verify PACKAGE
//   makesetup extract PACKAGE DIR
//   makesetup new [-o PROJECT.toml]
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "package_tools.h"
#include "signing.h"
#include "platform/errors.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace {

using namespace setup;
using namespace setup::makesetup;

const char kUsage[] =
    "usage:\n"
    "  makesetup build PROJECT.toml -o OUTPUT [--stub PATH] [--level none|speed|press|default] [--chunk BYTES]\n"
    "                  [--jobs N] [--uninstaller PATH] [--set TABLE.NAME=VALUE]... [--sign CERT.pem KEY.pem]\n"
    "  makesetup sign PACKAGE CERT.pem KEY.pem\n"
    "  makesetup inspect PACKAGE\n"
    "  makesetup verify PACKAGE\n"
    "  makesetup extract PACKAGE DIR\n"
    "  makesetup new [-o PROJECT.toml]\n";

struct UsageError {
    std::string Message;
    bool ShowUsage = true;  // false when the message alone says what to change
};

// Messages are UTF-8 or GBK depending on where they were made; the terminal
// gets UTF-8 either way.
std::string ForTerminal(const std::string& message) {
    try {
        Utf8ToUtf16(message);
        return message;
    } catch (const Error&) {
    }
    try {
        return GbkToUtf8(message);
    } catch (const Error&) {
        return message;
    }
}

// The first of the files that exists beside makesetup, or "".
std::string Beside(std::initializer_list<const char*> names) {
    std::string folder = HostProgramFolder();
    for (const char* name : names) {
        if (HostFileExists(folder + "/" + name)) return folder + "/" + name;
    }
    return "";
}

// A package carries the uninstaller of its own platform: the Windows one for
// a setup.exe stub, the Linux one for the sandbox's setup program.
std::string DefaultUninstaller(const std::string& stub) {
    bool windows = stub.empty() || (stub.size() >= 4 && EqualsNoCase(stub.substr(stub.size() - 4), ".exe"));
    return windows ? Beside({"uninstall.exe", "uninstall"}) : Beside({"uninstall", "uninstall.exe"});
}

bool UninstallerEnabled(const TCompile& model) {
    for (const auto& setting : model.InfoList) {
        if (setting->Group == igProject && setting->Key == "卸载程序") return setting->Value == kSwitchOn;
    }
    return false;
}

bool HasUninstaller(const TCompile& model) {
    for (const auto& item : model.FileList) {
        if (item->Kind == fkUnInsFile) return true;
    }
    return false;
}

int Build(const std::vector<std::string>& args) {
    std::string project, output;
    BuildOptions options;
    bool stubGiven = false;
    std::string uninstaller;
    std::vector<std::string> overrides;
    SigningKey signing;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            return args[++i];
        };
        if (a == "-o" || a == "--output") {
            output = value();
        } else if (a == "--set") {
            overrides.push_back(value());
        } else if (a == "--sign") {
            signing.Certificate = value();
            signing.Key = value();
        } else if (a == "--uninstaller") {
            uninstaller = value();
        } else if (a == "--stub") {
            options.Stub = value();
            stubGiven = true;
        } else if (a == "--level") {
            std::string level = value();
            if (level == "none") {
                options.Level = cplNone;
            } else if (level == "speed") {
                options.Level = cplSpeed;
            } else if (level == "press") {
                options.Level = cplPress;
            } else if (level == "default") {
                options.Level = cplDefault;
            } else {
                throw UsageError{"--level: unknown level \"" + level + "\"; it takes none, speed, press or default",
                                 false};
            }
        } else if (a == "--chunk") {
            std::string chunk = value();
            char* end = nullptr;
            bool digits = !chunk.empty() && chunk.find_first_not_of("0123456789") == std::string::npos;
            unsigned long long n = digits ? std::strtoull(chunk.c_str(), &end, 10) : 0;
            // A chunk holds at most what the format's readers take in one piece.
            if (!digits || n == 0 || n > kChunkBlockSize) {
                throw UsageError{
                    "--chunk: \"" + chunk + "\" is not a byte count from 1 to " + std::to_string(kChunkBlockSize),
                    false};
            }
            options.Chunk = static_cast<size_t>(n);
        } else if (a == "--jobs") {
            std::string jobs = value();
            bool digits = !jobs.empty() && jobs.size() <= 3 && jobs.find_first_not_of("0123456789") == jobs.npos;
            unsigned long n = digits ? std::strtoul(jobs.c_str(), nullptr, 10) : 0;
            if (n == 0 || n > kMaxCompressionThreads) {
                throw UsageError{"--jobs: \"" + jobs + "\" is not a number of threads from 1 to " +
                                     std::to_string(kMaxCompressionThreads),
                                 false};
            }
            options.Jobs = static_cast<unsigned>(n);
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else if (project.empty()) {
            project = a;
        } else {
            throw UsageError{"more than one project file"};
        }
    }
    if (project.empty() || output.empty()) throw UsageError{"build needs a project file and -o OUTPUT"};
    if (!stubGiven) {
        options.Stub = Beside({"setup.exe", "setup"});
        if (options.Stub.empty())
            std::cerr << "makesetup: no setup program beside makesetup; writing the package alone\n";
    }
    BuildPlan plan = LoadProjectFile(project, options.Level);
    for (const std::string& assignment : overrides) OverrideSetting(plan, assignment);
    if (uninstaller.empty() && UninstallerEnabled(*plan.Model) && !HasUninstaller(*plan.Model)) {
        uninstaller = DefaultUninstaller(options.Stub);
        if (uninstaller.empty()) std::cerr << "makesetup: no uninstaller beside makesetup; the package carries none\n";
    }
    if (!uninstaller.empty()) SetUninstaller(plan, uninstaller);
    if (signing.Certificate.empty()) {
        BuildPackage(plan, options, output, std::cerr);
        return 0;
    }
    // The uninstaller is signed before it is packed, the setup program once
    // the package is appended: the signature then covers the package too.
    std::string signedUninstaller = SignUninstaller(plan, output, signing, std::cerr);
    try {
        BuildPackage(plan, options, output, std::cerr);
        SignProgram(output, output, signing, std::cerr);
    } catch (...) {
        if (!signedUninstaller.empty()) RemoveHostFile(signedUninstaller);
        throw;
    }
    if (!signedUninstaller.empty()) RemoveHostFile(signedUninstaller);
    std::cout << SignatureLine(output) << "\n";
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{""};
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "build") return Build(rest);
    if (command == "sign" && rest.size() == 3) {
        SignProgram(rest[0], rest[0], SigningKey{rest[1], rest[2]}, std::cerr);
        // What was signed must still be a package the setup program can read.
        VerifyPackage(rest[0], std::cout);
        return 0;
    }
    if (command == "inspect" && rest.size() == 1) {
        InspectPackage(rest[0], std::cout);
        return 0;
    }
    if (command == "verify" && rest.size() == 1) {
        VerifyPackage(rest[0], std::cout);
        return 0;
    }
    if (command == "extract" && rest.size() == 2) {
        ExtractPackage(rest[0], rest[1], std::cout);
        return 0;
    }
    if (command == "new" && (rest.empty() || (rest.size() == 2 && rest[0] == "-o"))) {
        std::string text = NewProjectFileText();
        if (rest.empty()) {
            std::cout << text;
        } else {
            if (HostFileExists(rest[1])) throw UsageError{rest[1] + " exists already"};
            WriteHostFile(rest[1], text);
            std::cerr << "wrote " << rest[1] << "\n";
        }
        return 0;
    }
    throw UsageError{"unknown command or wrong arguments: " + command};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const UsageError& e) {
        if (!e.Message.empty()) std::cerr << "makesetup: " << e.Message << "\n";
        if (e.ShowUsage) std::cerr << kUsage;
        return 2;
    } catch (const Error& e) {
        std::cerr << "makesetup: " << ForTerminal(e.what()) << "\n";
        return 1;
    }
}
