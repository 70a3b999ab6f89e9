// A fresh simulated machine per test, in a temporary folder that is removed
// afterwards, set as the active platform for the test's duration.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sandbox/sandbox_machine.h"

namespace setup::testing_sandbox {

class SandboxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes machine.ini (given as GBK, written as UTF-8) and opens the machine anew.
    void Configure(const std::string& machineIni);
    // Opens the machine again from its folder, as a new process would.
    void Reopen();

    sandbox::SandboxMachine& Machine() { return *machine_; }
    std::string HostPath(const std::string& relative) const { return root_ + "/" + relative; }
    std::string ReadHostFile(const std::string& relative) const;
    void WriteHostFile(const std::string& relative, const std::string& bytes) const;
    // The lines of effects.jsonl (UTF-8).
    std::vector<std::string> EffectLines() const;
    // Waits (up to ten seconds) until effects.jsonl records the exit of count
    // processes started on the machine; returns the last such line, or "".
    std::string WaitForProcessExits(size_t count = 1) const;

    std::string root_;
    std::unique_ptr<sandbox::SandboxMachine> machine_;
};

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A field of an effects.jsonl line as the machine writes it: "key":"value",
// the value given as GBK text.
std::string Field(const std::string& key, const std::string& gbk);

// Runs a command on the host and returns its standard output; the exit code
// goes to *status.
std::string RunHost(const std::string& command, int* status = nullptr);

}  // namespace setup::testing_sandbox
