// TInstall, the install session: owns the project model for the whole run,
// loads it from the running program, shows the pre-install message, prepares
// the setup resources and opens the one window that presents the
// installation. Errors are not caught here; the destructor deletes the
// extracted temporary files whatever happened.
#pragma once

#include <memory>
#include <string>

#include "package/compile.h"
#include "platform/command_switches.h"

namespace setup {

class TInstall {
public:
    TInstall();
    // A session with the switches of the command line: "/D=" replaces the
    // installation folder the project proposes; "/S" installs with no window
    // at all what the wizard's defaults would (see RunSilently).
    explicit TInstall(const CommandSwitches& switches);
    ~TInstall();
    TInstall(const TInstall&) = delete;
    TInstall& operator=(const TInstall&) = delete;

    void Run();
    // The exit status of a run that raised nothing: 0 installed, 1 the
    // installation failed inside the wizard (the user was told there), 2 the
    // user left the wizard before installing.
    int ExitStatus() const { return exitStatus_; }
    // True when the installation ran to its end but some items failed (the
    // user has been shown them): the program ends with status 3.
    bool FinishedWithFailures() const { return !model_->Failures.empty(); }
    // Installed, with files waiting for a restart of Windows.
    bool FinishedNeedingRestart() const { return model_->RestartNeeded; }
    TCompile& Compile() { return *model_; }
    // The first project setting (group 0) whose key matches without regard to ASCII case.
    TCompileData* FindProjectInfo(const std::string& key) const { return model_->FindProjectInfo(key); }

private:
    // The unattended installation: the resources extracted without a window,
    // the install driver run directly, every failed item logged, the end
    // message logged, the restart done only with "/REBOOT", and nothing
    // started afterwards (no program, readme or web page: no one is there).
    // Errors are not caught, as in Run.
    void RunSilently();
    // The window that presents the installation (Run's last step).
    void Present();
    void LogChoices() const;
    void LogFailures() const;
    void ShowLoadingWindow();
    void LoadWithoutWindow();
    void ShowQuietWindow();
    void ShowWizard();
    void ShowBackgroundWindow();

    std::unique_ptr<TCompile> model_;
    std::string exeName_;
    CommandSwitches switches_;
    int exitStatus_ = 0;
};

}  // namespace setup
