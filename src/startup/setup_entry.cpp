#include "startup/setup_entry.h"

#include <memory>

#include "platform/command_switches.h"
#include "platform/common.h"
#include "platform/deployment_platform.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/run_log.h"
#include "platform/text.h"
#include "startup/install_session.h"
#include "ui/backend.h"
#include "wizard/pages/page.h"

namespace setup {

std::string& ProgramFolder() {
    static std::string folder;
    return folder;
}

std::string ExitStatusMeaning(int status) {
    switch (status) {
        case kExitDone:
            return "安装完成";
        case kExitError:
            return "出错，没有安装";
        case kExitCancelled:
            return "用户取消";
        case kExitDoneWithFailures:
            return "安装完成，但有项目失败";
        case kExitElevationRefused:
            return "拒绝了权限提升，没有安装";
        case kExitRestartNeeded:
            return "安装完成，需要重新启动 Windows 才能完成";
        default:
            return "";
    }
}

namespace {

// The error box of the entry: task-modal, stop icon; logged, and under /S
// only logged.
void ReportError(const std::exception& error) {
    OS().Dialogs().MessageBox(ErrorReportText(error), WizardTitle().empty() ? "安装程序" : WizardTitle(),
                              kMbIconStop | kMbOk | kMbTaskModal);
}

// Hands the run to an elevated copy. With switches the copy's exit status is
// the result, so that whoever started the program learns how the installation
// ended; without them the copy runs on alone, as always.
int Relaunch(const std::string& own, const CommandSwitches& switches) {
    if (!switches.AnySwitch()) {
        RunElevated(own, "-1");
        return kExitDone;
    }
    int64_t status = RunElevatedAndWait(own, RelaunchParameters(switches));
    // A copy that could not be started installed nothing.
    return status < 0 ? kExitError : static_cast<int>(status);
}

int RunHere(const CommandSwitches& switches) {
    if (switches.Help) {
        OS().Dialogs().MessageBox(SetupSwitchesHelp(), "安装程序", kMbIconInformation | kMbOk);
        return kExitDone;
    }
    TInstall session(switches);
    session.Run();
    int status = session.ExitStatus();
    if (status == kExitDone && session.FinishedWithFailures()) status = kExitDoneWithFailures;
    if (status == kExitDone && session.FinishedNeedingRestart()) status = kExitRestartNeeded;
    return status;
}

}  // namespace

int SetupMain() {
    // Module initialisation.
    std::string own = OS().System().GetOwnExecutablePath();
    size_t cut = FindLastChar(own, '\\');
    ProgramFolder() = cut == std::string::npos ? std::string() : own.substr(0, cut + 1);
    RegisterWizardPages();
    SetMessagePump([] { ui::Application::ProcessMessages(); });

    CommandSwitches switches = ParseCommandSwitches(OS().System().GetArguments());
    // An unattended run that already has administrator rights (a deployment
    // tool's) installs here: a second process would only cost its start.
    bool relaunch = IsVistaOrLater(GetOSVersionText()) && switches.MayRelaunch() && !switches.Help &&
                    switches.Problem.empty() && !(switches.AnySwitch() && OS().System().ProcessElevated());
    int status = kExitDone;
    // With a switch every box and change also goes to the log, and under /S
    // to the log alone; with none the platform is the program's own.
    std::unique_ptr<DeploymentPlatform> deployment;
    try {
        if (relaunch) {
            // The elevated copy writes the log; this process only starts it.
            status = Relaunch(own, switches);
        } else {
            if (switches.AnySwitch() || !switches.Problem.empty()) {
                // The platform comes first: a log that cannot be created is
                // an error that /S must not show in a box.
                deployment = std::make_unique<DeploymentPlatform>(switches.Silent ? BoxMode::LogOnly : BoxMode::Show);
                if (!switches.LogFile.empty()) OpenRunLog(switches.LogFile);
                LogLine("安装程序：" + own);
                LogLine("参数：" + SwitchesLogText(switches));
            }
            if (!switches.Problem.empty()) ThrowFormatError(switches.Problem);
            status = RunHere(switches);
        }
    } catch (const Error& error) {
        if (relaunch && error.Kind() == ErrorKind::SilentAbort) {
            // The user said no to the elevation prompt: nothing was installed.
            status = kExitElevationRefused;
            if (!switches.LogFile.empty() && !RunLogOpen()) {
                try {
                    OpenRunLog(switches.LogFile);
                } catch (const Error&) {
                    // Without a log the status alone tells what happened.
                }
            }
            if (switches.Silent) {
                LogLine("权限提升被拒绝，没有安装。");
            } else {
                DeploymentPlatform logged(BoxMode::Show);
                ReportError(error);
            }
        } else {
            // The session is gone by now (its temporary files deleted).
            ReportError(error);
            status = kExitError;
        }
    } catch (const std::exception& error) {
        ReportError(error);
        status = kExitError;
    }
    LogLine("结果：退出代码 " + std::to_string(status) + "（" + ExitStatusMeaning(status) + "）");
    deployment.reset();
    CloseRunLog();
    UnregisterPageClasses();
    WizardTitle().clear();
    MusicFile().clear();
    ProgramFolder().clear();
    return status;
}

}  // namespace setup
