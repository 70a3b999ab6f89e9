// Whole runs of the Linux programs on a fresh simulated machine: a package is
// placed on the machine, a program of the machine is started on the host with
// the machine's root in SANDBOX_ROOT, and what it left behind is read back.
// WholeRunTest knows nothing of how the package was made; PackageRunTest adds
// a project built by the package builder onto the setup program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sandbox/sandbox_fixture.h"
#include "platform/text.h"

namespace setup::testing_sandbox {

class WholeRunTest : public SandboxTest {
protected:
    // Places a package on the machine as C:\Downloads\setup, without running it.
    void Place(const std::string& bytes) {
        OS().Files().CreateFolderTree("C:\\Downloads");
        OS().Files().Open("C:\\Downloads\\setup", OpenMode::Create)->WriteBytes(bytes);
    }
    // Runs a host program with arguments given as shell text; keeps what it
    // printed in output_, opens the machine again to see what the program left
    // on it, and returns the exit status.
    int RunHostProgram(const std::string& hostProgram, const std::string& arguments) {
        int status = -1;
        output_ = RunHost("SANDBOX_ROOT='" + root_ + "' '" + hostProgram + "' " + arguments + " 2>&1", &status);
        Reopen();
        return status;
    }
    // Runs a program of the machine (a Windows path) with arguments given as
    // GBK text, as a shell passes them: each blank-separated word is one
    // argument, passed on untouched.
    int RunProgram(const std::string& program, const std::string& args) {
        std::string words;
        for (const std::string& word : SplitOn(args, ' ')) {
            if (!word.empty()) words += (words.empty() ? "'" : " '") + GbkToUtf8(word) + "'";
        }
        return RunHostProgram(HostPath(Utf8Path(program)), words);
    }
    // The machine-relative host path of a Windows path: "C:\a\b" is "C/a/b".
    static std::string Utf8Path(const std::string& windowsPath) {
        std::string path = GbkToUtf8(windowsPath.substr(0, 1) + windowsPath.substr(2));
        for (char& c : path) c = c == '\\' ? '/' : c;
        return path;
    }
    // The bytes of a file of the machine, or nothing when there is no such file.
    std::optional<std::string> Read(const std::string& path) {
        if (!OS().Files().FileExists(path)) return std::nullopt;
        std::unique_ptr<Stream> in = OS().Files().Open(path, OpenMode::Read);
        return in->ReadBytes(static_cast<size_t>(in->Size()));
    }
    // The lines of effects.jsonl of one kind, in order, as UTF-8 text.
    std::vector<std::string> EffectLinesOf(const std::string& kind) const {
        std::vector<std::string> lines;
        for (const std::string& line : EffectLines()) {
            if (Contains(line, "\"effect\":\"" + kind + "\"")) lines.push_back(line);
        }
        return lines;
    }
    // The same lines as GBK text.
    std::vector<std::string> Effects(const std::string& kind) const {
        std::vector<std::string> lines;
        for (const std::string& line : EffectLinesOf(kind)) lines.push_back(Utf8ToGbk(line));
        return lines;
    }
    // The window transcript of the runs, as UTF-8 text.
    std::string Transcript() const { return ReadHostFile("transcript.txt"); }

    std::string output_;  // what the last program printed
};

}  // namespace setup::testing_sandbox
