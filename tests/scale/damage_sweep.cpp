// The damaged-package sweep: builds the demo package with the package maker
// on the given setup program, then damages it (every single-byte change in
// its tail, project stream and first and last chunk, and every cut length in
// those regions) and runs the setup program on each copy against a fresh
// simulated machine. Each run must end with status 1 after the damage box,
// write nothing to the machine, and neither crash (sanitizer reports
// included) nor hang.
//   damage_sweep --makesetup PATH --project TOML --setup PATH --uninstall PATH --work DIR
//                [--sample N] [--jobs J] [--timeout SECONDS]
// Without --sample every case runs. Prints the count of cases and each failure.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "package/compile.h"
#include "platform/errors.h"
#include "platform/sandbox/sandbox_machine.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

struct Case {
    enum Kind { Change, Cut } kind = Change;
    int64_t offset = 0;  // the byte changed, or the length the file is cut to
    uint8_t value = 0;   // the new byte
    std::string region;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every file of a machine folder with its bytes, but for the logs of what
// happened (the effects and the transcript are checked on their own).
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (relative == "effects.jsonl" || relative == "transcript.txt") continue;
        all[relative] = entry.is_directory() ? "<folder>" : ReadFile(entry.path());
    }
    return all;
}

// Every write of a package copy and every program start happen under this
// lock: a process started while another thread holds its copy open for
// writing would inherit that descriptor, and the copy could not be started
// ("text file busy").
std::mutex spawnLock;

