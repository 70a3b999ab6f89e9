#include "uninstaller/uninstall_entry.h"

#include <memory>

#include "platform/command_switches.h"
#include "platform/common.h"
#include "platform/deployment_platform.h"
#include "platform/errors.h"
#include "platform/os.h"
#include "platform/run_log.h"
#include "uninstaller/uninstall_form.h"

namespace setup {

namespace {

std::string Meaning(int status) {
    switch (status) {
        case kExitDone:
            return "卸载完成";
        case kExitError:
            return "出错，没有卸载";
        case kExitCancelled:
            return "用户取消";
        case kExitDoneWithFailures:
            return "卸载完成，但有项目未能删除";
        case kExitElevationRefused:
            return "拒绝了权限提升，没有卸载";
        default:
            return "";
    }
}

void ReportError(const std::exception& error) {
    OS().Dialogs().MessageBox(std::string("卸载程序因错误而终止。\r\n\r\n") + error.what(), "卸载程序",
                              kMbIconStop | kMbOk | kMbTaskModal);
}

int RunHere(const CommandSwitches& switches) {
    if (switches.Help) {
        OS().Dialogs().MessageBox(UninstallSwitchesHelp(), "卸载程序", kMbIconInformation | kMbOk);
        return kExitDone;
    }
    TfrmUnInstall window;
    if (switches.Silent) {
        window.RemoveUnattended();
    } else {
        window.ShowModal();
    }
    return window.ExitCode();
}

}  // namespace

int UninstallMain() {
    std::string own = OS().System().GetOwnExecutablePath();
    CommandSwitches switches = ParseCommandSwitches(OS().System().GetArguments());
    bool relaunch =
        IsVistaOrLater(GetOSVersionText()) && switches.MayRelaunch() && !switches.Help && switches.Problem.empty();
    int status = kExitDone;
    std::unique_ptr<DeploymentPlatform> deployment;
    try {
        if (relaunch) {
            if (switches.AnySwitch()) {
                // Whoever started the uninstaller learns how the elevated copy ended.
                int64_t copy = RunElevatedAndWait(own, RelaunchParameters(switches));
                status = copy < 0 ? kExitError : static_cast<int>(copy);
            } else {
                RunElevated(own, "-1");
            }
        } else {
            if (switches.AnySwitch() || !switches.Problem.empty()) {
                // The platform comes first: a log that cannot be created is
                // an error that /S must not show in a box.
                deployment = std::make_unique<DeploymentPlatform>(switches.Silent ? BoxMode::LogOnly : BoxMode::Show);
                if (!switches.LogFile.empty()) OpenRunLog(switches.LogFile);
                LogLine("卸载程序：" + own);
                LogLine("参数：" + SwitchesLogText(switches));
            }
            if (!switches.Problem.empty()) ThrowFormatError(switches.Problem);
            status = RunHere(switches);
        }
    } catch (const Error& error) {
        if (relaunch && error.Kind() == ErrorKind::SilentAbort) {
            status = kExitElevationRefused;
            if (!switches.Silent) ReportError(error);
        } else {
            ReportError(error);
            status = kExitError;
        }
    } catch (const std::exception& error) {
        ReportError(error);
        status = kExitError;
    }
    LogLine("结果：退出代码 " + std::to_string(status) + "（" + Meaning(status) + "）");
    deployment.reset();
    CloseRunLog();
    return status;
}

}  // namespace setup
