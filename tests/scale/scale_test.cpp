// Generated projects installed and uninstalled on fresh simulated machines:
// 200 seeds in batches, every tenth one through the setup and uninstall
// programs as processes, the others through the same program bodies in this
// process. A failing seed names itself for replay with scale_soak.
#include <gtest/gtest.h>

#include "scale/scenario_run.h"

namespace setup::scale {
namespace {

constexpr uint64_t kFirstSeed = 1;
constexpr int kSeedsPerBatch = 10;

class GeneratedProjectsTest : public ::testing::TestWithParam<int> {};

TEST_P(GeneratedProjectsTest, InstallThenUninstallKeepsTheInvariants) {
    ScalePrograms programs{SETUP_PROGRAM, UNINSTALL_PROGRAM};
    ScaleFigures figures;
    for (int i = 0; i < kSeedsPerBatch; ++i) {
        uint64_t seed = kFirstSeed + static_cast<uint64_t>(GetParam() * kSeedsPerBatch + i);
        RunMode mode = i == 0 ? RunMode::Programs : RunMode::InProcess;
        std::string failures = RunScenario(seed, mode, programs, figures);
        EXPECT_EQ(failures, "") << "seed " << seed << " failed; replay: scale_soak --seed " << seed
                                << (mode == RunMode::Programs ? " --programs" : "") << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, GeneratedProjectsTest, ::testing::Range(0, 20));

}  // namespace
}  // namespace setup::scale
