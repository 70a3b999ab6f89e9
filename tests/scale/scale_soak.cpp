// Runs generated projects on fresh simulated machines and prints the figures:
//   scale_soak [--first SEED] [--count N] [--programs-every K]
//   scale_soak --seed SEED [--programs]      (replays one seed)
// Exits 1 when any seed broke an invariant; each failing seed is printed.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "scale/scenario_run.h"

int main(int argc, char** argv) {
    using namespace setup::scale;
    uint64_t first = 1;
    uint64_t count = 200;
    uint64_t programsEvery = 10;
    bool one = false;
    bool programs = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> uint64_t { return i + 1 < argc ? std::stoull(argv[++i]) : 0; };
        if (a == "--first") {
            first = next();
        } else if (a == "--count") {
            count = next();
        } else if (a == "--programs-every") {
            programsEvery = next();
        } else if (a == "--seed") {
            first = next();
            count = 1;
            one = true;
        } else if (a == "--programs") {
            programs = true;
        } else {
            std::cerr
                << "usage: scale_soak [--first SEED] [--count N] [--programs-every K] | --seed SEED [--programs]\n";
            return 2;
        }
    }
    ScalePrograms paths{SETUP_PROGRAM, UNINSTALL_PROGRAM};
    ScaleFigures figures;
    int failed = 0;
    auto start = std::chrono::steady_clock::now();
    for (uint64_t seed = first; seed < first + count; ++seed) {
        bool asPrograms = one ? programs : programsEvery > 0 && (seed - first) % programsEvery == 0;
        std::string failures = RunScenario(seed, asPrograms ? RunMode::Programs : RunMode::InProcess, paths, figures);
        if (!failures.empty()) {
            ++failed;
            std::cout << "seed " << seed << " failed (replay: scale_soak --seed " << seed
                      << (asPrograms ? " --programs" : "") << ")\n"
                      << failures << std::flush;
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "seeds %llu-%llu: %d scenarios, %d failed; %d installs, %d uninstalls (%d as programs); %d files "
        "(%.1f MiB), %d registry values, %d shortcuts, %d components, %d items already on the machines; %.1f s\n",
        static_cast<unsigned long long>(first), static_cast<unsigned long long>(first + count - 1), figures.scenarios,
        failed, figures.installs, figures.uninstalls, figures.programRuns, figures.files,
        static_cast<double>(figures.bytes) / 1048576.0, figures.values, figures.shortcuts, figures.components,
        figures.presentItems, seconds);
    return failed ? 1 : 0;
}
