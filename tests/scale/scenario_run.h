// One generated scenario carried out on a fresh simulated machine: the
// machine's own files and keys put in place, the package built with the
// writer, installed (once or several times) and uninstalled, either by the
// setup and uninstall programs started as processes or by the same program
// bodies run in this process. Between the steps the whole machine is taken
// apart and compared with what the design promises.
#pragma once

#include <cstdint>
#include <string>

namespace setup::scale {

enum class RunMode {
    InProcess,  // the program bodies in this process: fast, for many seeds
    Programs,   // the Linux setup and uninstall programs as processes
};

struct ScaleFigures {
    int scenarios = 0;
    int installs = 0;
    int uninstalls = 0;
    int programRuns = 0;
    int files = 0;
    int64_t bytes = 0;
    int values = 0;
    int shortcuts = 0;
    int components = 0;
    int presentItems = 0;
};

struct ScalePrograms {
    std::string setup;      // the Linux setup program
    std::string uninstall;  // the Linux uninstaller
};

// Runs the scenario of seed in a fresh machine under a temporary folder
// (removed afterwards unless it failed) and returns every broken invariant,
// one a line, or "" when all held. Adds what it did to figures.
std::string RunScenario(uint64_t seed, RunMode mode, const ScalePrograms& programs, ScaleFigures& figures);

}  // namespace setup::scale