int Run(const std::string& command) {
    pid_t pid = 0;
    const char* args[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    {
        std::lock_guard<std::mutex> lock(spawnLock);
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(args), environ) != 0) return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

void Patch(const fs::path& path, int64_t offset, const char* bytes, size_t count) {
    std::lock_guard<std::mutex> lock(spawnLock);
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    if (pwrite(fd, bytes, count, offset) != static_cast<ssize_t>(count)) std::perror("pwrite");
    close(fd);
}

void Cut(const fs::path& path, int64_t length) {
    std::lock_guard<std::mutex> lock(spawnLock);
    if (truncate(path.c_str(), length) != 0) std::perror("truncate");
}

// The regions of the package to damage: [begin, end) each.
struct Region {
    std::string name;
    int64_t begin;
    int64_t end;
};

std::vector<Region> Regions(const std::string& package) {
    setup::MemoryStream file(package);
    setup::TCompile model;
    model.LoadPackage(file, "package");
    const int64_t size = static_cast<int64_t>(package.size());
    int64_t projectOffset = 0;
    std::memcpy(&projectOffset, package.data() + size - 8, 8);
    int64_t firstStart = size;
    int64_t lastStart = 0;
    int64_t lastEnd = 0;
    for (const auto& item : model.FileList) {
        if (item->DataEnd <= item->DataStart) continue;
        firstStart = std::min(firstStart, item->DataStart);
        if (item->DataEnd > lastEnd) {
            lastEnd = item->DataEnd;
            lastStart = item->DataStart;
        }
    }
    auto chunkLength = [&](int64_t at) {
        uint32_t length = 0;
        std::memcpy(&length, package.data() + at, 4);
        return static_cast<int64_t>(length) + 4;
    };
    // The last chunk of the item whose data ends last.
    int64_t at = lastStart;
    while (at + chunkLength(at) < lastEnd) at += chunkLength(at);
    return {{"tail", size - 16, size},
            {"project stream", projectOffset, size - 16},
            {"first chunk", firstStart, firstStart + chunkLength(firstStart)},
            {"last chunk", at, lastEnd}};
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    for (const char* required : {"--makesetup", "--project", "--setup", "--uninstall", "--work"}) {
        if (!options.count(required)) {
            std::cerr << "usage: damage_sweep --makesetup PATH --project TOML --setup PATH --uninstall PATH --work DIR "
                         "[--sample N] [--jobs J] [--timeout SECONDS]\n";
            return 2;
        }
    }
    const size_t sample = options.count("--sample") ? std::stoul(options["--sample"]) : 0;
    const int jobs = options.count("--jobs") ? std::stoi(options["--jobs"]) : 2;
    const std::string timeout = options.count("--timeout") ? options["--timeout"] : "120";
    const fs::path work = fs::absolute(options["--work"]);
    fs::remove_all(work);
    fs::create_directories(work);

    // The demo package, quiet, on the setup program under test; smaller
    // chunks keep its last chunk to a sweepable size.
    const fs::path packagePath = work / "demo-setup";
    std::string build = "'" + options["--makesetup"] + "' build '" + options["--project"] + "' -o '" +
                        packagePath.string() + "' --stub '" + options["--setup"] + "' --uninstaller '" +
                        options["--uninstall"] + "' --chunk 65536 --set project.Displayed=false >'" +
                        (work / "build.log").string() + "' 2>&1";
    if (Run(build) != 0) {
        std::cerr << "cannot build the demo package:\n" << ReadFile(work / "build.log");
        return 1;
    }
    const std::string package = ReadFile(packagePath);
    std::vector<Region> regions;
    try {
        regions = Regions(package);
    } catch (const setup::Error& e) {
        std::cerr << "the demo package does not load: " << e.what() << "\n";
        return 1;
    }

    std::vector<Case> cases;
    for (const Region& r : regions) {
        for (int64_t at = r.begin; at < r.end; ++at) {
            uint8_t original = static_cast<uint8_t>(package[static_cast<size_t>(at)]);
            if (r.name == "tail") {
                for (int v = 0; v < 256; ++v) {
                    if (v != original) cases.push_back({Case::Change, at, static_cast<uint8_t>(v), r.name});
                }
            } else {
                cases.push_back({Case::Change, at, static_cast<uint8_t>(original ^ 0xFF), r.name});
            }
            cases.push_back({Case::Cut, at, 0, r.name});
        }
    }
    const size_t all = cases.size();
    if (sample > 0 && sample < cases.size()) {
        // A deterministic sample spread over every region: a fixed stride.
        std::vector<Case> picked;
        for (size_t i = 0; i < sample; ++i) picked.push_back(cases[i * all / sample]);
        cases = picked;
    }
    for (const Region& r : regions) {
        std::printf("%s: bytes %lld-%lld\n", r.name.c_str(), static_cast<long long>(r.begin),
                    static_cast<long long>(r.end - 1));
    }

    // A pristine machine to compare with: made once, copied for every case.
    const fs::path pristine = work / "pristine";
    fs::create_directories(pristine);
    WriteFile(pristine / "machine.ini", "[Machine]\nOsVersion=5.1\n");
    { setup::sandbox::SandboxMachine machine(pristine.string(), "", {}); }
    const std::map<std::string, std::string> pristineTree = Tree(pristine);

    std::atomic<size_t> next{0};
    std::atomic<size_t> failed{0};
    std::mutex output;
    auto worker = [&](int job) {
        const fs::path dir = work / ("job" + std::to_string(job));
        fs::create_directories(dir);
        const fs::path copy = dir / "setup";
        {
            std::lock_guard<std::mutex> lock(spawnLock);
            WriteFile(copy, package);
            chmod(copy.c_str(), 0755);
        }
        for (size_t i = next++; i < cases.size(); i = next++) {
            const Case& c = cases[i];
            if (c.kind == Case::Change) {
                char value = static_cast<char>(c.value);
                Patch(copy, c.offset, &value, 1);
            } else {
                Cut(copy, c.offset);
            }
            const fs::path machine = dir / "machine";
            fs::remove_all(machine);
            fs::copy(pristine, machine, fs::copy_options::recursive);
            const fs::path log = dir / "stderr.txt";
            int status = Run("SANDBOX_ROOT='" + machine.string() +
                             "' ASAN_OPTIONS=exitcode=86:detect_leaks=1 UBSAN_OPTIONS=exitcode=87:halt_on_error=1 "
                             "timeout -s KILL " +
                             timeout + " '" + copy.string() + "' >'" + log.string() + "' 2>&1");
            std::string problem;
            std::string effects = ReadFile(machine / "effects.jsonl");
            std::string errors = ReadFile(log);
            if (status == 137) {
                problem = "hung (killed after " + timeout + " s)";
            } else if (status != 1) {
                problem = "status " + std::to_string(status);
            } else if (errors.find("Sanitizer") != std::string::npos ||
                       errors.find("runtime error") != std::string::npos) {
                problem = "sanitizer report";
            } else if (effects.find(u8"安装包已损坏") == std::string::npos ||
                       effects.find("\"icon\":\"stop\"") == std::string::npos) {
                problem = "no damage box";
            } else if (Tree(machine) != pristineTree) {
                problem = "the machine was written to";
            }
            if (!problem.empty()) {
                ++failed;
                std::lock_guard<std::mutex> lock(output);
                std::printf("FAILED: %s, %s at %lld%s: %s\n%s%s", c.region.c_str(),
                            c.kind == Case::Change ? "byte changed" : "cut", static_cast<long long>(c.offset),
                            c.kind == Case::Change ? (" to " + std::to_string(c.value)).c_str() : "", problem.c_str(),
                            errors.substr(0, 2000).c_str(), effects.substr(0, 1000).c_str());
            }
            // Back to the intact package.
            Patch(copy, c.offset, package.data() + c.offset,
                  c.kind == Case::Change ? 1 : package.size() - static_cast<size_t>(c.offset));
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j) threads.emplace_back(worker, j);
    for (std::thread& t : threads) t.join();
    std::printf("%zu of %zu damaged packages run, %zu failed\n", cases.size(), all, failed.load());
    if (failed == 0) fs::remove_all(work);
    return failed == 0 ? 0 : 1;
}
