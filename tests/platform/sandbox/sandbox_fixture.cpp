#include "platform/sandbox/sandbox_fixture.h"

#include <stdlib.h>

#include <array>
#include <chrono>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sandbox/effects.h"
#include "platform/text.h"

namespace setup::testing_sandbox {

namespace {
// The machine the running test has open: a program the test starts reads the
// machine's files, so they are written first, as the machine does before it
// starts a program itself.
sandbox::SandboxMachine* openMachine = nullptr;
}  // namespace

void SandboxTest::SetUp() {
    char pattern[] = "/tmp/sandbox-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    Reopen();
}

void SandboxTest::TearDown() {
    SetPlatform(nullptr);
    openMachine = nullptr;
    machine_.reset();
    std::filesystem::remove_all(root_);
}

void SandboxTest::Reopen() {
    SetPlatform(nullptr);
    openMachine = nullptr;
    machine_.reset();
    machine_ = std::make_unique<sandbox::SandboxMachine>(root_, "", std::vector<std::string>{});
    SetPlatform(machine_.get());
    openMachine = machine_.get();
}

void SandboxTest::Configure(const std::string& machineIni) {
    WriteHostFile("machine.ini", GbkToUtf8(machineIni));
    Reopen();
}

std::string SandboxTest::ReadHostFile(const std::string& relative) const {
    // The test looks at the machine from outside, as another program would.
    if (machine_) machine_->Flush();
    std::ifstream in(HostPath(relative), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void SandboxTest::WriteHostFile(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path path(HostPath(relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> SandboxTest::EffectLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadHostFile("effects.jsonl"));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string SandboxTest::WaitForProcessExits(size_t count) const {
    for (int i = 0; i < 200; ++i) {
        std::string last;
        size_t exits = 0;
        for (const std::string& line : EffectLines()) {
            if (line.find("\"effect\":\"ProcessExit\"") != std::string::npos) {
                ++exits;
                last = line;
            }
        }
        if (exits >= count) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
}

std::string RunHost(const std::string& command, int* status) {
    std::string output;
    if (openMachine) openMachine->Flush();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    int rc = pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

std::string Field(const std::string& key, const std::string& gbk) {
    return "\"" + key + "\":" + sandbox::JsonEscape(GbkToUtf8(gbk));
}

}  // namespace setup::testing_sandbox
