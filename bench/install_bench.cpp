// Whole-installation timings on the simulated machine.
//
//   install_bench large [MiB]   installs a package of real binaries and text
//                               (taken from the host's /usr) and compares it
//                               with the machine's limit: reading the same
//                               chunks, inflating them and writing the files
//                               with no engine around it.
//   install_bench small         installs 10,000 and then 100,000 small files;
//                               the second should take about ten times the first.
//   install_bench registry      installs 1,000 and then 10,000 registry values;
//                               the second should take about ten times the first.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "engine/install.h"
#include "package/package_writer.h"
#include "platform/common.h"
#include "platform/host_files.h"
#include "platform/sandbox/sandbox_machine.h"

namespace fs = std::filesystem;
using namespace setup;

namespace {

double Seconds(const std::function<void()>& f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Source {
    std::string hostPath;
    std::string name;
};

// Builds the package into the machine's C:\setup.exe from host files.
void BuildPackage(const std::string& root, const std::vector<Source>& sources,
                  const std::function<std::string(size_t)>& contentOf, size_t registryValues = 0) {
    TCompile project;
    project.PackageId = "7D3F2A1C-5B4E-4C6D-8E9F-0A1B2C3D4E5F";
    auto setting = std::make_unique<TCompileData>();
    setting->Key = "项目名称";
    setting->Value = "bench";
    project.InfoList.push_back(std::move(setting));
    auto dir = std::make_unique<TCompileData>();
    dir->Key = "默认安装路径";
    dir->Value = "[System ProgramFiles]\\bench";
    dir->Group = igInstallDir;
    project.InfoList.push_back(std::move(dir));
    std::unique_ptr<Stream> out = OpenHostFile(root + "/C/setup.exe", OpenMode::Create);
    PackageWriter writer(*out, cplDefault);
    writer.WriteStub("MZ");
    int64_t size = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        auto item = std::make_unique<TCompileFileData>();
        item->Name = sources[i].name;
        item->Source = "D:\\src\\" + sources[i].name;
        item->TargetDir = "目标计算机\\Program Files\\d" + std::to_string(i % 100);
        item->FileTime = 45356.5;
        ItemRange range = sources[i].hostPath.empty()
                              ? writer.WriteItem(contentOf(i))
                              : writer.WriteItem(*OpenHostFile(sources[i].hostPath, OpenMode::Read));
        item->DataStart = range.DataStart;
        item->DataEnd = range.DataEnd;
        item->FileSize = range.Size;
        size += range.Size;
        project.FileList.push_back(std::move(item));
    }
    for (size_t i = 0; i < registryValues; ++i) {
        auto value = std::make_unique<TRegInfoData>();
        value->Key = "目标计算机\\HKEY_LOCAL_MACHINE\\SOFTWARE\\bench\\k" + std::to_string(i % 100);
        value->ValueName = "v" + std::to_string(i);
        value->Data = "value " + std::to_string(i);
        value->ValueType = rvString;
        project.RegList.push_back(std::move(value));
    }
    writer.Finish(project, size);
}

double InstallOnce(const std::string& root) {
    sandbox::SandboxMachine machine(root, "", {});
    SetPlatform(&machine);
    TCompile model;
    model.LoadFromExe("C:\\setup.exe");
    double seconds = Seconds([&] { Install(model); });
    SetPlatform(nullptr);
    fs::remove_all(root + "/C/Program Files/bench");
    return seconds;
}

// The limit: the same chunks read, inflated and written as plain host files.
double LimitOnce(const std::string& root) {
    TCompile model;
    std::unique_ptr<Stream> file = OpenHostFile(root + "/C/setup.exe", OpenMode::Read);
    model.LoadPackage(*file, "setup.exe");
    std::string out = root + "/limit";
    double seconds = Seconds([&] {
        for (size_t i = 0; i < model.FileList.size(); ++i) {
            const TCompileFileData& item = *model.FileList[i];
            std::string folder = out + "/d" + std::to_string(i % 100);
            fs::create_directories(folder);
            std::unique_ptr<Stream> target = OpenHostFile(folder + "/" + std::to_string(i), OpenMode::Create);
            TCompile::ReadPackageData(*file, *target, item.DataStart, item.DataEnd);
        }
    });
    fs::remove_all(out);
    return seconds;
}

std::string TempRoot() {
    char pattern[] = "/tmp/install-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::exit(1);
    fs::create_directories(std::string(pattern) + "/C");
    return pattern;
}

int Large(int64_t mebibytes) {
    std::vector<Source> sources;
    int64_t total = 0;
    for (const char* base : {"/usr/lib/x86_64-linux-gnu", "/usr/share/doc", "/usr/include", "/usr/bin"}) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(base, ec); it != fs::recursive_directory_iterator(); ++it) {
            if (total >= mebibytes << 20) break;
            if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
            int64_t size = static_cast<int64_t>(it->file_size(ec));
            if (ec || size == 0 || size > (64 << 20)) continue;
            sources.push_back({it->path().string(), std::to_string(sources.size()) + ".bin"});
            total += size;
        }
    }
    std::string root = TempRoot();
    BuildPackage(root, sources, nullptr);
    std::cout << "package: " << sources.size() << " files, " << (total >> 20) << " MiB, "
              << (HostFileSize(root + "/C/setup.exe") >> 20) << " MiB compressed\n";
    double limit = 1e9, engine = 1e9;
    for (int run = 0; run < 3; ++run) {
        limit = std::min(limit, LimitOnce(root));
        engine = std::min(engine, InstallOnce(root));
    }
    std::printf("limit (read, inflate, write): %.2f s, %.0f MiB/s\n", limit, total / 1048576.0 / limit);
    std::printf("engine (Install):             %.2f s, %.0f MiB/s\n", engine, total / 1048576.0 / engine);
    std::printf("engine / limit:               %.3f\n", engine / limit);
    fs::remove_all(root);
    return 0;
}

int Small() {
    double times[2];
    int counts[2] = {10000, 100000};
    for (int k = 0; k < 2; ++k) {
        std::vector<Source> sources(static_cast<size_t>(counts[k]));
        for (size_t i = 0; i < sources.size(); ++i) sources[i].name = "f" + std::to_string(i) + ".txt";
        std::string root = TempRoot();
        BuildPackage(root, sources, [](size_t i) { return "file " + std::to_string(i) + "\r\n"; });
        times[k] = InstallOnce(root);
        std::printf("%d small files: %.2f s\n", counts[k], times[k]);
        fs::remove_all(root);
    }
    std::printf("100,000 / 10,000: %.1f times\n", times[1] / times[0]);
    return 0;
}

int Registry() {
    double times[2];
    int counts[2] = {1000, 10000};
    for (int k = 0; k < 2; ++k) {
        std::string root = TempRoot();
        BuildPackage(root, {}, nullptr, static_cast<size_t>(counts[k]));
        times[k] = InstallOnce(root);
        std::printf("%d registry values: %.2f s\n", counts[k], times[k]);
        fs::remove_all(root);
    }
    std::printf("10,000 / 1,000: %.1f times\n", times[1] / times[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "large") return Large(argc > 2 ? std::atoll(argv[2]) : 300);
    if (mode == "small") return Small();
    if (mode == "registry") return Registry();
    std::cerr << "usage: install_bench large [MiB] | small | registry\n";
    return 2;
}
