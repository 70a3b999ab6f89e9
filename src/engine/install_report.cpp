// The report of the items an installation could not complete: one text, one
// box, the same for the quiet window and the wizard.
#include "engine/install.h"
#include "platform/common.h"
#include "platform/os.h"

namespace setup {

namespace {
constexpr size_t kListedFailures = 20;
}

std::string InstallFailureReport(const std::vector<InstallFailure>& failures) {
    std::string text = "安装已完成，但以下 " + std::to_string(failures.size()) + " 项未能安装：\r\n";
    for (size_t i = 0; i < failures.size() && i < kListedFailures; ++i) {
        text += "\r\n" + failures[i].Item + "\r\n    " + failures[i].Reason;
    }
    if (failures.size() > kListedFailures) {
        text += "\r\n\r\n另有 " + std::to_string(failures.size() - kListedFailures) + " 项未列出。";
    }
    return text;
}

void ShowInstallFailures(const TCompile& model) {
    if (model.Failures.empty()) return;
    OS().Dialogs().MessageBox(InstallFailureReport(model.Failures), WizardTitle(), kMbIconWarning | kMbOk);
}

}  // namespace setup
